#pragma once
// What the main window's tests share: the data the controller would hand over, a record of the
// window's signals in the order they came, byte-count samples for the traffic chart, and access to
// the session clock and the chart's updates.

#include "ui/MainDialogWindow.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QVector>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QSplineSeries>
#include <QtCharts/QValueAxis>
#include <QtTest>

#include <functional>
#include <utility>

namespace harbolink::test {

inline StartupInfo sampleStartupInfo()
{
    return {
        {QStringLiteral("app_title"), QStringLiteral("Harbo Test")},
        {QStringLiteral("corp_title"), QStringLiteral("Harbo Test Networks Ltd.")},
        {QStringLiteral("version"), QStringLiteral("2.5.0")},
        {QStringLiteral("domain"), QStringLiteral("https://www2.example.test")},
        {QStringLiteral("account"), QStringLiteral("https://www2.example.test/account")},
        {QStringLiteral("support"), QStringLiteral("https://www2.example.test/support")},
        {QStringLiteral("signup"), QStringLiteral("https://www2.example.test/signup")},
    };
}

inline LoginFlags accessGranted()
{
    return {{QStringLiteral("login"), true}, {QStringLiteral("connection"), true}};
}

// One server record per host name, named after it unless names are given.
inline ServerList serverList(const QStringList &hosts, const QStringList &names = {})
{
    ServerList list;
    for (int i = 0; i < hosts.size(); ++i) {
        const QString name = i < names.size() ? names.at(i) : QStringLiteral("Server ") + hosts.at(i);
        list.append({{QStringLiteral("name"), name},
                     {QStringLiteral("hostname"), hosts.at(i)},
                     {QStringLiteral("country_code"), QStringLiteral("DE")},
                     {QStringLiteral("country"), QStringLiteral("Germany")},
                     {QStringLiteral("ovpn"), QStringLiteral("https://127.0.0.1/ovpn/") + hosts.at(i)}});
    }
    return list;
}

inline PingTable pingTable(const QStringList &hosts, const QStringList &pings)
{
    PingTable table;
    for (int i = 0; i < hosts.size(); ++i) {
        table.insert(hosts.at(i), pings.at(i));
    }
    return table;
}

// Delivers a complete server list the way the controller does after a granted login.
inline void deliverServers(MainDialogWindow &window, const QStringList &hosts, const QStringList &pings,
                           const QString &rememberedHost = {}, const QStringList &names = {})
{
    window.initialize(sampleStartupInfo(), {}, accessGranted(), false, false, false, rememberedHost);
    window.setServerList(serverList(hosts, names));
    window.setPingTable(pingTable(hosts, pings));
    window.setFlagTable({});
    window.processServerList();
}

// Every signal of the window, as "name" or "name(argument)", in the order of emission.
class SignalLog : public QObject
{
public:
    explicit SignalLog(MainDialogWindow &window)
    {
        const auto record = [this](const QString &entry) { entries.append(entry); };
        connect(&window, &MainDialogWindow::tryToConnect, this, [record] { record(QStringLiteral("tryToConnect")); });
        connect(&window, &MainDialogWindow::tryToDisconect, this,
                [record] { record(QStringLiteral("tryToDisconect")); });
        connect(&window, &MainDialogWindow::currentServerChoosed, this,
                [record] { record(QStringLiteral("currentServerChoosed")); });
        connect(&window, &MainDialogWindow::serverListRequest, this,
                [record] { record(QStringLiteral("serverListRequest")); });
        connect(&window, &MainDialogWindow::quitAction, this, [record](bool needExit) {
            record(needExit ? QStringLiteral("quitAction(true)") : QStringLiteral("quitAction(false)"));
        });
        connect(&window, &MainDialogWindow::saveSettingsAction, this,
                [record] { record(QStringLiteral("saveSettingsAction")); });
        connect(&window, &MainDialogWindow::reportRequest, this, [record](const QString &host, const QString &message) {
            record(QStringLiteral("reportRequest(%1,%2)").arg(host, message));
        });
    }

    QStringList entries;
};

template <typename T> T *child(const QWidget &window, const char *name)
{
    T *widget = window.findChild<T *>(QLatin1String(name));
    if (!widget) {
        qFatal("no widget %s", name);
    }
    return widget;
}

// One byte-count sample: milliseconds after the session's first second, and the two counters.
struct Sample {
    qint64 afterMs;
    quint64 sent;
    quint64 received;
};
using Samples = QVector<Sample>;

constexpr quint64 MiB = 1048576;
// 2024-05-01 12:00:00 UTC, a whole second.
constexpr qint64 sessionStartMs = 1714564800000;

struct Chart {
    QtCharts::QSplineSeries *sent;
    QtCharts::QSplineSeries *received;
    QtCharts::QDateTimeAxis *time;
    QtCharts::QValueAxis *rate;
};

inline Chart chartOf(const MainDialogWindow &window)
{
    using namespace QtCharts;
    QChart *chart = child<QChartView>(window, "graphicsViewChart")->chart();
    const auto series = chart->series();
    return {qobject_cast<QSplineSeries *>(series.value(0)), qobject_cast<QSplineSeries *>(series.value(1)),
            qobject_cast<QDateTimeAxis *>(chart->axes(Qt::Horizontal).value(0)),
            qobject_cast<QValueAxis *>(chart->axes(Qt::Vertical).value(0))};
}

inline void feed(MainDialogWindow &window, const Samples &samples)
{
    for (const Sample &sample : samples) {
        window.newStats(QDateTime::fromMSecsSinceEpoch(sessionStartMs + sample.afterMs), sample.sent, sample.received);
    }
}

// Counters rising by a fixed amount, one sample a second.
inline Samples everySecond(int seconds)
{
    Samples samples;
    for (int i = 0; i < seconds; ++i) {
        samples.append({qint64(i) * 1000, quint64(i + 1) * 300000, quint64(i + 1) * 900000});
    }
    return samples;
}

} // namespace harbolink::test

Q_DECLARE_METATYPE(harbolink::test::Samples)

// Reaches the session clock, which otherwise only the passing of time moves, and the timing of
// the traffic chart's updates.
class MainDialogWindowInspector
{
public:
    static void startSessionAt(MainDialogWindow &window, const QDateTime &start)
    {
        window.connectionStart = start;
        window.updateSessionTime();
    }

    // Hands the chart every sample so far, on screen or not, as it would be once shown.
    static void flushChart(MainDialogWindow &window) { window.flushChart(); }

    // The clock (nanoseconds) that times the chart's updates and the pauses between them.
    static void setChartClock(MainDialogWindow &window, std::function<qint64()> clock)
    {
        window.chartClockOverride = std::move(clock);
    }
};
