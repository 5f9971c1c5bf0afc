// A session with Debian's OpenVPN, started through the launcher beside the client. The server runs
// in a network namespace of this test, reached over a veth pair; the client runs here, as the
// program would, and its management interface is the product's ("localhost" port 60505).
//
// Needs root, /dev/net/tun, /usr/sbin/openvpn, ip, openssl and ping; skips when the machine cannot.
// Everything it makes (namespace, veth pair, processes, files) is removed when it ends, and what a
// killed earlier run left is removed when it starts.
#include "TestPaths.h"
#include "TestService.h"
#include "TunnelFixture.h"
#include "VpnLab.h"
#include "api/ServiceRequest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

using harbolink::test::LogCapture;
using harbolink::test::processExists;
using harbolink::test::ProtocolEvents;

using harbolink::vpnlab::killAll;
using harbolink::vpnlab::processesMentioning;
using harbolink::vpnlab::VpnLab;

namespace {

constexpr char user[] = "alice@example.com";
constexpr char password[] = "s3cret";

harbolink::vpnlab::CommandResult run(const QString &program, const QStringList &arguments)
{
    return harbolink::vpnlab::runCommand(program, arguments);
}

} // namespace

class TestRealOpenVpn : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void liveSessionCountsTrafficAndStops_data();
    void liveSessionCountsTrafficAndStops();
    void wrongPasswordEndsTheSession_data();
    void wrongPasswordEndsTheSession();

private:
    QList<qint64> ourOpenVpnClients() const { return processesMentioning(sessionDir->path().toLocal8Bit()); }
    QString openVpnLog() const;

    std::unique_ptr<VpnLab> network;
    std::unique_ptr<harbolink::test::TestService> service;
    // Working directory (OpenVPN's log goes there) and TMPDIR (the two files go there) of a test.
    std::unique_ptr<QTemporaryDir> sessionDir;
    std::unique_ptr<Protocol> protocol;
    std::unique_ptr<ProtocolEvents> events;
    QString savedDir;
    QByteArray savedTmpDir;
};

void TestRealOpenVpn::initTestCase()
{
    if (::geteuid() != 0) {
        QSKIP("needs root: OpenVPN makes a tunnel device and the test a network namespace");
    }
    if (!QFile::exists(QStringLiteral("/dev/net/tun"))) {
        QSKIP("needs /dev/net/tun for the tunnel devices");
    }
    if (!QFile::exists(QStringLiteral("/usr/sbin/openvpn"))) {
        QSKIP("needs Debian's OpenVPN (/usr/sbin/openvpn)");
    }
    for (const char *tool : {"ip", "openssl", "ping"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
            QSKIP(qPrintable(QStringLiteral("needs the %1 command").arg(QLatin1String(tool))));
        }
    }
    const QString launcher = harbolink::test::binaryDir() + QStringLiteral("/bin/openvpn/openvpn");
    QVERIFY2(QFileInfo(launcher).isExecutable(), qPrintable(launcher + QStringLiteral(" is missing")));

    VpnLab::removeLeftoversOfDeadRuns();
    network = std::make_unique<VpnLab>();
    const QString failure = network->setUp({{user, password}});
    if (failure.startsWith(QLatin1String("ip netns add failed"))) {
        QSKIP(qPrintable(QStringLiteral("cannot make a network namespace here: ") + failure));
    }
    QVERIFY2(failure.isEmpty(), qPrintable(failure));

    service = std::make_unique<harbolink::test::TestService>();
    harbolink::test::CannedReply reply;
    reply.body = network->clientConfig();
    reply.contentType = "application/x-openvpn-profile";
    service->setReply("GET", "/servers/namespace.ovpn", reply);
    harbolink::setServiceHostsForTesting(service->host(), service->host());
}

void TestRealOpenVpn::cleanupTestCase()
{
    service.reset();
    network.reset();
}

void TestRealOpenVpn::init()
{
    // Another OpenVPN on the product's management port would answer in place of ours.
    QTcpServer probe;
    QVERIFY2(probe.listen(QHostAddress::LocalHost, harbolink::managementPort),
             "port 60505 on localhost is taken by another program");
    probe.close();

    sessionDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QLatin1Char('/') + network->name
                                                 + QStringLiteral("-session-XXXXXX"));
    QVERIFY(sessionDir->isValid());
    savedDir = QDir::currentPath();
    QDir::setCurrent(sessionDir->path());
    savedTmpDir = qgetenv("TMPDIR");
    QVERIFY(QDir(sessionDir->path()).mkpath(QStringLiteral("tmp")));
    qputenv("TMPDIR", QFile::encodeName(sessionDir->filePath(QStringLiteral("tmp"))));

    protocol = std::make_unique<Protocol>();
    events = std::make_unique<ProtocolEvents>(*protocol);
    ProtocolTunables tunables;
    tunables.programPath = harbolink::test::binaryDir() + QStringLiteral("/bin/openvpn/openvpn");
    protocol->setTunablesForTesting(tunables);
    network->setVerdictDelay(0);
}

void TestRealOpenVpn::cleanup()
{
    protocol.reset();
    events.reset();
    if (!sessionDir) {
        return;
    }
    const QList<qint64> left = ourOpenVpnClients();
    killAll(left);
    const QStringList files = QDir(sessionDir->filePath(QStringLiteral("tmp"))).entryList(QDir::Files | QDir::Hidden);

    QDir::setCurrent(savedDir);
    if (savedTmpDir.isNull()) {
        qunsetenv("TMPDIR");
    } else {
        qputenv("TMPDIR", savedTmpDir);
    }
    sessionDir.reset();

    QVERIFY2(left.isEmpty(), "an OpenVPN client of this test was still running");
    QVERIFY2(files.isEmpty(), qPrintable(QStringLiteral("left behind: ") + files.join(QLatin1Char(' '))));
}

QString TestRealOpenVpn::openVpnLog() const
{
    QFile log(sessionDir->filePath(QStringLiteral("openvpn.log")));
    log.open(QIODevice::ReadOnly);
    return QString::fromLocal8Bit(log.readAll());
}

void TestRealOpenVpn::liveSessionCountsTrafficAndStops_data()
{
    QTest::addColumn<int>("verdictDelay");
    // The tunnel is up by the time the client reaches the management interface: OpenVPN's answer
    // to the state command says so.
    QTest::newRow("tunnel up before the client asks") << 0;
    // The client waits with the management interface open; a state notification says when.
    QTest::newRow("tunnel up while the client waits") << 3;
}

void TestRealOpenVpn::liveSessionCountsTrafficAndStops()
{
    QFETCH(int, verdictDelay);
    network->setVerdictDelay(verdictDelay);

    // What OpenVPN had written to its log, and the client had read, when the session went live.
    LogCapture log;
    QString logAtConnected;
    QStringList countsAtConnected;
    QObject listener;
    connect(protocol.get(), &Protocol::connected, &listener, [&] {
        logAtConnected = openVpnLog();
        countsAtConnected = log.texts(QtDebugMsg, QStringLiteral("\">BYTECOUNT:.*"));
    });

    QElapsedTimer timer;
    timer.start();
    protocol->prepareConnection(QLatin1String(user), QLatin1String(password),
                                service->url(QStringLiteral("/servers/namespace.ovpn")));
    QTRY_COMPARE_WITH_TIMEOUT(events->count(QStringLiteral("connected")), 1, 20000);
    qInfo("connected after %lld ms", timer.elapsed());
    const QList<qint64> clients = ourOpenVpnClients();
    QCOMPARE(clients.size(), 1);
    // Live means the tunnel is up, not merely that OpenVPN's management interface is open.
    QVERIFY2(logAtConnected.contains(QLatin1String("Initialization Sequence Completed")), qPrintable(logAtConnected));
    QCOMPARE(events->events.first(), QStringLiteral("connected"));
    if (verdictDelay > 0) {
        QVERIFY(log.contains(QtDebugMsg, QStringLiteral("\">STATE:\\d+,CONNECTED,SUCCESS,.*")));
        // OpenVPN counted while it waited for the verdict; none of that reached the chart.
        QVERIFY(!countsAtConnected.isEmpty());
    }

    // Traffic through the tunnel: the server's tunnel address answers once the tunnel is up.
    const QString ping = QStandardPaths::findExecutable(QStringLiteral("ping"));
    const QStringList once = {QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-W"), QStringLiteral("1"),
                              network->serverTunnelAddress()};
    QVERIFY2(QTest::qWaitFor([&] { return run(ping, once).exitCode == 0; }, 20000),
             qPrintable(QStringLiteral("no answer through the tunnel; OpenVPN's log:\n") + openVpnLog()));
    // OpenVPN reports once a second from its first timer event after the command on (the server
    // pushes a two-second keepalive, so that comes soon). A stream of large pings runs meanwhile.
    const int reportsBefore = events->stats.size();
    QProcess traffic;
    traffic.start(ping, {QStringLiteral("-c"), QStringLiteral("30"), QStringLiteral("-i"), QStringLiteral("0.2"),
                         QStringLiteral("-s"), QStringLiteral("1000"), network->serverTunnelAddress()});
    QVERIFY(traffic.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(events->stats.size() >= reportsBefore + 2, 6000);
    QVERIFY(traffic.waitForFinished(10000));
    QCOMPARE(traffic.exitCode(), 0);

    const QPair<quint64, quint64> first = events->stats.at(reportsBefore);
    const QPair<quint64, quint64> second = events->stats.at(reportsBefore + 1);
    QVERIFY2(second.first > first.first && second.second > first.second,
             qPrintable(events->events.join(QStringLiteral(", "))));
    for (int i = 1; i < events->stats.size(); ++i) {
        QVERIFY(events->stats.at(i).first >= events->stats.at(i - 1).first);
        QVERIFY(events->stats.at(i).second >= events->stats.at(i - 1).second);
    }
    QCOMPARE(events->count(QStringLiteral("disconnected")), 0);

    const QStringList files = QDir(sessionDir->filePath(QStringLiteral("tmp"))).entryList(QDir::Files);
    QCOMPARE(files.size(), 2);
    protocol->tryToDisconect();
    QCOMPARE(events->afterConnected().filter(QStringLiteral("disconnected")),
             QStringList{QStringLiteral("disconnected")});
    QVERIFY(events->afterConnected().filter(QStringLiteral("serverError")).isEmpty());
    QCOMPARE(QDir(sessionDir->filePath(QStringLiteral("tmp"))).entryList(QDir::Files), QStringList());
    QTRY_VERIFY(!processExists(clients.first()));
}

void TestRealOpenVpn::wrongPasswordEndsTheSession_data()
{
    QTest::addColumn<int>("verdictDelay");
    // At once: OpenVPN is gone before its management interface is reached a second time.
    QTest::newRow("verdict at once") << 0;
    // Late: the management interface is open and the client waits for the tunnel, until OpenVPN
    // exits after AUTH_FAILED.
    QTest::newRow("verdict while the client waits for the tunnel") << 3;
}

void TestRealOpenVpn::wrongPasswordEndsTheSession()
{
    QFETCH(int, verdictDelay);
    network->setVerdictDelay(verdictDelay);

    LogCapture log;
    QElapsedTimer timer;
    timer.start();
    protocol->prepareConnection(QLatin1String(user), QStringLiteral("wrong"),
                                service->url(QStringLiteral("/servers/namespace.ovpn")));
    QTRY_COMPARE_WITH_TIMEOUT(events->count(QStringLiteral("disconnected")), 1, 20000);
    qInfo("disconnected after %lld ms; events: %s", timer.elapsed(),
          qPrintable(events->events.join(QStringLiteral(", "))));
    QVERIFY(timer.elapsed() < 15000);
    QTest::qWait(500);

    // The session never shows as live: no connected(), nothing after the one disconnected().
    QCOMPARE(events->count(QStringLiteral("connected")), 0);
    QCOMPARE(events->events.last(), QStringLiteral("disconnected"));
    QCOMPARE(events->count(QStringLiteral("disconnected")), 1);
    if (verdictDelay > 0) {
        // The launch reached OpenVPN's management interface well before the verdict.
        QVERIFY(log.contains(QtDebugMsg, QStringLiteral("TcpSocketEnable")));
        // OpenVPN wrote AUTH_FAILED to its log, not to its output: what ends the launch is its exit.
        QCOMPARE(events->events, QStringList({QStringLiteral("serverError:OpenVPN exited with code 0"),
                                              QStringLiteral("disconnected")}));
    }
    QVERIFY(ourOpenVpnClients().isEmpty());
    QCOMPARE(QDir(sessionDir->filePath(QStringLiteral("tmp"))).entryList(QDir::Files), QStringList());
    QVERIFY2(openVpnLog().contains(QLatin1String("AUTH_FAILED")), qPrintable(openVpnLog()));
}

QTEST_GUILESS_MAIN(TestRealOpenVpn)
#include "tst_realopenvpn.moc"
