// The launch and stop of a tunnel session, with the stand-in OpenVPN: the configuration download,
// the two files, the command line, the management attempts, the wait for the tunnel to come up and
// what every failure leaves behind.
#include "TunnelFixture.h"
#include "platform/OpenVpnProgram.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>
#include <QtTest>

#include <signal.h>

using harbolink::test::LogCapture;
using harbolink::test::processExists;
using harbolink::test::StandInSession;

class TestSessionLaunch : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void defaultsAreTheProductValues();
    void downloadCarriesTheCommonHeaders();
    void configurationFile_data();
    void configurationFile();
    void credentialsFile_data();
    void credentialsFile();
    void commandLineAndPrivateFiles();
    void userStopEndsOpenVpnAndRemovesTheFiles_data();
    void userStopEndsOpenVpnAndRemovesTheFiles();
    void failedDownloadNeverStartsOpenVpn_data();
    void failedDownloadNeverStartsOpenVpn();
    void openVpnMissing();
    void openVpnExitingAtOnce();
    void managementNeverOpens();
    void managementAtTheThirdAttempt();
    void liveOnlyOnceTheTunnelIsUp_data();
    void liveOnlyOnceTheTunnelIsUp();
    void launchEndsBeforeTheTunnelIsUp_data();
    void launchEndsBeforeTheTunnelIsUp();
    void sessionEndsWhenOpenVpnGoes_data();
    void sessionEndsWhenOpenVpnGoes();
    void tryToConnectDuringASessionChangesNothing_data();
    void tryToConnectDuringASessionChangesNothing();
    void tryToDisconectWhileIdle();
    void oneDownloadStartsOneLaunch();

private:
    // Starts a session with the script and waits until it is live.
    bool startLive(const QByteArray &script = QByteArray());
    // Starts a session with the script and waits until its management interface is open.
    bool startUntilManagementOpen(const QByteArray &script, const LogCapture &log);

    std::unique_ptr<StandInSession> session;
};

void TestSessionLaunch::init()
{
    session = std::make_unique<StandInSession>();
}

void TestSessionLaunch::cleanup()
{
    // Whatever a test did, the end of the Protocol leaves no OpenVPN and no file behind. The
    // session goes with this function, also when a check fails.
    const std::unique_ptr<StandInSession> ended = std::move(session);
    const qint64 pid = ended->standInPid();
    ended->protocol.reset();
    QTRY_VERIFY2(!processExists(pid), "the stand-in OpenVPN is still there");
    QVERIFY2(ended->leftoverFiles().isEmpty(), qPrintable(ended->leftoverFiles().join(QLatin1Char(' '))));
}

bool TestSessionLaunch::startLive(const QByteArray &script)
{
    session->start(script);
    return QTest::qWaitFor([this] { return session->events->count(QStringLiteral("connected")) == 1; }, 15000);
}

bool TestSessionLaunch::startUntilManagementOpen(const QByteArray &script, const LogCapture &log)
{
    session->start(script);
    return QTest::qWaitFor([&log] { return log.contains(QtDebugMsg, QStringLiteral("TcpSocketEnable")); }, 15000);
}

namespace {

// The management commands the stand-in got, in order, each as it echoed it (line end as \r, \n).
QStringList managementCommands(const LogCapture &log)
{
    QString errorOutput;
    const QString prefix = QStringLiteral("[ERROR:] ");
    for (const QString &text : log.texts(QtDebugMsg, QStringLiteral("\\[ERROR:\\] .*"))) {
        errorOutput += text.mid(prefix.size());
    }
    QStringList commands;
    const QString marker = QStringLiteral("management command: ");
    for (const QString &line : errorOutput.split(QLatin1Char('\n'))) {
        if (line.startsWith(marker)) {
            commands << line.mid(marker.size());
        }
    }
    return commands;
}

} // namespace

void TestSessionLaunch::defaultsAreTheProductValues()
{
    const Protocol protocol;
    const ProtocolTunables &tunables = protocol.tunables();
    QVERIFY(tunables.programPath.isEmpty());
    QCOMPARE(tunables.managementPort, quint16(60505));
    QCOMPARE(tunables.managementAttempts, 5);
    QCOMPARE(tunables.managementAttemptTimeoutMs, 30000);
    QCOMPARE(tunables.managementRetryPauseMs, 1000);
    QCOMPARE(tunables.processStartTimeoutMs, 30000);
    QCOMPARE(tunables.managementDisconnectTimeoutMs, 30000);
    QCOMPARE(tunables.processTerminateTimeoutMs, 60);
    QCOMPARE(tunables.tunnelUpTimeoutMs, 60000);
    QCOMPARE(harbolink::platform::openVpnProgramPath(),
             QCoreApplication::applicationDirPath() + QStringLiteral("/openvpn/openvpn"));
}

void TestSessionLaunch::downloadCarriesTheCommonHeaders()
{
    QVERIFY(startLive());
    const auto requests = session->service.requests();
    QCOMPARE(requests.size(), 1);
    const harbolink::test::RecordedRequest &request = requests.first();
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.path, QByteArray(StandInSession::configPath));
    QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
    QCOMPARE(request.header("User-Agent"), QByteArray("Mozilla Firefox"));
    QCOMPARE(request.header("Auth-Token"), QByteArray("KD7QW2MPX9TLRV4HZN8CGJ5YBF3SAE6UQM2WKX7PTL9DRH4VZN"));
    session->protocol->tryToDisconect();
}

void TestSessionLaunch::configurationFile_data()
{
    QTest::addColumn<bool>("withManagement");
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<QByteArray>("expectedTail");

    QTest::newRow("final line break") << true << QByteArray("verb 3\n") << QByteArray("verb 3\nlog-append openvpn.log");
    QTest::newRow("no final line break: directive on the last line")
        << true << QByteArray("verb 3") << QByteArray("verb 3log-append openvpn.log");
    QTest::newRow("NUL byte cuts the body")
        << true << QByteArray("verb 3\n\0secret 1\n", 17) << QByteArray("verb 3\nlog-append openvpn.log");
    QTest::newRow("UTF-8 text kept") << true << QByteArray("# Z\xc3\xbcrich\n")
                                     << QByteArray("# Z\xc3\xbcrich\nlog-append openvpn.log");
    QTest::newRow("empty body") << false << QByteArray() << QByteArray("log-append openvpn.log");
}

void TestSessionLaunch::configurationFile()
{
    QFETCH(bool, withManagement);
    QFETCH(QByteArray, tail);
    QFETCH(QByteArray, expectedTail);

    const QByteArray head = withManagement ? session->config() : QByteArray();
    session->serve(head + tail);
    session->protocol->prepareConnection(QStringLiteral("alice@example.com"), QStringLiteral("s3cret"),
                                         session->configUrl());
    QTRY_VERIFY_WITH_TIMEOUT(!session->record().isEmpty(), 15000);
    QCOMPARE(session->recordedBytes(QStringLiteral("config")), head + expectedTail);

    // Without a management line the launch fails by itself; either way it ends disconnected.
    if (withManagement) {
        QTRY_COMPARE(session->events->count(QStringLiteral("connected")), 1);
        session->protocol->tryToDisconect();
    }
    QTRY_COMPARE(session->events->count(QStringLiteral("disconnected")), 1);
    QVERIFY(session->leftoverFiles().isEmpty());
}

void TestSessionLaunch::credentialsFile_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("user and password") << QStringLiteral("alice@example.com") << QStringLiteral("s3cret")
                                       << QByteArray("alice@example.com\ns3cret");
    QTest::newRow("empty password keeps the line feed")
        << QStringLiteral("alice@example.com") << QString() << QByteArray("alice@example.com\n");
    QTest::newRow("Latin-1 character as one byte") << QStringLiteral("alice@example.com") << QStringLiteral("p\u00e4ss")
                                                   << QByteArray("alice@example.com\np\xe4ss");
    QTest::newRow("character outside Latin-1 becomes ?")
        << QStringLiteral("alice@example.com") << QStringLiteral("pa\u20acs\u4e2d")
        << QByteArray("alice@example.com\npa?s?");
}

void TestSessionLaunch::credentialsFile()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QByteArray, expected);

    session->start(QByteArray(), user, password);
    QTRY_COMPARE_WITH_TIMEOUT(session->events->count(QStringLiteral("connected")), 1, 15000);
    QCOMPARE(session->recordedBytes(QStringLiteral("auth")), expected);
    session->protocol->tryToDisconect();
}

void TestSessionLaunch::commandLineAndPrivateFiles()
{
    QVERIFY(startLive());

    const QJsonObject record = session->record();
    const QJsonArray argv = record.value(QStringLiteral("argv")).toArray();
    QCOMPARE(argv.size(), 5);
    QCOMPARE(argv.at(0).toString(), QCoreApplication::applicationDirPath() + QStringLiteral("/openvpn/openvpn"));
    QCOMPARE(argv.at(1).toString(), QStringLiteral("--config"));
    QCOMPARE(argv.at(3).toString(), QStringLiteral("--auth-user-pass"));
    const QString configPath = argv.at(2).toString();
    const QString authPath = argv.at(4).toString();

    // Both are temporary files of the session, readable by their owner only.
    QCOMPARE(QFileInfo(configPath).absolutePath(), QFileInfo(session->fileDir.path()).absoluteFilePath());
    QCOMPARE(QFileInfo(authPath).absolutePath(), QFileInfo(session->fileDir.path()).absoluteFilePath());
    QVERIFY(configPath != authPath);
    QCOMPARE(record.value(QStringLiteral("configMode")).toInt(), 0600);
    QCOMPARE(record.value(QStringLiteral("authMode")).toInt(), 0600);
    QVERIFY(QFile::exists(configPath));
    QVERIFY(QFile::exists(authPath));

    session->protocol->tryToDisconect();
    COMPARE_EVENTS(session->events->events, QStringList({QStringLiteral("connected"), QStringLiteral("disconnected")}));
    QVERIFY(!QFile::exists(configPath));
    QVERIFY(!QFile::exists(authPath));
}

void TestSessionLaunch::userStopEndsOpenVpnAndRemovesTheFiles_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::newRow("OpenVPN ends when asked") << QByteArray();
    QTest::newRow("OpenVPN ignores SIGTERM and is killed") << QByteArray("#fake ignore-sigterm\n");
}

void TestSessionLaunch::userStopEndsOpenVpnAndRemovesTheFiles()
{
    QFETCH(QByteArray, script);
    QVERIFY(startLive(script));
    const qint64 pid = session->standInPid();
    QVERIFY(processExists(pid));

    QElapsedTimer timer;
    timer.start();
    session->protocol->tryToDisconect();
    QVERIFY2(timer.elapsed() < 3000, "the stop sequence waited too long");

    COMPARE_EVENTS(session->events->afterConnected(), QStringList{QStringLiteral("disconnected")});
    QVERIFY(session->leftoverFiles().isEmpty());
    QTRY_VERIFY(!processExists(pid));
}

void TestSessionLaunch::failedDownloadNeverStartsOpenVpn_data()
{
    QTest::addColumn<QString>("path"); // served path, or an address of its own
    QTest::addColumn<int>("status");   // 0: the path is not served

    QTest::newRow("HTTP 404") << QStringLiteral("/servers/missing.ovpn") << 0;
    QTest::newRow("HTTP 500") << QStringLiteral("/servers/test.ovpn") << 500;
    QTest::newRow("HTTP 302 is no configuration") << QStringLiteral("/servers/test.ovpn") << 302;
    QTest::newRow("service unreachable") << QStringLiteral("unreachable") << 0;
    QTest::newRow("file: address refused") << QStringLiteral("file") << 0;
    QTest::newRow("qrc: address refused") << QStringLiteral("qrc:/resources/common/stylesheet.css") << 0;
    QTest::newRow("address without scheme refused") << QStringLiteral("servers/test.ovpn") << 0;
}

void TestSessionLaunch::failedDownloadNeverStartsOpenVpn()
{
    QFETCH(QString, path);
    QFETCH(int, status);

    // A local file that a refused address points at: its contents must reach neither OpenVPN nor
    // the debug log.
    const QString localPath = session->recordDir.filePath(QStringLiteral("local.ovpn"));
    {
        QFile local(localPath);
        QVERIFY(local.open(QIODevice::WriteOnly));
        local.write(session->config("# LOCAL-FILE-MARKER\n"));
    }

    QString url;
    if (path == QLatin1String("unreachable")) {
        url = QStringLiteral("https://127.0.0.1:%1/servers/test.ovpn").arg(harbolink::test::unusedLoopbackPort());
    } else if (path == QLatin1String("file")) {
        url = QUrl::fromLocalFile(localPath).toString();
    } else if (path.startsWith(QLatin1Char('/'))) {
        if (status != 0) {
            harbolink::test::CannedReply reply;
            reply.status = status;
            reply.body = session->config("# SERVED-BODY-MARKER\n");
            session->service.setReply("GET", path.toLatin1(), reply);
        }
        url = session->service.url(path);
    } else {
        url = path;
    }

    LogCapture log;
    session->protocol->prepareConnection(QStringLiteral("alice@example.com"), QStringLiteral("s3cret"), url);
    QTRY_COMPARE_WITH_TIMEOUT(session->events->count(QStringLiteral("disconnected")), 1, 15000);
    QTest::qWait(200);
    COMPARE_EVENTS(session->events->events,
                   QStringList({QStringLiteral("connectionError"), QStringLiteral("disconnected")}));
    QCOMPARE(session->events->downloads, 0);
    QVERIFY2(session->record().isEmpty(), "OpenVPN was started");
    QVERIFY(session->leftoverFiles().isEmpty());
    QVERIFY(!log.contains(QtDebugMsg, QStringLiteral(".*LOCAL-FILE-MARKER.*")));
    QVERIFY(!log.contains(QtDebugMsg, QStringLiteral(".*SERVED-BODY-MARKER.*")));
}

void TestSessionLaunch::openVpnMissing()
{
    ProtocolTunables tunables = session->protocol->tunables();
    tunables.programPath = session->fileDir.filePath(QStringLiteral("nowhere/openvpn"));
    session->protocol->setTunablesForTesting(tunables);

    LogCapture log;
    session->start();
    QTRY_COMPARE_WITH_TIMEOUT(session->events->count(QStringLiteral("disconnected")), 1, 15000);
    COMPARE_EVENTS(session->events->events, QStringList({QStringLiteral("serverError:Something goes wrong..."),
                                                         QStringLiteral("disconnected")}));
    QVERIFY(log.contains(QtCriticalMsg, QStringLiteral("OpenVPN process error: FailedToStart")));
    QVERIFY(log.contains(QtCriticalMsg, QStringLiteral("Unable to start")));
    QVERIFY(session->leftoverFiles().isEmpty());
}

void TestSessionLaunch::openVpnExitingAtOnce()
{
    LogCapture log;
    session->start("#fake on-start 0 stdout Options error: nothing to do\n#fake on-start 0 exit 1\n");
    QTRY_COMPARE_WITH_TIMEOUT(session->events->count(QStringLiteral("disconnected")), 1, 15000);
    QTest::qWait(200);
    QCOMPARE(session->events->count(QStringLiteral("connected")), 0);
    QCOMPARE(session->events->count(QStringLiteral("disconnected")), 1);
    QCOMPARE(log.texts(QtWarningMsg, QStringLiteral("Retrying management...")).size(), 5);
    QVERIFY(session->leftoverFiles().isEmpty());
    QTRY_VERIFY(!processExists(session->standInPid()));
}

void TestSessionLaunch::managementNeverOpens()
{
    LogCapture log;
    // It also ignores SIGTERM: the failed launch has to kill it.
    session->start("#fake management-never\n#fake ignore-sigterm\n");
    QTRY_COMPARE_WITH_TIMEOUT(session->events->count(QStringLiteral("disconnected")), 1, 15000);
    COMPARE_EVENTS(session->events->events, QStringList({QStringLiteral("disconnected")}));

    QStringList attempts;
    for (const LogCapture::Entry &entry : log.entries()) {
        if (entry.text.startsWith(QLatin1String("Retrying management"))
            || entry.text.startsWith(QLatin1String("Unable to connect to management"))) {
            attempts << QStringLiteral("%1 %2").arg(entry.type == QtWarningMsg ? "W" : "C", entry.text);
        }
    }
    const QString retry = QStringLiteral("W Retrying management...");
    QCOMPARE(attempts.size(), 6);
    QCOMPARE(attempts.mid(0, 5), QStringList({retry, retry, retry, retry, retry}));
    QCOMPARE(attempts.at(5), QStringLiteral("C Unable to connect to management QAbstractSocket::ConnectionRefusedError "
                                            "\"Connection refused\""));

    // A failed launch leaves nothing behind.
    QVERIFY(session->leftoverFiles().isEmpty());
    QTRY_VERIFY(!processExists(session->standInPid()));
}

void TestSessionLaunch::managementAtTheThirdAttempt()
{
    // The real pause of one second between attempts: the stand-in opens its interface 1.5 s after
    // its start, between the second attempt (about 1 s) and the third (about 2 s).
    ProtocolTunables tunables = session->protocol->tunables();
    tunables.managementRetryPauseMs = 1000;
    session->protocol->setTunablesForTesting(tunables);

    LogCapture log;
    session->start("#fake management-delay 1500\n#fake bytecount-interval-ms 0\n");
    QTRY_COMPARE_WITH_TIMEOUT(session->events->count(QStringLiteral("connected")), 1, 15000);
    // The commands, exactly: byte counts every second, then state changes from now on and the
    // state already reached. And OpenVPN's answer to the first.
    QTRY_COMPARE(managementCommands(log), QStringList({QStringLiteral("bytecount 1\\n"), QStringLiteral("state on\\n"),
                                                       QStringLiteral("state\\n")}));
    QTRY_VERIFY(log.contains(QtDebugMsg, QStringLiteral(".*SUCCESS: bytecount interval changed.*")));

    QStringList steps;
    for (const LogCapture::Entry &entry : log.entries()) {
        if (entry.text == QLatin1String("Retrying management...") || entry.text == QLatin1String("TcpSocketEnable")) {
            steps << entry.text;
        }
    }
    QCOMPARE(steps, QStringList({QStringLiteral("Retrying management..."), QStringLiteral("Retrying management..."),
                                 QStringLiteral("TcpSocketEnable")}));
    session->protocol->tryToDisconect();
}

void TestSessionLaunch::liveOnlyOnceTheTunnelIsUp_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("upAfterMs");  // since the stand-in's start
    QTest::addColumn<QString>("upLine"); // pattern of the line that made the session live, as logged

    QTest::newRow("up before the client asks: the answer to the state command")
        << QByteArray("#fake management-delay 300\n#fake connected-after 0\n") << 0
        << QStringLiteral("\"\\d+,CONNECTED,SUCCESS,10\\.8\\.0\\.2,.*");
    QTest::newRow("up after the client asks: the state notification")
        << QByteArray("#fake connected-after 2000\n") << 2000
        << QStringLiteral("\">STATE:\\d+,CONNECTED,SUCCESS,10\\.8\\.0\\.2,.*");
}

void TestSessionLaunch::liveOnlyOnceTheTunnelIsUp()
{
    QFETCH(QByteArray, script);
    QFETCH(int, upAfterMs);
    QFETCH(QString, upLine);

    // What the client had read from OpenVPN when it declared the session live.
    LogCapture log;
    QStringList upLinesAtConnected;
    bool managementOpenAtConnected = false;
    QObject listener;
    connect(session->protocol.get(), &Protocol::connected, &listener, [&] {
        upLinesAtConnected = log.texts(QtDebugMsg, QStringLiteral(".*,CONNECTED,.*"));
        managementOpenAtConnected = log.contains(QtDebugMsg, QStringLiteral("TcpSocketEnable"));
    });

    QElapsedTimer timer;
    timer.start();
    session->start(script + "#fake bytecount-interval-ms 0\n");
    QTRY_COMPARE_WITH_TIMEOUT(session->events->count(QStringLiteral("connected")), 1, 15000);
    const qint64 elapsed = timer.elapsed();

    QVERIFY(managementOpenAtConnected);
    QCOMPARE(upLinesAtConnected.size(), 1);
    QVERIFY2(
        QRegularExpression(QRegularExpression::anchoredPattern(upLine)).match(upLinesAtConnected.first()).hasMatch(),
        qPrintable(upLinesAtConnected.first()));
    // The stand-in counts from its own start, which comes after the download; its clock ticks in
    // 10 ms steps.
    QVERIFY2(elapsed >= upAfterMs - 20, qPrintable(QString::number(elapsed)));
    QTest::qWait(200);
    COMPARE_EVENTS(session->events->events, QStringList{QStringLiteral("connected")});
    session->protocol->tryToDisconect();
}

void TestSessionLaunch::launchEndsBeforeTheTunnelIsUp_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("limitMs"); // time limit for the tunnel to come up; 0: the product's
    QTest::addColumn<bool>("userStops");
    QTest::addColumn<QStringList>("expected");

    const QString disconnected = QStringLiteral("disconnected");
    const QByteArray never = "#fake connected-never\n";
    QTest::newRow("wrong password: AUTH_FAILED before the tunnel is up")
        << QByteArray("#fake expect-credentials alice@example.com other\n#fake connected-after 1500\n") << 0 << false
        << QStringList({QStringLiteral("serverError:AUTH: Received control message: AUTH_FAILED"), disconnected});
    QTest::newRow("error line") << never + "#fake on-connect 300 stdout ERROR: Cannot open TUN/TAP dev\n"
                                << 0 << false
                                << QStringList(
                                       {QStringLiteral("serverError:ERROR: Cannot open TUN/TAP dev"), disconnected});
    QTest::newRow("OpenVPN exits") << never + "#fake on-connect 300 exit 3\n"
                                   << 0 << false
                                   << QStringList(
                                          {QStringLiteral("serverError:OpenVPN exited with code 3"), disconnected});
    QTest::newRow("OpenVPN crashes") << never + "#fake on-connect 300 crash\n"
                                     << 0 << false
                                     << QStringList({QStringLiteral("serverError:Something goes wrong..."),
                                                     QStringLiteral("serverError:OpenVPN ended unexpectedly"),
                                                     disconnected});
    QTest::newRow("OpenVPN closes its management connection")
        << never + "#fake on-connect 300 close-mgmt\n"
        << 0 << false
        << QStringList({QStringLiteral("serverError:OpenVPN closed the management connection"), disconnected});
    QTest::newRow("no tunnel within the time limit")
        << never << 1500 << false
        << QStringList(
               {QStringLiteral("serverError:Connecting timed out: OpenVPN did not bring the tunnel up"), disconnected});
    QTest::newRow("the user stops it") << never << 0 << true << QStringList{disconnected};
}

void TestSessionLaunch::launchEndsBeforeTheTunnelIsUp()
{
    QFETCH(QByteArray, script);
    QFETCH(int, limitMs);
    QFETCH(bool, userStops);
    QFETCH(QStringList, expected);

    if (limitMs > 0) {
        ProtocolTunables tunables = session->protocol->tunables();
        tunables.tunnelUpTimeoutMs = limitMs;
        session->protocol->setTunablesForTesting(tunables);
    }
    LogCapture log;
    QVERIFY(startUntilManagementOpen(script + "#fake bytecount-interval-ms 0\n", log));
    QElapsedTimer sinceOpen;
    sinceOpen.start();
    const qint64 pid = session->standInPid();
    QVERIFY(processExists(pid));
    QCOMPARE(session->leftoverFiles().size(), 2);

    if (userStops) {
        session->protocol->tryToDisconect();
    }
    QTRY_COMPARE_WITH_TIMEOUT(session->events->count(QStringLiteral("disconnected")), 1, 10000);
    if (limitMs > 0) {
        QVERIFY2(sinceOpen.elapsed() >= limitMs - 100, qPrintable(QString::number(sinceOpen.elapsed())));
    }
    QTest::qWait(300);
    COMPARE_EVENTS(session->events->events, expected);
    QVERIFY(session->leftoverFiles().isEmpty());
    QTRY_VERIFY(!processExists(pid));
}

void TestSessionLaunch::sessionEndsWhenOpenVpnGoes_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("killFromOutside");
    QTest::addColumn<QStringList>("expected");

    const QString vague = QStringLiteral("serverError:Something goes wrong...");
    const QString disconnected = QStringLiteral("disconnected");
    QTest::newRow("killed from outside") << QByteArray() << true
                                         << QStringList({vague,
                                                         QStringLiteral("serverError:OpenVPN ended unexpectedly"),
                                                         disconnected});
    QTest::newRow("crashes") << QByteArray("#fake on-connect 200 crash\n") << false
                             << QStringList(
                                    {vague, QStringLiteral("serverError:OpenVPN ended unexpectedly"), disconnected});
    QTest::newRow("exits by itself") << QByteArray("#fake on-connect 200 exit 3\n") << false
                                     << QStringList(
                                            {QStringLiteral("serverError:OpenVPN exited with code 3"), disconnected});
    QTest::newRow("closes its management connection")
        << QByteArray("#fake on-connect 200 close-mgmt\n") << false
        << QStringList({QStringLiteral("serverError:OpenVPN closed the management connection"), disconnected});
}

void TestSessionLaunch::sessionEndsWhenOpenVpnGoes()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, killFromOutside);
    QFETCH(QStringList, expected);

    QVERIFY(startLive(script + "#fake bytecount-interval-ms 0\n"));
    const qint64 pid = session->standInPid();
    if (killFromOutside) {
        QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
    }
    QTRY_COMPARE_WITH_TIMEOUT(session->events->count(QStringLiteral("disconnected")), 1, 10000);
    QTest::qWait(200);
    COMPARE_EVENTS(session->events->afterConnected(), expected);
    QVERIFY(session->leftoverFiles().isEmpty());
    QTRY_VERIFY(!processExists(pid));
}

void TestSessionLaunch::tryToConnectDuringASessionChangesNothing_data()
{
    QTest::addColumn<bool>("live"); // else the tunnel is still coming up
    QTest::newRow("live") << true;
    QTest::newRow("tunnel still coming up") << false;
}

void TestSessionLaunch::tryToConnectDuringASessionChangesNothing()
{
    QFETCH(bool, live);
    LogCapture log;
    if (live) {
        QVERIFY(startLive("#fake bytecount-interval-ms 0\n"));
    } else {
        QVERIFY(startUntilManagementOpen("#fake connected-never\n#fake bytecount-interval-ms 0\n", log));
    }
    const qint64 pid = session->standInPid();
    const QStringList files = session->leftoverFiles();
    QCOMPARE(files.size(), 2);
    QVERIFY(QFile::remove(session->recordPath()));
    const QStringList before = session->events->events;

    session->protocol->tryToConnect();
    QTest::qWait(300);
    COMPARE_EVENTS(session->events->events, before);
    QVERIFY2(!QFile::exists(session->recordPath()), "a second OpenVPN was started");
    QVERIFY(processExists(pid));
    QCOMPARE(session->leftoverFiles(), files);

    session->protocol->tryToDisconect();
    QTRY_VERIFY(!processExists(pid));
}

void TestSessionLaunch::tryToDisconectWhileIdle()
{
    session->protocol->tryToDisconect();
    COMPARE_EVENTS(session->events->events, QStringList{QStringLiteral("disconnected")});
    QVERIFY(session->leftoverFiles().isEmpty());
    QVERIFY(session->service.requests().isEmpty());
}

void TestSessionLaunch::oneDownloadStartsOneLaunch()
{
    for (int round = 1; round <= 3; ++round) {
        session->events->events.clear();
        session->events->downloads = 0;
        session->start("#fake bytecount-interval-ms 0\n");
        QTRY_COMPARE_WITH_TIMEOUT(session->events->count(QStringLiteral("connected")), 1, 15000);
        QTest::qWait(200);
        COMPARE_EVENTS(session->events->events, QStringList({QStringLiteral("connected")}));
        QCOMPARE(session->events->downloads, 1);
        QCOMPARE(session->leftoverFiles().size(), 2);
        const qint64 pid = session->standInPid();
        session->protocol->tryToDisconect();
        QTRY_VERIFY(!processExists(pid));
    }
}

QTEST_GUILESS_MAIN(TestSessionLaunch)
#include "tst_sessionlaunch.moc"
