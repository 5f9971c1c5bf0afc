#include "platform/PingCommand.h"

#include "app/Constants.h"

#include <QDebug>
#include <QHostAddress>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <algorithm>
#include <mutex>

namespace harbolink::platform {

namespace {

constexpr int maxHostLength = 253;
constexpr int maxLabelLength = 63;
constexpr int echoRequests = 2;
constexpr int replyLimitMs = 500;

QString noResult()
{
    return QString::fromLatin1(noPingResult);
}

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool isAsciiLetterOrDigit(QChar c)
{
    return isAsciiDigit(c) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
           || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

bool isIpLiteral(const QString &host)
{
    for (const QChar c : host) {
        const bool hexDigit = isAsciiDigit(c) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
                              || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
        if (!hexDigit && c != QLatin1Char(':') && c != QLatin1Char('.'))
            return false;
    }
    const QHostAddress address(host);
    const auto protocol = address.protocol();
    return protocol == QAbstractSocket::IPv4Protocol || protocol == QAbstractSocket::IPv6Protocol;
}

bool isDnsLabel(const QStringRef &label)
{
    if (label.isEmpty() || label.size() > maxLabelLength)
        return false;
    if (label.startsWith(QLatin1Char('-')) || label.endsWith(QLatin1Char('-')))
        return false;
    for (const QChar c : label) {
        if (!isAsciiLetterOrDigit(c) && c != QLatin1Char('-'))
            return false;
    }
    return true;
}

bool isDnsName(const QString &host)
{
    const QStringRef name = host.endsWith(QLatin1Char('.')) ? host.leftRef(host.size() - 1) : host.midRef(0);
    const QVector<QStringRef> labels = name.split(QLatin1Char('.'));
    for (const QStringRef &label : labels) {
        if (!isDnsLabel(label))
            return false;
    }
    // An all-numeric last label is no top-level domain: such a text is a malformed address.
    const QStringRef top = labels.constLast();
    if (std::all_of(top.begin(), top.end(), isAsciiDigit))
        return false;
    return top.compare(QLatin1String("invalid"), Qt::CaseInsensitive) != 0;
}

// The runner is replaced by tests on the main thread and read by every job.
std::mutex runnerMutex;
PingRunner runnerInEffect;

} // namespace

bool isValidPingHost(const QString &host)
{
    if (host.isEmpty() || host.size() > maxHostLength || host.startsWith(QLatin1Char('-')))
        return false;
    return isIpLiteral(host) || isDnsName(host);
}

PingCommand pingCommand(const QString &host)
{
#ifdef Q_OS_WIN
    return windowsPingCommand(host);
#else
    return linuxPingCommand(host);
#endif
}

PingCommand windowsPingCommand(const QString &host)
{
    return {QStringLiteral("cmd.exe"),
            {QStringLiteral("/c"), QStringLiteral("chcp 861"), QStringLiteral("&&"), QStringLiteral("ping"),
             QStringLiteral("-n"), QString::number(echoRequests), QStringLiteral("-w"), QString::number(replyLimitMs),
             host}};
}

PingCommand linuxPingCommand(const QString &host)
{
    // -W takes seconds, written with a "." that ping reads in every locale; "--" ends the options.
    return {QStringLiteral("ping"),
            {QStringLiteral("-n"), QStringLiteral("-c"), QString::number(echoRequests), QStringLiteral("-W"),
             QString::number(replyLimitMs / 1000.0), QStringLiteral("-i"), QStringLiteral("0.2"), QStringLiteral("--"),
             host}};
}

QString parsePingOutput(const QByteArray &standardOutput)
{
#ifdef Q_OS_WIN
    return parseWindowsPingOutput(standardOutput);
#else
    return parseLinuxPingOutput(standardOutput);
#endif
}

QString parseWindowsPingOutput(const QByteArray &standardOutput)
{
    const int zero = standardOutput.indexOf('\0');
    const QString text = QString::fromUtf8(zero < 0 ? standardOutput : standardOutput.left(zero));
    const QLatin1String marker("Average = ");
    const int markerAt = text.indexOf(marker);
    if (markerAt < 0)
        return noResult();
    const int valueAt = markerAt + marker.size();
    const int unitAt = text.indexOf(QLatin1String("ms"), valueAt);
    const QString value = unitAt < 0 ? text.mid(valueAt) : text.mid(valueAt, unitAt - valueAt);
    return value + QLatin1String("ms");
}

QString parseLinuxPingOutput(const QByteArray &standardOutput)
{
    // iputils prints "rtt min/avg/max/mdev = ...", BusyBox "round-trip min/avg/max = ...".
    static const QRegularExpression summary(
        QStringLiteral("(?:rtt|round-trip) min/avg/max(?:/mdev)? = [0-9.]+/([0-9.]+)/[0-9.]+"));
    const QRegularExpressionMatch match = summary.match(QString::fromLatin1(standardOutput));
    if (!match.hasMatch())
        return noResult();
    bool ok = false;
    const double average = match.captured(1).toDouble(&ok);
    if (!ok || average > 1e9)
        return noResult();
    return QString::number(qRound64(average)) + QLatin1String("ms");
}

QByteArray runPingProcess(const PingCommand &command)
{
    QProcess process;
#ifndef Q_OS_WIN
    // The summary is parsed, so it must not come translated.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);
#endif
    process.start(command.program, command.arguments, QIODevice::ReadWrite);
    process.waitForFinished(-1);
    return process.readAllStandardOutput();
}

QByteArray runPingCommand(const PingCommand &command)
{
    PingRunner runner;
    {
        const std::lock_guard<std::mutex> lock(runnerMutex);
        runner = runnerInEffect;
    }
    return runner ? runner(command) : runPingProcess(command);
}

void setPingRunnerForTesting(PingRunner runner)
{
    const std::lock_guard<std::mutex> lock(runnerMutex);
    runnerInEffect = std::move(runner);
}

QString measurePing(const QString &host)
{
    if (!isValidPingHost(host)) {
        qWarning() << "Ping: refused host name" << host;
        return noResult();
    }
    return parsePingOutput(runPingCommand(pingCommand(host)));
}

} // namespace harbolink::platform
