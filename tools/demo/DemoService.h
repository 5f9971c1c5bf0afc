#pragma once
// The local VPN service of the demo and of the end-to-end tests: every endpoint the client uses,
// served over HTTPS on loopback with realistic data.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

namespace harbolink::service {
class HttpsService;
}

namespace harbolink::demo {

struct DemoOptions {
    QString certificateFile; // PEM server certificate
    QString keyFile;         // its private key
    QString bindAddress = QStringLiteral("127.0.0.1");
    int port = 0;       // 0: a free port
    QString publicHost; // host[:port] in the addresses it hands out; default localhost:<port>
    QString announcedVersion = QStringLiteral("1.0.0");
    QByteArray vpnConfiguration; // the OpenVPN client configuration served for every server
    QByteArray installer;        // served as the installer of the announced version
    QByteArray vpnCaCertificate; // the VPN server's CA, served as every server's "crt"
    int startupDelayMs = 0;      // answer the startup request this much later
};

class DemoService
{
public:
    DemoService();
    ~DemoService();

    DemoService(const DemoService &) = delete;
    DemoService &operator=(const DemoService &) = delete;

    bool start(const DemoOptions &options);
    void stop();
    QString errorString() const;
    int port() const;
    // host[:port] of the service, as the client is built to reach it.
    QString publicHost() const;

    // Replaces the OpenVPN client configuration served for every server (and the VPN CA).
    void setVpnConfiguration(const QByteArray &configuration, const QByteArray &caCertificate);

    // What the service has logged (requests and reports), one line each.
    QStringList log() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace harbolink::demo
