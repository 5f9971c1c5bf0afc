#pragma once

#include <QtGlobal>

namespace harbolink::test {

// A TCP socket listening on 127.0.0.1 at a port chosen by the system, opened without Qt, so that
// it can be made before the application object exists and handed to a QTcpServer later.
class ReservedPort
{
public:
    ReservedPort();
    ~ReservedPort();

    ReservedPort(const ReservedPort &) = delete;
    ReservedPort &operator=(const ReservedPort &) = delete;

    quint16 port() const { return portNumber; }
    // Gives the listening descriptor away (for QTcpServer::setSocketDescriptor); -1 if taken.
    qintptr take();

private:
    int descriptor = -1;
    quint16 portNumber = 0;
};

} // namespace harbolink::test
