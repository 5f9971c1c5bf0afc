#pragma once
// What the flow tests share: what the user would have seen (message boxes, balloons), every request
// to end the program, the service's canned answers and small helpers to drive the windows.

#include "AppCoreInspector.h"
#include "TestService.h"
#include "app/AppCore.h"
#include "app/SystemTray.h"
#include "ui/LoginDialogWindow.h"
#include "ui/MessageBoxes.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QList>
#include <QMenu>
#include <QPushButton>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QtTest>

#include <memory>

namespace harbolink::test {

struct ShownBox {
    QString title;
    QString text;
};

struct Balloon {
    QString title;
    QString text;
    QSystemTrayIcon::MessageIcon icon = QSystemTrayIcon::NoIcon;
    int milliseconds = 0;
};

// Records the message boxes (answered at once with Ok), the balloons and the controller's
// quitAction(). The program's own reaction to quitAction() (stopping the tunnel) runs as always;
// the event loop's end that it queues is taken back unless letQuitThrough is set, so that one
// process can go through several ways of closing.
class FlowRecorder
{
public:
    QList<ShownBox> boxes;
    QList<Balloon> balloons;
    int quitRequests = 0;
    bool letQuitThrough = false;
    // Runs at each quitAction(), after the controller's own receivers.
    std::function<void()> onQuit;
    // Runs at each message box, before the program goes on.
    std::function<void()> onBox;
    // Runs at each balloon message.
    std::function<void()> onBalloon;

    void attach()
    {
        setMessageBoxHandler([this](const QString &title, const QString &text) {
            boxes.append({title, text});
            if (onBox) {
                onBox();
            }
        });
        setTrayMessageObserver(
            [this](const QString &title, const QString &text, QSystemTrayIcon::MessageIcon icon, int milliseconds) {
                balloons.append({title, text, icon, milliseconds});
                if (onBalloon) {
                    onBalloon();
                }
            });
        QObject::connect(&AppCoreInspector::app(), &AppCore::quitAction, &context, [this] {
            ++quitRequests;
            if (onQuit) {
                onQuit();
            }
            if (!letQuitThrough) {
                // The only queued call to the application object is the end of the event loop.
                QCoreApplication::removePostedEvents(QCoreApplication::instance(), QEvent::MetaCall);
            }
        });
    }

    void detach()
    {
        setMessageBoxHandler({});
        setTrayMessageObserver({});
        setSystemTrayAvailableForTesting(std::nullopt);
    }

    QStringList balloonTexts() const
    {
        QStringList texts;
        for (const Balloon &balloon : balloons) {
            texts << balloon.text;
        }
        return texts;
    }

private:
    QObject context;
};

// The startup answer; the links are paths below the domain.
inline QByteArray startupJson(const QString &version,
                              const QString &domain = QStringLiteral("https://www2.harbolink.net"),
                              const QString &corpTitle = QStringLiteral("Harbo Networks"),
                              const QString &appTitle = QStringLiteral("Harbolink VPN"))
{
    const QJsonObject links{{QStringLiteral("domain"), domain},
                            {QStringLiteral("account"), QStringLiteral("/account")},
                            {QStringLiteral("signup"), QStringLiteral("/signup")},
                            {QStringLiteral("support"), QStringLiteral("/support")},
                            {QStringLiteral("forgot_password"), QStringLiteral("/forgot")},
                            {QStringLiteral("download"), QStringLiteral("/download")}};
    const QJsonObject root{{QStringLiteral("app_title"), appTitle},
                           {QStringLiteral("corp_title"), corpTitle},
                           {QStringLiteral("version"), version},
                           {QStringLiteral("links"), links}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

inline QByteArray loginJson(bool login, bool connection, const QString &message = QString())
{
    const QJsonObject access{{QStringLiteral("login"), login}, {QStringLiteral("connection"), connection}};
    return QJsonDocument(QJsonObject{{QStringLiteral("access"), access}, {QStringLiteral("message"), message}})
        .toJson(QJsonDocument::Compact);
}

struct ServerSpec {
    QString name;
    QString hostname;
    QString ovpn;  // full address of the configuration
    QString image; // full address of the flag
};

inline QByteArray serversJson(const QList<ServerSpec> &servers)
{
    QJsonArray array;
    for (const ServerSpec &server : servers) {
        const QJsonObject files{{QStringLiteral("ovpn"), server.ovpn},
                                {QStringLiteral("crt"), QString()},
                                {QStringLiteral("image"), server.image}};
        array.append(QJsonObject{{QStringLiteral("name"), server.name},
                                 {QStringLiteral("hostname"), server.hostname},
                                 {QStringLiteral("country_code"), QStringLiteral("DE")},
                                 {QStringLiteral("country"), QStringLiteral("Germany")},
                                 {QStringLiteral("latitude"), QStringLiteral("50.1")},
                                 {QStringLiteral("longitude"), QStringLiteral("8.7")},
                                 {QStringLiteral("files"), files}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("servers"), array}}).toJson(QJsonDocument::Compact);
}

inline CannedReply jsonReply(const QByteArray &body, int status = 200)
{
    CannedReply reply;
    reply.status = status;
    reply.body = body;
    return reply;
}

// The requests of that method and path the service has received so far.
inline int requestCount(const TestService &service, const QByteArray &method, const QByteArray &path)
{
    int count = 0;
    for (const RecordedRequest &request : service.requests()) {
        if (request.method == method && request.path == path) {
            ++count;
        }
    }
    return count;
}

// A widget of a window by its object name.
template <typename T = QWidget> T *part(QWidget *window, const char *name)
{
    return window->findChild<T *>(QLatin1String(name));
}

// Types the credentials into the login window, sets "Remeber me" and presses the sign-in button.
inline void signIn(const QString &user, const QString &password, bool remember)
{
    QWidget *window = AppCoreInspector::loginWindow();
    auto *userField = part<QLineEdit>(window, "lineEditUsername");
    auto *passwordField = part<QLineEdit>(window, "lineEditPassword");
    userField->clear();
    QTest::keyClicks(userField, user);
    passwordField->clear();
    QTest::keyClicks(passwordField, password);
    part<QCheckBox>(window, "checkBoxRemeberMe")->setChecked(remember);
    QTest::mouseClick(part<QPushButton>(window, "pushButtonSingIn"), Qt::LeftButton);
}

// The texts of the tray menu from the top, separators as "-".
inline QStringList trayMenuTexts()
{
    QStringList texts;
    for (const QAction *action : AppCoreInspector::trayMenu()->actions()) {
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return texts;
}

} // namespace harbolink::test
