#include "DemoService.h"

#include "DemoData.h"
#include "HttpsService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QUrlQuery>

namespace harbolink::demo {

using service::Reply;
using service::Request;

namespace {

// The token every client sends; requests without it are refused.
constexpr char apiToken[] = "KD7QW2MPX9TLRV4HZN8CGJ5YBF3SAE6UQM2WKX7PTL9DRH4VZN";
// The site the links point to; its name after "https://www2." names the installer's path.
constexpr char domain[] = "https://www2.harbolink.test";
constexpr char siteName[] = "harbolink.test";

Reply json(const QJsonObject &object, int status = 200)
{
    Reply reply;
    reply.status = status;
    reply.body = QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
    return reply;
}

Reply plain(int status, const std::string &text)
{
    Reply reply;
    reply.status = status;
    reply.body = text + "\n";
    reply.contentType = "text/plain";
    return reply;
}

std::string header(const Request &request, const std::string &name)
{
    for (const auto &entry : request.headers) {
        if (QString::fromStdString(entry.first).compare(QString::fromStdString(name), Qt::CaseInsensitive) == 0) {
            return entry.second;
        }
    }
    return {};
}

const Account *findAccount(const QString &email)
{
    for (const Account &account : accounts()) {
        if (account.email.compare(email, Qt::CaseInsensitive) == 0) {
            return &account;
        }
    }
    return nullptr;
}

} // namespace

struct DemoService::Private {
    service::HttpsService server;
    DemoOptions options;
    QString publicHost;
    mutable QMutex vpnMutex; // guards the two VPN files of options

    mutable QMutex logMutex;
    QStringList logLines;

    void note(const QString &line)
    {
        QMutexLocker locker(&logMutex);
        logLines << line;
        fprintf(stderr, "demo-service: %s\n", qPrintable(line));
    }

    QString address(const QString &path) const { return QStringLiteral("https://") + publicHost + path; }

    // Wraps a handler with the token check and a log line.
    service::Handler guarded(std::function<Reply(const Request &)> handler)
    {
        return [this, handler](const Request &request) {
            if (header(request, "Auth-Token") != apiToken) {
                note(QStringLiteral("%1 %2 refused: wrong token")
                         .arg(QString::fromStdString(request.method), QString::fromStdString(request.path)));
                return plain(403, "Forbidden");
            }
            Reply reply = handler(request);
            note(QStringLiteral("%1 %2 -> %3")
                     .arg(QString::fromStdString(request.method), QString::fromStdString(request.path))
                     .arg(reply.status));
            return reply;
        };
    }

    Reply startup() const
    {
        return json({{QStringLiteral("app_title"), QStringLiteral("harbolink")},
                     {QStringLiteral("corp_title"), QStringLiteral("Harbolink Demo Networks")},
                     {QStringLiteral("version"), options.announcedVersion},
                     {QStringLiteral("links"),
                      QJsonObject{{QStringLiteral("domain"), QLatin1String(domain)},
                                  {QStringLiteral("account"), QStringLiteral("/account")},
                                  {QStringLiteral("signup"), QStringLiteral("/signup")},
                                  {QStringLiteral("support"), QStringLiteral("/support")},
                                  {QStringLiteral("forgot_password"), QStringLiteral("/forgot-password")},
                                  {QStringLiteral("download"), QStringLiteral("/download")}}}});
    }

    Reply login(const Request &request)
    {
        const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).object();
        const QString email = body.value(QLatin1String("email")).toString();
        const Account *account = findAccount(email);
        if (!account || account->password != body.value(QLatin1String("password")).toString()) {
            note(QStringLiteral("login refused for \"%1\"").arg(email));
            return plain(401, "Unauthorized");
        }
        return json({{QStringLiteral("access"), QJsonObject{{QStringLiteral("login"), true},
                                                            {QStringLiteral("connection"), account->mayConnect}}},
                     {QStringLiteral("message"), account->message}});
    }

    Reply serverList(const Request &request) const
    {
        const QUrlQuery query(QString::fromStdString(request.query));
        const Account *account = findAccount(query.queryItemValue(QStringLiteral("email"), QUrl::FullyDecoded));
        if (!account || !account->mayConnect) {
            return plain(401, "Unauthorized");
        }
        QJsonArray list;
        for (const Server &server : servers()) {
            list.append(QJsonObject{
                {QStringLiteral("name"), server.name},
                {QStringLiteral("hostname"), server.hostname},
                {QStringLiteral("country_code"), server.countryCode},
                {QStringLiteral("country"), server.country},
                {QStringLiteral("latitude"), server.latitude},
                {QStringLiteral("longitude"), server.longitude},
                {QStringLiteral("files"),
                 QJsonObject{
                     {QStringLiteral("ovpn"), address(QStringLiteral("/configs/%1.ovpn").arg(server.countryCode))},
                     {QStringLiteral("crt"), address(QStringLiteral("/configs/ca.crt"))},
                     {QStringLiteral("image"),
                      address(QStringLiteral("/flags/%1.png").arg(server.countryCode.toLower()))}}}});
        }
        return json({{QStringLiteral("servers"), list}});
    }

    Reply report(const Request &request)
    {
        const QUrlQuery query(QString::fromStdString(request.query));
        note(QStringLiteral("report from %1 about %2: %3")
                 .arg(query.queryItemValue(QStringLiteral("email"), QUrl::FullyDecoded),
                      query.queryItemValue(QStringLiteral("server"), QUrl::FullyDecoded),
                      query.queryItemValue(QStringLiteral("message"), QUrl::FullyDecoded)));
        return plain(200, "OK");
    }
};

DemoService::DemoService()
    : d(std::make_unique<Private>())
{
}

DemoService::~DemoService()
{
    stop();
}

bool DemoService::start(const DemoOptions &options)
{
    d->options = options;
    Private *p = d.get();

    p->server.setHandler("GET", "/v1/startup", p->guarded([p](const Request &) {
        Reply reply = p->startup();
        reply.delayMs = p->options.startupDelayMs;
        return reply;
    }));
    p->server.setHandler("POST", "/v1/login", p->guarded([p](const Request &r) { return p->login(r); }));
    p->server.setHandler("POST", "/v1/servers", p->guarded([p](const Request &r) { return p->serverList(r); }));
    p->server.setHandler("POST", "/v1/report", p->guarded([p](const Request &r) { return p->report(r); }));

    for (const Server &server : servers()) {
        const std::string code = server.countryCode.toStdString();
        p->server.setHandler("GET", "/configs/" + code + ".ovpn", p->guarded([p](const Request &) {
            Reply reply = plain(200, std::string());
            QMutexLocker locker(&p->vpnMutex);
            reply.body = p->options.vpnConfiguration.toStdString();
            return reply;
        }));
        Reply flag;
        flag.body = flagPng(server.countryCode).toStdString();
        flag.contentType = "image/png";
        p->server.setReply("GET", "/flags/" + server.countryCode.toLower().toStdString() + ".png", flag);
    }

    p->server.setHandler("GET", "/configs/ca.crt", p->guarded([p](const Request &) {
        QMutexLocker locker(&p->vpnMutex);
        Reply reply = plain(p->options.vpnCaCertificate.isEmpty() ? 404 : 200, std::string());
        reply.body = p->options.vpnCaCertificate.toStdString();
        reply.contentType = "application/x-pem-file";
        return reply;
    }));

    const std::string installerPath = std::string("/") + siteName + "/" + siteName + "_installer.exe";
    p->server.setHandler("GET", installerPath, p->guarded([p](const Request &) {
        Reply reply;
        reply.body = p->options.installer.toStdString();
        reply.contentType = "application/octet-stream";
        return reply;
    }));

    service::Options serverOptions;
    serverOptions.certificateFile = options.certificateFile.toStdString();
    serverOptions.keyFile = options.keyFile.toStdString();
    serverOptions.host = options.bindAddress.toStdString();
    serverOptions.port = options.port;
    if (!p->server.start(serverOptions)) {
        return false;
    }
    p->publicHost =
        options.publicHost.isEmpty() ? QStringLiteral("localhost:%1").arg(p->server.port()) : options.publicHost;
    return true;
}

void DemoService::stop()
{
    d->server.stop();
}

QString DemoService::errorString() const
{
    return QString::fromStdString(d->server.errorString());
}

int DemoService::port() const
{
    return d->server.port();
}

QString DemoService::publicHost() const
{
    return d->publicHost;
}

void DemoService::setVpnConfiguration(const QByteArray &configuration, const QByteArray &caCertificate)
{
    QMutexLocker locker(&d->vpnMutex);
    d->options.vpnConfiguration = configuration;
    d->options.vpnCaCertificate = caCertificate;
}

QStringList DemoService::log() const
{
    QMutexLocker locker(&d->logMutex);
    return d->logLines;
}

} // namespace harbolink::demo
