#pragma once

#include <QObject>

#include <functional>

namespace harbolink::platform {

// Calls handler on the main thread when the system asks the program to end (SIGTERM, SIGINT or
// SIGHUP on Unix, e.g. at log-out), so that it can stop its tunnel and quit like the tray's Exit
// instead of dying with OpenVPN left running. context owns the watcher. Does nothing on Windows,
// where a GUI program is ended through its windows.
void watchTerminationRequests(QObject *context, std::function<void()> handler);

} // namespace harbolink::platform
