#pragma once

#include "api/ServiceRecords.h"

#include <QObject>
#include <QString>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

// Client of the service's HTTPS JSON API: sends the startup, login, server-list and report
// requests, turns the replies into the service records and downloads the flag pictures.
class NetworkManager : public QObject
{
    Q_OBJECT

public:
    explicit NetworkManager(QObject *parent = nullptr);
    ~NetworkManager() override;

    void setCredentials(const QString &email, const QString &password);

    ServerList serverList() const;
    FlagTable flagTable() const;
    StartupInfo startupInfo() const;
    LoginInfo loginInfo() const;
    LoginFlags loginFlags() const;
    QString lastError() const;

signals:
    void loginResponceFinished();
    void serverListResponceFinished();
    void startUpResponceFinished();
    void loginErrorOccurred();
    void serverListErrorOccured();
    void startupErrorOccurred();

public slots:
    void makeLoginRequest();
    void makeServerListRequest();
    void makeStartupRequest();
    void makeReportRequest(QString errorServerHostname, QString errorServerMessage);

private:
    friend class NetworkManagerInspector; // tests: the replies still held by accessManager

    void handleStartupReply(QNetworkReply *reply);
    void handleLoginReply(QNetworkReply *reply);
    // generation: the list request the reply answers; replies of earlier requests are dropped.
    void handleServerListReply(QNetworkReply *reply, quint32 generation);

    // One flag download per server of the current list, tagged with the list's generation.
    void requestFlags();
    void requestFlag(const QString &hostName, const QString &url);
    void handleFlagReply(const QString &hostName, QNetworkReply *reply, quint32 generation);
    // Stores a flag of the current list and emits serverListResponceFinished after the last one.
    void completeFlag(const QString &hostName, const QPixmap &picture);

    quint32 flagRepliesReceived = 0;
    // Counts the server-list requests; flag and list replies carry the value of their request.
    quint32 listGeneration = 0;
    std::unique_ptr<QNetworkAccessManager> accessManager;
    LoginInfo loginInfoRecord;
    LoginFlags loginFlagsRecord;
    ServerList serverListRecord;
    FlagTable flagTableRecord;
    StartupInfo startupInfoRecord;
    QString lastErrorText;
    QString password;
    QString email;
};
