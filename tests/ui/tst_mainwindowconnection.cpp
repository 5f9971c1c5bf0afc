#include "MainWindowTestSupport.h"

#include <QLabel>
#include <QtTest>

using namespace harbolink::test;
using namespace QtCharts;

// The connection view's numbers: the traffic chart's points and axes, the totals and the session
// time.
class TestMainWindowConnection : public QObject
{
    Q_OBJECT

private slots:
    void samplesBecomePoints_data();
    void samplesBecomePoints();
    void timeAxisSpan_data();
    void timeAxisSpan();
    void sessionLabel_data();
    void sessionLabel();
};

void TestMainWindowConnection::samplesBecomePoints_data()
{
    QTest::addColumn<Samples>("samples");
    QTest::addColumn<QVector<double>>("sentY");
    QTest::addColumn<QVector<double>>("receivedY");
    QTest::addColumn<double>("rateMax");
    QTest::addColumn<QString>("sentLabel");
    QTest::addColumn<QString>("receivedLabel");

    QTest::newRow("first sample of one MiB sent")
        << Samples{{0, MiB, 0}} << QVector<double>{8.0} << QVector<double>{0.0} << 10.0 << "Sent: 1 MB"
        << "Received: 0 MB";
    QTest::newRow("two samples in one second merge into one point")
        << Samples{{100, MiB, 2 * MiB}, {900, 3 * MiB, 2 * MiB}} << QVector<double>{24.0} << QVector<double>{16.0}
        << 16.0 << "Sent: 3 MB"
        << "Received: 2 MB";
    QTest::newRow("each second gets the difference to the sum so far")
        << Samples{{0, 10 * MiB, MiB}, {1000, 11 * MiB, 3 * MiB}, {2000, 11 * MiB, 3 * MiB}}
        << QVector<double>{80.0, 8.0, 0.0} << QVector<double>{8.0, 16.0, 0.0} << 80.0 << "Sent: 11 MB"
        << "Received: 3 MB";
    QTest::newRow("rate axis follows the points before the latest sample")
        << Samples{{0, 100 * MiB, 0}, {1000, 110 * MiB, 0}} << QVector<double>{800.0, 80.0} << QVector<double>{0.0, 0.0}
        << 800.0 << "Sent: 110 MB"
        << "Received: 0 MB";
    QTest::newRow("restarted counters give negative points, axis still from 0")
        << Samples{{0, 4 * MiB, 4 * MiB}, {1000, MiB, MiB}} << QVector<double>{32.0, -24.0}
        << QVector<double>{32.0, -24.0} << 32.0 << "Sent: 1 MB"
        << "Received: 1 MB";
    QTest::newRow("counters above 512 MiB do not wrap")
        << Samples{{0, 600 * MiB, 512 * MiB + 1}} << QVector<double>{4800.0}
        << QVector<double>{(512.0 * MiB + 1) * 8 / MiB} << 10.0 << "Sent: 600 MB"
        << "Received: 512 MB";
    QTest::newRow("counters above 4 GiB do not wrap")
        << Samples{{0, 5120 * MiB, 4096 * MiB}, {1000, 5121 * MiB, 4097 * MiB + 1}} << QVector<double>{40960.0, 8.0}
        << QVector<double>{32768.0, 8.0 + 8.0 / MiB} << 40960.0 << "Sent: 5121 MB"
        << "Received: 4097 MB";
}

void TestMainWindowConnection::samplesBecomePoints()
{
    QFETCH(Samples, samples);
    QFETCH(QVector<double>, sentY);
    QFETCH(QVector<double>, receivedY);
    QFETCH(double, rateMax);
    QFETCH(QString, sentLabel);
    QFETCH(QString, receivedLabel);

    MainDialogWindow window;
    const Chart chart = chartOf(window);
    QVERIFY(chart.sent && chart.received && chart.time && chart.rate);
    feed(window, samples);
    // The window was never shown: the chart gets its points when it comes on screen.
    MainDialogWindowInspector::flushChart(window);

    QCOMPARE(chart.sent->count(), sentY.size());
    QCOMPARE(chart.received->count(), receivedY.size());
    for (int i = 0; i < sentY.size(); ++i) {
        const double x = double(sessionStartMs + i * 1000);
        QCOMPARE(chart.sent->at(i), QPointF(x, sentY.at(i)));
        QCOMPARE(chart.received->at(i), QPointF(x, receivedY.at(i)));
    }
    QCOMPARE(chart.rate->min(), 0.0);
    QCOMPARE(chart.rate->max(), rateMax);
    QCOMPARE(child<QLabel>(window, "labelSent")->text(), sentLabel);
    QCOMPARE(child<QLabel>(window, "labelReceived")->text(), receivedLabel);
}

void TestMainWindowConnection::timeAxisSpan_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<qint64>("spanMs");

    QTest::newRow("one sample: ten minutes") << 1 << qint64(600000);
    QTest::newRow("five minutes: ten minutes") << 301 << qint64(600000);
    QTest::newRow("ten minutes: ten minutes") << 601 << qint64(600000);
    QTest::newRow("twelve minutes: first to last point") << 721 << qint64(720000);
}

void TestMainWindowConnection::timeAxisSpan()
{
    QFETCH(int, seconds);
    QFETCH(qint64, spanMs);

    MainDialogWindow window;
    const Chart chart = chartOf(window);
    feed(window, everySecond(seconds));
    MainDialogWindowInspector::flushChart(window);

    QCOMPARE(chart.sent->count(), seconds);
    QCOMPARE(chart.time->min().toMSecsSinceEpoch(), sessionStartMs);
    QCOMPARE(chart.time->max().toMSecsSinceEpoch(), sessionStartMs + spanMs);
    QCOMPARE(chart.time->format(), QStringLiteral("hh:mm"));
}

void TestMainWindowConnection::sessionLabel_data()
{
    QTest::addColumn<qint64>("elapsedSeconds");
    QTest::addColumn<QString>("text");

    QTest::newRow("just connected") << qint64(0) << "Session time: 00:00:00";
    QTest::newRow("3:04:05") << qint64(3 * 3600 + 4 * 60 + 5) << "Session time: 03:04:05";
    QTest::newRow("100 hours show three digits") << qint64(100 * 3600) << "Session time: 100:00:00";
}

void TestMainWindowConnection::sessionLabel()
{
    QFETCH(qint64, elapsedSeconds);
    QFETCH(QString, text);

    MainDialogWindow window;
    window.connected();
    MainDialogWindowInspector::startSessionAt(window, QDateTime::currentDateTime().addSecs(-elapsedSeconds));
    QCOMPARE(child<QLabel>(window, "labelSessionTime")->text(), text);
    window.disconnected();
}

QTEST_MAIN(TestMainWindowConnection)
#include "tst_mainwindowconnection.moc"
