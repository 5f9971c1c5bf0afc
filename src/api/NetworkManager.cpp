#include "api/NetworkManager.h"

#include "api/ServiceRequest.h"
#include "app/Constants.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrlQuery>

#include <algorithm>

namespace {

// The text as the contents of a JSON string: quotation mark, reverse solidus and control
// characters escaped.
QString jsonStringContents(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            escaped += QLatin1String("\\\"");
            break;
        case '\\':
            escaped += QLatin1String("\\\\");
            break;
        case '\b':
            escaped += QLatin1String("\\b");
            break;
        case '\f':
            escaped += QLatin1String("\\f");
            break;
        case '\n':
            escaped += QLatin1String("\\n");
            break;
        case '\r':
            escaped += QLatin1String("\\r");
            break;
        case '\t':
            escaped += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 0x20) {
                escaped += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            } else {
                escaped += c;
            }
        }
    }
    return escaped;
}

// Adds a query item whose value arrives as it stands: everything but the unreserved characters
// is percent-encoded, so '+', '&', '=', '%' and '#' in an address or a message keep their meaning.
void addQueryItem(QUrlQuery &query, const QString &key, const QString &value)
{
    QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(value));
    if (encoded.isNull()) {
        encoded = QLatin1String(""); // "key=", not a bare key
    }
    query.addQueryItem(key, encoded);
}

QUrl apiAddress(const char *path, const QUrlQuery &query = QUrlQuery())
{
    QUrl url(harbolink::apiBaseAddress() + QLatin1String(path), QUrl::TolerantMode);
    if (!query.isEmpty()) {
        url.setQuery(query);
    }
    return url;
}

int httpStatus(const QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

} // namespace

NetworkManager::NetworkManager(QObject *parent)
    : QObject(parent)
    , accessManager(std::make_unique<QNetworkAccessManager>())
{
}

NetworkManager::~NetworkManager()
{
    // Release the outstanding replies while the records their handlers write still exist.
    const QList<QNetworkReply *> replies = accessManager->findChildren<QNetworkReply *>();
    for (QNetworkReply *reply : replies) {
        reply->disconnect(this);
    }
    accessManager.reset();
}

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
    const QString body = QStringLiteral("{\"email\": \"%1\", \"password\": \"%2\"}")
                             .arg(jsonStringContents(email), jsonStringContents(password));
    QNetworkReply *reply =
        accessManager->post(harbolink::serviceRequest(apiAddress(harbolink::loginPath)), body.toUtf8());
    connect(
        reply, &QNetworkReply::finished, this, [this, reply] { handleLoginReply(reply); }, Qt::DirectConnection);
}

void NetworkManager::makeServerListRequest()
{
    flagRepliesReceived = 0;
    const quint32 generation = ++listGeneration;
    QUrlQuery query;
    addQueryItem(query, QStringLiteral("email"), email);
    QNetworkReply *reply =
        accessManager->post(harbolink::serviceRequest(apiAddress(harbolink::serversPath, query)), QByteArray());
    connect(
        reply, &QNetworkReply::finished, this, [this, reply, generation] { handleServerListReply(reply, generation); },
        Qt::DirectConnection);
}

void NetworkManager::makeStartupRequest()
{
    QNetworkReply *reply = accessManager->get(harbolink::serviceRequest(apiAddress(harbolink::startupPath)));
    connect(
        reply, &QNetworkReply::finished, this, [this, reply] { handleStartupReply(reply); }, Qt::DirectConnection);
}

void NetworkManager::handleStartupReply(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        lastErrorText =
            tr("Network error. Try again later.") + QStringLiteral("\nCode: ") + QString::number(httpStatus(reply));
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

void NetworkManager::handleLoginReply(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        const int status = httpStatus(reply);
        if (status == 401) {
            lastErrorText = tr("Invalid email or password.");
        } else {
            lastErrorText =
                tr("Network error. Try again later.") + QStringLiteral("\nCode: ") + QString::number(status);
        }
        emit loginErrorOccurred();
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(reply->readAll());
    if (document.isEmpty()) {
        lastErrorText = tr("Network error. Try again later.");
        emit loginErrorOccurred();
        return;
    }
    const QJsonObject root = document.object();
    const QJsonObject access = root.value(QLatin1String("access")).toObject();
    loginFlagsRecord[QStringLiteral("login")] = access.value(QLatin1String("login")).toBool(false);
    loginFlagsRecord[QStringLiteral("connection")] = access.value(QLatin1String("connection")).toBool(false);
    loginInfoRecord[QStringLiteral("message")] = root.value(QLatin1String("message")).toString();
    emit loginResponceFinished();
}

void NetworkManager::handleServerListReply(QNetworkReply *reply, quint32 generation)
{
    reply->deleteLater();
    if (generation != listGeneration) {
        // A newer list has been asked for; only its answer counts.
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        lastErrorText = tr("Service unaviable. Try again later.");
        emit serverListErrorOccured();
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(reply->readAll());
    if (document.isEmpty()) {
        lastErrorText = tr("Network error. Try again later.");
        emit serverListErrorOccured();
        return;
    }
    const QJsonArray servers = document.object().value(QLatin1String("servers")).toArray();
    serverListRecord = ServerList(servers.size());
    for (int i = 0; i < servers.size(); ++i) {
        const QJsonObject server = servers.at(i).toObject();
        const QJsonObject files = server.value(QLatin1String("files")).toObject();
        ServerRecord &record = serverListRecord[i];
        for (const char *key : {"name", "hostname", "country_code", "country", "latitude", "longitude"}) {
            record[QString::fromLatin1(key)] = server.value(QLatin1String(key)).toString();
        }
        for (const char *key : {"ovpn", "crt", "image"}) {
            record[QString::fromLatin1(key)] = files.value(QLatin1String(key)).toString();
        }
    }
    if (serverListRecord.isEmpty()) {
        // No flag to wait for: the list is complete as it stands.
        emit serverListResponceFinished();
        return;
    }
    requestFlags();
}

void NetworkManager::requestFlags()
{
    // Over a copy: a flag that fails at once is handled right here, and what its completion
    // triggers may replace the list.
    const ServerList servers = serverListRecord;
    for (const ServerRecord &server : servers) {
        requestFlag(server.value(QStringLiteral("hostname")), server.value(QStringLiteral("image")));
    }
}

void NetworkManager::requestFlag(const QString &hostName, const QString &url)
{
    const QUrl address(url, QUrl::TolerantMode);
    const QString scheme = address.scheme().toLower();
    if (scheme != QLatin1String("https") && scheme != QLatin1String("http")) {
        // The address comes from the service: never let it name a local file or resource.
        completeFlag(hostName, QPixmap(QString::fromLatin1(harbolink::fallbackFlag)));
        return;
    }
    const quint32 generation = listGeneration;
    QNetworkReply *reply = accessManager->get(harbolink::serviceRequest(address));
    connect(
        reply, &QNetworkReply::finished, this,
        [this, hostName, reply, generation] { handleFlagReply(hostName, reply, generation); }, Qt::DirectConnection);
}

void NetworkManager::handleFlagReply(const QString &hostName, QNetworkReply *reply, quint32 generation)
{
    QPixmap picture;
    reply->deleteLater();
    if (generation != listGeneration) {
        // Belongs to an earlier list: neither stored nor counted.
        return;
    }
    if (reply->error() == QNetworkReply::NoError) {
        picture.loadFromData(reply->readAll());
    } else {
        picture.load(QString::fromLatin1(harbolink::fallbackFlag));
    }
    completeFlag(hostName, picture);
}

void NetworkManager::completeFlag(const QString &hostName, const QPixmap &picture)
{
    const bool listed = std::any_of(serverListRecord.cbegin(), serverListRecord.cend(), [&](const ServerRecord &r) {
        return r.value(QStringLiteral("hostname")) == hostName;
    });
    if (listed) {
        flagTableRecord.insert(hostName, picture);
    }
    ++flagRepliesReceived;
    if (flagRepliesReceived == quint32(serverListRecord.size())) {
        emit serverListResponceFinished();
    }
}

void NetworkManager::makeReportRequest(QString errorServerHostname, QString errorServerMessage)
{
    QUrlQuery query;
    addQueryItem(query, QStringLiteral("email"), email);
    addQueryItem(query, QStringLiteral("server"), errorServerHostname);
    addQueryItem(query, QStringLiteral("message"), errorServerMessage);
    QNetworkReply *reply =
        accessManager->post(harbolink::serviceRequest(apiAddress(harbolink::reportPath, query)), QByteArray());
    // The answer is not read; the reply goes once it has finished.
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
}
