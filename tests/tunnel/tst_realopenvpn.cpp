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

namespace {

constexpr char namePrefix[] = "hl-ovpn-";
constexpr char user[] = "alice@example.com";
constexpr char password[] = "s3cret";

struct CommandResult {
    int exitCode = -1;
    QByteArray output;
};

CommandResult run(const QString &program, const QStringList &arguments, int timeoutMs = 30000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    CommandResult result;
    if (!process.waitForStarted(timeoutMs) || !process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        result.output = "did not finish: " + program.toLocal8Bit();
        return result;
    }
    result.output = process.readAll();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

// Processes whose command line mentions the text, e.g. a folder of ours.
QList<qint64> processesMentioning(const QByteArray &text)
{
    QList<qint64> pids;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid || pid == qint64(::getpid())) {
            continue;
        }
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(text)) {
            pids << pid;
        }
    }
    return pids;
}

void killAll(const QList<qint64> &pids)
{
    for (qint64 pid : pids) {
        ::kill(pid_t(pid), SIGKILL);
    }
}

// A process that exists and has not ended (a zombie has).
bool isRunning(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2, 1) != "Z";
}

// Removes what a run that was killed before it could clean up left behind: its namespace, the
// processes in it and any client of its still running.
void removeLeftoversOfDeadRuns()
{
    const CommandResult list = run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("list")});
    for (const QByteArray &line : list.output.split('\n')) {
        const QByteArray name = line.split(' ').value(0);
        if (!name.startsWith(namePrefix)) {
            continue;
        }
        const qint64 owner = name.mid(int(sizeof(namePrefix)) - 1).toLongLong();
        if (owner <= 0 || isRunning(owner)) {
            continue;
        }
        const CommandResult pids =
            run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("pids"), QString::fromLatin1(name)});
        QList<qint64> inside;
        for (const QByteArray &pid : pids.output.split('\n')) {
            if (pid.toLongLong() > 0) {
                inside << pid.toLongLong();
            }
        }
        killAll(inside);
        killAll(processesMentioning("/" + name + "-"));
        run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("delete"), QString::fromLatin1(name)});
        const QStringList folders = QDir::temp().entryList({QString::fromLatin1(name) + QStringLiteral("-*")},
                                                           QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString &folder : folders) {
            QDir(QDir::temp().filePath(folder)).removeRecursively();
        }
    }
}

// The namespace with its veth pair, the test PKI and the OpenVPN server in the namespace. The
// destructor removes all of it, whatever state the set-up reached.
class TestNetwork
{
public:
    TestNetwork()
        : name(QString::fromLatin1(namePrefix) + QString::number(::getpid()))
        , octet(20 + int(::getpid() % 200))
        , hostSide(QStringLiteral("hlo%1a").arg(::getpid()))
        , innerSide(QStringLiteral("hlo%1b").arg(::getpid()))
        , workDir(QDir::tempPath() + QLatin1Char('/') + name + QStringLiteral("-XXXXXX"))
    {
    }
    ~TestNetwork()
    {
        if (server) {
            server->kill();
            server->waitForFinished(5000);
        }
        if (namespaceMade) {
            const CommandResult pids =
                run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("pids"), name});
            for (const QByteArray &pid : pids.output.split('\n')) {
                if (pid.toLongLong() > 0) {
                    ::kill(pid_t(pid.toLongLong()), SIGKILL);
                }
            }
            // Deleting the namespace also removes the veth pair.
            run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("delete"), name});
        }
        run(QStringLiteral("ip"), {QStringLiteral("link"), QStringLiteral("delete"), hostSide});
    }
    TestNetwork(const TestNetwork &) = delete;
    TestNetwork &operator=(const TestNetwork &) = delete;

    QString serverAddress() const { return QStringLiteral("10.213.%1.2").arg(octet); }
    QString serverTunnelAddress() const { return QStringLiteral("10.214.%1.1").arg(octet); }

    // Empty when everything is up, else what failed.
    QString setUp()
    {
        if (!workDir.isValid()) {
            return QStringLiteral("cannot make a working folder");
        }
        CommandResult made = run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("add"), name});
        if (made.exitCode != 0) {
            return QStringLiteral("ip netns add failed: ") + QString::fromLocal8Bit(made.output);
        }
        namespaceMade = true;

        const QString hostAddress = QStringLiteral("10.213.%1.1/30").arg(octet);
        const QString innerAddress = serverAddress() + QStringLiteral("/30");
        const QList<QStringList> steps = {
            {QStringLiteral("link"), QStringLiteral("add"), hostSide, QStringLiteral("type"), QStringLiteral("veth"),
             QStringLiteral("peer"), QStringLiteral("name"), innerSide},
            {QStringLiteral("link"), QStringLiteral("set"), innerSide, QStringLiteral("netns"), name},
            {QStringLiteral("addr"), QStringLiteral("add"), hostAddress, QStringLiteral("dev"), hostSide},
            {QStringLiteral("link"), QStringLiteral("set"), hostSide, QStringLiteral("up")},
            {QStringLiteral("-n"), name, QStringLiteral("addr"), QStringLiteral("add"), innerAddress,
             QStringLiteral("dev"), innerSide},
            {QStringLiteral("-n"), name, QStringLiteral("link"), QStringLiteral("set"), innerSide,
             QStringLiteral("up")},
            {QStringLiteral("-n"), name, QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"),
             QStringLiteral("up")},
        };
        for (const QStringList &step : steps) {
            const CommandResult result = run(QStringLiteral("ip"), step);
            if (result.exitCode != 0) {
                return QStringLiteral("ip %1 failed: %2")
                    .arg(step.join(QLatin1Char(' ')), QString::fromLocal8Bit(result.output));
            }
        }

        const QString pkiError = makePki();
        if (!pkiError.isEmpty()) {
            return pkiError;
        }
        return startServer();
    }

    // The configuration the service hands out: this server, the test CA, management where the
    // client expects it.
    QByteArray clientConfig() const
    {
        QFile ca(path("ca.pem"));
        ca.open(QIODevice::ReadOnly);
        return "client\ndev tun\nproto udp\nremote " + serverAddress().toLatin1()
               + " 1194\nnobind\ndisable-dco\nremote-cert-tls server\nverify-x509-name server name\n"
                 "auth-user-pass\nmanagement localhost 60505\nverb 3\n<ca>\n"
               + ca.readAll() + "</ca>\n";
    }

    // How long the server thinks before it answers a login.
    void setVerdictDelay(int seconds) { writeFile("delay", QByteArray::number(seconds) + '\n', 0644); }

    QString path(const char *file) const { return workDir.filePath(QLatin1String(file)); }
    QString serverOutput() const { return QString::fromLocal8Bit(serverLog); }

    const QString name;

private:
    QString makePki()
    {
        const QString openssl = QStringLiteral("openssl");
        const QString ec = QStringLiteral("ec_paramgen_curve:prime256v1");
        const QList<QStringList> steps = {
            {QStringLiteral("req"),      QStringLiteral("-x509"),
             QStringLiteral("-newkey"),  QStringLiteral("ec"),
             QStringLiteral("-pkeyopt"), ec,
             QStringLiteral("-nodes"),   QStringLiteral("-sha256"),
             QStringLiteral("-days"),    QStringLiteral("2"),
             QStringLiteral("-subj"),    QStringLiteral("/CN=harbolink tunnel test CA"),
             QStringLiteral("-keyout"),  path("ca.key"),
             QStringLiteral("-out"),     path("ca.pem"),
             QStringLiteral("-addext"),  QStringLiteral("basicConstraints=critical,CA:TRUE"),
             QStringLiteral("-addext"),  QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")},
            {QStringLiteral("req"), QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"), ec,
             QStringLiteral("-nodes"), QStringLiteral("-sha256"), QStringLiteral("-subj"), QStringLiteral("/CN=server"),
             QStringLiteral("-keyout"), path("server.key"), QStringLiteral("-out"), path("server.csr")},
            {QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-sha256"), QStringLiteral("-days"),
             QStringLiteral("2"), QStringLiteral("-in"), path("server.csr"), QStringLiteral("-CA"), path("ca.pem"),
             QStringLiteral("-CAkey"), path("ca.key"), QStringLiteral("-CAcreateserial"), QStringLiteral("-extfile"),
             path("server.ext"), QStringLiteral("-out"), path("server.pem")},
        };
        writeFile("server.ext",
                  "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyAgreement\n"
                  "extendedKeyUsage=serverAuth\n",
                  0600);
        for (const QStringList &step : steps) {
            const CommandResult result = run(openssl, step);
            if (result.exitCode != 0) {
                return QStringLiteral("openssl %1 failed: %2").arg(step.first(), QString::fromLocal8Bit(result.output));
            }
        }
        return QString();
    }

    QString startServer()
    {
        // The server checks the login itself: the credentials OpenVPN hands to the script are
        // compared with the test account's, after the delay the test chose.
        writeFile("verify.sh",
                  "#!/bin/sh\nsleep \"$(cat '" + path("delay").toLocal8Bit()
                      + "')\"\n{ read -r user; read -r pass; } < \"$1\"\n"
                        "[ \"$user\" = '"
                      + QByteArray(user) + "' ] && [ \"$pass\" = '" + QByteArray(password) + "' ]\n",
                  0700);
        setVerdictDelay(0);
        const QByteArray config = "dev tun\nproto udp\nlocal " + serverAddress().toLatin1()
                                  + "\nport 1194\ndisable-dco\ntopology subnet\nserver 10.214."
                                  + QByteArray::number(octet) + ".0 255.255.255.0\nca " + path("ca.pem").toLocal8Bit()
                                  + "\ncert " + path("server.pem").toLocal8Bit() + "\nkey "
                                  + path("server.key").toLocal8Bit()
                                  + "\ndh none\nverify-client-cert none\nusername-as-common-name\nscript-security 2\n"
                                    "auth-user-pass-verify "
                                  + path("verify.sh").toLocal8Bit() + " via-file\ntmp-dir "
                                  + workDir.path().toLocal8Bit() + "\nkeepalive 2 20\nverb 3\n";
        writeFile("server.conf", config, 0600);

        server = std::make_unique<QProcess>();
        server->setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(server.get(), &QProcess::readyRead, server.get(), [this] { serverLog += server->readAll(); });
        server->start(QStringLiteral("ip"),
                      {QStringLiteral("netns"), QStringLiteral("exec"), name, QStringLiteral("/usr/sbin/openvpn"),
                       QStringLiteral("--config"), path("server.conf")});
        const bool ready = QTest::qWaitFor(
            [this] {
                return serverLog.contains("Initialization Sequence Completed")
                       || server->state() == QProcess::NotRunning;
            },
            20000);
        if (!ready || server->state() == QProcess::NotRunning) {
            return QStringLiteral("the OpenVPN server did not come up: ") + serverOutput();
        }
        return QString();
    }

    void writeFile(const char *file, const QByteArray &contents, int mode)
    {
        QFile out(path(file));
        out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        out.write(contents);
        out.close();
        ::chmod(QFile::encodeName(out.fileName()).constData(), mode_t(mode));
    }

    const int octet;
    const QString hostSide;
    const QString innerSide;
    QTemporaryDir workDir;
    bool namespaceMade = false;
    std::unique_ptr<QProcess> server;
    QByteArray serverLog;
};

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

    std::unique_ptr<TestNetwork> network;
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

    removeLeftoversOfDeadRuns();
    network = std::make_unique<TestNetwork>();
    const QString failure = network->setUp();
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
