#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QProcess;
class QTcpSocket;
class QTemporaryFile;

// Runs one OpenVPN session at a time: downloads the chosen server's configuration, writes it and
// the credentials to temporary files, starts OpenVPN, reads its management interface and stops it.
class Protocol : public QObject
{
    Q_OBJECT

public:
    explicit Protocol(QObject *parent = nullptr);
    ~Protocol() override;

    void prepareConnection(const QString &userName, const QString &userPassword, const QString &configUrl);

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
    QString userName;
    QString userPassword;
    QString configUrl;
    std::unique_ptr<QNetworkAccessManager> networkManager;
    bool vpnActive = false;
    QProcess *vpnProcess = nullptr;
    QTcpSocket *managementSocket = nullptr;
    QTemporaryFile *authFile = nullptr;
    QTemporaryFile *configFile = nullptr;
};
