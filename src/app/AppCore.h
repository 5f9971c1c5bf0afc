#pragma once

#include "api/ServiceRecords.h"

#include <QApplication>
#include <QMetaObject>
#include <QString>
#include <QSystemTrayIcon>

#include <vector>

class NetworkManager;
class Ping;
class Protocol;
class LoginDialogWindow;
class MainDialogWindow;
class NewUpdateDialogWindow;
class StartupWindow;
class QAction;
class QMenu;

// The application object: creates every window and worker once, wires them together and moves
// the user from start-up through login to the main window; owns the tray icon and its menu.
class AppCore : public QApplication
{
    Q_OBJECT

public:
    AppCore(int &argc, char **argv);
    ~AppCore() override;

signals:
    void quitAction();
    void makeStartupRequest();
    void makeLoginRequest();
    void makeServerListRequest();
    void serverListError();
    void serverDataReady();

private slots:
    void startupErrorOcurred();
    void loginErrorOccurred();
    void serverListErrorOccured();
    void processStartupReply();
    void processLoginReply();
    void processServerListReply();
    void requestLogin();
    void requestServerList();
    void serverDataComplited();
    void tryToCloseLoginWindow(bool _needExit);
    void tryToCloseMainWindow(bool _needExit);
    void tryToCloseUpdateWindow();
    void tryToCloseApplication();
    void saveMainWindowSettings();
    void tryToStartOvpn();
    void vpnStarted();
    void vpnStoped();
    void currentServerChoosed();
    void trayIconDoubleClicked(QSystemTrayIcon::ActivationReason reason);

private:
    void wireComponents();
    void showLoginWindow();
    void showMainWindow();
    void measureServers();
    void setupTray(bool enabled);
    // Makes the five connections of the tray menu and icon; later calls do nothing.
    void connectTray();
    // The tray's Show command and double click: brings the front window back, restored.
    void showFrontWindow();
    // Whether closing a window leaves the program running in the tray.
    bool keepsRunningInTray() const;
    // The organisation of the settings scope, from the startup data.
    QString organization() const;

    QString username;
    QString password;
    bool remember = false;
    bool autorun = false;
    bool trayIcon = false;
    bool setDns = false;
    QString lastServer;
    bool vpnConnected = false;
    bool serverChosen = false;
    int loginWindowActive = 0;
    StartupInfo startupInfo;
    LoginInfo loginInfo;
    LoginFlags loginFlags;
    ServerList serverList;
    FlagTable flagTable;
    PingTable pingTable;
    NetworkManager *networkManager = nullptr;
    Ping *ping = nullptr;
    Protocol *protocol = nullptr;
    LoginDialogWindow *loginWindow = nullptr;
    MainDialogWindow *mainWindow = nullptr;
    NewUpdateDialogWindow *updateWindow = nullptr;
    StartupWindow *startupWindow = nullptr;
    QAction *actionExit = nullptr;
    QAction *actionStart = nullptr;
    QAction *actionStop = nullptr;
    QAction *actionShow = nullptr;
    QMenu *trayMenu = nullptr;
    QSystemTrayIcon *systemTray = nullptr;
    bool trayConnected = false;

    // The connections of wireComponents(), kept so that a connection that failed is noticed.
    std::vector<QMetaObject::Connection> wiring;

    friend class AppCoreInspector;
};
