#include "api/NetworkManager.h"

#include "api/ServiceRequest.h"
#include "app/Constants.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>

NetworkManager::NetworkManager(QObject *parent)
    : QObject(parent)
    , accessManager(std::make_unique<QNetworkAccessManager>())
{
}

NetworkManager::~NetworkManager() = default;

void NetworkManager::setCredentials(const QString &newEmail, const QString &newPassword)
{
    email = newEmail;
    password = newPassword;
}

ServerList NetworkManager::serverList() const
{
    return serverListRecord;
}

FlagTable NetworkManager::flagTable() const
{
    return flagTableRecord;
}

StartupInfo NetworkManager::startupInfo() const
{
    return startupInfoRecord;
}

LoginInfo NetworkManager::loginInfo() const
{
    return loginInfoRecord;
}

LoginFlags NetworkManager::loginFlags() const
{
    return loginFlagsRecord;
}

QString NetworkManager::lastError() const
{
    return lastErrorText;
}

void NetworkManager::makeLoginRequest()
{
}

void NetworkManager::makeServerListRequest()
{
}

void NetworkManager::makeStartupRequest()
{
    const QUrl url(harbolink::apiBaseAddress() + QLatin1String(harbolink::startupPath), QUrl::TolerantMode);
    QNetworkReply *reply = accessManager->get(harbolink::serviceRequest(url));
    connect(reply, &QNetworkReply::finished, this, [this, reply] { handleStartupReply(reply); },
            Qt::DirectConnection);
}

void NetworkManager::handleStartupReply(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        lastErrorText = tr("Network error. Try again later.") + QStringLiteral("\nCode: ") + QString::number(status);
        emit startupErrorOccurred();
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(reply->readAll());
    if (document.isEmpty()) {
        lastErrorText = tr("Network error. Try again later.");
        emit startupErrorOccurred();
        return;
    }
    const QJsonObject root = document.object();
    startupInfoRecord[QStringLiteral("app_title")] = root.value(QLatin1String("app_title")).toString();
    startupInfoRecord[QStringLiteral("corp_title")] = root.value(QLatin1String("corp_title")).toString();
    startupInfoRecord[QStringLiteral("version")] = root.value(QLatin1String("version")).toString();
    const QJsonObject links = root.value(QLatin1String("links")).toObject();
    const QString domain = links.value(QLatin1String("domain")).toString();
    startupInfoRecord[QStringLiteral("domain")] = domain;
    for (const char *link : {"account", "signup", "support", "forgot_password", "download"}) {
        startupInfoRecord[QString::fromLatin1(link)] = domain + links.value(QLatin1String(link)).toString();
    }
    emit startUpResponceFinished();
}

void NetworkManager::makeReportRequest(QString errorServerHostname, QString errorServerMessage)
{
    Q_UNUSED(errorServerHostname)
    Q_UNUSED(errorServerMessage)
}
