#include "app/SystemTray.h"

namespace harbolink {

namespace {

std::optional<bool> &availabilityOverride()
{
    static std::optional<bool> instance;
    return instance;
}

TrayMessageObserver &messageObserver()
{
    static TrayMessageObserver instance;
    return instance;
}

} // namespace

bool systemTrayAvailable()
{
    if (availabilityOverride()) {
        return *availabilityOverride();
    }
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void setSystemTrayAvailableForTesting(std::optional<bool> available)
{
    availabilityOverride() = available;
}

void showTrayMessage(QSystemTrayIcon *icon, const QString &title, const QString &text,
                     QSystemTrayIcon::MessageIcon messageIcon, int millisecondsTimeoutHint)
{
    if (messageObserver()) {
        messageObserver()(title, text, messageIcon, millisecondsTimeoutHint);
    }
    icon->showMessage(title, text, messageIcon, millisecondsTimeoutHint);
}

void setTrayMessageObserver(TrayMessageObserver observer)
{
    messageObserver() = std::move(observer);
}

} // namespace harbolink
