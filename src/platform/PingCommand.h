#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace harbolink::platform {

// A program with its argument list, started directly (never through a shell string).
struct PingCommand {
    QString program;
    QStringList arguments;
};

// True when the host may be handed to the ping command: a DNS host name (labels of letters, digits
// and inner "-", at most 63 characters each, an optional final ".") or an IPv4/IPv6 literal, at
// most 253 characters, never starting with "-". Names under the reserved top-level domain
// "invalid" are refused as well: they never resolve, so asking a name server about them is a
// pointless trip off the machine.
bool isValidPingHost(const QString &host);

// The command that measures one host on this platform, and the ones of each platform.
PingCommand pingCommand(const QString &host);
// cmd.exe /c "chcp 861" && ping -n 2 -w 500 <host>
PingCommand windowsPingCommand(const QString &host);
// iputils ping: two echo requests 0.2 s apart, 500 ms reply limit, numeric output only.
PingCommand linuxPingCommand(const QString &host);

// The round-trip text ("<n>ms", or "999ms" when nothing was measured) read from the standard output
// of this platform's command, and of each platform's command.
QString parsePingOutput(const QByteArray &standardOutput);
// The characters after "Average = " up to the next "ms", plus "ms".
QString parseWindowsPingOutput(const QByteArray &standardOutput);
// The average of the "rtt min/avg/max/mdev = a/b/c/d ms" summary, rounded to whole milliseconds.
QString parseLinuxPingOutput(const QByteArray &standardOutput);

// Starts the command, waits for it without a time limit and returns its standard output.
QByteArray runPingProcess(const PingCommand &command);

// What runs a ping command: runPingProcess unless a test has put something else in its place.
using PingRunner = std::function<QByteArray(const PingCommand &)>;
QByteArray runPingCommand(const PingCommand &command);
// Replaces the runner; an empty function restores runPingProcess. Call it only while no
// measurement is running.
void setPingRunnerForTesting(PingRunner runner);

// The whole measurement of one host: validation, the command and its parsing. Blocks the caller.
QString measurePing(const QString &host);

} // namespace harbolink::platform
