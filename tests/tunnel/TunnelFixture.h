#pragma once
// What the tunnel tests share: a record of everything a Protocol signals, a capture of the debug
// log, and checks that a session left no process and no file behind.

#include "TestService.h"
#include "api/ServiceRequest.h"
#include "tunnel/Protocol.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cerrno>
#include <memory>
#include <signal.h>

namespace harbolink::test {

inline QString joined(const QStringList &list)
{
    return list.join(QStringLiteral(" | "));
}

// Compares two lists of events as text, so that a failure shows both.
#define COMPARE_EVENTS(actual, ...)                                                                                    \
    QCOMPARE(harbolink::test::joined(actual), harbolink::test::joined(QStringList(__VA_ARGS__)))

// Every signal of a Protocol, in the order it came: "connected", "disconnected", "connectionError",
// "serverError:<message>" and "stats:<sent>,<received>". filesDownloaded() is only counted: the
// Protocol's own launch runs inside it, before any later receiver hears of it.
class ProtocolEvents
{
public:
    explicit ProtocolEvents(Protocol &protocol)
    {
        QObject::connect(&protocol, &Protocol::connected, &protocol, [this] { events << QStringLiteral("connected"); });
        QObject::connect(&protocol, &Protocol::disconnected, &protocol,
                         [this] { events << QStringLiteral("disconnected"); });
        QObject::connect(&protocol, &Protocol::connectionError, &protocol,
                         [this] { events << QStringLiteral("connectionError"); });
        QObject::connect(&protocol, &Protocol::filesDownloaded, &protocol, [this] { ++downloads; });
        QObject::connect(&protocol, &Protocol::serverError, &protocol,
                         [this](const QString &message) { events << QStringLiteral("serverError:") + message; });
        QObject::connect(&protocol, &Protocol::newTspSocketStats, &protocol,
                         [this](const QDateTime &, quint64 sent, quint64 received) {
                             events << QStringLiteral("stats:%1,%2").arg(sent).arg(received);
                             stats.append({sent, received});
                         });
    }

    QStringList events;
    int downloads = 0;
    QList<QPair<quint64, quint64>> stats; // (sent, received)

    int count(const QString &event) const { return events.count(event); }
    // The events from the first "connected" on, that one excluded.
    QStringList afterConnected() const
    {
        const int index = events.indexOf(QStringLiteral("connected"));
        return index < 0 ? QStringList() : events.mid(index + 1);
    }
};

// The debug log while it lives: every message with its level, still passed on to QtTest.
class LogCapture
{
public:
    struct Entry {
        QtMsgType type;
        QString text;
    };

    LogCapture()
    {
        QMutexLocker lock(&mutex());
        instance() = this;
        previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture()
    {
        QMutexLocker lock(&mutex());
        qInstallMessageHandler(previous);
        instance() = nullptr;
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QList<Entry> entries() const
    {
        QMutexLocker lock(&mutex());
        return captured;
    }
    // The texts of the given level that match the pattern, in order.
    QStringList texts(QtMsgType type, const QString &pattern = QStringLiteral(".*")) const
    {
        QStringList result;
        const QRegularExpression expression(QRegularExpression::anchoredPattern(pattern),
                                            QRegularExpression::DotMatchesEverythingOption);
        for (const Entry &entry : entries()) {
            if (entry.type == type && expression.match(entry.text).hasMatch()) {
                result << entry.text;
            }
        }
        return result;
    }
    bool contains(QtMsgType type, const QString &pattern) const { return !texts(type, pattern).isEmpty(); }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        QtMessageHandler next = nullptr;
        {
            QMutexLocker lock(&mutex());
            if (LogCapture *self = instance()) {
                self->captured.append({type, text});
                next = self->previous;
            }
        }
        if (next) {
            next(type, context, text);
        }
    }
    static QMutex &mutex()
    {
        static QMutex lock;
        return lock;
    }
    static LogCapture *&instance()
    {
        static LogCapture *current = nullptr;
        return current;
    }

    QtMessageHandler previous = nullptr;
    QList<Entry> captured;
};

// True while a process of that id exists, a zombie included.
inline bool processExists(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno != ESRCH);
}

// A loopback port that nobody listens on right now.
inline quint16 unusedLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) {
        qFatal("no free loopback port");
    }
    return probe.serverPort();
}

// One Protocol that runs the stand-in OpenVPN (in the folder "openvpn" beside the test) with
// configurations served by a loopback HTTPS service. Temporary files go to a folder of the session's
// own (TMPDIR), and the stand-in records what it got to a file of that session.
class StandInSession
{
public:
    static constexpr char configPath[] = "/servers/test.ovpn";

    StandInSession()
        : port(unusedLoopbackPort())
    {
        savedTmpDir = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(fileDir.path()));
        qputenv("HARBOLINK_FAKE_OPENVPN_RECORD", QFile::encodeName(recordPath()));
        harbolink::setServiceHostsForTesting(service.host(), service.host());

        protocol = std::make_unique<Protocol>();
        events = std::make_unique<ProtocolEvents>(*protocol);
        // A port of the session's own, and the five attempts within about 1.5 s instead of 155 s:
        // still room for a stand-in that starts slowly on a busy machine or under a sanitizer.
        ProtocolTunables tunables;
        tunables.managementPort = port;
        tunables.managementRetryPauseMs = 300;
        tunables.managementAttemptTimeoutMs = 5000;
        protocol->setTunablesForTesting(tunables);
    }
    ~StandInSession()
    {
        protocol.reset();
        qunsetenv("HARBOLINK_FAKE_OPENVPN_RECORD");
        if (savedTmpDir.isNull()) {
            qunsetenv("TMPDIR");
        } else {
            qputenv("TMPDIR", savedTmpDir);
        }
    }
    StandInSession(const StandInSession &) = delete;
    StandInSession &operator=(const StandInSession &) = delete;

    // A configuration that opens the stand-in's management interface, followed by the script.
    QByteArray config(const QByteArray &script = QByteArray()) const
    {
        return "client\nmanagement localhost " + QByteArray::number(port) + "\n" + script;
    }
    void serve(const QByteArray &body)
    {
        harbolink::test::CannedReply reply;
        reply.body = body;
        reply.contentType = "application/x-openvpn-profile";
        service.setReply("GET", configPath, reply);
    }
    QString configUrl() const { return service.url(QLatin1String(configPath)); }

    // Serves config(script) and asks the Protocol to connect with it.
    void start(const QByteArray &script = QByteArray(), const QString &user = QStringLiteral("alice@example.com"),
               const QString &password = QStringLiteral("s3cret"))
    {
        serve(config(script));
        protocol->prepareConnection(user, password, configUrl());
    }

    QString recordPath() const { return recordDir.filePath(QStringLiteral("record.json")); }
    // What the stand-in recorded at its start; empty while it has not run.
    QJsonObject record() const
    {
        QFile file(recordPath());
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QJsonDocument::fromJson(file.readAll()).object();
    }
    QByteArray recordedBytes(const QString &key) const
    {
        return QByteArray::fromBase64(record().value(key).toString().toLatin1());
    }
    qint64 standInPid() const { return qint64(record().value(QStringLiteral("pid")).toDouble()); }
    // The files left in the session's temporary folder.
    QStringList leftoverFiles() const
    {
        return QDir(fileDir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir fileDir;
    QTemporaryDir recordDir;
    const quint16 port;
    TestService service;
    std::unique_ptr<Protocol> protocol;
    std::unique_ptr<ProtocolEvents> events;

private:
    QByteArray savedTmpDir;
};

} // namespace harbolink::test
