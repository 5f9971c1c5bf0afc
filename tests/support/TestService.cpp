#include "TestService.h"

#include "HttpsService.h"
#include "TestPaths.h"

#include <QtGlobal>

namespace harbolink::test {

namespace {

std::string toStd(const QByteArray &bytes)
{
    return std::string(bytes.constData(), size_t(bytes.size()));
}

QByteArray fromStd(const std::string &text)
{
    return QByteArray(text.data(), int(text.size()));
}

} // namespace

QByteArray RecordedRequest::header(const QByteArray &name) const
{
    for (const auto &entry : headers) {
        if (entry.first.compare(name, Qt::CaseInsensitive) == 0) {
            return entry.second;
        }
    }
    return QByteArray();
}

TestService::TestService()
    : TestService(pkiDir() + QStringLiteral("/server.pem"), pkiDir() + QStringLiteral("/server.key"))
{
}

TestService::TestService(const QString &certificateFile, const QString &keyFile)
    : server(std::make_unique<service::HttpsService>())
{
    service::Options options;
    options.certificateFile = certificateFile.toStdString();
    options.keyFile = keyFile.toStdString();
    if (!server->start(options)) {
        qFatal("The test service could not start: %s", server->errorString().c_str());
    }
}

TestService::~TestService()
{
    stop();
}

QString TestService::host() const
{
    return QString::fromStdString(server->host()) + QLatin1Char(':') + QString::number(server->port());
}

QString TestService::url(const QString &path) const
{
    return QStringLiteral("https://") + host() + path;
}

void TestService::setReply(const QByteArray &method, const QByteArray &path, const CannedReply &reply)
{
    service::Reply canned;
    canned.status = reply.status;
    canned.body = toStd(reply.body);
    canned.contentType = toStd(reply.contentType);
    canned.delayMs = reply.delayMs;
    canned.stall = reply.stall;
    canned.noContentLength = reply.noContentLength;
    server->setReply(toStd(method), toStd(path), canned);
}

QList<RecordedRequest> TestService::requests() const
{
    QList<RecordedRequest> result;
    for (const service::Request &request : server->requests()) {
        RecordedRequest recorded;
        recorded.method = fromStd(request.method);
        recorded.path = fromStd(request.path);
        recorded.query = fromStd(request.query);
        for (const auto &header : request.headers) {
            recorded.headers.append(qMakePair(fromStd(header.first), fromStd(header.second)));
        }
        recorded.body = fromStd(request.body);
        result.append(recorded);
    }
    return result;
}

void TestService::clearRequests()
{
    server->clearRequests();
}

void TestService::stop()
{
    server->stop();
}

} // namespace harbolink::test
