// Measures the latency probe on 64 loopback hosts (127.0.0.1 ... 127.0.0.64) and compares its wall
// time with an ideal run: the jobs in batches of the thread pool's size, each lasting as long as
// one job measured alone.
#include "ping/Ping.h"
#include "platform/PingCommand.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int hostCount = 64;
constexpr int aloneRuns = 5;

// One job's own work for 127.0.0.1 (the ping command and its parsing) with nothing else running,
// in milliseconds.
double oneJobAlone()
{
    QElapsedTimer timer;
    timer.start();
    harbolink::platform::measurePing(QStringLiteral("127.0.0.1"));
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    oneJobAlone(); // the first process start pays for loading the program
    std::vector<double> alone;
    for (int i = 0; i < aloneRuns; ++i)
        alone.push_back(oneJobAlone());
    std::sort(alone.begin(), alone.end());
    const double jobMs = alone[alone.size() / 2];

    QStringList hosts;
    for (int i = 1; i <= hostCount; ++i)
        hosts << QStringLiteral("127.0.0.%1").arg(i);

    Ping ping;
    QEventLoop loop;
    QObject::connect(&ping, &Ping::pingComplited, &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, [&loop] { loop.exit(1); });
    QElapsedTimer timer;
    timer.start();
    ping.startPinging(hosts);
    const int timedOut = loop.exec();
    const double wallMs = double(timer.nsecsElapsed()) / 1e6;
    ping.stopAndWait();
    if (timedOut) {
        std::fprintf(stderr, "ping_bench: the measurement did not complete\n");
        return 1;
    }

    const PingTable table = ping.pingTable();
    const int unmeasured = int(std::count(table.cbegin(), table.cend(), QStringLiteral("999ms")));
    const int poolSize = QThreadPool::globalInstance()->maxThreadCount();
    const int batches = (hostCount + poolSize - 1) / poolSize;
    const double idealMs = batches * jobMs;

    std::printf("hosts               %d (127.0.0.1 ... 127.0.0.%d), %d unmeasured\n", hostCount, hostCount, unmeasured);
    std::printf("pool size           %d\n", poolSize);
    std::printf("one job alone       %.1f ms (median of %d)\n", jobMs, aloneRuns);
    std::printf("ideal               %.1f ms (%d batches x %.1f ms)\n", idealMs, batches, jobMs);
    std::printf("wall time           %.1f ms\n", wallMs);
    std::printf("wall / ideal        %.2f\n", wallMs / idealMs);
    return unmeasured == 0 ? 0 : 1;
}
