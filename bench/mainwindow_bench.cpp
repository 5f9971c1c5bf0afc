// Feeds a day of traffic samples, one per simulated second with rising counters, into the main
// window's connection view. Reports what newStats costs at the start and at the end of the day,
// what the chart adds to each sample, the process's memory, and what one repaint of the traffic
// chart costs after 1, 8 and 24 hours.
//   mainwindow_bench [hours]   (24 by default)
//
// Every sample goes through MainDialogWindow::newStats in order. Between the checkpoints the two
// series are taken off the chart, so the chart does not redraw its curves after each sample: with
// the chart attached all day the run would take many hours, which is itself one of the findings.

#include "ui/MainDialogWindow.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QTextStream>
#include <QtCharts/QAbstractAxis>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QXYSeries>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace QtCharts;

namespace {

constexpr int secondsPerHour = 3600;
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

class Session
{
public:
    explicit Session(MainDialogWindow &window)
        : window(window)
        , view(window.findChild<QChartView *>(QStringLiteral("graphicsViewChart")))
        , series(view->chart()->series())
        , axes(view->chart()->axes())
        , startMs(QDateTime::currentMSecsSinceEpoch() / 1000 * 1000)
    {
    }

    int seconds() const { return second; }

    // Feeds n samples; returns the mean time of one newStats call in milliseconds.
    double feed(int n)
    {
        qint64 nanoseconds = 0;
        for (int i = 0; i < n; ++i, ++second) {
            traffic.step();
            // Local time, as the tunnel control stamps its samples.
            const QDateTime at = QDateTime::fromMSecsSinceEpoch(startMs + qint64(second) * 1000);
            QElapsedTimer timer;
            timer.start();
            window.newStats(at, traffic.sent, traffic.received);
            nanoseconds += timer.nsecsElapsed();
        }
        return nanoseconds / 1e6 / n;
    }

    void detachSeries()
    {
        for (QAbstractSeries *s : series) {
            view->chart()->removeSeries(s);
        }
    }

    void attachSeries()
    {
        for (QAbstractSeries *s : series) {
            view->chart()->addSeries(s);
            for (QAbstractAxis *axis : axes) {
                s->attachAxis(axis);
            }
        }
        QApplication::processEvents();
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
        const auto *sent = qobject_cast<QXYSeries *>(series.at(0));
        const auto *received = qobject_cast<QXYSeries *>(series.at(1));
        QElapsedTimer timer;
        timer.start();
        double sums = 0;
        double maxima = 0;
        for (int round = 0; round < 10; ++round) {
            for (int i = 0; i < sent->count(); ++i) {
                sums += sent->at(i).y() + received->at(i).y();
                maxima = qMax(maxima, qMax(sent->at(i).y(), received->at(i).y()));
            }
        }
        const double ms = timer.nsecsElapsed() / 1e6 / 10;
        walkResult = sums + maxima;
        return ms;
    }

private:
    MainDialogWindow &window;
    QChartView *view;
    QList<QAbstractSeries *> series;
    QList<QAbstractAxis *> axes;
    qint64 startMs;
    Traffic traffic;
    int second = 0;
};

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

    std::printf("newStats:   mean time of one call with the series off the chart: the window's own work\n"
                "with chart: the same with the chart following the series, window shown (10 samples)\n"
                "hidden:     the same with the window hidden, as when the program sits in the tray\n"
                "repaint:    one full repaint of the chart view into a pixmap, median of 5\n\n");
    std::printf("%-7s %10s %10s %11s %10s %11s %11s %10s\n", "points", "newStats", "x 1st h", "with chart", "x 1st min",
                "hidden", "repaint", "RSS KiB");
    const double firstMinuteChart = session.feed(60);
    session.detachSeries();
    double firstHour = 0;
    const int checkpoints[] = {1, 8, 24};
    for (int hour = 1; hour <= hours; ++hour) {
        const int toFeed = hour * secondsPerHour - session.seconds() - 20;
        const double mean = session.feed(toFeed);
        if (hour == 1) {
            firstHour = mean;
        }
        double chartMs = 0;
        double hiddenMs = 0;
        double repaint = 0;
        const bool checkpoint =
            std::find(std::begin(checkpoints), std::end(checkpoints), hour) != std::end(checkpoints) || hour == hours;
        if (checkpoint) {
            session.attachSeries();
            chartMs = session.feed(10);
            repaint = session.repaintMs();
            // In the tray: the window is hidden, the chart still follows every sample.
            window.hide();
            hiddenMs = session.feed(10);
            window.show();
            session.detachSeries();
        } else {
            session.feed(20);
        }
        std::printf("%-7d %8.4f ms %9.2fx", session.seconds(), mean, mean / firstHour);
        if (checkpoint) {
            std::printf(" %8.1f ms %9.0fx %8.1f ms %8.1f ms %10ld", chartMs, chartMs / firstMinuteChart, hiddenMs,
                        repaint, residentKiB());
            std::printf("   (a walk over all points: %.3f ms)", session.walkMs());
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    session.attachSeries();
    std::printf("\nwith chart, first minute: %.2f ms per sample\n", firstMinuteChart);
    std::printf("RSS after the session: %ld KiB (+%ld KiB)\n", residentKiB(), residentKiB() - startKiB);
    return 0;
}
