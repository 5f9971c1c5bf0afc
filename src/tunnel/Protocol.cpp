#include "tunnel/Protocol.h"

#include "api/ServiceRequest.h"
#include "platform/OpenVpnProgram.h"

#include <QDebug>
#include <QFile>
#include <QList>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <utility>

namespace {

// Owner read and write only: the credentials file holds the password in clear, and the
// configuration may hold keys.
constexpr QFileDevice::Permissions privateFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// How long to wait for a killed OpenVPN to be gone, so that no zombie is left behind.
constexpr int killReapTimeoutMs = 1000;

// A management line is read once its line feed has arrived; a peer that sends this much without
// one gets it read as it is.
constexpr qint64 maxManagementLine = 64 * 1024;

// How long a closed management connection waits for OpenVPN's own end to be reported.
constexpr int managementCloseGraceMs = 250;

constexpr int byteCountPrefixLength = int(sizeof(harbolink::byteCountPrefix)) - 1;
constexpr int statePrefixLength = int(sizeof(harbolink::statePrefix)) - 1;

// What OpenVPN answers to the state commands besides the state itself.
constexpr char stateOnReply[] = "SUCCESS: real-time state notification set to ON";
constexpr char stateReplyEnd[] = "END";

// The name in a state line: "<unix time>,<STATE>,<description>,...". Empty when the line is not
// one.
QByteArray stateName(const QByteArray &entry)
{
    const QList<QByteArray> fields = entry.split(',');
    if (fields.size() < 2 || fields.at(0).isEmpty() || fields.at(1).isEmpty()) {
        return QByteArray();
    }
    for (const char c : fields.at(0)) {
        if (c < '0' || c > '9') {
            return QByteArray();
        }
    }
    for (const char c : fields.at(1)) {
        if ((c < 'A' || c > 'Z') && c != '_') {
            return QByteArray();
        }
    }
    return fields.at(1);
}

bool isErrorLine(const QString &line)
{
    return line.contains(QLatin1String("ERROR:")) || line.contains(QLatin1String("error"))
           || line.contains(QLatin1String("AUTH_FAILED"));
}

// A byte count; anything that is not an unsigned decimal number counts as 0.
quint64 byteCount(const QString &text)
{
    bool ok = false;
    const quint64 value = text.toULongLong(&ok, 10);
    return ok ? value : 0;
}

bool isDownloadAllowed(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

} // namespace

Protocol::Protocol(QObject *parent)
    : QObject(parent)
    , networkManager(std::make_unique<QNetworkAccessManager>())
    , tunnelUpTimer(new QTimer(this))
{
    tunnelUpTimer->setSingleShot(true);
    connect(tunnelUpTimer, &QTimer::timeout, this, &Protocol::tunnelUpTimedOut);
    connect(this, &Protocol::filesDownloaded, this, &Protocol::tryToConnect);
}

Protocol::~Protocol()
{
    // A download still under way must not start a launch while this object goes away.
    const auto replies = networkManager->findChildren<QNetworkReply *>();
    for (QNetworkReply *reply : replies) {
        reply->disconnect(this);
    }
    releaseSession();
}

void Protocol::setTunablesForTesting(const ProtocolTunables &tunables)
{
    settings = tunables;
}

void Protocol::prepareConnection(const QString &newUserName, const QString &newUserPassword,
                                 const QString &newConfigUrl)
{
    userName = newUserName;
    userPassword = newUserPassword;
    configUrl = newConfigUrl;
    // Like a live session, a launch still coming up gives way to the one this call starts.
    vpnActive = false;
    establishing = false;
    tunnelUpTimer->stop();

    const QUrl url(configUrl, QUrl::TolerantMode);
    if (!isDownloadAllowed(url)) {
        // The address comes from the service's server list: it may name only a web resource,
        // never a local file. Reported like a failed download, after this call has returned.
        qWarning() << "Configuration address refused:" << url.scheme();
        QMetaObject::invokeMethod(
            this,
            [this] {
                emit connectionError();
                stopConnection();
            },
            Qt::QueuedConnection);
        return;
    }

    QNetworkReply *reply = networkManager->get(harbolink::serviceRequest(url));
    connect(reply, &QNetworkReply::finished, this, [this, reply] { processReply(reply); });
}

void Protocol::processReply(QNetworkReply *reply)
{
    reply->deleteLater();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const bool httpFailure = status.isValid() && (status.toInt() < 200 || status.toInt() > 299);
    if (reply->error() != QNetworkReply::NoError || httpFailure) {
        emit connectionError();
        stopConnection();
        return;
    }

    QByteArray body = reply->readAll();
    const int nul = body.indexOf('\0');
    if (nul >= 0) {
        body.truncate(nul);
    }
    const QString text = QString::fromUtf8(body) + QLatin1String(harbolink::openVpnLogDirective);

    delete configFile;
    configFile = new QTemporaryFile(this);
    if (!configFile->open()) {
        stopConnection();
        return;
    }
    configFile->setPermissions(privateFile);
    const QByteArray bytes = text.toUtf8();
    qDebug().noquote() << bytes;
    configFile->write(bytes);
    configFile->close();

    emit filesDownloaded();
}

void Protocol::tryToConnect()
{
    // One session at a time: a launch whose tunnel is still coming up counts as one.
    if (vpnActive || establishing) {
        return;
    }
    if (!configFile) {
        qCritical("No configuration file to start OpenVPN with");
        stopConnection();
        return;
    }
    // Whatever an earlier launch left running goes before a new one starts; the new
    // configuration file stays.
    QTemporaryFile *currentConfig = std::exchange(configFile, nullptr);
    releaseSession();
    configFile = currentConfig;

    vpnProcess = new QProcess;
    connect(vpnProcess, &QProcess::readyReadStandardOutput, this, &Protocol::readProcessOutput);
    connect(vpnProcess, &QProcess::readyReadStandardError, this, &Protocol::readProcessErrors);
    connect(vpnProcess, &QProcess::errorOccurred, this, &Protocol::processErrorOccurred);
    connect(vpnProcess, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &Protocol::processFinished);

    authFile = new QTemporaryFile(this);
    if (!authFile->open()) {
        qCritical("Unable to create temporary auth file");
        stopConnection();
        return;
    }
    const QByteArray credentials = QStringLiteral("%1\n%2").arg(userName, userPassword).toLatin1();
    if (authFile->write(credentials) == -1) {
        qCritical("Unable to write temporary config file");
        stopConnection();
        return;
    }
    authFile->close();

    QFile::setPermissions(authFile->fileName(), privateFile);
    QFile::setPermissions(configFile->fileName(), privateFile);

    const QStringList arguments{QStringLiteral("--config"), configFile->fileName(), QStringLiteral("--auth-user-pass"),
                                authFile->fileName()};
    const QString program =
        settings.programPath.isEmpty() ? harbolink::platform::openVpnProgramPath() : settings.programPath;
    vpnProcess->start(program, arguments, QIODevice::ReadWrite);
    if (!vpnProcess || !vpnProcess->waitForStarted(settings.processStartTimeoutMs)) {
        qCritical("Unable to start");
        stopConnection();
        return;
    }

    if (!openManagement()) {
        stopConnection();
        return;
    }
    qDebug("TcpSocketEnable");
    managementSocket->write(harbolink::byteCountCommand);
    // An open management interface says nothing about the tunnel: OpenVPN opens it before it has
    // even reached the server. Ask for every change of state from now on, then for the state it
    // is in already; the session goes live when either says the tunnel is up.
    managementSocket->write(harbolink::stateOnCommand);
    managementSocket->write(harbolink::stateCommand);
    managementSocket->flush();
    stateReplyPending = true;
    establishing = true;
    tunnelUpTimer->start(settings.tunnelUpTimeoutMs);
}

bool Protocol::openManagement()
{
    managementSocket = new QTcpSocket(this);
    connect(managementSocket, &QTcpSocket::readyRead, this, &Protocol::readManagementData);
    connect(managementSocket, &QTcpSocket::disconnected, this, &Protocol::managementClosed);
    managementSocket->setSocketOption(QAbstractSocket::LowDelayOption, 1);

    QAbstractSocket::SocketError error = QAbstractSocket::UnknownSocketError;
    QString errorText;
    for (int attempt = 0; attempt < settings.managementAttempts; ++attempt) {
        managementSocket->connectToHost(QLatin1String(harbolink::managementHost), settings.managementPort,
                                        QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
        if (managementSocket->waitForConnected(settings.managementAttemptTimeoutMs)) {
            return true;
        }
        error = managementSocket->error();
        errorText = managementSocket->errorString();
        managementSocket->abort();
        QThread::msleep(static_cast<unsigned long>(settings.managementRetryPauseMs));
        qWarning("Retrying management...");
    }
    qCritical() << "Unable to connect to management" << error << errorText;
    return false;
}

void Protocol::tryToDisconect()
{
    stopConnection();
}

void Protocol::stopConnection()
{
    releaseSession();
    vpnActive = false;
    emit disconnected();
}

void Protocol::releaseSession()
{
    pendingOutput.clear();
    establishing = false;
    stateReplyPending = false;
    tunnelUpTimer->stop();

    if (managementSocket) {
        QTcpSocket *socket = std::exchange(managementSocket, nullptr);
        socket->disconnect(this);
        socket->disconnectFromHost();
        if (socket->state() != QAbstractSocket::UnconnectedState) {
            socket->waitForDisconnected(settings.managementDisconnectTimeoutMs);
        }
        // This may run inside one of the socket's own signals.
        socket->deleteLater();
    }

    if (vpnProcess) {
        QProcess *process = std::exchange(vpnProcess, nullptr);
        // Its end is ours now: nothing it reports from here on is a failure of the session.
        process->disconnect(this);
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(settings.processTerminateTimeoutMs)) {
                process->kill();
                process->waitForFinished(killReapTimeoutMs);
            }
        }
        // This may run inside one of the process's own signals: delete it once that has
        // returned, or with this object, whichever comes first.
        process->setParent(this);
        process->deleteLater();
    }

    delete authFile;
    authFile = nullptr;
    delete configFile;
    configFile = nullptr;
}

void Protocol::readProcessOutput()
{
    if (!vpnProcess) {
        return;
    }
    const QByteArray chunk = vpnProcess->readAllStandardOutput();
    qDebug().noquote() << "[OUTPUT:]" << chunk;

    pendingOutput += chunk;
    const int lastBreak = pendingOutput.lastIndexOf('\n');
    if (lastBreak < 0) {
        return;
    }
    const QByteArray complete = pendingOutput.left(lastBreak + 1);
    pendingOutput.remove(0, lastBreak + 1);
    examineOutputLines(complete);
}

void Protocol::examineOutputLines(const QByteArray &lines)
{
    QTextStream stream(lines, QIODevice::ReadOnly);
    while (!stream.atEnd()) {
        const QString line = stream.readLine();
        if (isErrorLine(line)) {
            emit serverError(line);
            stopConnection();
        }
    }
}

void Protocol::readProcessErrors()
{
    if (!vpnProcess) {
        return;
    }
    qDebug().noquote() << "[ERROR:]" << vpnProcess->readAllStandardError();
}

void Protocol::processErrorOccurred(QProcess::ProcessError error)
{
    qCritical().noquote() << "OpenVPN process error:"
                          << QMetaEnum::fromType<QProcess::ProcessError>().valueToKey(error);
    emit serverError(QStringLiteral("Something goes wrong..."));
}

void Protocol::processFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    // A last line without its line feed is still a line.
    if (!pendingOutput.isEmpty()) {
        examineOutputLines(std::exchange(pendingOutput, QByteArray()));
        if (!vpnProcess) {
            return;
        }
    }
    const QString message = exitStatus == QProcess::CrashExit
                                ? QStringLiteral("OpenVPN ended unexpectedly")
                                : QStringLiteral("OpenVPN exited with code %1").arg(exitCode);
    qWarning().noquote() << message;
    emit serverError(message);
    stopConnection();
}

void Protocol::readManagementData()
{
    while (managementSocket) {
        if (!managementSocket->canReadLine() && managementSocket->bytesAvailable() < maxManagementLine) {
            return;
        }
        const QByteArray line = managementSocket->readLine();
        if (line.isEmpty()) {
            return;
        }
        qDebug() << line;
        if (takeStateLine(line)) {
            continue;
        }

        const QString text = QString::fromLatin1(line).trimmed().mid(byteCountPrefixLength);
        const QStringList parts = text.split(QLatin1Char(','));
        if (parts.size() == 2) {
            // Counts of a tunnel that is not up yet belong to no session the user has been shown;
            // the running totals after it is up still include them.
            if (vpnActive) {
                emit newTspSocketStats(QDateTime::currentDateTime(), byteCount(parts.at(1)), byteCount(parts.at(0)));
            }
        } else {
            qWarning("Wrong line format");
        }
    }
}

bool Protocol::takeStateLine(const QByteArray &line)
{
    const QByteArray text = line.trimmed();
    if (text.startsWith(harbolink::statePrefix)) {
        stateReported(stateName(text.mid(statePrefixLength)));
        return true;
    }
    if (!stateReplyPending) {
        return false;
    }
    if (text == stateReplyEnd) {
        stateReplyPending = false;
        return true;
    }
    if (text == stateOnReply) {
        return true;
    }
    const QByteArray state = stateName(text);
    if (state.isEmpty()) {
        return false;
    }
    stateReported(state);
    return true;
}

void Protocol::stateReported(const QByteArray &state)
{
    if (!establishing || state != harbolink::connectedState) {
        return;
    }
    establishing = false;
    tunnelUpTimer->stop();
    vpnActive = true;
    emit connected();
}

void Protocol::tunnelUpTimedOut()
{
    if (!establishing) {
        return;
    }
    const QString message = QStringLiteral("Connecting timed out: OpenVPN did not bring the tunnel up");
    qWarning().noquote() << message;
    emit serverError(message);
    stopConnection();
}

void Protocol::managementClosed()
{
    if (!vpnActive && !establishing) {
        return;
    }
    // OpenVPN's management connection also closes when OpenVPN exits. Give that end a moment to be
    // reported first, so that the session ends with what happened to OpenVPN itself.
    const QPointer<QTcpSocket> socket = managementSocket;
    QTimer::singleShot(managementCloseGraceMs, this, [this, socket] {
        if (!socket || socket != managementSocket || (!vpnActive && !establishing)) {
            return;
        }
        const QString message = QStringLiteral("OpenVPN closed the management connection");
        qWarning().noquote() << message;
        emit serverError(message);
        stopConnection();
    });
}
