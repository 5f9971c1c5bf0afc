#include "AppCoreTestMain.h"
#include "FlowSupport.h"
#include "ReservedPort.h"
#include "TemporaryHome.h"
#include "api/NetworkManager.h"
#include "api/ServiceRequest.h"
#include "app/SettingsStore.h"
#include "tunnel/Protocol.h"
#include "ui/LoginDialogWindow.h"
#include "ui/MainDialogWindow.h"

#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

using namespace harbolink::test;
using namespace harbolink::settings;

namespace {
std::unique_ptr<TestService> service;
quint16 managementPort = 0;
const QString corpTitle = QStringLiteral("Harbo Networks");
const QString product = QStringLiteral("harbolink");

QByteArray flagPicture(QRgb colour)
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A configuration for the stand-in OpenVPN: it opens the management interface of this test and
// reports byte counts five times a second.
QByteArray configuration(const QByteArray &remote)
{
    return "client\ndev tun\nremote " + remote + " 1194\nmanagement localhost " + QByteArray::number(managementPort)
           + "\n#fake bytecount-interval-ms 200\n";
}
} // namespace

// One user's session from start to end: sign in, the list with flags and pings, the chosen server,
// the tunnel through the stand-in OpenVPN, the tray's menus, texts and balloons, and the ways of
// closing the windows and the program.
class TestSessionFlow : public QObject
{
    Q_OBJECT

public:
    static void prepare()
    {
        QDir::setCurrent(useTemporaryHome());
        managementPort = ReservedPort().port();
        service = std::make_unique<TestService>();
        service->setReply("GET", "/v1/startup", jsonReply(startupJson(QStringLiteral("1.0.0"))));
        service->setReply("POST", "/v1/login", jsonReply(loginJson(true, true)));
        // The first server cannot be measured (999ms); the other two answer on the loopback.
        service->setReply("POST", "/v1/servers",
                          jsonReply(serversJson({{QStringLiteral("Nowhere 0"), QStringLiteral("nowhere.invalid"),
                                                  service->url(QStringLiteral("/configs/nowhere.ovpn")),
                                                  service->url(QStringLiteral("/flags/missing.png"))},
                                                 {QStringLiteral("Frankfurt 1"), QStringLiteral("127.0.0.2"),
                                                  service->url(QStringLiteral("/configs/fra1.ovpn")),
                                                  service->url(QStringLiteral("/flags/de.png"))},
                                                 {QStringLiteral("Amsterdam 2"), QStringLiteral("127.0.0.3"),
                                                  service->url(QStringLiteral("/configs/ams2.ovpn")),
                                                  service->url(QStringLiteral("/flags/nl.png"))}})));
        CannedReply flag;
        flag.contentType = "image/png";
        flag.body = flagPicture(qRgb(200, 0, 0));
        service->setReply("GET", "/flags/de.png", flag);
        flag.body = flagPicture(qRgb(0, 0, 200));
        service->setReply("GET", "/flags/nl.png", flag);
        CannedReply config;
        config.contentType = "text/plain";
        for (const auto &[path, remote] :
             {std::pair{"/configs/nowhere.ovpn", "127.0.0.1"}, std::pair{"/configs/fra1.ovpn", "127.0.0.2"},
              std::pair{"/configs/ams2.ovpn", "127.0.0.3"}}) {
            config.body = configuration(remote);
            service->setReply("GET", path, config);
        }
        harbolink::setServiceHostsForTesting(service->host(), service->host());
    }

private slots:
    void initTestCase();
    void cleanupTestCase();

    void loginWindowClosedWithTheTrayOffQuits();
    void loginWindowClosedWithTheTrayOnStaysInTheTray();
    void loginWindowClosedWithoutASystemTrayQuits();
    void signInConnectAndDisconnect();
    void switchingTheTrayIconTakesEffectAtOnce();
    void autorunSwitchWritesTheAutostartEntry();
    void oneStartFromTheTrayStartsOneTunnel();
    void mainWindowClosedWithTheTrayOnStaysInTheTray();
    void rememberedServerIsChosenAfterTheNextLogin();
    void mainWindowClosedWithTheTrayOffStopsTheTunnelFirst();
    void trayExitQuitsOnce();

private:
    static LoginDialogWindow *loginWindow() { return AppCoreInspector::loginWindow(); }
    static MainDialogWindow *mainWindow() { return AppCoreInspector::mainWindow(); }
    static QTableWidget *serverTable() { return part<QTableWidget>(mainWindow(), "tableWidgetAllServers"); }
    static void restart();
    static QString rowTitle(int row);
    static int pingValue(const QString &text) { return text.split(QStringLiteral("ms")).value(0).toInt(); }
    bool connectTunnel(const std::function<void()> &start);
    bool disconnectTunnel(const std::function<void()> &stop);

    FlowRecorder recorder;
    QString fastest;
};

void TestSessionFlow::initTestCase()
{
    recorder.attach();
    ProtocolTunables tunables = AppCoreInspector::protocol()->tunables();
    tunables.programPath = QStringLiteral(HARBOLINK_FAKE_OPENVPN);
    tunables.managementPort = managementPort;
    tunables.managementAttemptTimeoutMs = 5000;
    tunables.managementRetryPauseMs = 100;
    tunables.processStartTimeoutMs = 10000;
    tunables.managementDisconnectTimeoutMs = 5000;
    tunables.processTerminateTimeoutMs = 2000;
    AppCoreInspector::protocol()->setTunablesForTesting(tunables);
}

void TestSessionFlow::cleanupTestCase()
{
    recorder.detach();
    service.reset();
}

// What a new start does once the service has answered: the login window, read from the settings.
void TestSessionFlow::restart()
{
    loginWindow()->hide();
    QMetaObject::invokeMethod(AppCoreInspector::networkManager(), "makeStartupRequest");
    QTRY_VERIFY(loginWindow()->isVisible());
}

QString TestSessionFlow::rowTitle(int row)
{
    static const QStringList names{QStringLiteral("Nowhere 0"), QStringLiteral("Frankfurt 1"),
                                   QStringLiteral("Amsterdam 2")};
    static const QStringList hosts{QStringLiteral("nowhere.invalid"), QStringLiteral("127.0.0.2"),
                                   QStringLiteral("127.0.0.3")};
    return names.value(row) + QLatin1Char('/') + hosts.value(row);
}

bool TestSessionFlow::connectTunnel(const std::function<void()> &start)
{
    const QString title = mainWindow()->currentServerTitle();
    const int balloons = recorder.balloons.size();
    start();
    return QTest::qWaitFor(
        [&] {
            return recorder.balloons.size() > balloons
                   && recorder.balloons.last().text == QStringLiteral("Connected to ") + title;
        },
        20000);
}

bool TestSessionFlow::disconnectTunnel(const std::function<void()> &stop)
{
    const int balloons = recorder.balloons.size();
    stop();
    return QTest::qWaitFor(
        [&] {
            return recorder.balloons.size() > balloons
                   && recorder.balloons.last().text == QStringLiteral("Disconnected");
        },
        20000);
}

void TestSessionFlow::loginWindowClosedWithTheTrayOffQuits()
{
    QTRY_VERIFY(loginWindow()->isVisible());
    QVERIFY(!AppCoreInspector::systemTray()->isVisible());
    harbolink::setSystemTrayAvailableForTesting(true);

    loginWindow()->close();

    QCOMPARE(recorder.quitRequests, 1);
    QVERIFY(!recorder.balloonTexts().contains(QStringLiteral("harbolink is still running...")));
}

void TestSessionFlow::loginWindowClosedWithTheTrayOnStaysInTheTray()
{
    storeMainWindowSettings(false, true, true, QString(), corpTitle, product);
    restart();
    QVERIFY(AppCoreInspector::systemTray()->isVisible());
    QCOMPARE(AppCoreInspector::systemTray()->toolTip(), QStringLiteral("Harbolink VPN"));
    QCOMPARE(AppCoreInspector::systemTray()->contextMenu(), AppCoreInspector::trayMenu());
    QCOMPARE(trayMenuTexts(), (QStringList{QStringLiteral("Show"), QStringLiteral("-"), QStringLiteral("Exit")}));
    const int quits = recorder.quitRequests;
    const int balloons = recorder.balloons.size();

    loginWindow()->close();
    QVERIFY(!loginWindow()->isVisible());
    QVERIFY(AppCoreInspector::systemTray()->isVisible());
    QCOMPARE(recorder.quitRequests, quits);
    QCOMPARE(recorder.balloons.size(), balloons);

    // A single click does nothing; Show brings the window back.
    emit AppCoreInspector::systemTray()->activated(QSystemTrayIcon::Trigger);
    QVERIFY(!loginWindow()->isVisible());
    AppCoreInspector::actionShow()->trigger();
    QVERIFY(loginWindow()->isVisible());

    // A double click restores it from the task bar.
    loginWindow()->setWindowState(loginWindow()->windowState() | Qt::WindowMinimized);
    QVERIFY(loginWindow()->isMinimized());
    emit AppCoreInspector::systemTray()->activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(loginWindow()->isVisible());
    QVERIFY(!loginWindow()->isMinimized());
}

void TestSessionFlow::loginWindowClosedWithoutASystemTrayQuits()
{
    // The tray icon is switched on, but the desktop has no tray to show it in.
    harbolink::setSystemTrayAvailableForTesting(false);
    const int quits = recorder.quitRequests;

    loginWindow()->close();

    QCOMPARE(recorder.quitRequests, quits + 1);
    harbolink::setSystemTrayAvailableForTesting(true);
    AppCoreInspector::actionShow()->trigger();
    QVERIFY(loginWindow()->isVisible());
}

void TestSessionFlow::signInConnectAndDisconnect()
{
    signIn(QStringLiteral("alice@example.org"), QStringLiteral("s3cret!!"), true);
    QTRY_VERIFY(mainWindow()->isVisible());
    QVERIFY(!loginWindow()->isVisible());
    QCOMPARE(trayMenuTexts(), (QStringList{QStringLiteral("Show"), QStringLiteral("Start"), QStringLiteral("Stop"),
                                           QStringLiteral("-"), QStringLiteral("Exit")}));

    // The list arrives with every flag and ping; the fastest server is chosen.
    auto *pages = part<QStackedWidget>(mainWindow(), "stackedWidgetMainWindow");
    QTRY_COMPARE_WITH_TIMEOUT(pages->currentIndex(), 2, 20000);
    QCOMPARE(serverTable()->rowCount(), 3);
    int best = -1;
    for (int row = 0; row < 3; ++row) {
        QVERIFY(!serverTable()->item(row, 0)->data(Qt::DecorationRole).value<QPixmap>().isNull());
        const QString ping = serverTable()->item(row, 2)->text();
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+ms$")).match(ping).hasMatch(), qPrintable(ping));
        if (best < 0 || pingValue(ping) < pingValue(serverTable()->item(best, 2)->text())) {
            best = row;
        }
    }
    QCOMPARE(serverTable()->item(0, 2)->text(), QStringLiteral("999ms"));
    QVERIFY(best > 0);
    fastest = rowTitle(best);
    QCOMPARE(mainWindow()->currentServerTitle(), fastest);

    // The tray follows the choice.
    QCOMPARE(AppCoreInspector::actionStart()->text(), QStringLiteral("Start"));
    QVERIFY(AppCoreInspector::actionStart()->isEnabled());
    QCOMPARE(AppCoreInspector::actionStop()->text(), fastest);
    QVERIFY(!AppCoreInspector::actionStop()->isEnabled());

    // Connect: the tray greys both commands until the tunnel reports, the window shows the tunnel
    // before the tray does.
    auto *connectedState = part<QStackedWidget>(mainWindow(), "stackedWidgetConnectedState");
    int windowPageAtBalloon = -1;
    recorder.onBalloon = [&] { windowPageAtBalloon = connectedState->currentIndex(); };
    const int configRequests =
        requestCount(*service, "GET", "/configs/fra1.ovpn") + requestCount(*service, "GET", "/configs/ams2.ovpn");
    QVERIFY(connectTunnel([] {
        QTest::mouseClick(part<QPushButton>(mainWindow(), "pushButtonConnect"), Qt::LeftButton);
        QVERIFY(!AppCoreInspector::actionStart()->isEnabled());
        QVERIFY(!AppCoreInspector::actionStop()->isEnabled());
    }));
    recorder.onBalloon = nullptr;
    QCOMPARE(windowPageAtBalloon, 1);
    const Balloon connected = recorder.balloons.last();
    QCOMPARE(connected.title, QStringLiteral("harbolink"));
    QCOMPARE(connected.icon, QSystemTrayIcon::Information);
    QCOMPARE(connected.milliseconds, 10000);
    QCOMPARE(AppCoreInspector::actionStart()->text(), QStringLiteral("Connected to ") + fastest);
    QVERIFY(!AppCoreInspector::actionStart()->isEnabled());
    QCOMPARE(AppCoreInspector::actionStop()->text(), QStringLiteral("Stop"));
    QVERIFY(AppCoreInspector::actionStop()->isEnabled());
    QCOMPARE(requestCount(*service, "GET", "/configs/fra1.ovpn") + requestCount(*service, "GET", "/configs/ams2.ovpn"),
             configRequests + 1);

    QVERIFY(disconnectTunnel(
        [] { QTest::mouseClick(part<QPushButton>(mainWindow(), "pushButtonDisconect"), Qt::LeftButton); }));
    QCOMPARE(AppCoreInspector::actionStart()->text(), QStringLiteral("Start"));
    QVERIFY(AppCoreInspector::actionStart()->isEnabled());
    QCOMPARE(AppCoreInspector::actionStop()->text(), fastest);
    QVERIFY(!AppCoreInspector::actionStop()->isEnabled());
    QCOMPARE(connectedState->currentIndex(), 0);
}

void TestSessionFlow::switchingTheTrayIconTakesEffectAtOnce()
{
    QVERIFY(AppCoreInspector::systemTray()->isVisible());
    part<QPushButton>(mainWindow(), "pushButtonDisableTrayIcon")->click();
    QVERIFY(!AppCoreInspector::systemTray()->isVisible());
    QCOMPARE(loadMainWindowSetting(MainTrayIcon, corpTitle, product), QVariant(false));

    const int balloons = recorder.balloons.size();
    part<QPushButton>(mainWindow(), "pushButtonEnableTrayIcon")->click();
    QVERIFY(AppCoreInspector::systemTray()->isVisible());
    QCOMPARE(loadMainWindowSetting(MainTrayIcon, corpTitle, product), QVariant(true));
    QCOMPARE(trayMenuTexts(), (QStringList{QStringLiteral("Show"), QStringLiteral("Start"), fastest,
                                           QStringLiteral("-"), QStringLiteral("Exit")}));
    // With a server chosen and no tunnel, setting the tray up again repeats the last balloon.
    QCOMPARE(recorder.balloons.size(), balloons + 1);
    QCOMPARE(recorder.balloons.last().text, QStringLiteral("Disconnected"));
}

void TestSessionFlow::autorunSwitchWritesTheAutostartEntry()
{
    const QString entry = configHome() + QStringLiteral("/autostart/harbolink.desktop");
    QVERIFY(!QFileInfo::exists(entry));
    part<QPushButton>(mainWindow(), "pushButtonEnableAutorun")->click();
    QVERIFY(QFileInfo::exists(entry));
    QCOMPARE(loadMainWindowSetting(MainAutorun, corpTitle, product), QVariant(true));

    part<QPushButton>(mainWindow(), "pushButtonDisableAutorun")->click();
    QVERIFY(!QFileInfo::exists(entry));

    // Left on: the next login reads it back (rememberedServerIsChosenAfterTheNextLogin).
    part<QPushButton>(mainWindow(), "pushButtonEnableAutorun")->click();
    QVERIFY(QFileInfo::exists(entry));
}

void TestSessionFlow::oneStartFromTheTrayStartsOneTunnel()
{
    // setupTray has run for the login window, the main window and each switch change by now.
    QSignalSpy started(AppCoreInspector::protocol(), &Protocol::connected);
    QSignalSpy downloaded(AppCoreInspector::protocol(), &Protocol::filesDownloaded);

    QVERIFY(connectTunnel([] { AppCoreInspector::actionStart()->trigger(); }));
    QTest::qWait(500);
    QCOMPARE(started.count(), 1);
    QCOMPARE(downloaded.count(), 1);

    QSignalSpy stopped(AppCoreInspector::protocol(), &Protocol::disconnected);
    QVERIFY(disconnectTunnel([] { AppCoreInspector::actionStop()->trigger(); }));
    QTest::qWait(200);
    QCOMPARE(stopped.count(), 1);
}

void TestSessionFlow::mainWindowClosedWithTheTrayOnStaysInTheTray()
{
    const int quits = recorder.quitRequests;
    mainWindow()->close();

    QVERIFY(!mainWindow()->isVisible());
    QCOMPARE(recorder.quitRequests, quits);
    QVERIFY(AppCoreInspector::systemTray()->isVisible());
    const Balloon running = recorder.balloons.last();
    QCOMPARE(running.title, QStringLiteral("harbolink"));
    QCOMPARE(running.text, QStringLiteral("harbolink is still running..."));
    QCOMPARE(running.icon, QSystemTrayIcon::Information);
    QCOMPARE(running.milliseconds, 10000);

    // The main window is the front window now: a double click brings it back, restored.
    emit AppCoreInspector::systemTray()->activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(mainWindow()->isVisible());
    QVERIFY(!loginWindow()->isVisible());
    mainWindow()->setWindowState(mainWindow()->windowState() | Qt::WindowMinimized);
    AppCoreInspector::actionShow()->trigger();
    QVERIFY(mainWindow()->isVisible());
    QVERIFY(!mainWindow()->isMinimized());
}

void TestSessionFlow::rememberedServerIsChosenAfterTheNextLogin()
{
    // Choose the other loopback server by hand, then log out and in again.
    const int other = fastest == rowTitle(1) ? 2 : 1;
    part<QTabWidget>(mainWindow(), "tabWidgetServers")->setCurrentIndex(1);
    QTRY_VERIFY(serverTable()->isVisible() && serverTable()->viewport()->height() > 3 * 48);
    const QRect cell = serverTable()->visualItemRect(serverTable()->item(other, 1));
    // As the system delivers a double click: a click, then the second press as a double click.
    QTest::mouseClick(serverTable()->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(serverTable()->viewport(), Qt::LeftButton, {}, cell.center());
    QTRY_COMPARE(mainWindow()->currentServerTitle(), rowTitle(other));
    QCOMPARE(AppCoreInspector::actionStop()->text(), rowTitle(other));

    auto *logOut = part<QListWidget>(mainWindow(), "listWidgetLogOut");
    QTest::mouseClick(logOut->viewport(), Qt::LeftButton, {}, logOut->visualItemRect(logOut->item(0)).center());
    QTRY_VERIFY(loginWindow()->isVisible());
    QVERIFY(!mainWindow()->isVisible());
    QCOMPARE(trayMenuTexts(), (QStringList{QStringLiteral("Show"), QStringLiteral("-"), QStringLiteral("Exit")}));
    QCOMPARE(loadMainWindowSetting(MainLastServer, corpTitle, product).toString(), rowTitle(other).section('/', 1));
    QCOMPARE(part<QLineEdit>(loginWindow(), "lineEditUsername")->text(), QStringLiteral("alice@example.org"));

    QTest::mouseClick(part<QPushButton>(loginWindow(), "pushButtonSingIn"), Qt::LeftButton);
    QTRY_VERIFY(mainWindow()->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(part<QStackedWidget>(mainWindow(), "stackedWidgetMainWindow")->currentIndex(), 2, 20000);
    QCOMPARE(mainWindow()->currentServerTitle(), rowTitle(other));
    QCOMPARE(AppCoreInspector::actionStop()->text(), rowTitle(other));
    // The switches come back from the settings and the autostart entry.
    QCOMPARE(mainWindow()->settingsFlags().value(QStringLiteral("autorun")), true);
    QCOMPARE(mainWindow()->settingsFlags().value(QStringLiteral("trayicon")), true);
}

void TestSessionFlow::mainWindowClosedWithTheTrayOffStopsTheTunnelFirst()
{
    QVERIFY(
        connectTunnel([] { QTest::mouseClick(part<QPushButton>(mainWindow(), "pushButtonConnect"), Qt::LeftButton); }));
    part<QPushButton>(mainWindow(), "pushButtonDisableTrayIcon")->click();
    QVERIFY(!AppCoreInspector::systemTray()->isVisible());

    QSignalSpy stopped(AppCoreInspector::protocol(), &Protocol::disconnected);
    int stopsAtQuit = -1;
    recorder.onQuit = [&] { stopsAtQuit = stopped.count(); };
    const int quits = recorder.quitRequests;
    const int balloons = recorder.balloons.size();

    mainWindow()->close();

    recorder.onQuit = nullptr;
    QCOMPARE(recorder.quitRequests, quits + 1);
    // The stop sequence ran inside quitAction(), before the event loop could end.
    QCOMPARE(stopsAtQuit, 1);
    QVERIFY(!recorder.balloonTexts().mid(balloons).contains(QStringLiteral("harbolink is still running...")));
    QCOMPARE(loadMainWindowSetting(MainTrayIcon, corpTitle, product), QVariant(false));
}

void TestSessionFlow::trayExitQuitsOnce()
{
    AppCoreInspector::actionShow()->trigger();
    QVERIFY(mainWindow()->isVisible());
    part<QPushButton>(mainWindow(), "pushButtonEnableTrayIcon")->click();
    QVERIFY(AppCoreInspector::systemTray()->isVisible());
    const int quits = recorder.quitRequests;

    AppCoreInspector::actionExit()->trigger();

    QCOMPARE(recorder.quitRequests, quits + 1);
}

HARBOLINK_APPCORE_TEST_MAIN(TestSessionFlow)
#include "tst_sessionflow.moc"
