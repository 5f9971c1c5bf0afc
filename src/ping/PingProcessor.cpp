#include "ping/PingProcessor.h"

PingProcessor::PingProcessor(const QString &host)
    : hostName(host)
{
}

PingProcessor::~PingProcessor() = default;

void PingProcessor::run()
{
}
