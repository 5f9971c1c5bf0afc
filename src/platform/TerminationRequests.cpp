#include "platform/TerminationRequests.h"

#ifndef Q_OS_WIN
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace harbolink::platform {

#ifdef Q_OS_WIN

void watchTerminationRequests(QObject *context, std::function<void()> handler)
{
    Q_UNUSED(context)
    Q_UNUSED(handler)
}

#else

namespace {

// The signal handler only writes a byte here; the event loop reads it.
int signalPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int)
{
    const char byte = 1;
    const ssize_t written = ::write(signalPipe[1], &byte, 1);
    static_cast<void>(written);
}

} // namespace

void watchTerminationRequests(QObject *context, std::function<void()> handler)
{
    if (signalPipe[0] < 0) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0) {
            qWarning("Cannot watch for termination signals");
            return;
        }
    }
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [handler = std::move(handler)] {
        char buffer[16];
        while (::read(signalPipe[0], buffer, sizeof(buffer)) > 0) {
        }
        handler();
    });

    struct sigaction action {
    };
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(signalNumber, &action, nullptr);
    }
}

#endif

} // namespace harbolink::platform
