#include "ping/Ping.h"

Ping::Ping(QObject *parent)
    : QThread(parent)
{
}

Ping::~Ping() = default;

void Ping::clearResults()
{
    resultsReceived = 0;
    hosts.clear();
    pings.clear();
}

void Ping::startPinging(const QStringList &hostNames)
{
    Q_UNUSED(hostNames)
}

void Ping::stopAndWait()
{
    stopRequested = true;
    wait();
}

PingTable Ping::pingTable() const
{
    return pings;
}

void Ping::pingGot(QString host_name, QString host_ping)
{
    Q_UNUSED(host_name)
    Q_UNUSED(host_ping)
}

void Ping::run()
{
}
