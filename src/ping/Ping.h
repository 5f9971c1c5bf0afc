#pragma once

#include "api/ServiceRecords.h"

#include <QStringList>
#include <QThread>

#include <atomic>

// Measures the round-trip time to every server: the coordinator thread hands one PingProcessor
// job per host to the global thread pool; the results are collected on the main thread.
class Ping : public QThread
{
    Q_OBJECT

public:
    explicit Ping(QObject *parent = nullptr);
    ~Ping() override;

    void clearResults();
    void startPinging(const QStringList &hostNames);
    void stopAndWait();
    PingTable pingTable() const;

signals:
    void pingComplited();

public slots:
    void pingGot(QString host_name, QString host_ping);

protected:
    void run() override;

private:
    void endHandOut();

    PingTable pings;
    QStringList hosts;
    std::atomic_bool stopRequested{false};
    qint32 resultsReceived = 0;
    // Numbers the measurements, so that results still arriving from jobs of an earlier one are not
    // counted in the current one. Changed on the main thread only while no hand-out runs.
    quint32 measurement = 0;
};
