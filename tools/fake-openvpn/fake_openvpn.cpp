// A stand-in for OpenVPN in the tunnel tests. It takes the client's command line
// ("--config FILE --auth-user-pass FILE"), opens the management interface where the configuration's
// "management HOST PORT" line says, greets like OpenVPN, answers "bytecount N" and then reports
// byte counts every N seconds, answers "state" in OpenVPN's forms ("state", "state on", "state on all",
// "state all", "state N"; real-time changes as ">STATE:" lines), and exits on SIGTERM. Every management
// command it gets is echoed to standard error as "management command: TEXT" with its line end
// written as \r and \n.
//
// Its states follow a client's: CONNECTING, WAIT and AUTH at the start; at the server's verdict
// GET_CONFIG, ASSIGN_IP, ADD_ROUTES and CONNECTED, or, when the credentials are refused, an
// AUTH_FAILED line on standard output, EXITING and the exit.
//
// What else it does is scripted by comment lines of the configuration (a real OpenVPN skips them):
//   #fake record PATH                 write argv, pid and both files (contents and modes) to PATH as JSON
//                                     (without it: to $HARBOLINK_FAKE_OPENVPN_RECORD, if set)
//   #fake management-delay MS         open the management interface MS milliseconds after the process
//                                     was started (as the kernel counts it, so a slow start of this
//                                     program does not shift it)
//   #fake management-never            never open it
//   #fake no-greeting                 send no greeting when a client connects
//   #fake bytecount-interval-ms MS    report byte counts every MS milliseconds, whatever N says;
//                                     0: never report them
//   #fake bytecount-start IN OUT      the first counts reported (default 0 0)
//   #fake bytecount-step IN OUT       added before every report (default 1000 2000)
//   #fake ignore-sigterm              SIGTERM does nothing; only SIGKILL ends it
//   #fake expect-credentials USER PASSWORD
//                                     at the verdict: if the credentials file does not hold exactly
//                                     these, print an AUTH_FAILED line and exit 1
//   #fake connected-after MS          the verdict comes MS milliseconds after the start (default 0:
//                                     the tunnel is up before anyone can ask; timed like
//                                     management-delay)
//   #fake connected-never             no verdict ever: the tunnel never comes up
//   #fake on-start MS ACTION [TEXT]   do ACTION MS milliseconds after the start
//   #fake on-connect MS ACTION [TEXT] do ACTION MS milliseconds after a management client came in
// Actions: "stdout TEXT" and "stderr TEXT" print TEXT and a line feed; "stdout-part TEXT" prints
// TEXT alone; "mgmt TEXT" sends TEXT to the management clients; "close-mgmt" closes them;
// "exit CODE"; "crash" (killed by SIGKILL). TEXT may hold \n, \r, \t and \\.
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QSaveFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct Action {
    int delayMs = 0;
    QByteArray name;
    QByteArray text;
};

struct Script {
    QByteArray managementHost;
    quint16 managementPort = 0;
    QString recordPath;
    int managementDelayMs = 0;
    bool managementNever = false;
    bool greeting = true;
    int byteCountIntervalMs = -1;
    quint64 countIn = 0;
    quint64 countOut = 0;
    quint64 stepIn = 1000;
    quint64 stepOut = 2000;
    bool ignoreSigterm = false;
    bool checkCredentials = false;
    QByteArray expectedCredentials;
    int connectedAfterMs = 0;
    bool connectedNever = false;
    QList<Action> onStart;
    QList<Action> onConnect;
};

QByteArray unescape(const QByteArray &text)
{
    QByteArray out;
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) == '\\' && i + 1 < text.size()) {
            const char next = text.at(++i);
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : next;
        } else {
            out += text.at(i);
        }
    }
    return out;
}

// "MS ACTION [TEXT]": TEXT is the rest of the line after one space.
Action parseAction(const QByteArray &rest)
{
    Action action;
    const int firstSpace = rest.indexOf(' ');
    action.delayMs = rest.left(firstSpace).toInt();
    const QByteArray afterDelay = firstSpace < 0 ? QByteArray() : rest.mid(firstSpace + 1);
    const int secondSpace = afterDelay.indexOf(' ');
    action.name = secondSpace < 0 ? afterDelay : afterDelay.left(secondSpace);
    action.text = secondSpace < 0 ? QByteArray() : unescape(afterDelay.mid(secondSpace + 1));
    return action;
}

Script parseScript(const QByteArray &config)
{
    Script script;
    script.recordPath = qEnvironmentVariable("HARBOLINK_FAKE_OPENVPN_RECORD");
    for (QByteArray line : config.split('\n')) {
        line = line.trimmed();
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() >= 3 && words.at(0) == "management") {
            script.managementHost = words.at(1);
            script.managementPort = quint16(words.at(2).toUInt());
            continue;
        }
        if (!line.startsWith("#fake ")) {
            continue;
        }
        const QByteArray command = words.value(1);
        const QByteArray rest = line.mid(int(sizeof("#fake ")) - 1).trimmed().mid(command.size()).trimmed();
        if (command == "record") {
            script.recordPath = QString::fromLocal8Bit(rest);
        } else if (command == "management-delay") {
            script.managementDelayMs = rest.toInt();
        } else if (command == "management-never") {
            script.managementNever = true;
        } else if (command == "no-greeting") {
            script.greeting = false;
        } else if (command == "bytecount-interval-ms") {
            script.byteCountIntervalMs = rest.toInt();
        } else if (command == "bytecount-start") {
            script.countIn = words.value(2).toULongLong();
            script.countOut = words.value(3).toULongLong();
        } else if (command == "bytecount-step") {
            script.stepIn = words.value(2).toULongLong();
            script.stepOut = words.value(3).toULongLong();
        } else if (command == "ignore-sigterm") {
            script.ignoreSigterm = true;
        } else if (command == "expect-credentials") {
            script.checkCredentials = true;
            script.expectedCredentials = words.value(2) + '\n' + words.value(3);
        } else if (command == "connected-after") {
            script.connectedAfterMs = rest.toInt();
        } else if (command == "connected-never") {
            script.connectedNever = true;
        } else if (command == "on-start") {
            script.onStart.append(parseAction(rest));
        } else if (command == "on-connect") {
            script.onConnect.append(parseAction(rest));
        }
    }
    return script;
}

int fileMode(const QString &path)
{
    struct stat info {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return -1;
    }
    return int(info.st_mode & 07777);
}

void record(const Script &script, const QString &configPath, const QByteArray &config, const QString &authPath,
            const QByteArray &auth)
{
    if (script.recordPath.isEmpty()) {
        return;
    }
    QJsonArray arguments;
    for (const QString &argument : QCoreApplication::arguments()) {
        arguments.append(argument);
    }
    QJsonObject object;
    object.insert(QStringLiteral("pid"), qint64(::getpid()));
    object.insert(QStringLiteral("argv"), arguments);
    object.insert(QStringLiteral("config"), QString::fromLatin1(config.toBase64()));
    object.insert(QStringLiteral("configMode"), fileMode(configPath));
    object.insert(QStringLiteral("auth"), QString::fromLatin1(auth.toBase64()));
    object.insert(QStringLiteral("authMode"), fileMode(authPath));
    QSaveFile file(script.recordPath);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(QJsonDocument(object).toJson());
        file.commit();
    }
}

// Time since the kernel started this process (10 ms resolution), 0 if unknown.
int millisecondsSinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile uptime(QStringLiteral("/proc/uptime"));
    if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly)) {
        return 0;
    }
    // The fields after the command name (which may hold spaces) start with field 3; starttime is 22.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double startTicks = fields.value(22 - 3).toDouble();
    const double now = uptime.readAll().split(' ').value(0).toDouble();
    const double ticksPerSecond = double(::sysconf(_SC_CLK_TCK));
    return qMax(0, int((now - startTicks / ticksPerSecond) * 1000));
}

extern "C" void onSigterm(int)
{
    ::_exit(0);
}

void writeOut(FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

class FakeOpenVpn : public QObject
{
public:
    FakeOpenVpn(Script script, QByteArray credentials)
        : script(std::move(script))
        , credentials(std::move(credentials))
    {
    }

    void start()
    {
        for (const Action &action : script.onStart) {
            schedule(action);
        }
        if (script.managementPort != 0 && !script.managementNever) {
            const int remaining = qMax(0, script.managementDelayMs - millisecondsSinceProcessStart());
            QTimer::singleShot(remaining, this, [this] { openManagement(); });
        }
        enterState("CONNECTING");
        enterState("WAIT");
        enterState("AUTH");
        if (!script.connectedNever) {
            const int remaining = qMax(0, script.connectedAfterMs - millisecondsSinceProcessStart());
            QTimer::singleShot(remaining, this, [this] { verdict(); });
        }
    }

private:
    void schedule(const Action &action)
    {
        QTimer::singleShot(action.delayMs, this, [this, action] { run(action); });
    }

    void run(const Action &action)
    {
        if (action.name == "stdout") {
            writeOut(stdout, action.text + '\n');
        } else if (action.name == "stdout-part") {
            writeOut(stdout, action.text);
        } else if (action.name == "stderr") {
            writeOut(stderr, action.text + '\n');
        } else if (action.name == "mgmt") {
            sendToClients(action.text);
        } else if (action.name == "close-mgmt") {
            for (const QPointer<QTcpSocket> &client : clients) {
                if (client) {
                    client->disconnectFromHost();
                }
            }
        } else if (action.name == "exit") {
            QCoreApplication::exit(action.text.toInt());
        } else if (action.name == "crash") {
            ::kill(::getpid(), SIGKILL);
        } else {
            std::fprintf(stderr, "fake openvpn: unknown action %s\n", action.name.constData());
        }
    }

    void verdict()
    {
        if (script.checkCredentials && credentials != script.expectedCredentials) {
            writeOut(stdout, "AUTH: Received control message: AUTH_FAILED\n");
            enterState("EXITING", "auth-failure");
            // Like OpenVPN: the failure is printed before the process tears down and exits.
            QTimer::singleShot(200, this, [] { QCoreApplication::exit(1); });
            return;
        }
        enterState("GET_CONFIG");
        enterState("ASSIGN_IP", QByteArray(), "10.8.0.2");
        enterState("ADD_ROUTES");
        enterState("CONNECTED", "SUCCESS", "10.8.0.2", "192.0.2.1,1194,,");
    }

    // A state line as OpenVPN 2.6 writes it: time, state, description, tunnel address, remote
    // address and port, local address and port (empty without a bound socket); a tunnel IPv6
    // address would follow, but the stand-in has none.
    void enterState(const QByteArray &name, const QByteArray &description = QByteArray(),
                    const QByteArray &tunnelAddress = QByteArray(), const QByteArray &endpoints = ",,,")
    {
        const QByteArray entry = QByteArray::number(QDateTime::currentSecsSinceEpoch()) + ',' + name + ',' + description
                                 + ',' + tunnelAddress + ',' + endpoints;
        stateHistory.append(entry);
        for (const QPointer<QTcpSocket> &client : stateListeners) {
            if (client && client->state() == QAbstractSocket::ConnectedState) {
                client->write(">STATE:" + entry + "\r\n");
                client->flush();
            }
        }
    }

    // "state [P1 [P2]]", each part handled in turn like OpenVPN does: "on", "off", "all" or a count.
    void stateCommand(QTcpSocket *client, const QList<QByteArray> &parameters)
    {
        for (const QByteArray &parameter : parameters) {
            int count = 0;
            if (parameter == "on") {
                if (!stateListeners.contains(client)) {
                    stateListeners.append(client);
                }
                client->write("SUCCESS: real-time state notification set to ON\r\n");
            } else if (parameter == "off") {
                stateListeners.removeAll(client);
                client->write("SUCCESS: real-time state notification set to OFF\r\n");
            } else if (parameter == "all") {
                count = stateHistory.size();
            } else {
                count = parameter.toInt();
                if (count < 1) {
                    client->write("ERROR: real-time state notification parameter (" + parameter
                                  + ") must be 'on' or 'off' or 'all' or a positive integer\r\n");
                }
            }
            if (count > 0) {
                for (int i = qMax(0, stateHistory.size() - count); i < stateHistory.size(); ++i) {
                    client->write(stateHistory.at(i) + "\r\n");
                }
            }
            if (count != 0) {
                client->write("END\r\n");
            }
        }
        client->flush();
    }

    void openManagement()
    {
        QList<QHostAddress> addresses;
        if (script.managementHost == "localhost") {
            addresses << QHostAddress(QHostAddress::LocalHost) << QHostAddress(QHostAddress::LocalHostIPv6);
        } else {
            addresses << QHostAddress(QString::fromLatin1(script.managementHost));
        }
        for (const QHostAddress &address : addresses) {
            auto server = std::make_unique<QTcpServer>();
            if (!server->listen(address, script.managementPort)) {
                continue;
            }
            connect(server.get(), &QTcpServer::newConnection, this, [this, raw = server.get()] {
                while (QTcpSocket *client = raw->nextPendingConnection()) {
                    welcome(client);
                }
            });
            servers.push_back(std::move(server));
        }
        if (servers.empty()) {
            writeOut(stderr, "fake openvpn: cannot open the management interface\n");
            QCoreApplication::exit(3);
        }
    }

    void welcome(QTcpSocket *client)
    {
        clients.append(client);
        connect(client, &QTcpSocket::readyRead, this, [this, client] {
            while (client->canReadLine()) {
                const QByteArray line = client->readLine();
                // Shown exactly, line end included, for the tests that read the client's log.
                QByteArray shown = line;
                shown.replace('\r', "\\r").replace('\n', "\\n");
                writeOut(stderr, "management command: " + shown + '\n');
                command(client, line.trimmed());
            }
        });
        if (script.greeting) {
            client->write(">INFO:OpenVPN Management Interface Version 5 -- type 'help' for more info\r\n");
        }
        for (const Action &action : script.onConnect) {
            schedule(action);
        }
    }

    void command(QTcpSocket *client, const QByteArray &line)
    {
        if (line.startsWith("bytecount ")) {
            const int seconds = line.mid(10).toInt();
            client->write("SUCCESS: bytecount interval changed\r\n");
            const int interval = script.byteCountIntervalMs >= 0 ? script.byteCountIntervalMs : seconds * 1000;
            if (interval > 0) {
                byteCountTimer.reset(new QTimer);
                connect(byteCountTimer.get(), &QTimer::timeout, this, [this] {
                    script.countIn += script.stepIn;
                    script.countOut += script.stepOut;
                    sendToClients(">BYTECOUNT:" + QByteArray::number(script.countIn) + ','
                                  + QByteArray::number(script.countOut) + "\r\n");
                });
                byteCountTimer->start(interval);
            }
        } else if (line == "state" || line.startsWith("state ")) {
            const QList<QByteArray> parameters = line.simplified().split(' ').mid(1, 2);
            stateCommand(client, parameters.isEmpty() ? QList<QByteArray>{"1"} : parameters);
        } else if (!line.isEmpty()) {
            client->write("ERROR: unknown command, enter 'help' for more options\r\n");
        }
    }

    void sendToClients(const QByteArray &bytes)
    {
        for (const QPointer<QTcpSocket> &client : clients) {
            if (client && client->state() == QAbstractSocket::ConnectedState) {
                client->write(bytes);
                client->flush();
            }
        }
    }

    Script script;
    QByteArray credentials;
    std::vector<std::unique_ptr<QTcpServer>> servers;
    QList<QPointer<QTcpSocket>> clients;
    QList<QPointer<QTcpSocket>> stateListeners;
    QList<QByteArray> stateHistory;
    std::unique_ptr<QTimer> byteCountTimer;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 5 || arguments.at(1) != QLatin1String("--config")
        || arguments.at(3) != QLatin1String("--auth-user-pass")) {
        writeOut(stderr, "usage: openvpn --config FILE --auth-user-pass FILE\n");
        return 2;
    }
    const QString configPath = arguments.at(2);
    const QString authPath = arguments.at(4);
    QFile configFile(configPath);
    QFile authFile(authPath);
    if (!configFile.open(QIODevice::ReadOnly) || !authFile.open(QIODevice::ReadOnly)) {
        writeOut(stderr, "fake openvpn: cannot read the configuration or the credentials\n");
        return 2;
    }
    const QByteArray config = configFile.readAll();
    const QByteArray credentials = authFile.readAll();
    const Script script = parseScript(config);

    std::signal(SIGTERM, script.ignoreSigterm ? SIG_IGN : onSigterm);
    record(script, configPath, config, authPath, credentials);

    FakeOpenVpn fake(script, credentials);
    fake.start();
    return app.exec();
}
