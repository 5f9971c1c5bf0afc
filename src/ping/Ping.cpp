#include "ping/Ping.h"

#include "app/Constants.h"
#include "ping/PingProcessor.h"
#include "ping/ThreadHandOver.h"

#include <QThreadPool>

#include <memory>

Ping::Ping(QObject *parent)
    : QThread(parent)
{
}

Ping::~Ping()
{
    // A QThread destroyed while it runs takes the whole program down.
    stopAndWait();
}

void Ping::clearResults()
{
    endHandOut();
    ++measurement;
    resultsReceived = 0;
    hosts.clear();
    pings.clear();
}

void Ping::startPinging(const QStringList &hostNames)
{
    endHandOut();
    ++measurement;
    resultsReceived = 0;
    hosts.clear();
    pings.clear();
    stopRequested = false;
    hosts = hostNames;
    if (hosts.isEmpty()) {
        // Nothing to measure is measured at once; the caller hears it from the event loop, as always.
        const quint32 current = measurement;
        QMetaObject::invokeMethod(
            this,
            [this, current] {
                if (current == measurement)
                    emit pingComplited();
            },
            Qt::QueuedConnection);
        return;
    }
    start(QThread::InheritPriority);
}

void Ping::stopAndWait()
{
    stopRequested = true;
    wait();
    harbolink::ping::takeOver(this);
}

PingTable Ping::pingTable() const
{
    return pings;
}

void Ping::pingGot(QString host_name, QString host_ping)
{
    pings.insert(host_name, host_ping);
    ++resultsReceived;
    if (resultsReceived == hosts.size())
        emit pingComplited();
}

void Ping::endHandOut()
{
    // The coordinator reads the host list that the caller is about to replace; a hand-out of a
    // measurement that is being dropped is cut short.
    if (isRunning())
        stopAndWait();
}

void Ping::run()
{
    const quint32 current = measurement;
    for (int i = 0; i < hosts.size(); ++i) {
        const QString &host = hosts.at(i);
        if (stopRequested) {
            pings.insert(host, QString::fromLatin1(harbolink::noPingResult));
            continue;
        }
        auto job = std::make_unique<PingProcessor>(host);
        connect(job.get(), &PingProcessor::finished, this, [this, current](QString host_name, QString host_ping) {
            harbolink::ping::takeOver(&harbolink::ping::resultsToken);
            if (current == measurement)
                pingGot(std::move(host_name), std::move(host_ping));
        });
        harbolink::ping::handOver(job.get());
        QThreadPool::globalInstance()->start(job.release());
    }
    harbolink::ping::handOver(this);
}
