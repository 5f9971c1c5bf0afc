#include "app/AppCore.h"

#include "api/NetworkManager.h"
#include "app/Constants.h"
#include "app/InstallerAddress.h"
#include "app/SettingsStore.h"
#include "app/SystemTray.h"
#include "ping/Ping.h"
#include "tunnel/Protocol.h"
#include "ui/LoginDialogWindow.h"
#include "ui/MainDialogWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/NewUpdateDialogWindow.h"
#include "ui/StartupWindow.h"

#include <QAction>
#include <QDebug>
#include <QIcon>
#include <QMenu>
#include <QStringList>

namespace {

const QString productTitle = QString::fromLatin1(harbolink::productName);
const QString trayPicture = QStringLiteral(":/resources/common/images/logo_update.png");
constexpr int balloonMs = 10000;

} // namespace

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
    wire(connect(networkManager, &NetworkManager::serverListResponceFinished, this, &AppCore::processServerListReply));
    wire(connect(networkManager, &NetworkManager::startupErrorOccurred, this, &AppCore::startupErrorOcurred));
    wire(connect(networkManager, &NetworkManager::loginErrorOccurred, this, &AppCore::loginErrorOccurred));
    wire(connect(networkManager, &NetworkManager::serverListErrorOccured, this, &AppCore::serverListErrorOccured));
    wire(connect(this, &AppCore::quitAction, protocol, &Protocol::tryToDisconect));
    wire(connect(this, &AppCore::quitAction, this, &QCoreApplication::quit, Qt::QueuedConnection));
}

QString AppCore::organization() const
{
    return startupInfo.value(QStringLiteral("corp_title"));
}

void AppCore::startupErrorOcurred()
{
    harbolink::showMessageBox(tr("Network error"), networkManager->lastError());
    emit quitAction();
}

void AppCore::loginErrorOccurred()
{
    loginWindow->close();
    harbolink::showMessageBox(tr("Network error"), networkManager->lastError());
    showLoginWindow();
}

void AppCore::serverListErrorOccured()
{
    mainWindow->setBlockerMessage(networkManager->lastError());
    emit serverListError();
}

void AppCore::processStartupReply()
{
    startupInfo = networkManager->startupInfo();
    const QString domain = startupInfo.value(QStringLiteral("domain"));
    // The organisation names the settings folder, so it is given in its safe form.
    QCoreApplication::setOrganizationName(harbolink::settings::settingsOrganization(organization()));
    QCoreApplication::setOrganizationDomain(domain);
    QCoreApplication::setApplicationName(productTitle);

    startupWindow->close();

    const QString version = startupInfo.value(QStringLiteral("version"));
    if (version != QLatin1String(harbolink::ownVersion)) {
        updateWindow->setModal(true);
        updateWindow->showNewVersion(version);
        updateWindow->setDownloadUrl(harbolink::installerAddress(domain));
        updateWindow->exec();
    }

    showLoginWindow();
}

void AppCore::processLoginReply()
{
    loginInfo = networkManager->loginInfo();
    loginFlags = networkManager->loginFlags();

    // Read before the window closes: closing clears what it captured.
    remember = loginWindow->isRememberMe();
    const QMap<QString, QString> typed = loginWindow->loginData();
    username = typed.value(QStringLiteral("username"));
    password = typed.value(QStringLiteral("password"));

    if (remember) {
        harbolink::settings::saveLoginSettings(username, password, true, organization(), productTitle);
    } else {
        harbolink::settings::saveLoginSettings(QString(), QString(), false, organization(), productTitle);
    }

    loginWindow->close();
    autorun = harbolink::settings::loadMainWindowSetting(harbolink::settings::MainAutorun, organization(), productTitle)
                  .toBool();
    showMainWindow();
}

void AppCore::processServerListReply()
{
    serverList = networkManager->serverList();
    flagTable = networkManager->flagTable();
    measureServers();
}

void AppCore::requestLogin()
{
    const QMap<QString, QString> typed = loginWindow->loginData();
    networkManager->setCredentials(typed.value(QStringLiteral("username")), typed.value(QStringLiteral("password")));
    emit makeLoginRequest();
}

void AppCore::requestServerList()
{
    emit makeServerListRequest();
}

void AppCore::serverDataComplited()
{
    pingTable = ping->pingTable();
    ping->stopAndWait();
    mainWindow->setServerList(serverList);
    mainWindow->setPingTable(pingTable);
    mainWindow->setFlagTable(flagTable);
    emit serverDataReady();
}

void AppCore::tryToCloseLoginWindow(bool _needExit)
{
    if (_needExit && !keepsRunningInTray()) {
        ping->stopAndWait();
        emit quitAction();
    }
}

void AppCore::tryToCloseMainWindow(bool _needExit)
{
    if (!_needExit) {
        showLoginWindow();
        return;
    }
    if (keepsRunningInTray()) {
        harbolink::showTrayMessage(systemTray, productTitle,
                                   QStringLiteral("%1 %2").arg(productTitle, tr("is still running...")),
                                   QSystemTrayIcon::Information, balloonMs);
        return;
    }
    ping->stopAndWait();
    emit quitAction();
}

void AppCore::tryToCloseUpdateWindow()
{
    ping->stopAndWait();
    emit quitAction();
}

void AppCore::tryToCloseApplication()
{
    ping->stopAndWait();
    emit quitAction();
}

void AppCore::saveMainWindowSettings()
{
    const QString organizationName = organization();
    const QMap<QString, bool> flags = mainWindow->settingsFlags();
    autorun = flags.value(QStringLiteral("autorun"), false);
    trayIcon = flags.value(QStringLiteral("trayicon"), false);
    setDns = flags.value(QStringLiteral("dns"), false);
    lastServer = mainWindow->lastServerHostname();
    setupTray(trayIcon);
    harbolink::settings::storeMainWindowSettings(autorun, trayIcon, setDns, lastServer, organizationName, productTitle);
}

void AppCore::tryToStartOvpn()
{
    actionStart->setEnabled(false);
    actionStop->setEnabled(false);
    protocol->prepareConnection(username, password, mainWindow->currentServerOvpn());
}

void AppCore::vpnStarted()
{
    vpnConnected = true;
    const QString title = mainWindow->currentServerTitle();
    actionStart->setText(tr("Connected to ") + title);
    actionStart->setEnabled(false);
    actionStop->setText(tr("Stop"));
    actionStop->setEnabled(true);
    harbolink::showTrayMessage(systemTray, productTitle, tr("Connected to ") + title, QSystemTrayIcon::Information,
                               balloonMs);
}

void AppCore::vpnStoped()
{
    vpnConnected = false;
    // The tunnel also reports a stop when nothing ran (log-out, quitting); before a server has
    // been chosen Start and Stop stay greyed under their own names, as there is nothing to start.
    if (serverChosen) {
        const QString title = mainWindow->currentServerTitle();
        actionStart->setText(tr("Start"));
        actionStart->setEnabled(true);
        actionStop->setText(title);
        actionStop->setEnabled(false);
    }
    harbolink::showTrayMessage(systemTray, productTitle, tr("Disconnected"), QSystemTrayIcon::Information, balloonMs);
}

void AppCore::currentServerChoosed()
{
    vpnConnected = false;
    serverChosen = true;
    const QString title = mainWindow->currentServerTitle();
    actionStart->setText(tr("Start"));
    actionStart->setEnabled(true);
    actionStop->setText(title);
    actionStop->setEnabled(false);
}

void AppCore::trayIconDoubleClicked(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick) {
        showFrontWindow();
    }
}

void AppCore::showFrontWindow()
{
    QDialog *window = loginWindowActive == 1 ? static_cast<QDialog *>(loginWindow) : mainWindow;
    window->show();
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->raise();
    window->activateWindow();
}

bool AppCore::keepsRunningInTray() const
{
    // Without a notification area a closed window would leave a client that nobody can reach
    // (and that the instance guard keeps others from starting), so the program ends instead.
    if (trayIcon && !harbolink::systemTrayAvailable()) {
        qWarning("AppCore: the desktop has no system tray, so closing the window ends the program");
        return false;
    }
    return trayIcon;
}

void AppCore::showLoginWindow()
{
    using namespace harbolink::settings;
    loginWindowActive = 1;
    const QString organizationName = organization();
    setDns = loadMainWindowSetting(MainSetDns, organizationName, productTitle).toBool();
    lastServer = loadMainWindowSetting(MainLastServer, organizationName, productTitle).toString();
    trayIcon = loadMainWindowSetting(MainTrayIcon, organizationName, productTitle).toBool();
    remember = loadLoginSetting(LoginRemember, organizationName, productTitle).toBool();
    username = loadLoginSetting(LoginUserName, organizationName, productTitle).toString();
    password = loadLoginSetting(LoginPassword, organizationName, productTitle).toString();

    setupTray(trayIcon);
    loginWindow->initWindow(startupInfo, username, password, remember);
    loginWindow->show();
}

void AppCore::showMainWindow()
{
    loginWindowActive = 0;
    setupTray(trayIcon);
    mainWindow->initialize(startupInfo, loginInfo, loginFlags, autorun, trayIcon, setDns, lastServer);
    mainWindow->show();
}

void AppCore::measureServers()
{
    QStringList hosts;
    hosts.reserve(serverList.size());
    for (const ServerRecord &server : qAsConst(serverList)) {
        hosts << server.value(QStringLiteral("hostname"));
    }
    ping->clearResults();
    if (hosts.isEmpty()) {
        // Nothing to measure: the main window gets the empty list at once instead of waiting.
        serverDataComplited();
        return;
    }
    ping->startPinging(hosts);
}

void AppCore::connectTray()
{
    if (trayConnected) {
        return;
    }
    trayConnected = true;
    connect(actionExit, &QAction::triggered, this, &AppCore::tryToCloseApplication);
    connect(actionStart, &QAction::triggered, this, &AppCore::tryToStartOvpn);
    connect(actionStop, &QAction::triggered, protocol, &Protocol::tryToDisconect);
    connect(
        actionShow, &QAction::triggered, actionShow, [this] { showFrontWindow(); }, Qt::DirectConnection);
    connect(systemTray, &QSystemTrayIcon::activated, this, &AppCore::trayIconDoubleClicked);
}

void AppCore::setupTray(bool enabled)
{
    trayMenu->hide();
    if (!enabled) {
        systemTray->setVisible(false);
        return;
    }
    connectTray();

    // The menu is built anew each time, so it never gathers a second separator.
    trayMenu->clear();
    trayMenu->addAction(actionShow);
    if (loginWindowActive == 1) {
        qDebug("LoginWindow");
    } else {
        qDebug("MainWindow");
        trayMenu->addAction(actionStart);
        trayMenu->addAction(actionStop);
        actionStart->setEnabled(false);
        actionStop->setEnabled(false);
        if (serverChosen) {
            if (vpnConnected) {
                vpnStarted();
            } else {
                vpnStoped();
            }
        }
    }
    trayMenu->addSeparator();
    trayMenu->addAction(actionExit);

    systemTray->setIcon(QIcon(trayPicture));
    systemTray->setToolTip(startupInfo.value(QStringLiteral("app_title")));
    systemTray->setContextMenu(trayMenu);
    systemTray->setVisible(true);
}
