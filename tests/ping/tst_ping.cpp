#include "ping/Ping.h"
#include "platform/PingCommand.h"

#include <QHash>
#include <QHostAddress>
#include <QRegularExpression>
#include <QThreadPool>
#include <QtTest>

#include <atomic>
#include <memory>
#include <mutex>

using namespace harbolink::platform;

namespace {

// What every job sees in canned mode; each platform's parser reads 1ms from it.
const QByteArray cannedOutput = "Average = 1ms\nrtt min/avg/max/mdev = 1.000/1.000/1.000/0.000 ms\n";

// Stands in for the process launcher while it exists: counts the ping commands by host and either
// runs them (only for loopback addresses, so nothing leaves the machine even if a name slipped
// through) or answers at once with a canned summary.
class RunnerRecorder
{
public:
    enum Mode { RealLoopbackOnly, Canned };

    explicit RunnerRecorder(Mode mode)
    {
        setPingRunnerForTesting([this, mode](const PingCommand &command) {
            const QString host = command.arguments.constLast();
            {
                const std::lock_guard<std::mutex> lock(mutex);
                ++starts[host];
            }
            ++total;
            if (mode == Canned)
                return cannedOutput;
            if (!QHostAddress(host).isLoopback()) {
                ++refused;
                return QByteArray();
            }
            return runPingProcess(command);
        });
    }

    ~RunnerRecorder()
    {
        QThreadPool::globalInstance()->waitForDone();
        setPingRunnerForTesting({});
        // Orders the jobs' last use of this object before its end where ThreadSanitizer can see it
        // (the pool's own wait is invisible to it).
        const std::lock_guard<std::mutex> lock(mutex);
        total.load();
        refused.load();
    }

    int startsFor(const QString &host) const
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return starts.value(host);
    }

    // Blocks until a first job has run.
    bool waitForFirstStart() const
    {
        QDeadlineTimer deadline(30000);
        while (total.load() == 0 && !deadline.hasExpired())
            QThread::yieldCurrentThread();
        return total.load() > 0;
    }

    std::atomic_int total{0};
    std::atomic_int refused{0};

private:
    mutable std::mutex mutex;
    QHash<QString, int> starts;
};

// count loopback addresses 127.<network>.x.y, all distinct.
QStringList loopbackHosts(int count, int network)
{
    QStringList hosts;
    for (int i = 0; i < count; ++i)
        hosts << QStringLiteral("127.%1.%2.%3").arg(network).arg(i / 254).arg(i % 254 + 1);
    return hosts;
}

// Lets every job end and every queued result arrive.
void drainResults()
{
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents();
    QTest::qWait(50);
}

} // namespace

// The coordinator with its jobs: real pings to loopback addresses, and a counting stand-in for the
// process launcher where the test is about the hand-out or about what never runs.
class TestPing : public QObject
{
    Q_OBJECT

private slots:
    void everyHostDelivers();
    void rejectedNamesStartNoProcess_data();
    void rejectedNamesStartNoProcess();
    void emptyListCompletesFromEventLoop();
    void stopDuringHandOut();
    void startPingingWhileHandingOut();
    void destroyingWhileHandingOut();
};

void TestPing::everyHostDelivers()
{
    RunnerRecorder recorder(RunnerRecorder::RealLoopbackOnly);
    const QStringList hosts{"127.0.0.1", "127.0.0.2", "127.0.0.3",           "127.0.0.2",
                            "127.0.0.4", "127.0.0.5", "unreachable.invalid", "127.0.0.6"};
    Ping ping;
    QSignalSpy done(&ping, &Ping::pingComplited);

    ping.startPinging(hosts);
    QVERIFY(ping.pingTable().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 60000);

    const PingTable table = ping.pingTable();
    QStringList distinct = hosts;
    distinct.removeDuplicates();
    distinct.sort();
    QCOMPARE(table.keys(), distinct);
    const QRegularExpression measured(QStringLiteral("^[0-9]+ms$"));
    for (const QString &host : distinct) {
        if (host.endsWith(QLatin1String(".invalid")))
            continue;
        QVERIFY2(measured.match(table.value(host)).hasMatch() && table.value(host) != QLatin1String("999ms"),
                 qPrintable(host + ": " + table.value(host)));
    }
    QCOMPARE(table.value("unreachable.invalid"), QStringLiteral("999ms"));

    QCOMPARE(recorder.startsFor("127.0.0.2"), 2);
    QCOMPARE(recorder.startsFor("unreachable.invalid"), 0);
    QCOMPARE(recorder.total.load(), hosts.size() - 1);
    QCOMPARE(recorder.refused.load(), 0);

    drainResults();
    QCOMPARE(done.count(), 1);
}

void TestPing::rejectedNamesStartNoProcess_data()
{
    QTest::addColumn<QString>("host");
    QTest::newRow("command separator &") << "a&calc";
    QTest::newRow("pipe") << "x|y";
    QTest::newRow("option") << "-f";
    QTest::newRow("command substitution") << "$(id)";
    QTest::newRow("empty") << "";
    QTest::newRow("300 characters") << QString(300, 'a');
    QTest::newRow("reserved domain .invalid") << "nosuch.invalid";
}

void TestPing::rejectedNamesStartNoProcess()
{
    QFETCH(QString, host);
    RunnerRecorder recorder(RunnerRecorder::Canned);
    Ping ping;
    QSignalSpy done(&ping, &Ping::pingComplited);

    ping.startPinging({host, QStringLiteral("127.0.0.1")});
    QTRY_COMPARE(done.count(), 1);

    QCOMPARE(ping.pingTable().value(host), QStringLiteral("999ms"));
    QCOMPARE(ping.pingTable().value("127.0.0.1"), QStringLiteral("1ms"));
    QCOMPARE(recorder.startsFor(host), 0);
    QCOMPARE(recorder.total.load(), 1);
}

void TestPing::emptyListCompletesFromEventLoop()
{
    RunnerRecorder recorder(RunnerRecorder::Canned);
    Ping ping;
    QSignalSpy done(&ping, &Ping::pingComplited);

    ping.startPinging({});
    QCOMPARE(done.count(), 0);
    QTRY_COMPARE(done.count(), 1);
    QVERIFY(ping.pingTable().isEmpty());

    // An empty measurement replaced before its completion arrived does not complete the next one.
    ping.startPinging({});
    ping.startPinging({QStringLiteral("127.0.0.1")});
    QTRY_COMPARE(done.count(), 2);
    QCOMPARE(ping.pingTable(), PingTable({{"127.0.0.1", "1ms"}}));
    drainResults();
    QCOMPARE(done.count(), 2);
}

void TestPing::stopDuringHandOut()
{
    RunnerRecorder recorder(RunnerRecorder::Canned);
    const QStringList hosts = loopbackHosts(50000, 1);
    Ping ping;
    QSignalSpy done(&ping, &Ping::pingComplited);

    ping.startPinging(hosts);
    QVERIFY(recorder.waitForFirstStart());
    ping.stopAndWait();

    // No result has been received yet (the event loop has not run): the table holds exactly the
    // hosts that were never handed out, which are the tail of the list.
    const PingTable cut = ping.pingTable();
    const int handedOut = hosts.size() - cut.size();
    QVERIFY2(handedOut > 0 && handedOut < hosts.size(), qPrintable(QString::number(handedOut)));
    for (int i = handedOut; i < hosts.size(); ++i)
        QCOMPARE(cut.value(hosts.at(i)), QStringLiteral("999ms"));

    // The jobs already handed out still deliver; the measurement never completes.
    drainResults();
    QCOMPARE(recorder.total.load(), handedOut);
    const PingTable table = ping.pingTable();
    QCOMPARE(table.size(), hosts.size());
    for (int i = 0; i < handedOut; ++i)
        QCOMPARE(table.value(hosts.at(i)), QStringLiteral("1ms"));
    QCOMPARE(done.count(), 0);
}

void TestPing::startPingingWhileHandingOut()
{
    RunnerRecorder recorder(RunnerRecorder::Canned);
    Ping ping;
    QSignalSpy done(&ping, &Ping::pingComplited);

    ping.startPinging(loopbackHosts(50000, 1));
    QVERIFY(recorder.waitForFirstStart());
    const QStringList second = loopbackHosts(3, 2);
    ping.startPinging(second);
    QVERIFY(ping.pingTable().isEmpty());

    // The jobs of the first list are ahead in the pool's queue; their late results must not count.
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 60000);
    const PingTable expected{{second.at(0), "1ms"}, {second.at(1), "1ms"}, {second.at(2), "1ms"}};
    QCOMPARE(ping.pingTable(), expected);
    drainResults();
    QCOMPARE(ping.pingTable(), expected);
    QCOMPARE(done.count(), 1);
}

void TestPing::destroyingWhileHandingOut()
{
    RunnerRecorder recorder(RunnerRecorder::Canned);
    auto ping = std::make_unique<Ping>();
    ping->startPinging(loopbackHosts(50000, 1));
    QVERIFY(recorder.waitForFirstStart());
    ping.reset();
    drainResults();
}

QTEST_GUILESS_MAIN(TestPing)
#include "tst_ping.moc"
