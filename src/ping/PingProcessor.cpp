#include "ping/PingProcessor.h"

#include "ping/ThreadHandOver.h"
#include "platform/PingCommand.h"

PingProcessor::PingProcessor(const QString &host)
    : hostName(host)
{
}

PingProcessor::~PingProcessor() = default;

void PingProcessor::run()
{
    harbolink::ping::takeOver(this);
    const QString result = harbolink::platform::measurePing(hostName);
    harbolink::ping::handOver(&harbolink::ping::resultsToken);
    emit finished(hostName, result);
}
