#pragma once

#include "app/Constants.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QProcess>
#include <QString>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QTcpSocket;
class QTemporaryFile;
class QTimer;

// Where OpenVPN is and how long the session waits for it. The program uses the defaults; tests
// point it at a stand-in, at a management port of their own and at shorter pauses.
struct ProtocolTunables {
    QString programPath; // empty: the OpenVPN program beside the client
    quint16 managementPort = harbolink::managementPort;
    int managementAttempts = harbolink::managementAttempts;
    int managementAttemptTimeoutMs = harbolink::managementAttemptTimeoutMs;
    int managementRetryPauseMs = harbolink::managementRetryPauseMs;
    int processStartTimeoutMs = harbolink::processStartTimeoutMs;
    int managementDisconnectTimeoutMs = harbolink::managementDisconnectTimeoutMs;
    int processTerminateTimeoutMs = harbolink::processTerminateTimeoutMs;
    int tunnelUpTimeoutMs = harbolink::tunnelUpTimeoutMs;
};

// Runs one OpenVPN session at a time: downloads the chosen server's configuration, writes it and
// the credentials to temporary files, starts OpenVPN, reads its management interface and stops it.
// The session is live (connected()) only once OpenVPN reports its tunnel up, not when its
// management interface opens: a login the server refuses never shows as a live session.
class Protocol : public QObject
{
    Q_OBJECT

public:
    explicit Protocol(QObject *parent = nullptr);
    ~Protocol() override;

    void prepareConnection(const QString &userName, const QString &userPassword, const QString &configUrl);

    const ProtocolTunables &tunables() const { return settings; }
    void setTunablesForTesting(const ProtocolTunables &tunables);

signals:
    // Running totals of the session; 64-bit, a live session passes 4 GiB easily.
    void newTspSocketStats(QDateTime timestamp, quint64 bytesSent, quint64 bytesReceived);
    void connected();
    void connectionError();
    void serverError(QString message);
    void filesDownloaded();
    void disconnected();

public slots:
    void processReply(QNetworkReply *reply);
    void tryToConnect();
    void tryToDisconect();

private:
    void stopConnection();
    // Ends whatever the current launch left: management connection, OpenVPN, both files.
    void releaseSession();
    bool openManagement();

    void readProcessOutput();
    void readProcessErrors();
    void processErrorOccurred(QProcess::ProcessError error);
    void processFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void examineOutputLines(const QByteArray &lines);

    void readManagementData();
    // Takes the lines about OpenVPN's state; false for any other line.
    bool takeStateLine(const QByteArray &line);
    void stateReported(const QByteArray &state);
    void tunnelUpTimedOut();
    void managementClosed();

    QString userName;
    QString userPassword;
    QString configUrl;
    std::unique_ptr<QNetworkAccessManager> networkManager;
    bool vpnActive = false;
    // From the opening of the management interface until OpenVPN reports the tunnel up.
    bool establishing = false;
    // The answer to the state command is still to come.
    bool stateReplyPending = false;
    QTimer *tunnelUpTimer = nullptr;
    QProcess *vpnProcess = nullptr;
    QTcpSocket *managementSocket = nullptr;
    QTemporaryFile *authFile = nullptr;
    QTemporaryFile *configFile = nullptr;

    // Standard output after its last line feed: a line is examined once it is complete.
    QByteArray pendingOutput;
    ProtocolTunables settings;
};
