// harbolink-demo-service: the local VPN service for the demo. Serves until SIGINT or SIGTERM.
#include "DemoService.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <csignal>
#include <cstdio>

namespace {

QByteArray readFile(const QString &path)
{
    if (path.isEmpty()) {
        return {};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "harbolink-demo-service: cannot read %s\n", qPrintable(path));
        std::exit(2);
    }
    return file.readAll();
}

} // namespace

int main(int argc, char *argv[])
{
    // Block the stop signals in every thread; the main thread waits for them below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("harbolink-demo-service"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The local VPN service of the harbolink demo."));
    parser.addHelpOption();
    const QCommandLineOption certificate(QStringLiteral("cert"), QStringLiteral("PEM server certificate."),
                                         QStringLiteral("file"));
    const QCommandLineOption key(QStringLiteral("key"), QStringLiteral("PEM private key."), QStringLiteral("file"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Port on 127.0.0.1 (default 47443)."),
                                  QStringLiteral("port"), QStringLiteral("47443"));
    const QCommandLineOption version(QStringLiteral("announce-version"),
                                     QStringLiteral("Client version to announce (default 1.0.0)."),
                                     QStringLiteral("version"), QStringLiteral("1.0.0"));
    const QCommandLineOption vpnConfig(QStringLiteral("vpn-config"),
                                       QStringLiteral("OpenVPN client configuration served for every server."),
                                       QStringLiteral("file"));
    const QCommandLineOption installer(QStringLiteral("installer"),
                                       QStringLiteral("File served as the installer of the announced version."),
                                       QStringLiteral("file"));
    const QCommandLineOption vpnCa(QStringLiteral("vpn-ca"),
                                   QStringLiteral("The VPN server's CA certificate, served as each server's \"crt\"."),
                                   QStringLiteral("file"));
    parser.addOptions({certificate, key, port, version, vpnConfig, installer, vpnCa});
    parser.process(app);
    if (!parser.isSet(certificate) || !parser.isSet(key)) {
        std::fprintf(stderr, "harbolink-demo-service: --cert and --key are required\n");
        return 2;
    }

    harbolink::demo::DemoOptions options;
    options.certificateFile = parser.value(certificate);
    options.keyFile = parser.value(key);
    options.port = parser.value(port).toInt();
    options.announcedVersion = parser.value(version);
    options.vpnConfiguration = readFile(parser.value(vpnConfig));
    options.installer = readFile(parser.value(installer));
    options.vpnCaCertificate = readFile(parser.value(vpnCa));

    harbolink::demo::DemoService service;
    if (!service.start(options)) {
        std::fprintf(stderr, "harbolink-demo-service: %s\n", qPrintable(service.errorString()));
        return 1;
    }
    std::fprintf(stderr, "harbolink-demo-service: serving https://%s\n", qPrintable(service.publicHost()));

    int received = 0;
    sigwait(&stopSignals, &received);
    service.stop();
    return 0;
}
