#pragma once

#include <QString>

namespace harbolink::platform {

// Whether the client is registered to start when the user logs on: on Windows the value named
// after the application in the machine-wide "Run" key, elsewhere the XDG autostart entry
// "harbolink.desktop".
bool isAutostartEnabled();

// Registers (true) or unregisters (false) the start at log-on. A failure (no rights, no space) is
// silent: the next isAutostartEnabled() tells the real state.
void setAutostartEnabled(bool enabled);

#ifndef Q_OS_WIN
// $XDG_CONFIG_HOME/autostart/harbolink.desktop (~/.config/autostart/... by default).
QString autostartEntryPath();

// The value of the entry's Exec key that runs `program` without arguments: the path quoted as one
// argument and escaped as the Desktop Entry format asks.
QString desktopExecValue(const QString &program);
#endif

} // namespace harbolink::platform
