// What a live session makes of OpenVPN's output and of its management interface, with the
// stand-in OpenVPN: error lines end the session, byte-count lines become traffic figures.
#include "TunnelFixture.h"

#include <QtTest>

using harbolink::test::LogCapture;
using harbolink::test::processExists;
using harbolink::test::StandInSession;

using Counts = QList<QPair<quint64, quint64>>; // (sent, received)
Q_DECLARE_METATYPE(Counts)

class TestOpenVpnMonitor : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void errorLineEndsTheSession_data();
    void errorLineEndsTheSession();
    void otherOutputKeepsTheSession_data();
    void otherOutputKeepsTheSession();
    void byteCountLines_data();
    void byteCountLines();
    void countsArriveEverySecondAndRise();
    void noCountsBeforeTheTunnelIsUp();

private:
    bool startLive(const QByteArray &script);

    std::unique_ptr<StandInSession> session;
};

void TestOpenVpnMonitor::init()
{
    session = std::make_unique<StandInSession>();
}

void TestOpenVpnMonitor::cleanup()
{
    // Whatever a test did, the end of the Protocol leaves no OpenVPN and no file behind. The
    // session goes with this function, also when a check fails.
    const std::unique_ptr<StandInSession> ended = std::move(session);
    const qint64 pid = ended->standInPid();
    ended->protocol.reset();
    QTRY_VERIFY2(!processExists(pid), "the stand-in OpenVPN is still there");
    QVERIFY2(ended->leftoverFiles().isEmpty(), qPrintable(ended->leftoverFiles().join(QLatin1Char(' '))));
}

bool TestOpenVpnMonitor::startLive(const QByteArray &script)
{
    session->start(script);
    return QTest::qWaitFor([this] { return session->events->count(QStringLiteral("connected")) == 1; }, 15000);
}

void TestOpenVpnMonitor::errorLineEndsTheSession_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QStringList>("expected");

    const QString disconnected = QStringLiteral("disconnected");
    QTest::newRow("word error in lower case anywhere")
        << QByteArray("#fake on-connect 100 stdout Options error: --foo is not known\n")
        << QStringList({QStringLiteral("serverError:Options error: --foo is not known"), disconnected});
    QTest::newRow("ERROR: marker") << QByteArray("#fake on-connect 100 stdout Fri ERROR: Cannot open TUN/TAP dev\n")
                                   << QStringList({QStringLiteral("serverError:Fri ERROR: Cannot open TUN/TAP dev"),
                                                   disconnected});
    QTest::newRow("AUTH_FAILED after other text: the whole line")
        << QByteArray("#fake on-connect 100 stdout AUTH: Received control message: AUTH_FAILED\n")
        << QStringList({QStringLiteral("serverError:AUTH: Received control message: AUTH_FAILED"), disconnected});
    QTest::newRow("two error lines in one chunk")
        << QByteArray("#fake on-connect 100 stdout-part first error\\nsecond ERROR: x\\n\n")
        << QStringList({QStringLiteral("serverError:first error"), disconnected,
                        QStringLiteral("serverError:second ERROR: x"), disconnected});
    QTest::newRow("line split across two chunks is examined whole")
        << QByteArray("#fake on-connect 100 stdout-part Options err\n#fake on-connect 400 stdout or: bad\n")
        << QStringList({QStringLiteral("serverError:Options error: bad"), disconnected});
    QTest::newRow("last line without line feed when OpenVPN exits")
        << QByteArray("#fake on-connect 100 stdout-part fatal error\n#fake on-connect 300 exit 1\n")
        << QStringList({QStringLiteral("serverError:fatal error"), disconnected});
}

void TestOpenVpnMonitor::errorLineEndsTheSession()
{
    QFETCH(QByteArray, script);
    QFETCH(QStringList, expected);

    QVERIFY(startLive(script + "#fake bytecount-interval-ms 0\n"));
    const qint64 pid = session->standInPid();
    QTRY_VERIFY_WITH_TIMEOUT(session->events->count(QStringLiteral("disconnected")) >= 1, 10000);
    QTest::qWait(300);
    COMPARE_EVENTS(session->events->afterConnected(), expected);
    QVERIFY(session->leftoverFiles().isEmpty());
    QTRY_VERIFY(!processExists(pid));
}

void TestOpenVpnMonitor::otherOutputKeepsTheSession_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("logged"); // pattern of the debug line the output gives

    QTest::newRow("Error capitalised") << QByteArray("#fake on-connect 100 stdout Error opening the log\n")
                                       << QStringLiteral("\\[OUTPUT:\\] Error opening the log\n");
    QTest::newRow("authentication marker in mixed case")
        << QByteArray("#fake on-connect 100 stdout Auth_Failed\n") << QStringLiteral("\\[OUTPUT:\\] Auth_Failed\n");
    QTest::newRow("ordinary line") << QByteArray("#fake on-connect 100 stdout Initialization Sequence Completed\n")
                                   << QStringLiteral("\\[OUTPUT:\\] Initialization Sequence Completed\n");
    QTest::newRow("standard error is only logged")
        << QByteArray("#fake on-connect 100 stderr ERROR: error AUTH_FAILED\n")
        << QStringLiteral("\\[ERROR:\\] ERROR: error AUTH_FAILED\n");
}

void TestOpenVpnMonitor::otherOutputKeepsTheSession()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, logged);

    LogCapture log;
    QVERIFY(startLive(script + "#fake bytecount-interval-ms 0\n"));
    QTRY_VERIFY(log.contains(QtDebugMsg, logged));
    QTest::qWait(300);
    COMPARE_EVENTS(session->events->afterConnected(), QStringList());

    const qint64 pid = session->standInPid();
    QVERIFY(processExists(pid));
    session->protocol->tryToDisconect();
    COMPARE_EVENTS(session->events->afterConnected(), QStringList{QStringLiteral("disconnected")});
}

void TestOpenVpnMonitor::byteCountLines_data()
{
    QTest::addColumn<QByteArray>("first");  // sent to the client once it is in
    QTest::addColumn<QByteArray>("second"); // sent 300 ms later, if any
    QTest::addColumn<Counts>("counts");
    QTest::addColumn<int>("wrongLines"); // besides the answer to the byte-count command

    const QByteArray greeting = ">INFO:OpenVPN Management Interface Version 5 -- type 'help' for more info\\r\\n";
    QTest::newRow("greeting and byte count in one chunk") << greeting + ">BYTECOUNT:1024,2048\\r\\n"
                                                          << QByteArray() << Counts{{2048, 1024}} << 1;
    QTest::newRow("line feed without carriage return")
        << QByteArray(">BYTECOUNT:1024,2048\\n") << QByteArray() << Counts{{2048, 1024}} << 0;
    QTest::newRow("counts above 4 GiB") << QByteArray(">BYTECOUNT:5000000000,6000000000\\r\\n") << QByteArray()
                                        << Counts{{6000000000ULL, 5000000000ULL}} << 0;
    QTest::newRow("count beyond 64 bits is 0")
        << QByteArray(">BYTECOUNT:18446744073709551616,7\\r\\n") << QByteArray() << Counts{{7, 0}} << 0;
    QTest::newRow("largest 64-bit count") << QByteArray(">BYTECOUNT:18446744073709551615,0\\r\\n") << QByteArray()
                                          << Counts{{0, 18446744073709551615ULL}} << 0;
    QTest::newRow("parts that are no numbers are 0")
        << QByteArray(">BYTECOUNT:12ab,-5\\r\\n") << QByteArray() << Counts{{0, 0}} << 0;
    QTest::newRow("any 11-character prefix")
        << QByteArray("XXXXXXXXXXX5,6\\r\\n") << QByteArray() << Counts{{6, 5}} << 0;
    QTest::newRow("line of 11 characters") << QByteArray(">BYTECOUNT:\\r\\n") << QByteArray() << Counts{} << 1;
    QTest::newRow("more than one comma") << QByteArray(">BYTECOUNT:1,2,3\\r\\n") << QByteArray() << Counts{} << 1;
    QTest::newRow("line split across two chunks")
        << QByteArray(">BYTECOUNT:1024,20") << QByteArray("48\\r\\n") << Counts{{2048, 1024}} << 0;
    QTest::newRow("state notification is no count")
        << QByteArray(">STATE:1700000000,RECONNECTING,ping-restart,,,,,,\\r\\n") << QByteArray() << Counts{} << 0;
    QTest::newRow("two counts in one chunk")
        << QByteArray(">BYTECOUNT:1,2\\r\\n>BYTECOUNT:3,4\\r\\n") << QByteArray() << Counts{{2, 1}, {4, 3}} << 0;
}

void TestOpenVpnMonitor::byteCountLines()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(Counts, counts);
    QFETCH(int, wrongLines);

    QByteArray script = "#fake no-greeting\n#fake bytecount-interval-ms 0\n#fake on-connect 100 mgmt " + first + '\n';
    if (!second.isEmpty()) {
        script += "#fake on-connect 400 mgmt " + second + '\n';
    }
    LogCapture log;
    QVERIFY(startLive(script));
    // The answer to "bytecount 1" is the first line the client gets.
    QTRY_VERIFY(log.contains(QtDebugMsg, QStringLiteral(".*SUCCESS: bytecount interval changed.*")));
    QTest::qWait(second.isEmpty() ? 400 : 700);

    QCOMPARE(session->events->stats, counts);
    QCOMPARE(log.texts(QtWarningMsg, QStringLiteral("Wrong line format")).size(), wrongLines + 1);
    QCOMPARE(session->events->count(QStringLiteral("disconnected")), 0);
    session->protocol->tryToDisconect();
}

void TestOpenVpnMonitor::countsArriveEverySecondAndRise()
{
    // The stand-in reports as often as the client asks: "bytecount 1" is once a second.
    QVERIFY(startLive("#fake bytecount-start 100 200\n#fake bytecount-step 1500 700\n"));
    QTRY_VERIFY_WITH_TIMEOUT(session->events->stats.size() >= 2, 5000);
    const Counts counts = session->events->stats;
    QCOMPARE(counts.at(0), qMakePair(quint64(900), quint64(1600)));
    QCOMPARE(counts.at(1), qMakePair(quint64(1600), quint64(3100)));
    session->protocol->tryToDisconect();
}

void TestOpenVpnMonitor::noCountsBeforeTheTunnelIsUp()
{
    // OpenVPN reports counts as soon as it is asked, also while it is still reaching the server.
    LogCapture log;
    session->start("#fake connected-after 2000\n#fake bytecount-interval-ms 200\n#fake bytecount-step 1000 2000\n");
    QTRY_VERIFY_WITH_TIMEOUT(log.texts(QtDebugMsg, QStringLiteral("\">BYTECOUNT:.*")).size() >= 2, 15000);
    const int countsBeforeUp = log.texts(QtDebugMsg, QStringLiteral("\">BYTECOUNT:.*")).size();
    QCOMPARE(session->events->count(QStringLiteral("connected")), 0);
    QVERIFY(session->events->stats.isEmpty());

    QTRY_COMPARE_WITH_TIMEOUT(session->events->count(QStringLiteral("connected")), 1, 10000);
    QTRY_VERIFY(!session->events->stats.isEmpty());
    // The chart starts with the session: every count comes after connected(), and they are still
    // the running totals since OpenVPN's start.
    QCOMPARE(session->events->events.first(), QStringLiteral("connected"));
    QVERIFY(session->events->stats.first().second >= quint64(countsBeforeUp + 1) * 1000);
    // The state lines are not counts.
    QCOMPARE(log.texts(QtWarningMsg, QStringLiteral("Wrong line format")).size(), 2);
    session->protocol->tryToDisconect();
}

QTEST_GUILESS_MAIN(TestOpenVpnMonitor)
#include "tst_openvpnmonitor.moc"
