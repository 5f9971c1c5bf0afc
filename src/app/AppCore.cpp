#include "app/AppCore.h"

#include "api/NetworkManager.h"
#include "ping/Ping.h"
#include "tunnel/Protocol.h"
#include "ui/LoginDialogWindow.h"
#include "ui/MainDialogWindow.h"
#include "ui/NewUpdateDialogWindow.h"
#include "ui/StartupWindow.h"

#include <QAction>
#include <QMenu>

AppCore::AppCore(int &argc, char **argv)
    : QApplication(argc, argv)
{
    // The windows and workers have no parent: the controller owns them and deletes them itself.
    loginWindow = new LoginDialogWindow;
    mainWindow = new MainDialogWindow;
    updateWindow = new NewUpdateDialogWindow;
    startupWindow = new StartupWindow;
    networkManager = new NetworkManager;
    ping = new Ping;
    protocol = new Protocol;

    actionShow = new QAction(tr("Show"), this);
    actionStart = new QAction(tr("Start"), this);
    actionStop = new QAction(tr("Stop"), this);
    actionExit = new QAction(tr("Exit"), this);

    trayMenu = new QMenu;
    systemTray = new QSystemTrayIcon(this);

    vpnConnected = false;
    serverChosen = false;

    wireComponents();

    emit makeStartupRequest();
    startupWindow->show();
}

AppCore::~AppCore()
{
    delete loginWindow;
    delete startupWindow;
    delete updateWindow;
    delete networkManager;
    delete ping;
    delete protocol;
    delete actionStart;
    delete actionStop;
    delete actionExit;
    delete trayMenu;
    delete systemTray;
    delete mainWindow;
}

void AppCore::wireComponents()
{
    const auto wire = [this](QMetaObject::Connection connection) {
        if (!connection) {
            qCritical("AppCore: a connection between the components could not be made");
        }
        wiring.push_back(connection);
    };

    wire(connect(ping, &Ping::pingComplited, this, &AppCore::serverDataComplited));
    wire(connect(this, &AppCore::makeStartupRequest, networkManager, &NetworkManager::makeStartupRequest));
    wire(connect(this, &AppCore::makeLoginRequest, networkManager, &NetworkManager::makeLoginRequest));
    wire(connect(this, &AppCore::makeServerListRequest, networkManager, &NetworkManager::makeServerListRequest));
    wire(connect(loginWindow, &LoginDialogWindow::quitAction, this, &AppCore::tryToCloseLoginWindow));
    wire(connect(loginWindow, &LoginDialogWindow::makeLoginRequest, this, &AppCore::requestLogin));
    wire(connect(mainWindow, &MainDialogWindow::quitAction, this, &AppCore::tryToCloseMainWindow));
    wire(connect(mainWindow, &MainDialogWindow::serverListRequest, this, &AppCore::requestServerList));
    wire(connect(mainWindow, &MainDialogWindow::tryToConnect, this, &AppCore::tryToStartOvpn));
    wire(connect(mainWindow, &MainDialogWindow::tryToDisconect, protocol, &Protocol::tryToDisconect));
    wire(connect(mainWindow, &MainDialogWindow::saveSettingsAction, this, &AppCore::saveMainWindowSettings));
    wire(connect(mainWindow, &MainDialogWindow::currentServerChoosed, this, &AppCore::currentServerChoosed));
    wire(connect(updateWindow, &NewUpdateDialogWindow::quitAction, this, &AppCore::tryToCloseUpdateWindow));
    wire(connect(protocol, &Protocol::newTspSocketStats, mainWindow, &MainDialogWindow::newStats));
    wire(connect(protocol, &Protocol::connected, mainWindow, &MainDialogWindow::connected));
    wire(connect(protocol, &Protocol::disconnected, mainWindow, &MainDialogWindow::disconnected));
    wire(connect(protocol, &Protocol::connected, this, &AppCore::vpnStarted));
    wire(connect(protocol, &Protocol::disconnected, this, &AppCore::vpnStoped));
    wire(connect(this, &AppCore::serverDataReady, mainWindow, &MainDialogWindow::processServerList));
    wire(connect(this, &AppCore::serverListError, mainWindow, &MainDialogWindow::serverListErrorOcured));
    wire(connect(networkManager, &NetworkManager::startUpResponceFinished, this, &AppCore::processStartupReply));
    wire(connect(networkManager, &NetworkManager::loginResponceFinished, this, &AppCore::processLoginReply));
    wire(connect(networkManager, &NetworkManager::serverListResponceFinished, this,
                 &AppCore::processServerListReply));
    wire(connect(networkManager, &NetworkManager::startupErrorOccurred, this, &AppCore::startupErrorOcurred));
    wire(connect(networkManager, &NetworkManager::loginErrorOccurred, this, &AppCore::loginErrorOccurred));
    wire(connect(networkManager, &NetworkManager::serverListErrorOccured, this,
                 &AppCore::serverListErrorOccured));
    wire(connect(this, &AppCore::quitAction, protocol, &Protocol::tryToDisconect));
    wire(connect(this, &AppCore::quitAction, this, &QCoreApplication::quit, Qt::QueuedConnection));
}

void AppCore::startupErrorOcurred()
{
}

void AppCore::loginErrorOccurred()
{
}

void AppCore::serverListErrorOccured()
{
}

void AppCore::processStartupReply()
{
}

void AppCore::processLoginReply()
{
}

void AppCore::processServerListReply()
{
}

void AppCore::requestLogin()
{
}

void AppCore::requestServerList()
{
}

void AppCore::serverDataComplited()
{
}

void AppCore::tryToCloseLoginWindow(bool _needExit)
{
    Q_UNUSED(_needExit)
}

void AppCore::tryToCloseMainWindow(bool _needExit)
{
    Q_UNUSED(_needExit)
}

void AppCore::tryToCloseUpdateWindow()
{
}

void AppCore::tryToCloseApplication()
{
}

void AppCore::saveMainWindowSettings()
{
}

void AppCore::tryToStartOvpn()
{
}

void AppCore::vpnStarted()
{
}

void AppCore::vpnStoped()
{
}

void AppCore::currentServerChoosed()
{
}

void AppCore::trayIconDoubleClicked(QSystemTrayIcon::ActivationReason reason)
{
    Q_UNUSED(reason)
}

void AppCore::showLoginWindow()
{
}

void AppCore::showMainWindow()
{
}

void AppCore::measureServers()
{
}

void AppCore::setupTray(bool enabled)
{
    Q_UNUSED(enabled)
}
