#include "MainWindowTestSupport.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QSignalSpy>
#include <QtTest>

using namespace harbolink::test;
using namespace QtCharts;

namespace {

// How the chart goes out of sight while samples keep coming.
enum class Hiding { Window, OtherPage, Minimised };

// Everything the chart shows: both series point for point and the ranges of both axes.
struct ChartState {
    QVector<QPointF> sent;
    QVector<QPointF> received;
    qint64 timeMinMs;
    qint64 timeMaxMs;
    double rateMin;
    double rateMax;
};

ChartState stateOf(const MainDialogWindow &window)
{
    const Chart chart = chartOf(window);
    return {chart.sent->pointsVector(),
            chart.received->pointsVector(),
            chart.time->min().toMSecsSinceEpoch(),
            chart.time->max().toMSecsSinceEpoch(),
            chart.rate->min(),
            chart.rate->max()};
}

// The first difference between two charts, or an empty text. Values are compared exactly.
QString difference(const ChartState &actual, const ChartState &expected)
{
    const auto points = [](const char *name, const QVector<QPointF> &a, const QVector<QPointF> &b) -> QString {
        if (a.size() != b.size()) {
            return QStringLiteral("%1: %2 points, expected %3").arg(QLatin1String(name)).arg(a.size()).arg(b.size());
        }
        for (int i = 0; i < a.size(); ++i) {
            if (a.at(i).x() != b.at(i).x() || a.at(i).y() != b.at(i).y()) {
                return QStringLiteral("%1[%2]: (%3, %4), expected (%5, %6)")
                    .arg(QLatin1String(name))
                    .arg(i)
                    .arg(a.at(i).x(), 0, 'g', 17)
                    .arg(a.at(i).y(), 0, 'g', 17)
                    .arg(b.at(i).x(), 0, 'g', 17)
                    .arg(b.at(i).y(), 0, 'g', 17);
            }
        }
        return {};
    };
    QString text = points("sent", actual.sent, expected.sent);
    if (text.isEmpty()) {
        text = points("received", actual.received, expected.received);
    }
    if (text.isEmpty() && (actual.timeMinMs != expected.timeMinMs || actual.timeMaxMs != expected.timeMaxMs)) {
        text = QStringLiteral("time axis %1..%2, expected %3..%4")
                   .arg(actual.timeMinMs)
                   .arg(actual.timeMaxMs)
                   .arg(expected.timeMinMs)
                   .arg(expected.timeMaxMs);
    }
    if (text.isEmpty() && (actual.rateMin != expected.rateMin || actual.rateMax != expected.rateMax)) {
        text = QStringLiteral("rate axis %1..%2, expected %3..%4")
                   .arg(actual.rateMin)
                   .arg(actual.rateMax)
                   .arg(expected.rateMin)
                   .arg(expected.rateMax);
    }
    return text;
}

// A connected window showing its connection details, as the controller leaves it.
void showConnected(MainDialogWindow &window)
{
    deliverServers(window, {QStringLiteral("de1.example.test")}, {QStringLiteral("20ms")});
    window.show();
    window.connected();
    QVERIFY(child<QWidget>(window, "graphicsViewChart")->isVisible());
}

// A clock that stands still: every chart update then costs nothing and follows its sample at
// once, so the chart takes each sample as it comes.
void updateOnEverySample(MainDialogWindow &window)
{
    MainDialogWindowInspector::setChartClock(window, [] { return qint64(0); });
}

void hide(MainDialogWindow &window, Hiding hiding)
{
    switch (hiding) {
    case Hiding::Window:
        window.hide();
        break;
    case Hiding::OtherPage:
        child<QListWidget>(window, "listWidgetMenuItems")->setCurrentRow(1);
        break;
    case Hiding::Minimised:
        window.showMinimized();
        QVERIFY(window.isMinimized());
        break;
    }
}

void reveal(MainDialogWindow &window, Hiding hiding)
{
    switch (hiding) {
    case Hiding::Window:
        window.show();
        break;
    case Hiding::OtherPage:
        child<QListWidget>(window, "listWidgetMenuItems")->setCurrentRow(0);
        break;
    case Hiding::Minimised:
        window.showNormal();
        QVERIFY(!window.isMinimized());
        break;
    }
    QVERIFY(child<QWidget>(window, "graphicsViewChart")->isVisible());
}

constexpr qint64 msToNs = 1000000;

} // namespace

Q_DECLARE_METATYPE(Hiding)

// When the traffic chart receives the points of the samples: not while it is out of sight, and
// not more often than the GUI can afford, yet always showing exactly the points of every sample.
class TestMainWindowChart : public QObject
{
    Q_OBJECT

private slots:
    void shownLaterEqualsShownThroughout_data();
    void shownLaterEqualsShownThroughout();
    void hiddenHourLeavesTheChartAlone();
    void expensiveUpdatesAreSpaced_data();
    void expensiveUpdatesAreSpaced();
    void disconnectWhileHiddenDropsWaitingPoints();
};

void TestMainWindowChart::shownLaterEqualsShownThroughout_data()
{
    QTest::addColumn<Samples>("samples");
    QTest::addColumn<int>("shownFirst"); // samples that arrive before the chart goes out of sight
    QTest::addColumn<Hiding>("hiding");

    QTest::newRow("same-second samples merge across hiding, window hidden") << Samples{{0, MiB, 0},
                                                                                       {1000, 2 * MiB, MiB},
                                                                                       {1400, 3 * MiB, 3 * MiB},
                                                                                       {1900, 5 * MiB, 4 * MiB},
                                                                                       {2000, 6 * MiB, 4 * MiB}}
                                                                            << 2 << Hiding::Window;
    QTest::newRow("same-second samples merge while hidden, settings page shown")
        << Samples{{100, MiB, 2 * MiB}, {900, 3 * MiB, 2 * MiB}, {1000, 4 * MiB, 3 * MiB}} << 0 << Hiding::OtherPage;
    QTest::newRow("counters going down, settings page shown")
        << Samples{{0, 4 * MiB, 4 * MiB}, {1000, MiB, MiB}, {2000, 2 * MiB, MiB}, {3000, MiB / 2, 0}} << 1
        << Hiding::OtherPage;
    QTest::newRow("over 4 GiB, window minimised") << Samples{{0, 5120 * MiB, 4096 * MiB},
                                                             {1000, 5121 * MiB, 4097 * MiB + 1},
                                                             {1500, 5200 * MiB, 4100 * MiB},
                                                             {2000, 5300 * MiB + 7, 4200 * MiB}}
                                                  << 1 << Hiding::Minimised;
    QTest::newRow("twelve minutes, time axis stretches while hidden") << everySecond(721) << 300 << Hiding::Window;
    QTest::newRow("rate axis grows while minimised")
        << Samples{{0, MiB, MiB}, {1000, 40 * MiB, MiB}, {2000, 41 * MiB, 90 * MiB}, {3000, 42 * MiB, 91 * MiB}} << 1
        << Hiding::Minimised;
}

void TestMainWindowChart::shownLaterEqualsShownThroughout()
{
    QFETCH(Samples, samples);
    QFETCH(int, shownFirst);
    QFETCH(Hiding, hiding);

    MainDialogWindow reference;
    showConnected(reference);
    updateOnEverySample(reference);
    feed(reference, samples);

    MainDialogWindow window;
    showConnected(window);
    updateOnEverySample(window);
    feed(window, samples.mid(0, shownFirst));
    const ChartState beforeHiding = stateOf(window);
    hide(window, hiding);
    QVERIFY(!child<QWidget>(window, "graphicsViewChart")->isVisible() || window.isMinimized());

    feed(window, samples.mid(shownFirst));
    QCOMPARE(difference(stateOf(window), beforeHiding), QString());
    // The totals are written with every sample, in sight or not.
    QCOMPARE(child<QLabel>(window, "labelSent")->text(), child<QLabel>(reference, "labelSent")->text());
    QCOMPARE(child<QLabel>(window, "labelReceived")->text(), child<QLabel>(reference, "labelReceived")->text());

    reveal(window, hiding);
    QCOMPARE(difference(stateOf(window), stateOf(reference)), QString());
}

void TestMainWindowChart::hiddenHourLeavesTheChartAlone()
{
    MainDialogWindow window;
    showConnected(window);
    // In the tray.
    window.hide();
    const Chart chart = chartOf(window);
    const ChartState untouched = stateOf(window);
    QSignalSpy sentChanges(chart.sent, &QXYSeries::pointsReplaced);
    QSignalSpy sentAdded(chart.sent, &QXYSeries::pointAdded);
    QSignalSpy receivedChanges(chart.received, &QXYSeries::pointsReplaced);
    QSignalSpy receivedAdded(chart.received, &QXYSeries::pointAdded);
    QSignalSpy timeRange(chart.time, &QDateTimeAxis::rangeChanged);
    QSignalSpy rateRange(chart.rate, &QValueAxis::rangeChanged);

    const Samples hour = everySecond(3600);
    QElapsedTimer timer;
    timer.start();
    feed(window, hour);
    const qint64 elapsedMs = timer.elapsed();

    // With the chart following each sample an hour takes minutes; without it, a few milliseconds
    // per thousand samples even in a sanitizer build.
    QVERIFY2(elapsedMs < 3000, qPrintable(QStringLiteral("3600 hidden samples took %1 ms").arg(elapsedMs)));
    QCOMPARE(chart.sent->count(), 0);
    QCOMPARE(chart.received->count(), 0);
    QCOMPARE(difference(stateOf(window), untouched), QString());
    QCOMPARE(sentChanges.count() + sentAdded.count() + receivedChanges.count() + receivedAdded.count(), 0);
    QCOMPARE(timeRange.count() + rateRange.count(), 0);
    QCOMPARE(child<QLabel>(window, "labelSent")->text(), QStringLiteral("Sent: 1029 MB"));
    QCOMPARE(child<QLabel>(window, "labelReceived")->text(), QStringLiteral("Received: 3089 MB"));

    window.show();
    // One update per series brings the whole hour in.
    QCOMPARE(sentChanges.count(), 1);
    QCOMPARE(receivedChanges.count(), 1);
    QCOMPARE(sentAdded.count() + receivedAdded.count(), 0);
    QCOMPARE(chart.sent->count(), 3600);
    QCOMPARE(chart.received->count(), 3600);
    QCOMPARE(chart.sent->at(3599), QPointF(double(sessionStartMs + 3599000), 300000.0 * 8 / MiB));
    QCOMPARE(chart.time->min().toMSecsSinceEpoch(), sessionStartMs);
    QCOMPARE(chart.time->max().toMSecsSinceEpoch(), sessionStartMs + 3599000);
}

void TestMainWindowChart::expensiveUpdatesAreSpaced_data()
{
    QTest::addColumn<qint64>("updateCostMs");
    QTest::addColumn<int>("samples");
    QTest::addColumn<QVector<int>>("pointsAtUpdates");

    // Samples come once a second; an update that takes t is followed by a pause of 4 t.
    QTest::newRow("cheap updates follow every sample") << qint64(0) << 5 << QVector<int>{1, 2, 3, 4, 5};
    QTest::newRow("250 ms updates still follow every sample") << qint64(250) << 5 << QVector<int>{1, 2, 3, 4, 5};
    QTest::newRow("300 ms updates: every other sample") << qint64(300) << 10 << QVector<int>{1, 3, 5, 7, 9};
    QTest::newRow("600 ms updates: every third sample") << qint64(600) << 9 << QVector<int>{1, 4, 7};
}

void TestMainWindowChart::expensiveUpdatesAreSpaced()
{
    QFETCH(qint64, updateCostMs);
    QFETCH(int, samples);
    QFETCH(QVector<int>, pointsAtUpdates);

    qint64 nowNs = 0;
    QVector<int> updates;
    MainDialogWindow window;
    showConnected(window);
    MainDialogWindowInspector::setChartClock(window, [&nowNs] { return nowNs; });
    const Chart chart = chartOf(window);
    // Each update of the sent series takes the row's time on the window's clock.
    connect(chart.sent, &QXYSeries::pointsReplaced, this, [&] {
        updates.append(chart.sent->count());
        nowNs += updateCostMs * msToNs;
    });

    const Samples all = everySecond(samples);
    for (const Sample &sample : all) {
        feed(window, {sample});
        nowNs += 1000 * msToNs;
    }
    QCOMPARE(updates, pointsAtUpdates);
    QCOMPARE(chart.sent->count(), pointsAtUpdates.last());
    QCOMPARE(chart.received->count(), pointsAtUpdates.last());

    // No more samples come; once the pause is over the last ones are drawn all the same.
    nowNs += 10000 * msToNs;
    QTRY_COMPARE(chart.sent->count(), samples);
    QCOMPARE(chart.received->count(), samples);
    QCOMPARE(updates.size(), pointsAtUpdates.size() + (pointsAtUpdates.last() == samples ? 0 : 1));
}

void TestMainWindowChart::disconnectWhileHiddenDropsWaitingPoints()
{
    const Samples first{{0, 10 * MiB, 20 * MiB}, {1000, 30 * MiB, 21 * MiB}, {2000, 31 * MiB, 22 * MiB}};
    const Samples second{{5000, MiB, 0}};

    MainDialogWindow reference;
    showConnected(reference);
    updateOnEverySample(reference);
    feed(reference, first);
    reference.disconnected();
    const ChartState referenceAfterDisconnect = stateOf(reference);
    reference.connected();
    feed(reference, second);

    MainDialogWindow window;
    showConnected(window);
    updateOnEverySample(window);
    feed(window, first.mid(0, 1));
    window.hide();
    feed(window, first.mid(1));
    window.disconnected();
    const Chart chart = chartOf(window);
    QCOMPARE(chart.sent->count(), 0);
    QCOMPARE(chart.received->count(), 0);
    // Empty series under the ranges of the session's last sample, as if it had been on screen.
    QCOMPARE(difference(stateOf(window), referenceAfterDisconnect), QString());

    window.show();
    QCOMPARE(chart.sent->count(), 0);
    window.connected();
    feed(window, second);
    // The next session starts from its own counters.
    QCOMPARE(chart.sent->at(0), QPointF(double(sessionStartMs + 5000), 8.0));
    QCOMPARE(difference(stateOf(window), stateOf(reference)), QString());
}

QTEST_MAIN(TestMainWindowChart)
#include "tst_mainwindowchart.moc"
