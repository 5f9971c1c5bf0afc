#include "VpnLab.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace harbolink::vpnlab {

CommandResult runCommand(const QString &program, const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    CommandResult result;
    if (!process.waitForStarted(timeoutMs) || !process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        result.output = "did not finish: " + program.toLocal8Bit();
        return result;
    }
    result.output = process.readAll();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

QList<qint64> processesMentioning(const QByteArray &text)
{
    QList<qint64> pids;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid || pid == qint64(::getpid())) {
            continue;
        }
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(text)) {
            pids << pid;
        }
    }
    return pids;
}

void killAll(const QList<qint64> &pids)
{
    for (const qint64 pid : pids) {
        ::kill(pid_t(pid), SIGKILL);
    }
}

namespace {

CommandResult ip(const QStringList &arguments)
{
    return runCommand(QStringLiteral("ip"), arguments);
}

// A process that exists and has not ended (a zombie has).
bool isRunning(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2, 1) != "Z";
}

QList<qint64> processesInNamespace(const QString &name)
{
    QList<qint64> inside;
    for (const QByteArray &pid : ip({QStringLiteral("netns"), QStringLiteral("pids"), name}).output.split('\n')) {
        if (pid.toLongLong() > 0) {
            inside << pid.toLongLong();
        }
    }
    return inside;
}

// A shell word in single quotes.
QByteArray shellQuoted(const QByteArray &text)
{
    QByteArray quoted = text;
    quoted.replace('\'', "'\\''");
    return '\'' + quoted + '\'';
}

} // namespace

VpnLab::VpnLab(const QString &prefix)
    : name(prefix + QString::number(::getpid()))
    , octet(20 + int(::getpid() % 200))
    , hostSide(QStringLiteral("hlo%1a").arg(::getpid()))
    , innerSide(QStringLiteral("hlo%1b").arg(::getpid()))
    , workDir(QDir::tempPath() + QLatin1Char('/') + name + QStringLiteral("-XXXXXX"))
{
}

VpnLab::~VpnLab()
{
    if (server) {
        server->kill();
        server->waitForFinished(5000);
    }
    if (namespaceMade) {
        killAll(processesInNamespace(name));
        // Deleting the namespace also removes the veth pair.
        ip({QStringLiteral("netns"), QStringLiteral("delete"), name});
    }
    ip({QStringLiteral("link"), QStringLiteral("delete"), hostSide});
}

QString VpnLab::whyUnavailable()
{
    if (::geteuid() != 0) {
        return QStringLiteral("needs root: OpenVPN makes a tunnel device and the lab a network namespace");
    }
    if (!QFile::exists(QStringLiteral("/dev/net/tun"))) {
        return QStringLiteral("needs /dev/net/tun for the tunnel devices");
    }
    if (!QFile::exists(QStringLiteral("/usr/sbin/openvpn"))) {
        return QStringLiteral("needs Debian's OpenVPN (/usr/sbin/openvpn)");
    }
    for (const char *tool : {"ip", "openssl"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
            return QStringLiteral("needs the %1 command").arg(QLatin1String(tool));
        }
    }
    return QString();
}

void VpnLab::removeLeftoversOfDeadRuns(const QString &prefix)
{
    const QByteArray namePrefix = prefix.toLocal8Bit();
    for (const QByteArray &line : ip({QStringLiteral("netns"), QStringLiteral("list")}).output.split('\n')) {
        const QByteArray namespaceName = line.split(' ').value(0);
        if (!namespaceName.startsWith(namePrefix)) {
            continue;
        }
        const qint64 owner = namespaceName.mid(namePrefix.size()).toLongLong();
        if (owner <= 0 || isRunning(owner)) {
            continue;
        }
        const QString nameText = QString::fromLocal8Bit(namespaceName);
        killAll(processesInNamespace(nameText));
        killAll(processesMentioning("/" + namespaceName + "-"));
        ip({QStringLiteral("netns"), QStringLiteral("delete"), nameText});
        const QStringList folders =
            QDir::temp().entryList({nameText + QStringLiteral("-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString &folder : folders) {
            QDir(QDir::temp().filePath(folder)).removeRecursively();
        }
    }
}

QString VpnLab::serverAddress() const
{
    return QStringLiteral("10.213.%1.2").arg(octet);
}

QString VpnLab::serverTunnelAddress() const
{
    return QStringLiteral("10.214.%1.1").arg(octet);
}

QString VpnLab::path(const char *file) const
{
    return workDir.filePath(QLatin1String(file));
}

QString VpnLab::serverOutput() const
{
    return QString::fromLocal8Bit(serverLog);
}

QByteArray VpnLab::caCertificate() const
{
    QFile ca(path("ca.pem"));
    return ca.open(QIODevice::ReadOnly) ? ca.readAll() : QByteArray();
}

QByteArray VpnLab::clientConfig() const
{
    return "client\ndev tun\nproto udp\nremote " + serverAddress().toLatin1()
           + " 1194\nnobind\ndisable-dco\nremote-cert-tls server\nverify-x509-name server name\n"
             "auth-user-pass\nmanagement localhost 60505\nverb 3\n<ca>\n"
           + caCertificate() + "</ca>\n";
}

void VpnLab::setVerdictDelay(int seconds)
{
    writeFile("delay", QByteArray::number(seconds) + '\n', 0644);
}

QString VpnLab::setUp(const QList<Account> &accounts)
{
    if (!workDir.isValid()) {
        return QStringLiteral("cannot make a working folder");
    }
    const CommandResult made = ip({QStringLiteral("netns"), QStringLiteral("add"), name});
    if (made.exitCode != 0) {
        return QStringLiteral("ip netns add failed: ") + QString::fromLocal8Bit(made.output);
    }
    namespaceMade = true;

    const QString hostAddress = QStringLiteral("10.213.%1.1/30").arg(octet);
    const QString innerAddress = serverAddress() + QStringLiteral("/30");
    const QList<QStringList> steps = {
        {QStringLiteral("link"), QStringLiteral("add"), hostSide, QStringLiteral("type"), QStringLiteral("veth"),
         QStringLiteral("peer"), QStringLiteral("name"), innerSide},
        {QStringLiteral("link"), QStringLiteral("set"), innerSide, QStringLiteral("netns"), name},
        {QStringLiteral("addr"), QStringLiteral("add"), hostAddress, QStringLiteral("dev"), hostSide},
        {QStringLiteral("link"), QStringLiteral("set"), hostSide, QStringLiteral("up")},
        {QStringLiteral("-n"), name, QStringLiteral("addr"), QStringLiteral("add"), innerAddress, QStringLiteral("dev"),
         innerSide},
        {QStringLiteral("-n"), name, QStringLiteral("link"), QStringLiteral("set"), innerSide, QStringLiteral("up")},
        {QStringLiteral("-n"), name, QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"),
         QStringLiteral("up")},
    };
    for (const QStringList &step : steps) {
        const CommandResult result = ip(step);
        if (result.exitCode != 0) {
            return QStringLiteral("ip %1 failed: %2")
                .arg(step.join(QLatin1Char(' ')), QString::fromLocal8Bit(result.output));
        }
    }

    const QString pkiError = makePki();
    if (!pkiError.isEmpty()) {
        return pkiError;
    }
    return startServer(accounts);
}

QString VpnLab::makePki()
{
    const QString openssl = QStringLiteral("openssl");
    const QString ec = QStringLiteral("ec_paramgen_curve:prime256v1");
    const QList<QStringList> steps = {
        {QStringLiteral("req"),      QStringLiteral("-x509"),
         QStringLiteral("-newkey"),  QStringLiteral("ec"),
         QStringLiteral("-pkeyopt"), ec,
         QStringLiteral("-nodes"),   QStringLiteral("-sha256"),
         QStringLiteral("-days"),    QStringLiteral("2"),
         QStringLiteral("-subj"),    QStringLiteral("/CN=harbolink tunnel lab CA"),
         QStringLiteral("-keyout"),  path("ca.key"),
         QStringLiteral("-out"),     path("ca.pem"),
         QStringLiteral("-addext"),  QStringLiteral("basicConstraints=critical,CA:TRUE"),
         QStringLiteral("-addext"),  QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")},
        {QStringLiteral("req"), QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"), ec,
         QStringLiteral("-nodes"), QStringLiteral("-sha256"), QStringLiteral("-subj"), QStringLiteral("/CN=server"),
         QStringLiteral("-keyout"), path("server.key"), QStringLiteral("-out"), path("server.csr")},
        {QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-sha256"), QStringLiteral("-days"),
         QStringLiteral("2"), QStringLiteral("-in"), path("server.csr"), QStringLiteral("-CA"), path("ca.pem"),
         QStringLiteral("-CAkey"), path("ca.key"), QStringLiteral("-CAcreateserial"), QStringLiteral("-extfile"),
         path("server.ext"), QStringLiteral("-out"), path("server.pem")},
    };
    writeFile("server.ext",
              "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyAgreement\n"
              "extendedKeyUsage=serverAuth\n",
              0600);
    for (const QStringList &step : steps) {
        const CommandResult result = runCommand(openssl, step);
        if (result.exitCode != 0) {
            return QStringLiteral("openssl %1 failed: %2").arg(step.first(), QString::fromLocal8Bit(result.output));
        }
    }
    return QString();
}

QString VpnLab::startServer(const QList<Account> &accounts)
{
    // The server checks the login itself: the credentials OpenVPN hands to the script are compared
    // with the accounts, after the delay chosen with setVerdictDelay().
    QByteArray verify = "#!/bin/sh\nsleep \"$(cat " + shellQuoted(path("delay").toLocal8Bit())
                        + ")\"\n{ read -r user; read -r pass; } < \"$1\"\n";
    for (const Account &account : accounts) {
        verify += "[ \"$user\" = " + shellQuoted(account.first) + " ] && [ \"$pass\" = " + shellQuoted(account.second)
                  + " ] && exit 0\n";
    }
    verify += "exit 1\n";
    writeFile("verify.sh", verify, 0700);
    setVerdictDelay(0);

    const QByteArray config = "dev tun\nproto udp\nlocal " + serverAddress().toLatin1()
                              + "\nport 1194\ndisable-dco\ntopology subnet\nserver 10.214." + QByteArray::number(octet)
                              + ".0 255.255.255.0\nca " + path("ca.pem").toLocal8Bit() + "\ncert "
                              + path("server.pem").toLocal8Bit() + "\nkey " + path("server.key").toLocal8Bit()
                              + "\ndh none\nverify-client-cert none\nusername-as-common-name\nscript-security 2\n"
                                "auth-user-pass-verify "
                              + path("verify.sh").toLocal8Bit() + " via-file\ntmp-dir " + workDir.path().toLocal8Bit()
                              + "\nkeepalive 2 20\nverb 3\n";
    writeFile("server.conf", config, 0600);

    server = std::make_unique<QProcess>();
    server->setProcessChannelMode(QProcess::MergedChannels);
    server->start(QStringLiteral("ip"),
                  {QStringLiteral("netns"), QStringLiteral("exec"), name, QStringLiteral("/usr/sbin/openvpn"),
                   QStringLiteral("--config"), path("server.conf")});
    QElapsedTimer timer;
    timer.start();
    while (!serverLog.contains("Initialization Sequence Completed") && server->state() != QProcess::NotRunning
           && timer.elapsed() < 20000) {
        server->waitForReadyRead(200);
        serverLog += server->readAll();
    }
    if (!serverLog.contains("Initialization Sequence Completed") || server->state() == QProcess::NotRunning) {
        return QStringLiteral("the OpenVPN server did not come up: ") + serverOutput();
    }
    // Keep reading its output while it runs, so that it never blocks on a full pipe.
    QObject::connect(server.get(), &QProcess::readyRead, server.get(), [this] { serverLog += server->readAll(); });
    return QString();
}

void VpnLab::writeFile(const char *file, const QByteArray &contents, int mode)
{
    QFile out(path(file));
    out.open(QIODevice::WriteOnly | QIODevice::Truncate);
    out.write(contents);
    out.close();
    ::chmod(QFile::encodeName(out.fileName()).constData(), mode_t(mode));
}

} // namespace harbolink::vpnlab
