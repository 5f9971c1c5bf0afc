#pragma once
// The desktop's notification area as the controller sees it: whether there is one, and the balloon
// messages shown at the tray icon. Both can be observed or overridden by tests.

#include <QString>
#include <QSystemTrayIcon>

#include <functional>
#include <optional>

namespace harbolink {

// Whether the desktop shows tray icons: QSystemTrayIcon::isSystemTrayAvailable(), unless a test
// has set the answer.
bool systemTrayAvailable();
// Sets the answer of systemTrayAvailable(); std::nullopt asks the platform again.
void setSystemTrayAvailableForTesting(std::optional<bool> available);

// Shows a balloon message at the tray icon (seen only while the icon is visible).
void showTrayMessage(QSystemTrayIcon *icon, const QString &title, const QString &text,
                     QSystemTrayIcon::MessageIcon messageIcon, int millisecondsTimeoutHint);

// Called with every balloon message before it is shown, so that tests can see them. An empty
// observer removes it.
using TrayMessageObserver = std::function<void(const QString &title, const QString &text,
                                               QSystemTrayIcon::MessageIcon messageIcon, int millisecondsTimeoutHint)>;
void setTrayMessageObserver(TrayMessageObserver observer);

} // namespace harbolink
