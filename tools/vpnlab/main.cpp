// harbolink-vpn-lab: runs the lab's OpenVPN server until SIGINT or SIGTERM, then removes it all.
//   harbolink-vpn-lab --client-config FILE [--ca FILE] --account USER:PASSWORD...
// Prints "ready <server tunnel address>" once the server accepts connections.
#include "VpnLab.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <csignal>
#include <cstdio>
#include <ctime>

namespace {

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(contents) == contents.size();
}

} // namespace

int main(int argc, char *argv[])
{
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A real OpenVPN server in a network namespace of its own."));
    parser.addHelpOption();
    const QCommandLineOption clientConfig(QStringLiteral("client-config"),
                                          QStringLiteral("Where to write the client configuration."),
                                          QStringLiteral("file"));
    const QCommandLineOption ca(QStringLiteral("ca"), QStringLiteral("Where to write the server's CA certificate."),
                                QStringLiteral("file"));
    const QCommandLineOption account(QStringLiteral("account"), QStringLiteral("An account the server accepts."),
                                     QStringLiteral("user:password"));
    parser.addOptions({clientConfig, ca, account});
    parser.process(app);

    const QString unavailable = harbolink::vpnlab::VpnLab::whyUnavailable();
    if (!unavailable.isEmpty()) {
        std::fprintf(stderr, "harbolink-vpn-lab: %s\n", qPrintable(unavailable));
        return 3;
    }
    QList<harbolink::vpnlab::Account> accounts;
    for (const QString &entry : parser.values(account)) {
        const int colon = entry.indexOf(QLatin1Char(':'));
        if (colon <= 0) {
            std::fprintf(stderr, "harbolink-vpn-lab: --account takes USER:PASSWORD\n");
            return 2;
        }
        accounts << qMakePair(entry.left(colon).toUtf8(), entry.mid(colon + 1).toUtf8());
    }

    const QString prefix = QStringLiteral("hl-lab-");
    harbolink::vpnlab::VpnLab::removeLeftoversOfDeadRuns(prefix);
    harbolink::vpnlab::VpnLab lab(prefix);
    const QString failure = lab.setUp(accounts);
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "harbolink-vpn-lab: %s\n", qPrintable(failure));
        return 1;
    }
    if ((parser.isSet(clientConfig) && !writeFile(parser.value(clientConfig), lab.clientConfig()))
        || (parser.isSet(ca) && !writeFile(parser.value(ca), lab.caCertificate()))) {
        std::fprintf(stderr, "harbolink-vpn-lab: cannot write the client configuration\n");
        return 1;
    }
    std::printf("ready %s\n", qPrintable(lab.serverTunnelAddress()));
    std::fflush(stdout);

    // Serve until asked to stop; the server's output is read meanwhile.
    const timespec tick{0, 200 * 1000 * 1000};
    for (;;) {
        QCoreApplication::processEvents();
        if (sigtimedwait(&stopSignals, nullptr, &tick) > 0) {
            break;
        }
    }
    return 0;
}
