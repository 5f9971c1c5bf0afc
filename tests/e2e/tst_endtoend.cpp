// The whole client in one process, as a user drives it: the real application object and windows
// against the local VPN service, with real pings to the servers' loopback addresses and a real
// OpenVPN server in a network namespace (the stand-in OpenVPN where the machine cannot run one).
#include "AppCoreInspector.h"
#include "AppCoreTestMain.h"
#include "DemoService.h"
#include "TestPaths.h"
#include "VpnLab.h"
#include "api/ServiceRequest.h"
#include "tunnel/Protocol.h"
#include "ui/LoginDialogWindow.h"
#include "ui/MainDialogWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/StartupWindow.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

std::unique_ptr<QTemporaryDir> home;
std::unique_ptr<harbolink::demo::DemoService> service;

template <typename T> T *child(QWidget *window, const char *name)
{
    return window->findChild<T *>(QLatin1String(name));
}

// OpenVPN processes started with a file of the folder on their command line.
QList<qint64> processesMentioning(const QByteArray &text)
{
    QList<qint64> pids;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (isPid && pid != QCoreApplication::applicationPid() && cmdline.open(QIODevice::ReadOnly)
            && cmdline.readAll().contains(text)) {
            pids << pid;
        }
    }
    return pids;
}

// The client's OpenVPN: the one given a credentials file from the test's folder (the lab's server
// OpenVPN keeps its configuration there too).
QList<qint64> clientOpenVpn()
{
    return processesMentioning(QByteArray("--auth-user-pass") + '\0' + QFile::encodeName(home->path()));
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

public:
    // Before the application exists: a home of its own for the settings, TMPDIR for the tunnel's
    // two files, and the service the client is pointed at.
    static void prepare()
    {
        home = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/harbolink-e2e-XXXXXX"));
        qputenv("HOME", QFile::encodeName(home->path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home->path() + QStringLiteral("/config")));
        QDir(home->path()).mkpath(QStringLiteral("tmp"));
        qputenv("TMPDIR", QFile::encodeName(home->path() + QStringLiteral("/tmp")));

        service = std::make_unique<harbolink::demo::DemoService>();
        harbolink::demo::DemoOptions options;
        options.certificateFile = harbolink::test::pkiDir() + QStringLiteral("/server.pem");
        options.keyFile = harbolink::test::pkiDir() + QStringLiteral("/server.key");
        if (!service->start(options)) {
            qFatal("the local service did not start: %s", qPrintable(service->errorString()));
        }
        harbolink::setServiceHostsForTesting(service->publicHost(), service->publicHost());
    }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void signInSeeServersConnectAndQuit();

private:
    std::unique_ptr<harbolink::vpnlab::VpnLab> lab;
    QStringList boxes;
};

void TestEndToEnd::initTestCase()
{
    harbolink::setMessageBoxHandler(
        [this](const QString &title, const QString &text) { boxes << title + ": " + text; });

    ProtocolTunables tunables;
    const QString unavailable = harbolink::vpnlab::VpnLab::whyUnavailable();
    if (unavailable.isEmpty()) {
        harbolink::vpnlab::VpnLab::removeLeftoversOfDeadRuns(QStringLiteral("hl-e2e-"));
        lab = std::make_unique<harbolink::vpnlab::VpnLab>(QStringLiteral("hl-e2e-"));
        const QString failure = lab->setUp({{"demo@harbolink.test", "harbolink"}});
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        service->setVpnConfiguration(lab->clientConfig(), lab->caCertificate());
        tunables.programPath = harbolink::test::binaryDir() + QStringLiteral("/bin/openvpn/openvpn");
    } else {
        qInfo("No real tunnel here (%s): the stand-in OpenVPN plays the server.", qPrintable(unavailable));
        service->setVpnConfiguration("management localhost 60505\n#fake bytecount-interval-ms 500\n", QByteArray());
        tunables.programPath = QStringLiteral(HARBOLINK_FAKE_OPENVPN);
    }
    AppCoreInspector::protocol()->setTunablesForTesting(tunables);
}

void TestEndToEnd::cleanupTestCase()
{
    lab.reset();
    service->stop();
    if (home) {
        QVERIFY(QDir(home->path() + QStringLiteral("/tmp")).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }
    const QString namespaces = [] {
        QProcess list;
        list.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("list")});
        list.waitForFinished(5000);
        return QString::fromLocal8Bit(list.readAll());
    }();
    QVERIFY2(!namespaces.contains(QStringLiteral("hl-e2e-%1").arg(QCoreApplication::applicationPid())),
             qPrintable(namespaces));
}

void TestEndToEnd::signInSeeServersConnectAndQuit()
{
    LoginDialogWindow *login = AppCoreInspector::loginWindow();
    MainDialogWindow *main = AppCoreInspector::mainWindow();

    // Start-up: the service answers, the start-up window goes and the login window comes.
    QTRY_VERIFY_WITH_TIMEOUT(login->isVisible(), 15000);
    QVERIFY(!AppCoreInspector::startupWindow()->isVisible());
    QCOMPARE(login->windowTitle(), QStringLiteral("harbolink"));

    // Sign in as the user would.
    QTest::keyClicks(child<QLineEdit>(login, "lineEditUsername"), QStringLiteral("demo@harbolink.test"));
    QTest::keyClicks(child<QLineEdit>(login, "lineEditPassword"), QStringLiteral("harbolink"));
    QTest::mouseClick(child<QPushButton>(login, "pushButtonSingIn"), Qt::LeftButton);

    // The main window with the servers, their flags and measured pings.
    QTRY_VERIFY_WITH_TIMEOUT(main->isVisible(), 15000);
    auto *pages = child<QStackedWidget>(main, "stackedWidgetMainWindow");
    QTRY_COMPARE_WITH_TIMEOUT(pages->currentIndex(), 2, 30000);
    QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join(QLatin1Char('\n'))));
    auto *table = child<QTableWidget>(main, "tableWidgetAllServers");
    QCOMPARE(table->rowCount(), 12);
    for (int row = 0; row < table->rowCount(); ++row) {
        const QPixmap flag = table->item(row, 0)->data(Qt::DecorationRole).value<QPixmap>();
        QVERIFY2(!flag.isNull(), qPrintable(table->item(row, 1)->text()));
        const QString ping = table->item(row, 2)->text();
        QVERIFY2(ping.endsWith(QLatin1String("ms")) && ping != QLatin1String("999ms"), qPrintable(ping));
    }
    QCOMPARE(table->item(0, 1)->text(), QStringLiteral("Amsterdam"));
    const QString title = main->currentServerTitle();
    QVERIFY2(title.contains(QLatin1String("/127.0.0.")), qPrintable(title));
    QVERIFY(AppCoreInspector::actionStart()->isEnabled());

    // Connect: the tunnel comes up and byte counts arrive.
    auto *connectStack = child<QStackedWidget>(main, "stackedWidgetConnectProccess");
    QTest::mouseClick(child<QPushButton>(main, "pushButtonConnect"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(connectStack->currentIndex(), 2, 60000);
    QCOMPARE(AppCoreInspector::actionStart()->text(), QStringLiteral("Connected to ") + title);
    QCOMPARE(clientOpenVpn().size(), 1);

    std::unique_ptr<QProcess> traffic;
    if (lab) {
        traffic = std::make_unique<QProcess>();
        traffic->start(QStringLiteral("ping"), {QStringLiteral("-q"), QStringLiteral("-c"), QStringLiteral("40"),
                                                QStringLiteral("-i"), QStringLiteral("0.2"), QStringLiteral("-s"),
                                                QStringLiteral("1200"), lab->serverTunnelAddress()});
    }
    auto *sent = child<QLabel>(main, "labelSent");
    QTRY_VERIFY_WITH_TIMEOUT(sent->text().startsWith(QLatin1String("Sent: ")), 20000);
    QVERIFY(child<QLabel>(main, "labelReceived")->text().startsWith(QLatin1String("Received: ")));
    QTRY_VERIFY_WITH_TIMEOUT(
        child<QLabel>(main, "labelSessionTime")->text().startsWith(QLatin1String("Session time: ")), 5000);

    // Disconnect: OpenVPN ends and its two files go.
    QTest::mouseClick(child<QPushButton>(main, "pushButtonDisconect"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(connectStack->currentIndex(), 0, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(clientOpenVpn().isEmpty(), 10000);
    QVERIFY(QDir(home->path() + QStringLiteral("/tmp")).entryList(QDir::Files | QDir::Hidden).isEmpty());
    if (traffic) {
        traffic->kill();
        traffic->waitForFinished(5000);
    }

    // Connect again and quit from the tray with the tunnel up: the tunnel is stopped on the way out.
    QTest::mouseClick(child<QPushButton>(main, "pushButtonConnect"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(connectStack->currentIndex(), 2, 60000);
    // The tray's commands exist once its icon is switched on.
    child<QPushButton>(main, "pushButtonEnableTrayIcon")->click();
    QVERIFY(AppCoreInspector::systemTray()->isVisible());
    QSignalSpy quits(&AppCoreInspector::app(), &AppCore::quitAction);
    AppCoreInspector::actionExit()->trigger();
    QCOMPARE(quits.count(), 1);
    QCOMPARE(connectStack->currentIndex(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(clientOpenVpn().isEmpty(), 10000);
}

HARBOLINK_APPCORE_TEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
