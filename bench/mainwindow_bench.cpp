// Feeds a day of traffic samples, one per simulated second with rising counters, into the main
// window's connection view, and reports what the GUI thread spends on them at 1 minute and after
// 1, 8 and 24 hours:
//   - newStats: the window's own work per sample with the window hidden, fed back to back;
//   - catch-up: the one chart update that brings in everything when the window is shown again;
//   - shown: GUI-thread CPU time per sample with the window shown on the connection details,
//     samples arriving once a real second (chart updates, repaints, labels: everything);
//   - hidden: the same with the window hidden, as when the program sits in the tray;
//   - repaint: one full repaint of the chart view.
//   mainwindow_bench [hours]   (24 by default)
//
// Also the GUI thread's CPU with no samples coming in, which is part of every figure.
//
// Between the checkpoints the window is hidden, so the hours in between take seconds. Each
// checkpoint runs about 40 s in real time; the points column is the session's length after it.

#include "ui/MainDialogWindow.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPixmap>
#include <QTextStream>
#include <QTimer>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QXYSeries>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace QtCharts;

namespace {

constexpr int secondsPerHour = 3600;
constexpr int shownSeconds = 30;
constexpr int hiddenSeconds = 10;
// Keeps the compiler from dropping the walk whose time is measured.
volatile double walkResult = 0;

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return -1;
    }
    QTextStream in(&status);
    for (QString line = in.readLine(); !line.isNull(); line = in.readLine()) {
        if (line.startsWith(QLatin1String("VmRSS:"))) {
            return line.mid(6).trimmed().section(QLatin1Char(' '), 0, 0).toLong();
        }
    }
    return -1;
}

// CPU time of the calling (GUI) thread in milliseconds.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Counters that rise like a busy session: a few hundred kB/s down, a tenth of that up, varying.
class Traffic
{
public:
    void step()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        const quint64 noise = (state >> 33) % 200000;
        received += 250000 + noise * 4;
        sent += 25000 + noise / 2;
    }
    quint64 sent = 0;
    quint64 received = 0;

private:
    quint64 state = 42;
};

// What the GUI thread did while samples came in once a real second.
struct Live {
    double cpuMsPerSample;
    int updates; // chart updates (one replace of the sent series each)
};

class Session
{
public:
    explicit Session(MainDialogWindow &window)
        : window(window)
        , view(window.findChild<QChartView *>(QStringLiteral("graphicsViewChart")))
        , sentSeries(qobject_cast<QXYSeries *>(view->chart()->series().at(0)))
        , receivedSeries(qobject_cast<QXYSeries *>(view->chart()->series().at(1)))
        , startMs(QDateTime::currentMSecsSinceEpoch() / 1000 * 1000)
    {
        counter = QObject::connect(sentSeries, &QXYSeries::pointsReplaced, sentSeries, [this] { ++updates; });
    }

    ~Session() { QObject::disconnect(counter); }

    int seconds() const { return second; }

    // Feeds n samples back to back; returns the mean time of one newStats call in milliseconds.
    double feed(int n)
    {
        qint64 nanoseconds = 0;
        for (int i = 0; i < n; ++i) {
            QElapsedTimer timer;
            timer.start();
            feedOne();
            nanoseconds += timer.nsecsElapsed();
        }
        return nanoseconds / 1e6 / n;
    }

    // Feeds n samples, one a real second, with the event loop running in between (n seconds).
    Live live(int n)
    {
        QEventLoop loop;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(1000);
        int fed = 0;
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            if (fed == n) {
                loop.quit();
                return;
            }
            feedOne();
            ++fed;
        });
        const int updatesBefore = updates;
        const double cpuBefore = threadCpuMs();
        feedOne();
        ++fed;
        tick.start();
        loop.exec();
        return {(threadCpuMs() - cpuBefore) / n, updates - updatesBefore};
    }

    // GUI-thread CPU per second with no samples at all: what the window costs anyway.
    static double idleCpuMsPerSecond(int seconds)
    {
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        const double cpuBefore = threadCpuMs();
        loop.exec();
        return (threadCpuMs() - cpuBefore) / seconds;
    }

    // Shows the window and returns the time until the chart holds every sample, in milliseconds.
    double showAndCatchUp()
    {
        QElapsedTimer timer;
        timer.start();
        window.show();
        const double ms = timer.nsecsElapsed() / 1e6;
        QApplication::processEvents();
        if (sentSeries->count() == 0) {
            std::fprintf(stderr, "the chart was not brought up to date\n");
        }
        return ms;
    }

    // Median time of a few grabs of the chart into a pixmap, each a full repaint of the view.
    double repaintMs() const
    {
        std::vector<double> times;
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer timer;
            timer.start();
            const QPixmap picture = view->grab();
            times.push_back(timer.nsecsElapsed() / 1e6);
            if (picture.isNull()) {
                std::fprintf(stderr, "grab failed\n");
            }
        }
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    }

    // What the window did per sample before it kept running sums: a walk over both series.
    double walkMs() const
    {
        QElapsedTimer timer;
        timer.start();
        double sums = 0;
        double maxima = 0;
        for (int round = 0; round < 10; ++round) {
            for (int i = 0; i < sentSeries->count(); ++i) {
                sums += sentSeries->at(i).y() + receivedSeries->at(i).y();
                maxima = qMax(maxima, qMax(sentSeries->at(i).y(), receivedSeries->at(i).y()));
            }
        }
        const double ms = timer.nsecsElapsed() / 1e6 / 10;
        walkResult = sums + maxima;
        return ms;
    }

private:
    void feedOne()
    {
        traffic.step();
        // Local time, as the tunnel control stamps its samples.
        window.newStats(QDateTime::fromMSecsSinceEpoch(startMs + qint64(second) * 1000), traffic.sent,
                        traffic.received);
        ++second;
    }

    MainDialogWindow &window;
    QChartView *view;
    QXYSeries *sentSeries;
    QXYSeries *receivedSeries;
    qint64 startMs;
    Traffic traffic;
    int second = 0;
    int updates = 0;
    QMetaObject::Connection counter;
};

// One checkpoint: the window comes out of the tray, stays on the connection details for a while,
// and goes back.
void checkpoint(Session &session, MainDialogWindow &window)
{
    const double catchUp = session.showAndCatchUp();
    const Live shown = session.live(shownSeconds);
    const double repaint = session.repaintMs();
    const double walk = session.walkMs();
    window.hide();
    const Live hidden = session.live(hiddenSeconds);
    std::printf(" %8.1f ms %8.2f ms %3d/%-3d %8.1f ms %8.3f ms %10ld   (a walk over all points: %.3f ms)", catchUp,
                shown.cpuMsPerSample, shown.updates, shownSeconds, repaint, hidden.cpuMsPerSample, residentKiB(), walk);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const int hours = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 24;

    // A connected window showing its connection details, as the controller leaves it.
    MainDialogWindow window;
    const QString host = QStringLiteral("bench.example.test");
    window.initialize({{QStringLiteral("app_title"), QStringLiteral("bench")}}, {},
                      {{QStringLiteral("login"), true}, {QStringLiteral("connection"), true}}, false, false, false,
                      host);
    window.setServerList({{{QStringLiteral("name"), QStringLiteral("Bench")}, {QStringLiteral("hostname"), host}}});
    window.setPingTable({{host, QStringLiteral("20ms")}});
    window.setFlagTable({});
    window.processServerList();
    window.show();
    window.connected();
    QApplication::processEvents();

    Session session(window);
    const long startKiB = residentKiB();
    std::printf("main window: %d h of samples, one per second\n", hours);
    std::printf("RSS before the session: %ld KiB\n\n", startKiB);

    const double idleShown = Session::idleCpuMsPerSecond(5);
    window.hide();
    const double idleHidden = Session::idleCpuMsPerSecond(5);
    std::printf(
        "GUI-thread CPU with no samples: %.1f ms a second shown, %.1f ms hidden; part of every figure below\n\n",
        idleShown, idleHidden);

    std::printf("newStats: mean time of one call, window hidden, samples back to back\n"
                "catch-up: showing the window after the samples came in hidden, with its one chart update\n"
                "shown:    GUI-thread CPU per sample, window shown on the details, one sample a second for %d s\n"
                "updates:  chart updates in those %d samples\n"
                "repaint:  one full repaint of the chart view into a pixmap, median of 5\n"
                "hidden:   GUI-thread CPU per sample, window hidden, one sample a second for %d s\n\n",
                shownSeconds, shownSeconds, hiddenSeconds);
    std::printf("%-7s %10s %8s %11s %11s %7s %11s %11s %10s\n", "points", "newStats", "x 1st h", "catch-up", "shown",
                "updates", "repaint", "hidden", "RSS KiB");

    // The first minute.
    session.feed(60 - shownSeconds - hiddenSeconds);
    std::printf("%-7d %10s %8s", 60, "", "");
    checkpoint(session, window);
    std::printf("\n");
    std::fflush(stdout);

    double firstHour = 0;
    const int checkpoints[] = {1, 8, 24};
    for (int hour = 1; hour <= hours; ++hour) {
        const bool isCheckpoint =
            std::find(std::begin(checkpoints), std::end(checkpoints), hour) != std::end(checkpoints) || hour == hours;
        const int live = isCheckpoint ? shownSeconds + hiddenSeconds : 0;
        const double mean = session.feed(hour * secondsPerHour - session.seconds() - live);
        if (hour == 1) {
            firstHour = mean;
        }
        if (!isCheckpoint) {
            continue;
        }
        std::printf("%-7d %8.4f ms %7.2fx", hour * secondsPerHour, mean, mean / firstHour);
        checkpoint(session, window);
        std::printf("\n");
        std::fflush(stdout);
    }
    std::printf("\nRSS after the session: %ld KiB (+%ld KiB)\n", residentKiB(), residentKiB() - startKiB);
    return 0;
}
