#pragma once
// What every request to the service has in common: where it goes, the three headers it carries
// and the certificate authorities it trusts.

#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QString>
#include <QUrl>

namespace harbolink {

// "https://" followed by the service API host.
QString apiBaseAddress();
// host[:port] of the installer download host.
QString installerHost();

// The system's CA certificates plus the ones built into the client; peers are always verified.
QSslConfiguration sslConfiguration();

// A request for url with the common headers (Content-Type, User-Agent, Auth-Token, in that order)
// and the client's TLS configuration.
QNetworkRequest serviceRequest(const QUrl &url);

// Tests point the client at a loopback service on a port of their own. Never used by the program.
void setServiceHostsForTesting(const QString &apiHost, const QString &installerHost);

} // namespace harbolink
