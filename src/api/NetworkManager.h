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
    void handleStartupReply(QNetworkReply *reply);

    quint32 flagRepliesReceived = 0;
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
