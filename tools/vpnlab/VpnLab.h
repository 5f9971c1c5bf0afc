#pragma once
// A real OpenVPN server on this machine for the tests and the demo: a network namespace of its
// own, reached over a veth pair with private addresses that exist only between the two ends, a
// certificate authority and server certificate made on the spot, and a login check against the
// accounts given. Everything it makes is removed when the object goes, whatever state the set-up
// reached; what a killed earlier run left is removed by removeLeftoversOfDeadRuns().

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace harbolink::vpnlab {

// Small process helpers shared with the tests that use the lab.
struct CommandResult {
    int exitCode = -1;
    QByteArray output;
};
// Runs a program to its end (killed after timeoutMs); its standard output and error together.
CommandResult runCommand(const QString &program, const QStringList &arguments, int timeoutMs = 30000);
// Processes whose command line mentions the text, e.g. a folder of ours.
QList<qint64> processesMentioning(const QByteArray &text);
void killAll(const QList<qint64> &pids);

// User name and password of an account the server accepts.
using Account = QPair<QByteArray, QByteArray>;

class VpnLab
{
public:
    // The namespace is named prefix + this process's id.
    explicit VpnLab(const QString &prefix = QStringLiteral("hl-ovpn-"));
    ~VpnLab();

    VpnLab(const VpnLab &) = delete;
    VpnLab &operator=(const VpnLab &) = delete;

    // Why this machine cannot run the lab (no root, no /dev/net/tun, a tool missing); empty if it can.
    static QString whyUnavailable();
    // Removes namespaces, processes and folders of earlier runs with this prefix whose owner is gone.
    static void removeLeftoversOfDeadRuns(const QString &prefix = QStringLiteral("hl-ovpn-"));

    // Brings everything up; empty when the server is running, else what failed. A failure of
    // "ip netns add" starts with "ip netns add failed".
    QString setUp(const QList<Account> &accounts);

    // The client configuration a service hands out for this server: its address, its CA and the
    // management interface where the client expects it (localhost 60505).
    QByteArray clientConfig() const;
    QByteArray caCertificate() const;
    QString serverAddress() const;
    // The server's address inside the tunnel: it answers pings once the tunnel is up.
    QString serverTunnelAddress() const;
    // How long the server thinks before it answers a login, in seconds.
    void setVerdictDelay(int seconds);
    QString serverOutput() const;
    QString workPath() const { return workDir.path(); }

    const QString name;

private:
    QString makePki();
    QString startServer(const QList<Account> &accounts);
    QString path(const char *file) const;
    void writeFile(const char *file, const QByteArray &contents, int mode);

    const int octet;
    const QString hostSide;
    const QString innerSide;
    QTemporaryDir workDir;
    bool namespaceMade = false;
    std::unique_ptr<QProcess> server;
    QByteArray serverLog;
};

} // namespace harbolink::vpnlab
