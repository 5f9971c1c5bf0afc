#include "ReservedPort.h"

#include <QtGlobal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace harbolink::test {

ReservedPort::ReservedPort()
{
    descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        qFatal("ReservedPort: socket() failed");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    if (::bind(descriptor, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0
        || ::listen(descriptor, 16) != 0
        || ::getsockname(descriptor, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        qFatal("ReservedPort: cannot listen on 127.0.0.1");
    }
    portNumber = ntohs(address.sin_port);
}

ReservedPort::~ReservedPort()
{
    if (descriptor >= 0) {
        ::close(descriptor);
    }
}

qintptr ReservedPort::take()
{
    const int taken = descriptor;
    descriptor = -1;
    return taken;
}

} // namespace harbolink::test
