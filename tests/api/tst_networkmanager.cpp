#include "TestPaths.h"
#include "TestService.h"

#include "api/NetworkManager.h"
#include "api/ServiceRequest.h"
#include "app/Constants.h"

#include <QBuffer>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using harbolink::test::CannedReply;
using harbolink::test::RecordedRequest;
using harbolink::test::TestService;

// Reaches the access manager of the client to see which replies it still holds.
class NetworkManagerInspector
{
public:
    static int heldReplies(const NetworkManager &manager)
    {
        return manager.accessManager->findChildren<QNetworkReply *>().size();
    }
};

namespace {

enum class Call { Startup, Login, ServerList, Report };
enum class FlagOutcome { Decoded, Fallback, Null };

const QString plainEmail = QStringLiteral("user@example.com");
const QString plainPassword = QStringLiteral("secret");
const QByteArray networkError = "Network error. Try again later.";
const QByteArray serviceUnavailable = "Service unaviable. Try again later.";

CannedReply canned(int status, const QByteArray &body, const QByteArray &contentType = "application/json",
                   int delayMs = 0)
{
    CannedReply reply;
    reply.status = status;
    reply.body = body;
    reply.contentType = contentType;
    reply.delayMs = delayMs;
    return reply;
}

QByteArray png(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

bool sameImage(const QPixmap &picture, const QImage &image)
{
    return picture.toImage().convertToFormat(QImage::Format_ARGB32) == image.convertToFormat(QImage::Format_ARGB32);
}

QImage fallbackImage()
{
    return QImage(QString::fromLatin1(harbolink::fallbackFlag));
}

// A server object of a list reply.
QJsonObject server(const QString &hostName, const QString &image)
{
    return QJsonObject{{"name", hostName.toUpper()},
                       {"hostname", hostName},
                       {"country_code", "DE"},
                       {"country", "Germany"},
                       {"latitude", "50.11"},
                       {"longitude", "8.68"},
                       {"files", QJsonObject{{"ovpn", QString("https://files.example/" + hostName + ".ovpn")},
                                             {"crt", QString("https://files.example/" + hostName + ".crt")},
                                             {"image", image}}}};
}

QByteArray listBody(const QJsonArray &servers)
{
    return QJsonDocument(QJsonObject{{"servers", servers}}).toJson(QJsonDocument::Compact);
}

ServerRecord record(const QString &name, const QString &hostName, const QString &countryCode, const QString &country,
                    const QString &latitude, const QString &longitude, const QString &ovpn, const QString &crt,
                    const QString &image)
{
    return ServerRecord{{"name", name},       {"hostname", hostName}, {"country_code", countryCode},
                        {"country", country}, {"latitude", latitude}, {"longitude", longitude},
                        {"ovpn", ovpn},       {"crt", crt},           {"image", image}};
}

ServerRecord emptyRecord()
{
    return record({}, {}, {}, {}, {}, {}, {}, {}, {});
}

StartupInfo startupInfo(const QString &appTitle, const QString &corpTitle, const QString &version,
                        const QString &domain, const QString &account, const QString &signup, const QString &support,
                        const QString &forgot, const QString &download)
{
    return StartupInfo{{"app_title", appTitle}, {"corp_title", corpTitle},   {"version", version},
                       {"domain", domain},      {"account", account},        {"signup", signup},
                       {"support", support},    {"forgot_password", forgot}, {"download", download}};
}

const QByteArray fullStartup =
    R"({"app_title":"Harbo","corp_title":"Harbo Ltd","version":"1.2.0","links":{"domain":"https://www2.harbo.test",)"
    R"("account":"/account","signup":"/signup","support":"/support","forgot_password":"/forgot","download":"/get"}})";

StartupInfo fullStartupInfo()
{
    return startupInfo("Harbo", "Harbo Ltd", "1.2.0", "https://www2.harbo.test", "https://www2.harbo.test/account",
                       "https://www2.harbo.test/signup", "https://www2.harbo.test/support",
                       "https://www2.harbo.test/forgot", "https://www2.harbo.test/get");
}

// What a service that decodes its query as a form sees: '+' is a space, %XX a byte.
QList<QPair<QString, QString>> formDecoded(const QByteArray &query)
{
    QList<QPair<QString, QString>> items;
    for (const QByteArray &pair : query.split('&')) {
        const int equals = pair.indexOf('=');
        const auto decode = [](QByteArray part) {
            return QString::fromUtf8(QByteArray::fromPercentEncoding(part.replace('+', ' ')));
        };
        items.append({decode(pair.left(equals)), decode(pair.mid(equals + 1))});
    }
    return items;
}

// The client's six signals.
struct Spies {
    explicit Spies(NetworkManager *manager)
        : loginFinished(manager, &NetworkManager::loginResponceFinished)
        , listFinished(manager, &NetworkManager::serverListResponceFinished)
        , startupFinished(manager, &NetworkManager::startUpResponceFinished)
        , loginError(manager, &NetworkManager::loginErrorOccurred)
        , listError(manager, &NetworkManager::serverListErrorOccured)
        , startupError(manager, &NetworkManager::startupErrorOccurred)
    {
    }
    int total() const
    {
        return loginFinished.count() + listFinished.count() + startupFinished.count() + loginError.count()
               + listError.count() + startupError.count();
    }

    QSignalSpy loginFinished;
    QSignalSpy listFinished;
    QSignalSpy startupFinished;
    QSignalSpy loginError;
    QSignalSpy listError;
    QSignalSpy startupError;
};

} // namespace

Q_DECLARE_METATYPE(Call)
Q_DECLARE_METATYPE(FlagOutcome)

// The service API client against a real HTTPS service on loopback: what it sends, how it reads
// every kind of answer, the flag downloads and their completion.
class TestNetworkManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void commonHeadersInOrder();
    void requestsAsReceived_data();
    void requestsAsReceived();
    void loginBodyIsValidJson_data();
    void loginBodyIsValidJson();
    void queryValuesArriveUnchanged_data();
    void queryValuesArriveUnchanged();

    void startupReply_data();
    void startupReply();
    void startupTwiceLastToFinishDecides();
    void loginReply_data();
    void loginReply();
    void serverListReply_data();
    void serverListReply();
    void transportFailures_data();
    void transportFailures();
    void failedRequestKeepsRecords_data();
    void failedRequestKeepsRecords();

    void threeFlagsCompleteOnceWhicheverIsLast_data();
    void threeFlagsCompleteOnceWhicheverIsLast();
    void flagOutcomes_data();
    void flagOutcomes();
    void duplicateHostNames();
    void shorterSecondListKeepsOldFlags();
    void lateFlagOfEarlierListIsNotCounted();
    void lateReplyOfEarlierListIsDropped();

    void repliesAreReleased();
    void destroyedWithRequestsOutstanding();

private:
    // Sends one request of the given kind with the stored plain credentials.
    static void call(NetworkManager &manager, Call kind);
    // Serves a list with the given reply and waits for the client to complete it.
    void loadList(NetworkManager &manager, Spies &spies, const QByteArray &body);
    // The requests the service received for a path, in order.
    QList<RecordedRequest> requestsTo(const QByteArray &path) const;

    std::unique_ptr<TestService> service;
    std::unique_ptr<TestService> untrusted; // a certificate of a CA the client does not know
    QString refusedHost;                    // nothing listens there
    QTemporaryDir otherPki;
};

void TestNetworkManager::initTestCase()
{
    service = std::make_unique<TestService>();

    QVERIFY(otherPki.isValid());
    QProcess pki;
    pki.start(QStringLiteral("bash"),
              {harbolink::test::sourceDir() + QStringLiteral("/scripts/make-pki.sh"), otherPki.path()});
    QVERIFY(pki.waitForFinished(30000));
    QCOMPARE(pki.exitCode(), 0);
    untrusted = std::make_unique<TestService>(otherPki.filePath(QStringLiteral("server.pem")),
                                              otherPki.filePath(QStringLiteral("server.key")));
    untrusted->setReply("GET", "/v1/startup", canned(200, fullStartup));
    untrusted->setReply("POST", "/v1/login", canned(200, R"({"access":{"login":true,"connection":true}})"));
    untrusted->setReply("POST", "/v1/servers", canned(200, listBody({server("a", "")})));
    untrusted->setReply("GET", "/flags/ok.png", canned(200, png(20, 10), "image/png"));

    TestService closed;
    refusedHost = closed.host();
    closed.stop();
}

void TestNetworkManager::init()
{
    harbolink::setServiceHostsForTesting(service->host(), service->host());
    service->clearRequests();
}

void TestNetworkManager::call(NetworkManager &manager, Call kind)
{
    manager.setCredentials(plainEmail, plainPassword);
    switch (kind) {
    case Call::Startup:
        manager.makeStartupRequest();
        break;
    case Call::Login:
        manager.makeLoginRequest();
        break;
    case Call::ServerList:
        manager.makeServerListRequest();
        break;
    case Call::Report:
        manager.makeReportRequest(QStringLiteral("de1.example.com"), QStringLiteral("Connection failed"));
        break;
    }
}

void TestNetworkManager::loadList(NetworkManager &manager, Spies &spies, const QByteArray &body)
{
    service->setReply("POST", "/v1/servers", canned(200, body));
    const int before = spies.listFinished.count();
    manager.makeServerListRequest();
    QTRY_COMPARE(spies.listFinished.count(), before + 1);
}

QList<RecordedRequest> TestNetworkManager::requestsTo(const QByteArray &path) const
{
    QList<RecordedRequest> matching;
    for (const RecordedRequest &request : service->requests()) {
        if (request.path == path) {
            matching.append(request);
        }
    }
    return matching;
}

void TestNetworkManager::commonHeadersInOrder()
{
    const QNetworkRequest request = harbolink::serviceRequest(QUrl(QStringLiteral("https://localhost/")));
    QCOMPARE(request.rawHeaderList(),
             (QList<QByteArray>{QByteArray("Content-Type"), QByteArray("User-Agent"), QByteArray("Auth-Token")}));
    QCOMPARE(request.sslConfiguration().peerVerifyMode(), QSslSocket::VerifyPeer);
}

void TestNetworkManager::requestsAsReceived_data()
{
    QTest::addColumn<Call>("kind");
    QTest::addColumn<bool>("withCredentials");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("startup") << Call::Startup << true << QByteArray("GET") << QByteArray("/v1/startup") << QByteArray()
                             << QByteArray();
    QTest::newRow("login") << Call::Login << true << QByteArray("POST") << QByteArray("/v1/login") << QByteArray()
                           << QByteArray(R"({"email": "user@example.com", "password": "secret"})");
    QTest::newRow("server list") << Call::ServerList << true << QByteArray("POST") << QByteArray("/v1/servers")
                                 << QByteArray("email=user%40example.com") << QByteArray();
    QTest::newRow("server list before any credentials")
        << Call::ServerList << false << QByteArray("POST") << QByteArray("/v1/servers") << QByteArray("email=")
        << QByteArray();
    QTest::newRow("report") << Call::Report << true << QByteArray("POST") << QByteArray("/v1/report")
                            << QByteArray("email=user%40example.com&server=de1.example.com&message=Connection%20failed")
                            << QByteArray();
}

void TestNetworkManager::requestsAsReceived()
{
    QFETCH(Call, kind);
    QFETCH(bool, withCredentials);
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, body);

    NetworkManager manager;
    if (withCredentials) {
        call(manager, kind);
    } else {
        manager.makeServerListRequest();
    }
    QTRY_COMPARE(service->requests().size(), 1);
    const RecordedRequest request = service->requests().constFirst();
    QCOMPARE(request.method, method);
    QCOMPARE(request.path, path);
    QCOMPARE(request.query, query);
    QCOMPARE(request.body, body);
    QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
    QCOMPARE(request.header("User-Agent"), QByteArray("Mozilla Firefox"));
    QCOMPARE(request.header("Auth-Token"), QByteArray(harbolink::apiToken));
    QVERIFY(request.header("Cookie").isEmpty());
    QVERIFY(request.header("Authorization").isEmpty());
}

void TestNetworkManager::loginBodyIsValidJson_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("exactBody"); // empty: only the parsed values are compared

    QTest::newRow("plain texts") << plainEmail << plainPassword
                                 << QByteArray(R"({"email": "user@example.com", "password": "secret"})");
    QTest::newRow("empty texts") << QString() << QString() << QByteArray(R"({"email": "", "password": ""})");
    QTest::newRow("quotation marks") << plainEmail << QStringLiteral("pa\"ss\"\"") << QByteArray();
    QTest::newRow("backslashes") << QStringLiteral("a\\b@example.com") << QStringLiteral("\\\\x\\\"") << QByteArray();
    QTest::newRow("control characters") << plainEmail << QStringLiteral("a\nb\rc\td\be\ff") + QChar(0x01) + QChar(0x1f)
                                        << QByteArray();
    QTest::newRow("place-holders in the texts") << QStringLiteral("%2@example.com") << QStringLiteral("%1%2")
                                                << QByteArray(R"({"email": "%2@example.com", "password": "%1%2"})");
    QTest::newRow("non-ASCII") << QStringLiteral("müller@example.com") << QStringLiteral("пароль€😀") << QByteArray();
    QTest::newRow("json inside") << plainEmail << QStringLiteral(R"(", "email": "evil@example.com)") << QByteArray();
}

void TestNetworkManager::loginBodyIsValidJson()
{
    QFETCH(QString, email);
    QFETCH(QString, password);
    QFETCH(QByteArray, exactBody);

    NetworkManager manager;
    manager.setCredentials(email, password);
    manager.makeLoginRequest();
    QTRY_COMPARE(service->requests().size(), 1);
    const QByteArray body = service->requests().constFirst().body;
    if (!exactBody.isEmpty()) {
        QCOMPARE(body, exactBody);
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(document.object().size(), 2);
    QCOMPARE(document.object().value("email").toString(), email);
    QCOMPARE(document.object().value("password").toString(), password);
}

void TestNetworkManager::queryValuesArriveUnchanged_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("message");

    QTest::newRow("plus signs") << QStringLiteral("first+tag@example.com") << QStringLiteral("1+1");
    QTest::newRow("delimiters") << QStringLiteral("a&b=c@example.com") << QStringLiteral("x=1&y=2#frag?q");
    QTest::newRow("percent signs") << QStringLiteral("a%40b@example.com") << QStringLiteral("100% %zz %2B");
    QTest::newRow("spaces and non-ASCII") << QStringLiteral(" müller @example.com") << QStringLiteral("tunnel – down");
}

void TestNetworkManager::queryValuesArriveUnchanged()
{
    QFETCH(QString, email);
    QFETCH(QString, message);

    NetworkManager manager;
    manager.setCredentials(email, plainPassword);
    manager.makeServerListRequest();
    manager.makeReportRequest(QStringLiteral("de1.example.com"), message);
    QTRY_COMPARE(service->requests().size(), 2);

    const QList<QPair<QString, QString>> list = formDecoded(requestsTo("/v1/servers").value(0).query);
    QCOMPARE(list, (QList<QPair<QString, QString>>{{"email", email}}));
    const QList<QPair<QString, QString>> report = formDecoded(requestsTo("/v1/report").value(0).query);
    QCOMPARE(report, (QList<QPair<QString, QString>>{
                         {"email", email}, {"server", QStringLiteral("de1.example.com")}, {"message", message}}));
}

void TestNetworkManager::startupReply_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("errorText"); // empty: the reply succeeds
    QTest::addColumn<StartupInfo>("expected");

    const StartupInfo none = startupInfo({}, {}, {}, {}, {}, {}, {}, {}, {});
    const QString html = QStringLiteral("text/html");
    const auto code = [](int status) -> QString {
        return QString::fromLatin1(networkError) + "\nCode: " + QString::number(status);
    };
    const QByteArray bigTitle(4 * 1024 * 1024, 'x');

    QTest::newRow("full reply") << 200 << fullStartup << QByteArray("application/json") << QString()
                                << fullStartupInfo();
    QTest::newRow("empty object") << 200 << QByteArray("{}") << QByteArray("application/json") << QString() << none;
    QTest::newRow("json array") << 200 << QByteArray(R"([{"app_title":"x"}])") << QByteArray("application/json")
                                << QString() << none;
    QTest::newRow("values of the wrong type")
        << 200 << QByteArray(R"({"app_title":5,"corp_title":true,"version":{},"links":{"domain":7,"support":"/s"}})")
        << QByteArray("application/json") << QString() << startupInfo({}, {}, {}, {}, {}, {}, "/s", {}, {});
    QTest::newRow("links not an object") << 200 << QByteArray(R"({"app_title":"A","links":["https://www2.a.test"]})")
                                         << QByteArray("application/json") << QString()
                                         << startupInfo("A", {}, {}, {}, {}, {}, {}, {}, {});
    QTest::newRow("domain and path join with one slash")
        << 200 << QByteArray(R"({"links":{"domain":"https://www2.a.test","support":"/help"}})")
        << QByteArray("application/json") << QString()
        << startupInfo({}, {}, {}, "https://www2.a.test", "https://www2.a.test", "https://www2.a.test",
                       "https://www2.a.test/help", "https://www2.a.test", "https://www2.a.test");
    QTest::newRow("both slashes are kept")
        << 200 << QByteArray(R"({"links":{"domain":"https://www2.a.test/","support":"/help"}})")
        << QByteArray("application/json") << QString()
        << startupInfo({}, {}, {}, "https://www2.a.test/", "https://www2.a.test/", "https://www2.a.test/",
                       "https://www2.a.test//help", "https://www2.a.test/", "https://www2.a.test/");
    QTest::newRow("several megabytes of json")
        << 200 << QByteArray(R"({"app_title":")" + bigTitle + R"("})") << QByteArray("application/json") << QString()
        << startupInfo(QString::fromLatin1(bigTitle), {}, {}, {}, {}, {}, {}, {}, {});
    QTest::newRow("html page") << 200 << QByteArray("<html><body>Maintenance</body></html>") << html.toLatin1()
                               << QString::fromLatin1(networkError) << none;
    QTest::newRow("empty body") << 200 << QByteArray() << QByteArray("application/json")
                                << QString::fromLatin1(networkError) << none;
    QTest::newRow("truncated json") << 200 << fullStartup.left(fullStartup.size() / 2) << QByteArray("application/json")
                                    << QString::fromLatin1(networkError) << none;
    QTest::newRow("several megabytes of junk") << 200 << QByteArray(5 * 1024 * 1024, '{') << QByteArray("text/plain")
                                               << QString::fromLatin1(networkError) << none;
    for (int status : {401, 403, 404, 500, 502}) {
        QTest::addRow("status %d", status)
            << status << QByteArray(R"({"app_title":"x"})") << QByteArray("application/json") << code(status) << none;
    }
}

void TestNetworkManager::startupReply()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(QString, errorText);
    QFETCH(StartupInfo, expected);

    service->setReply("GET", "/v1/startup", canned(status, body, contentType));
    NetworkManager manager;
    Spies spies(&manager);
    manager.makeStartupRequest();
    QTRY_COMPARE(spies.total(), 1);
    if (errorText.isEmpty()) {
        QCOMPARE(spies.startupFinished.count(), 1);
        QCOMPARE(manager.startupInfo(), expected);
        QVERIFY(manager.lastError().isEmpty());
    } else {
        QCOMPARE(spies.startupError.count(), 1);
        QCOMPARE(manager.lastError(), errorText);
        QVERIFY(manager.startupInfo().isEmpty());
    }
}

void TestNetworkManager::startupTwiceLastToFinishDecides()
{
    NetworkManager manager;
    Spies spies(&manager);
    service->setReply("GET", "/v1/startup", canned(200, R"({"app_title":"first"})", "application/json", 400));
    manager.makeStartupRequest();
    QTRY_COMPARE(service->requests().size(), 1);
    service->setReply("GET", "/v1/startup", canned(200, R"({"app_title":"second"})"));
    manager.makeStartupRequest();

    QTRY_COMPARE(spies.startupFinished.count(), 1);
    QCOMPARE(manager.startupInfo().value("app_title"), QStringLiteral("second"));
    QTRY_COMPARE(spies.startupFinished.count(), 2);
    QCOMPARE(manager.startupInfo().value("app_title"), QStringLiteral("first"));
}

void TestNetworkManager::loginReply_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("errorText"); // empty: the reply succeeds
    QTest::addColumn<bool>("login");
    QTest::addColumn<bool>("connection");
    QTest::addColumn<QString>("message");

    const QString network = QString::fromLatin1(networkError);
    const QByteArray allowed = R"({"access":{"login":true,"connection":true},"message":"Welcome"})";
    const QByteArray bigMessage(3 * 1024 * 1024, 'm');

    QTest::newRow("wrong credentials") << 401 << QByteArray() << QStringLiteral("Invalid email or password.") << false
                                       << false << QString();
    QTest::newRow("wrong credentials with a json body")
        << 401 << QByteArray(R"({"message":"no"})") << QStringLiteral("Invalid email or password.") << false << false
        << QString();
    for (int status : {403, 404, 500, 502}) {
        QTest::addRow("status %d", status)
            << status << allowed << QString(network + "\nCode: " + QString::number(status)) << false << false
            << QString();
    }
    QTest::newRow("html page") << 200 << QByteArray("<!DOCTYPE html><html></html>") << network << false << false
                               << QString();
    QTest::newRow("empty body") << 200 << QByteArray() << network << false << false << QString();
    QTest::newRow("truncated json") << 200 << allowed.left(20) << network << false << false << QString();
    QTest::newRow("may log in but not connect")
        << 200 << QByteArray(R"({"access":{"login":true,"connection":false},"message":"Subscription ended"})")
        << QString() << true << false << QStringLiteral("Subscription ended");
    QTest::newRow("may connect") << 200 << allowed << QString() << true << true << QStringLiteral("Welcome");
    QTest::newRow("no access member") << 200 << QByteArray(R"({"message":"hi"})") << QString() << false << false
                                      << QStringLiteral("hi");
    QTest::newRow("message inside access")
        << 200 << QByteArray(R"({"access":{"login":true,"connection":true,"message":"inner"}})") << QString() << true
        << true << QString();
    QTest::newRow("flags of the wrong type")
        << 200 << QByteArray(R"({"access":{"login":"true","connection":1},"message":7})") << QString() << false << false
        << QString();
    QTest::newRow("access not an object")
        << 200 << QByteArray(R"({"access":true,"message":"m"})") << QString() << false << false << QStringLiteral("m");
    QTest::newRow("json array") << 200 << QByteArray(R"([{"access":{"login":true}}])") << QString() << false << false
                                << QString();
    QTest::newRow("several megabytes of json")
        << 200 << QByteArray(R"({"access":{"login":true,"connection":true},"message":")" + bigMessage + R"("})")
        << QString() << true << true << QString::fromLatin1(bigMessage);
}

void TestNetworkManager::loginReply()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, errorText);
    QFETCH(bool, login);
    QFETCH(bool, connection);
    QFETCH(QString, message);

    service->setReply("POST", "/v1/login", canned(status, body));
    NetworkManager manager;
    Spies spies(&manager);
    call(manager, Call::Login);
    QTRY_COMPARE(spies.total(), 1);
    if (errorText.isEmpty()) {
        QCOMPARE(spies.loginFinished.count(), 1);
        QCOMPARE(manager.loginFlags(), (LoginFlags{{"login", login}, {"connection", connection}}));
        QCOMPARE(manager.loginInfo(), (LoginInfo{{"message", message}}));
    } else {
        QCOMPARE(spies.loginError.count(), 1);
        QCOMPARE(manager.lastError(), errorText);
        QVERIFY(manager.loginFlags().isEmpty());
        QVERIFY(manager.loginInfo().isEmpty());
    }
}

void TestNetworkManager::serverListReply_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("errorText"); // empty: the reply succeeds
    QTest::addColumn<ServerList>("expected");

    const QString network = QString::fromLatin1(networkError);
    const QByteArray oneServer = listBody({server("de1.example.com", "")});
    const QString bigName(3 * 1024 * 1024, QLatin1Char('n'));

    for (int status : {401, 403, 404, 500, 502}) {
        QTest::addRow("status %d", status)
            << status << oneServer << QString::fromLatin1(serviceUnavailable) << ServerList();
    }
    QTest::newRow("html page") << 200 << QByteArray("<html>busy</html>") << network << ServerList();
    QTest::newRow("empty body") << 200 << QByteArray() << network << ServerList();
    QTest::newRow("truncated json") << 200 << oneServer.left(oneServer.size() - 5) << network << ServerList();
    QTest::newRow("several megabytes of junk") << 200 << QByteArray(4 * 1024 * 1024, '[') << network << ServerList();

    QTest::newRow("full record") << 200 << oneServer << QString()
                                 << ServerList{record("DE1.EXAMPLE.COM", "de1.example.com", "DE", "Germany", "50.11",
                                                      "8.68", "https://files.example/de1.example.com.ovpn",
                                                      "https://files.example/de1.example.com.crt", "")};
    QTest::newRow("values of the wrong type")
        << 200
        << QByteArray(R"({"servers":[{"name":true,"hostname":"h","country_code":["DE"],"country":null,)"
                      R"("latitude":50.1,"longitude":{},"files":{"ovpn":1,"crt":false,"image":{}}}]})")
        << QString() << ServerList{record({}, "h", {}, {}, {}, {}, {}, {}, {})};
    QTest::newRow("server without files")
        << 200 << QByteArray(R"({"servers":[{"name":"N","hostname":"h","files":"x"},{"hostname":"g"}]})") << QString()
        << ServerList{record("N", "h", {}, {}, {}, {}, {}, {}, {}), record({}, "g", {}, {}, {}, {}, {}, {}, {})};
    QTest::newRow("server not an object")
        << 200 << QByteArray(R"({"servers":["de1",7]})") << QString() << ServerList{emptyRecord(), emptyRecord()};
    QTest::newRow("several megabytes of json")
        << 200 << QByteArray(R"({"servers":[{"name":")" + bigName.toLatin1() + R"(","hostname":"h"}]})") << QString()
        << ServerList{record(bigName, "h", {}, {}, {}, {}, {}, {}, {})};
    // Nothing to wait for: the empty list completes at once.
    QTest::newRow("empty servers") << 200 << QByteArray(R"({"servers":[]})") << QString() << ServerList();
    QTest::newRow("no servers member") << 200 << QByteArray(R"({"count":0})") << QString() << ServerList();
    QTest::newRow("servers not an array") << 200 << QByteArray(R"({"servers":{"a":{}}})") << QString() << ServerList();
    QTest::newRow("json array") << 200 << QByteArray("[]") << QString() << ServerList();
}

void TestNetworkManager::serverListReply()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, errorText);
    QFETCH(ServerList, expected);

    service->setReply("POST", "/v1/servers", canned(status, body));
    NetworkManager manager;
    Spies spies(&manager);
    call(manager, Call::ServerList);
    QTRY_COMPARE(spies.total(), 1);
    if (errorText.isEmpty()) {
        QCOMPARE(spies.listFinished.count(), 1);
        QCOMPARE(manager.serverList(), expected);
        // Every listed host has its flag: none of these addresses is usable, so the built-in one.
        for (const ServerRecord &entry : expected) {
            QVERIFY(sameImage(manager.flagTable().value(entry.value("hostname")), fallbackImage()));
        }
    } else {
        QCOMPARE(spies.listError.count(), 1);
        QCOMPARE(manager.lastError(), errorText);
        QVERIFY(manager.serverList().isEmpty());
    }
    QTest::qWait(50);
    QCOMPARE(spies.total(), 1);
    QCOMPARE(service->requests().size(), 1); // no flag request for an unusable address
}

void TestNetworkManager::transportFailures_data()
{
    QTest::addColumn<bool>("refused"); // else: a certificate the client does not trust
    QTest::addColumn<Call>("kind");
    QTest::addColumn<QString>("errorText");

    const QString codeZero = QString::fromLatin1(networkError) + QStringLiteral("\nCode: 0");
    for (bool refused : {true, false}) {
        const char *what = refused ? "connection refused" : "untrusted certificate";
        QTest::addRow("%s: startup", what) << refused << Call::Startup << codeZero;
        QTest::addRow("%s: login", what) << refused << Call::Login << codeZero;
        QTest::addRow("%s: server list", what)
            << refused << Call::ServerList << QString::fromLatin1(serviceUnavailable);
    }
}

void TestNetworkManager::transportFailures()
{
    QFETCH(bool, refused);
    QFETCH(Call, kind);
    QFETCH(QString, errorText);

    const QString host = refused ? refusedHost : untrusted->host();
    harbolink::setServiceHostsForTesting(host, host);
    untrusted->clearRequests();
    NetworkManager manager;
    Spies spies(&manager);
    call(manager, kind);
    QTRY_COMPARE(spies.total(), 1);
    QCOMPARE(manager.lastError(), errorText);
    QCOMPARE(spies.startupError.count() + spies.loginError.count() + spies.listError.count(), 1);
    QVERIFY(manager.startupInfo().isEmpty());
    QVERIFY(manager.loginFlags().isEmpty());
    QVERIFY(manager.serverList().isEmpty());
    // The handshake failed before any request reached the service.
    QVERIFY(untrusted->requests().isEmpty());
}

void TestNetworkManager::failedRequestKeepsRecords_data()
{
    QTest::addColumn<Call>("kind");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("startup 500") << Call::Startup << 500 << QByteArray();
    QTest::newRow("startup html") << Call::Startup << 200 << QByteArray("<html></html>");
    QTest::newRow("login 401") << Call::Login << 401 << QByteArray();
    QTest::newRow("login truncated") << Call::Login << 200 << QByteArray(R"({"access":{)");
    QTest::newRow("server list 502") << Call::ServerList << 502 << QByteArray();
    QTest::newRow("server list empty body") << Call::ServerList << 200 << QByteArray();
}

void TestNetworkManager::failedRequestKeepsRecords()
{
    QFETCH(Call, kind);
    QFETCH(int, status);
    QFETCH(QByteArray, body);

    NetworkManager manager;
    Spies spies(&manager);
    service->setReply("GET", "/v1/startup", canned(200, fullStartup));
    service->setReply("POST", "/v1/login",
                      canned(200, R"({"access":{"login":true,"connection":false},"message":"Welcome"})"));
    service->setReply("GET", "/flags/a.png", canned(200, png(20, 10), "image/png"));
    call(manager, Call::Startup);
    call(manager, Call::Login);
    loadList(manager, spies, listBody({server("a", service->url("/flags/a.png")), server("b", "")}));
    QTRY_COMPARE(spies.total(), 3);
    const StartupInfo startup = manager.startupInfo();
    const LoginFlags flags = manager.loginFlags();
    const LoginInfo info = manager.loginInfo();
    const ServerList servers = manager.serverList();
    const FlagTable flagTable = manager.flagTable();
    QCOMPARE(startup, fullStartupInfo());
    QCOMPARE(servers.size(), 2);
    QCOMPARE(flagTable.size(), 2);

    switch (kind) {
    case Call::Startup:
        service->setReply("GET", "/v1/startup", canned(status, body));
        break;
    case Call::Login:
        service->setReply("POST", "/v1/login", canned(status, body));
        break;
    default:
        service->setReply("POST", "/v1/servers", canned(status, body));
        break;
    }
    call(manager, kind);
    QTRY_COMPARE(spies.startupError.count() + spies.loginError.count() + spies.listError.count(), 1);
    QVERIFY(!manager.lastError().isEmpty());
    QCOMPARE(manager.startupInfo(), startup);
    QCOMPARE(manager.loginFlags(), flags);
    QCOMPARE(manager.loginInfo(), info);
    QCOMPARE(manager.serverList(), servers);
    QCOMPARE(manager.flagTable().keys(), flagTable.keys());
    QVERIFY(sameImage(manager.flagTable().value("a"), flagTable.value("a").toImage()));
}

void TestNetworkManager::threeFlagsCompleteOnceWhicheverIsLast_data()
{
    QTest::addColumn<QVector<int>>("delays");

    QTest::newRow("first finishes last") << QVector<int>{400, 0, 100};
    QTest::newRow("second finishes last") << QVector<int>{100, 400, 0};
    QTest::newRow("third finishes last") << QVector<int>{0, 100, 400};
}

void TestNetworkManager::threeFlagsCompleteOnceWhicheverIsLast()
{
    QFETCH(QVector<int>, delays);

    QJsonArray servers;
    for (int i = 0; i < 3; ++i) {
        const QByteArray path = "/flags/three-" + QByteArray::number(i) + ".png";
        service->setReply("GET", path, canned(200, png(10 + i, 8), "image/png", delays[i]));
        servers.append(server(QStringLiteral("host%1").arg(i), service->url(QString::fromLatin1(path))));
    }
    service->setReply("POST", "/v1/servers", canned(200, listBody(servers)));

    NetworkManager manager;
    Spies spies(&manager);
    FlagTable atCompletion;
    connect(&manager, &NetworkManager::serverListResponceFinished, this, [&] { atCompletion = manager.flagTable(); });
    call(manager, Call::ServerList);
    QTRY_COMPARE(spies.listFinished.count(), 1);
    QCOMPARE(atCompletion.keys(), (QList<QString>{"host0", "host1", "host2"}));
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(atCompletion.value(QStringLiteral("host%1").arg(i)).size(), QSize(10 + i, 8));
    }
    QCOMPARE(service->requests().size(), 4);
    QTest::qWait(100);
    QCOMPARE(spies.total(), 1);
}

void TestNetworkManager::flagOutcomes_data()
{
    QTest::addColumn<QString>("image");
    QTest::addColumn<FlagOutcome>("outcome");
    QTest::addColumn<bool>("fetched"); // the service saw the download

    service->setReply("GET", "/flags/ok.png", canned(200, png(20, 10), "image/png"));
    service->setReply("GET", "/flags/broken.png", canned(500, "oops", "text/plain"));
    service->setReply("GET", "/flags/text.png", canned(200, "<html>not a picture</html>", "text/html"));
    service->setReply("GET", "/flags/empty.png", canned(200, QByteArray(), "image/png"));
    const QString ok = service->url("/flags/ok.png");
    const QString okPng = QString::fromLatin1(png(20, 10).toBase64());

    QTest::newRow("picture") << ok << FlagOutcome::Decoded << true;
    QTest::newRow("upper-case scheme") << QString(ok).replace("https:", "HTTPS:") << FlagOutcome::Decoded << true;
    QTest::newRow("404") << service->url("/flags/missing.png") << FlagOutcome::Fallback << true;
    QTest::newRow("500") << service->url("/flags/broken.png") << FlagOutcome::Fallback << true;
    QTest::newRow("text page") << service->url("/flags/text.png") << FlagOutcome::Null << true;
    QTest::newRow("empty picture") << service->url("/flags/empty.png") << FlagOutcome::Null << true;
    QTest::newRow("empty address") << QString() << FlagOutcome::Fallback << false;
    QTest::newRow("relative address") << QStringLiteral("/flags/ok.png") << FlagOutcome::Fallback << false;
    QTest::newRow("file address") << QStringLiteral("file:///etc/hostname") << FlagOutcome::Fallback << false;
    QTest::newRow("resource address") << QStringLiteral("qrc:/resources/common/images/Flags/UN.png")
                                      << FlagOutcome::Fallback << false;
    QTest::newRow("data address") << QString("data:image/png;base64," + okPng) << FlagOutcome::Fallback << false;
    QTest::newRow("ftp address") << QStringLiteral("ftp://127.0.0.1/flag.png") << FlagOutcome::Fallback << false;
    QTest::newRow("https without a host") << QStringLiteral("https:///flags/ok.png") << FlagOutcome::Fallback << false;
    QTest::newRow("connection refused") << QString("https://" + refusedHost + "/flags/ok.png") << FlagOutcome::Fallback
                                        << false;
    QTest::newRow("plain http to a TLS port")
        << QString(ok).replace("https:", "http:") << FlagOutcome::Fallback << false;
    QTest::newRow("untrusted certificate") << untrusted->url("/flags/ok.png") << FlagOutcome::Fallback << false;
}

void TestNetworkManager::flagOutcomes()
{
    QFETCH(QString, image);
    QFETCH(FlagOutcome, outcome);
    QFETCH(bool, fetched);

    NetworkManager manager;
    Spies spies(&manager);
    loadList(manager, spies, listBody({server("h", image)}));
    QCOMPARE(spies.total(), 1);
    QVERIFY(manager.flagTable().contains("h"));
    const QPixmap flag = manager.flagTable().value("h");
    switch (outcome) {
    case FlagOutcome::Decoded:
        QCOMPARE(flag.size(), QSize(20, 10));
        break;
    case FlagOutcome::Fallback:
        QVERIFY(sameImage(flag, fallbackImage()));
        break;
    case FlagOutcome::Null:
        QVERIFY(flag.isNull());
        break;
    }
    QCOMPARE(requestsTo(QUrl(image).path().toLatin1()).size(), fetched ? 1 : 0);
}

void TestNetworkManager::duplicateHostNames()
{
    service->setReply("GET", "/flags/dup-fast.png", canned(200, png(20, 10), "image/png"));
    service->setReply("GET", "/flags/dup-slow.png", canned(200, png(30, 15), "image/png", 300));
    NetworkManager manager;
    Spies spies(&manager);
    FlagTable atCompletion;
    connect(&manager, &NetworkManager::serverListResponceFinished, this, [&] { atCompletion = manager.flagTable(); });
    loadList(manager, spies,
             listBody({server("dup", service->url("/flags/dup-slow.png")),
                       server("dup", service->url("/flags/dup-fast.png"))}));

    QCOMPARE(manager.serverList().size(), 2);
    QCOMPARE(requestsTo("/flags/dup-fast.png").size(), 1);
    QCOMPARE(requestsTo("/flags/dup-slow.png").size(), 1);
    // The signal waited for the slower download, which replaced the entry of the faster one.
    QCOMPARE(atCompletion.keys(), QList<QString>{"dup"});
    QCOMPARE(atCompletion.value("dup").size(), QSize(30, 15));
    QTest::qWait(50);
    QCOMPARE(spies.listFinished.count(), 1);
}

void TestNetworkManager::shorterSecondListKeepsOldFlags()
{
    service->setReply("GET", "/flags/ok.png", canned(200, png(20, 10), "image/png"));
    const QString flag = service->url("/flags/ok.png");
    NetworkManager manager;
    Spies spies(&manager);
    loadList(manager, spies, listBody({server("a", flag), server("b", flag), server("c", flag)}));
    QCOMPARE(manager.serverList().size(), 3);

    loadList(manager, spies, listBody({server("c", "")}));
    QCOMPARE(manager.serverList().size(), 1);
    QCOMPARE(manager.serverList().constFirst().value("hostname"), QStringLiteral("c"));
    QCOMPARE(manager.flagTable().keys(), (QList<QString>{"a", "b", "c"}));
    QCOMPARE(manager.flagTable().value("a").size(), QSize(20, 10));
    QVERIFY(sameImage(manager.flagTable().value("c"), fallbackImage()));
    QCOMPARE(spies.total(), 2);
}

void TestNetworkManager::lateFlagOfEarlierListIsNotCounted()
{
    service->setReply("GET", "/flags/old.png", canned(200, png(40, 20), "image/png", 300));
    service->setReply("GET", "/flags/b.png", canned(200, png(20, 10), "image/png"));
    service->setReply("GET", "/flags/c.png", canned(200, png(20, 10), "image/png", 700));
    NetworkManager manager;
    Spies spies(&manager);
    FlagTable atCompletion;
    connect(&manager, &NetworkManager::serverListResponceFinished, this, [&] { atCompletion = manager.flagTable(); });

    service->setReply("POST", "/v1/servers", canned(200, listBody({server("old", service->url("/flags/old.png"))})));
    manager.makeServerListRequest();
    QTRY_COMPARE(requestsTo("/flags/old.png").size(), 1);
    service->setReply(
        "POST", "/v1/servers",
        canned(200, listBody({server("b", service->url("/flags/b.png")), server("c", service->url("/flags/c.png"))})));
    manager.makeServerListRequest();

    // The old flag arrives between the two new ones; the list completes only with the last of them.
    QTRY_COMPARE(spies.listFinished.count(), 1);
    QCOMPARE(atCompletion.keys(), (QList<QString>{"b", "c"}));
    QTest::qWait(100);
    QCOMPARE(spies.total(), 1);
    QVERIFY(!manager.flagTable().contains("old"));
}

void TestNetworkManager::lateReplyOfEarlierListIsDropped()
{
    NetworkManager manager;
    Spies spies(&manager);
    service->setReply("POST", "/v1/servers", canned(200, listBody({server("old", "")}), "application/json", 300));
    manager.makeServerListRequest();
    QTRY_COMPARE(service->requests().size(), 1);
    service->setReply("POST", "/v1/servers", canned(200, listBody({server("new", "")})));
    manager.makeServerListRequest();

    QTRY_COMPARE(spies.listFinished.count(), 1);
    QCOMPARE(manager.serverList().constFirst().value("hostname"), QStringLiteral("new"));
    QTest::qWait(400); // the earlier answer has come by now
    QCOMPARE(spies.total(), 1);
    QCOMPARE(manager.serverList().size(), 1);
    QCOMPARE(manager.serverList().constFirst().value("hostname"), QStringLiteral("new"));
    QVERIFY(!manager.flagTable().contains("old"));

    // An earlier list that fails late does not fail the newer one either.
    service->setReply("POST", "/v1/servers", canned(502, "", "text/plain", 300));
    manager.makeServerListRequest();
    QTRY_COMPARE(service->requests().size(), 3);
    service->setReply("POST", "/v1/servers", canned(200, listBody({server("newer", "")})));
    manager.makeServerListRequest();
    QTRY_COMPARE(spies.listFinished.count(), 2);
    QTest::qWait(400);
    QCOMPARE(spies.listError.count(), 0);
    QCOMPARE(manager.serverList().constFirst().value("hostname"), QStringLiteral("newer"));
}

void TestNetworkManager::repliesAreReleased()
{
    service->setReply("GET", "/v1/startup", canned(200, fullStartup));
    service->setReply("POST", "/v1/login", canned(401, ""));
    service->setReply("POST", "/v1/servers",
                      canned(200, listBody({server("a", service->url("/flags/missing.png")), server("b", "")})));
    service->setReply("POST", "/v1/report", canned(200, "{}", "application/json", 100));
    NetworkManager manager;
    Spies spies(&manager);
    for (Call kind : {Call::Startup, Call::Login, Call::ServerList, Call::Report}) {
        call(manager, kind);
    }
    QCOMPARE(NetworkManagerInspector::heldReplies(manager), 4);
    QTRY_COMPARE(spies.total(), 3);
    QTRY_COMPARE(requestsTo("/v1/report").size(), 1);
    QTRY_COMPARE(NetworkManagerInspector::heldReplies(manager), 0);
    QCOMPARE(spies.total(), 3); // the report's answer is not noticed
}

void TestNetworkManager::destroyedWithRequestsOutstanding()
{
    TestService stalling;
    CannedReply stall;
    stall.stall = true;
    for (const QByteArray &path : {QByteArray("/v1/login"), QByteArray("/v1/servers"), QByteArray("/v1/report")}) {
        stalling.setReply("POST", path, stall);
    }
    stalling.setReply("GET", "/v1/startup", stall);
    harbolink::setServiceHostsForTesting(stalling.host(), stalling.host());

    int errors = 0;
    {
        NetworkManager manager;
        connect(&manager, &NetworkManager::startupErrorOccurred, this, [&] { ++errors; });
        connect(&manager, &NetworkManager::loginErrorOccurred, this, [&] { ++errors; });
        connect(&manager, &NetworkManager::serverListErrorOccured, this, [&] { ++errors; });
        for (Call kind : {Call::Startup, Call::Login, Call::ServerList, Call::Report}) {
            call(manager, kind);
        }
        QTRY_COMPARE(stalling.requests().size(), 4);
    }
    stalling.stop();
    QTest::qWait(50);
    QCOMPARE(errors, 0);
}

QTEST_MAIN(TestNetworkManager)
#include "tst_networkmanager.moc"
