#include "api/ServiceRequest.h"

#include "app/Constants.h"

#include <QSslCertificate>

namespace harbolink {

namespace {

struct ServiceHosts {
    QString api = QString::fromLatin1(build::apiHost);
    QString installer = QString::fromLatin1(build::installerHost);
};

ServiceHosts &hosts()
{
    static ServiceHosts instance;
    return instance;
}

} // namespace

QString apiBaseAddress()
{
    return QStringLiteral("https://") + hosts().api;
}

QString installerHost()
{
    return hosts().installer;
}

void setServiceHostsForTesting(const QString &apiHost, const QString &installerHostName)
{
    hosts().api = apiHost;
    hosts().installer = installerHostName;
}

QSslConfiguration sslConfiguration()
{
    static const QSslConfiguration configuration = [] {
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        const QList<QSslCertificate> extra = QSslCertificate::fromData(QByteArray(build::extraCaCertificates));
        if (!extra.isEmpty()) {
            config.setCaCertificates(config.caCertificates() + extra);
        }
        config.setPeerVerifyMode(QSslSocket::VerifyPeer);
        return config;
    }();
    return configuration;
}

QNetworkRequest serviceRequest(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray(contentType));
    request.setRawHeader("User-Agent", userAgent);
    request.setRawHeader("Auth-Token", apiToken);
    request.setSslConfiguration(sslConfiguration());
    return request;
}

} // namespace harbolink
