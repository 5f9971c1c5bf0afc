#include "AppCoreTestMain.h"
#include "FlowSupport.h"
#include "TemporaryHome.h"
#include "api/NetworkManager.h"
#include "api/ServiceRequest.h"
#include "app/SettingsStore.h"
#include "tunnel/Protocol.h"
#include "ui/LoginDialogWindow.h"
#include "ui/MainDialogWindow.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QTableWidget>
#include <QtTest>

using namespace harbolink::test;
using namespace harbolink::settings;

namespace {
std::unique_ptr<TestService> service;
// Holds a "/": the settings folder takes a safe form of it.
const QString corpTitle = QStringLiteral("Harbo/Networks");
const QString product = QStringLiteral("harbolink");
} // namespace

// Signing in: what is remembered and shown next time, refused logins, blocked accounts and the
// server list's failures, each against the service's real answers.
class TestLoginFlow : public QObject
{
    Q_OBJECT

public:
    static void prepare()
    {
        useTemporaryHome();
        service = std::make_unique<TestService>();
        service->setReply(
            "GET", "/v1/startup",
            jsonReply(startupJson(QStringLiteral("1.0.0"), QStringLiteral("https://www2.harbolink.net"), corpTitle)));
        service->setReply("POST", "/v1/login", jsonReply(loginJson(true, true)));
        service->setReply("POST", "/v1/servers",
                          jsonReply(serversJson({{QStringLiteral("Frankfurt 1"), QStringLiteral("127.0.0.1"),
                                                  service->url(QStringLiteral("/configs/fra1.ovpn")),
                                                  service->url(QStringLiteral("/flags/de.png"))}})));
        harbolink::setServiceHostsForTesting(service->host(), service->host());
    }

private slots:
    void initTestCase();
    void cleanupTestCase();

    void firstStartShowsAnEmptyForm();
    void rememberedLoginFillsTheFormNextTime();
    void loginWithoutRememberForgetsTheStoredOne();
    void refusedLoginShowsTheErrorThenTheRefilledForm();
    void blockedAccountShowsTheBlockerAndAsksForNoServers_data();
    void blockedAccountShowsTheBlockerAndAsksForNoServers();
    void serverListFailureShowsItsTextOnTheBlocker();
    void emptyServerListReachesTheMainWindow();
    void tunnelErrorsAreNotReportedToTheService();

private:
    static LoginDialogWindow *loginWindow() { return AppCoreInspector::loginWindow(); }
    static MainDialogWindow *mainWindow() { return AppCoreInspector::mainWindow(); }
    static int mainPage() { return part<QStackedWidget>(mainWindow(), "stackedWidgetMainWindow")->currentIndex(); }
    static bool logOut();
    static bool formShows(const QString &user, const QString &password, bool remember);

    FlowRecorder recorder;
};

void TestLoginFlow::initTestCase()
{
    recorder.attach();
}

void TestLoginFlow::cleanupTestCase()
{
    recorder.detach();
    service.reset();
}

// Leaves the main window the way its page offers ("Login again" or the Log out item).
bool TestLoginFlow::logOut()
{
    if (mainPage() == 0) {
        QTest::mouseClick(part<QPushButton>(mainWindow(), "pushButtonLogOut"), Qt::LeftButton);
    } else {
        auto *list = part<QListWidget>(mainWindow(), "listWidgetLogOut");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    }
    return QTest::qWaitFor([] { return loginWindow()->isVisible() && !mainWindow()->isVisible(); }, 5000);
}

bool TestLoginFlow::formShows(const QString &user, const QString &password, bool remember)
{
    return loginWindow()->isVisible() && part<QWidget>(loginWindow(), "frameRegisterAndLoginZone")->isVisible()
           && part<QLineEdit>(loginWindow(), "lineEditUsername")->text() == user
           && part<QLineEdit>(loginWindow(), "lineEditPassword")->text() == password
           && part<QCheckBox>(loginWindow(), "checkBoxRemeberMe")->isChecked() == remember;
}

void TestLoginFlow::firstStartShowsAnEmptyForm()
{
    QTRY_VERIFY(loginWindow()->isVisible());
    QVERIFY(formShows(QString(), QString(), false));
    QVERIFY(!AppCoreInspector::systemTray()->isVisible());
    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Harbo_Networks"));
    // Nothing is written before the first login.
    QVERIFY(!QFileInfo::exists(settingsLocation(corpTitle, product)));
}

void TestLoginFlow::rememberedLoginFillsTheFormNextTime()
{
    signIn(QStringLiteral("alice@example.org"), QStringLiteral("s3cret!!"), true);
    QTRY_VERIFY(mainWindow()->isVisible());
    QVERIFY(!loginWindow()->isVisible());
    // First start: no autorun, no tray icon, DNS on.
    QCOMPARE(mainWindow()->settingsFlags(), (QMap<QString, bool>{{QStringLiteral("autorun"), false},
                                                                 {QStringLiteral("trayicon"), false},
                                                                 {QStringLiteral("dns"), true}}));
    QTRY_COMPARE_WITH_TIMEOUT(mainPage(), 2, 15000);

    // Stored in the settings of the organisation's safe folder, the password scrambled.
    const QString file = configHome() + QStringLiteral("/Harbo_Networks/harbolink.conf");
    QCOMPARE(settingsLocation(corpTitle, product), file);
    QSettings raw(file, QSettings::IniFormat);
    QCOMPARE(raw.value(QStringLiteral("login/username")).toString(), QStringLiteral("alice@example.org"));
    QCOMPARE(raw.value(QStringLiteral("login/password")).toString(), scramblePassword(QStringLiteral("s3cret!!")));
    QCOMPARE(raw.value(QStringLiteral("login/remember")).toBool(), true);

    QVERIFY(logOut());
    QVERIFY(formShows(QStringLiteral("alice@example.org"), QStringLiteral("s3cret!!"), true));

    // The next start reads the same settings: the form is filled, nothing is sent by itself.
    loginWindow()->hide();
    service->clearRequests();
    QMetaObject::invokeMethod(AppCoreInspector::networkManager(), "makeStartupRequest");
    QTRY_VERIFY(loginWindow()->isVisible());
    QVERIFY(formShows(QStringLiteral("alice@example.org"), QStringLiteral("s3cret!!"), true));
    QTest::qWait(200);
    QCOMPARE(requestCount(*service, "POST", "/v1/login"), 0);
}

void TestLoginFlow::loginWithoutRememberForgetsTheStoredOne()
{
    QVERIFY(loginWindow()->isVisible());
    signIn(QStringLiteral("alice@example.org"), QStringLiteral("s3cret!!"), false);
    QTRY_VERIFY(mainWindow()->isVisible());
    QCOMPARE(loadLoginSetting(LoginUserName, corpTitle, product), QVariant(QString()));
    QCOMPARE(loadLoginSetting(LoginPassword, corpTitle, product), QVariant(QString()));
    QCOMPARE(loadLoginSetting(LoginRemember, corpTitle, product), QVariant(false));
    QTRY_COMPARE_WITH_TIMEOUT(mainPage(), 2, 15000);

    QVERIFY(logOut());
    QVERIFY(formShows(QString(), QString(), false));
}

void TestLoginFlow::refusedLoginShowsTheErrorThenTheRefilledForm()
{
    saveLoginSettings(QStringLiteral("bob@example.org"), QStringLiteral("hunter22"), true, corpTitle, product);
    service->setReply("POST", "/v1/login", jsonReply("{\"error\":\"unauthorized\"}", 401));
    bool loginVisibleWithBox = true;
    recorder.onBox = [&] { loginVisibleWithBox = loginWindow()->isVisible(); };
    const int boxes = recorder.boxes.size();

    signIn(QStringLiteral("mallory@example.org"), QStringLiteral("guess"), false);

    QTRY_COMPARE(recorder.boxes.size(), boxes + 1);
    recorder.onBox = nullptr;
    QCOMPARE(recorder.boxes.last().title, QStringLiteral("Network error"));
    QCOMPARE(recorder.boxes.last().text, QStringLiteral("Invalid email or password."));
    QVERIFY(!loginVisibleWithBox);
    // The form again, filled from the settings rather than with what was typed.
    QTRY_VERIFY(formShows(QStringLiteral("bob@example.org"), QStringLiteral("hunter22"), true));
    QVERIFY(!mainWindow()->isVisible());
    QCOMPARE(recorder.quitRequests, 0);
    // The refused login changed nothing that was stored.
    QCOMPARE(loadLoginSetting(LoginUserName, corpTitle, product).toString(), QStringLiteral("bob@example.org"));
}

void TestLoginFlow::blockedAccountShowsTheBlockerAndAsksForNoServers_data()
{
    QTest::addColumn<bool>("loginAllowed");
    QTest::addColumn<bool>("connectionAllowed");

    QTest::newRow("no connections") << true << false;
    QTest::newRow("no login") << false << true;
}

void TestLoginFlow::blockedAccountShowsTheBlockerAndAsksForNoServers()
{
    QFETCH(bool, loginAllowed);
    QFETCH(bool, connectionAllowed);
    const QString message = QStringLiteral("Your plan has ended. Renew it on the website.");
    service->setReply("POST", "/v1/login", jsonReply(loginJson(loginAllowed, connectionAllowed, message)));
    service->clearRequests();
    QVERIFY(loginWindow()->isVisible());

    signIn(QStringLiteral("carol@example.org"), QStringLiteral("pw"), false);

    QTRY_VERIFY(mainWindow()->isVisible());
    QCOMPARE(mainPage(), 0);
    QCOMPARE(part<QLabel>(mainWindow(), "labelBlockerMessage")->text(), message);
    QTest::qWait(300);
    QCOMPARE(requestCount(*service, "POST", "/v1/login"), 1);
    QCOMPARE(requestCount(*service, "POST", "/v1/servers"), 0);
    QVERIFY(logOut());
}

void TestLoginFlow::serverListFailureShowsItsTextOnTheBlocker()
{
    service->setReply("POST", "/v1/login", jsonReply(loginJson(true, true)));
    service->setReply("POST", "/v1/servers", jsonReply("<html>bad gateway</html>", 502));
    const int boxes = recorder.boxes.size();

    signIn(QStringLiteral("dave@example.org"), QStringLiteral("pw"), false);

    QTRY_VERIFY(mainWindow()->isVisible());
    QTRY_COMPARE(mainPage(), 0);
    QCOMPARE(part<QLabel>(mainWindow(), "labelBlockerMessage")->text(),
             QStringLiteral("Service unaviable. Try again later."));
    QCOMPARE(recorder.boxes.size(), boxes);
    QVERIFY(logOut());
}

void TestLoginFlow::emptyServerListReachesTheMainWindow()
{
    service->setReply("POST", "/v1/servers", jsonReply("{\"servers\": []}"));

    signIn(QStringLiteral("erin@example.org"), QStringLiteral("pw"), false);

    QTRY_VERIFY(mainWindow()->isVisible());
    QTRY_COMPARE(mainPage(), 2);
    QCOMPARE(part<QTableWidget>(mainWindow(), "tableWidgetAllServers")->rowCount(), 0);
    QVERIFY(logOut());
}

void TestLoginFlow::tunnelErrorsAreNotReportedToTheService()
{
    // Neither the tunnel's error text nor the main window's report request has a receiver: nothing
    // of OpenVPN's output goes to the service without the user knowing.
    service->clearRequests();
    emit AppCoreInspector::protocol()->serverError(QStringLiteral("AUTH: Received control message: AUTH_FAILED"));
    emit mainWindow()->reportRequest(QStringLiteral("127.0.0.1"), QStringLiteral("TLS handshake failed"));
    QTest::qWait(300);
    QVERIFY(service->requests().isEmpty());
}

HARBOLINK_APPCORE_TEST_MAIN(TestLoginFlow)
#include "tst_loginflow.moc"
