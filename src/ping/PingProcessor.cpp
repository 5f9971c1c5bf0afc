#include "ping/PingProcessor.h"

#include "platform/PingCommand.h"

PingProcessor::PingProcessor(const QString &host)
    : hostName(host)
{
}

PingProcessor::~PingProcessor() = default;

void PingProcessor::run()
{
    emit finished(hostName, harbolink::platform::measurePing(hostName));
}
