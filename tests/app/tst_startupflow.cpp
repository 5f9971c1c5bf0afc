#include "AppCoreTestMain.h"
#include "FlowSupport.h"
#include "TemporaryHome.h"
#include "api/NetworkManager.h"
#include "api/ServiceRequest.h"
#include "app/InstallerAddress.h"
#include "ui/LoginDialogWindow.h"
#include "ui/NewUpdateDialogWindow.h"
#include "ui/StartupWindow.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace harbolink::test;

namespace {
std::unique_ptr<TestService> service;
QString home;

// Counts how often a widget is shown.
class ShowCounter : public QObject
{
public:
    int shows = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            ++shows;
        }
        return QObject::eventFilter(watched, event);
    }
};
} // namespace

// The startup answer: the names it sets, the update offer and the way to the login window.
class TestStartupFlow : public QObject
{
    Q_OBJECT

public:
    static void prepare()
    {
        home = useTemporaryHome();
        // The update dialog saves the installer in the working directory.
        QDir::setCurrent(home);
        service = std::make_unique<TestService>();
        service->setReply("GET", "/v1/startup", jsonReply(startupJson(QStringLiteral("1.0.0"))));
        harbolink::setServiceHostsForTesting(service->host(), service->host());
    }

private slots:
    void initTestCase();
    void cleanupTestCase();

    void ownVersionGoesStraightToTheLoginWindow();
    void installerAddress_data();
    void installerAddress();
    void otherVersionsOfferTheUpdateFirst_data();
    void otherVersionsOfferTheUpdateFirst();
    void quittingFromTheUpdateDialogEndsTheProgram();

private:
    struct Offer {
        bool shown = false;
        bool modal = false;
        bool loginWindowVisible = false;
        bool loginWindowFollowed = false;
    };
    // Answers the update offer of a new startup reply: OK, then (once the download has ended in an
    // error box) Cancel, or nothing more when the download succeeds.
    Offer answerNextOffer(int expectedBoxes);

    FlowRecorder recorder;
    ShowCounter updateShows;
};

void TestStartupFlow::initTestCase()
{
    recorder.attach();
    QVERIFY2(!AppCoreInspector::loginWindow()->isVisible(), "the startup reply was handled before the test began");
    AppCoreInspector::updateWindow()->installEventFilter(&updateShows);
}

void TestStartupFlow::cleanupTestCase()
{
    recorder.detach();
    service.reset();
}

TestStartupFlow::Offer TestStartupFlow::answerNextOffer(int expectedBoxes)
{
    Offer offer;
    auto *timer = new QTimer(this);
    timer->setInterval(20);
    NewUpdateDialogWindow *dialog = AppCoreInspector::updateWindow();
    connect(timer, &QTimer::timeout, this, [this, timer, dialog, expectedBoxes, &offer] {
        if (!dialog->isVisible()) {
            return;
        }
        if (!offer.shown) {
            offer.shown = true;
            offer.modal = dialog->isModal();
            offer.loginWindowVisible = AppCoreInspector::loginWindow()->isVisible();
            if (auto *ok = part<QPushButton>(dialog, "pushButtonOk")) {
                QTest::mouseClick(ok, Qt::LeftButton);
            } else {
                dialog->reject();
            }
        } else if (recorder.boxes.size() >= expectedBoxes) {
            timer->stop();
            if (auto *cancel = part<QPushButton>(dialog, "pushButtonCancel")) {
                QTest::mouseClick(cancel, Qt::LeftButton);
            } else {
                dialog->reject();
            }
        }
    });
    timer->start();
    QMetaObject::invokeMethod(AppCoreInspector::networkManager(), "makeStartupRequest");
    // The offer runs modally inside the startup reply's handling; the login window follows it.
    offer.loginWindowFollowed = QTest::qWaitFor([] { return AppCoreInspector::loginWindow()->isVisible(); }, 20000);
    delete timer;
    return offer;
}

void TestStartupFlow::ownVersionGoesStraightToTheLoginWindow()
{
    QTRY_VERIFY(AppCoreInspector::loginWindow()->isVisible());
    QVERIFY(!AppCoreInspector::startupWindow()->isVisible());
    QCOMPARE(updateShows.shows, 0);
    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Harbo Networks"));
    QCOMPARE(QCoreApplication::organizationDomain(), QStringLiteral("https://www2.harbolink.net"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("harbolink"));
    QCOMPARE(requestCount(*service, "GET", "/v1/startup"), 1);
    QVERIFY(recorder.boxes.isEmpty());
}

void TestStartupFlow::installerAddress_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<QString>("path");

    QTest::newRow("usual domain") << QStringLiteral("https://www2.harbolink.net")
                                  << QStringLiteral("/harbolink.net/harbolink.net_installer.exe");
    QTest::newRow("other prefix of 13") << QStringLiteral("http://vpn01.harbo.io")
                                        << QStringLiteral("/harbo.io/harbo.io_installer.exe");
    QTest::newRow("shorter prefix loses a letter")
        << QStringLiteral("https://www.harbolink.net") << QStringLiteral("/arbolink.net/arbolink.net_installer.exe");
    QTest::newRow("13 characters") << QStringLiteral("https://www2.") << QStringLiteral("//_installer.exe");
    QTest::newRow("fewer than 13") << QStringLiteral("https://a.io") << QStringLiteral("//_installer.exe");
    QTest::newRow("empty") << QString() << QStringLiteral("//_installer.exe");
    QTest::newRow("place-holder in the site")
        << QStringLiteral("https://www2.%1%2") << QStringLiteral("/%1%2/%1%2_installer.exe");
}

void TestStartupFlow::installerAddress()
{
    QFETCH(QString, domain);
    QFETCH(QString, path);
    QCOMPARE(harbolink::installerAddress(domain), QStringLiteral("https://") + service->host() + path);
}

void TestStartupFlow::otherVersionsOfferTheUpdateFirst_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("domain");
    QTest::addColumn<QByteArray>("installerPath");

    QTest::newRow("trailing blank") << QStringLiteral("1.0.0 ") << QStringLiteral("https://www2.harbolink.net")
                                    << QByteArray("/harbolink.net/harbolink.net_installer.exe");
    QTest::newRow("no version") << QString() << QStringLiteral("https://www2.harbo-vpn.org")
                                << QByteArray("/harbo-vpn.org/harbo-vpn.org_installer.exe");
    QTest::newRow("shorter version") << QStringLiteral("1.0") << QStringLiteral("https://www2.harbolink.net")
                                     << QByteArray("/harbolink.net/harbolink.net_installer.exe");
    // The address holds "//_installer.exe" (see installerAddress); the network stack sends the
    // empty path segment as a single slash (Qt's HTTP client does so).
    QTest::newRow("domain of 13 characters")
        << QStringLiteral("1.1.0") << QStringLiteral("https://www2.") << QByteArray("/_installer.exe");
    QTest::newRow("domain shorter than 13")
        << QStringLiteral("1.1.0") << QStringLiteral("https://a.io") << QByteArray("/_installer.exe");
}

void TestStartupFlow::otherVersionsOfferTheUpdateFirst()
{
    QFETCH(QString, version);
    QFETCH(QString, domain);
    QFETCH(QByteArray, installerPath);

    // Back to the moment before a startup reply.
    AppCoreInspector::loginWindow()->hide();
    service->clearRequests();
    service->setReply("GET", "/v1/startup", jsonReply(startupJson(version, domain)));
    const int boxes = recorder.boxes.size();
    const int shows = updateShows.shows;

    const Offer offer = answerNextOffer(boxes + 1);

    QVERIFY(offer.shown);
    QVERIFY(offer.loginWindowFollowed);
    QVERIFY(offer.modal);
    QVERIFY(!offer.loginWindowVisible);
    QCOMPARE(updateShows.shows, shows + 1);
    QVERIFY(!AppCoreInspector::updateWindow()->isVisible());
    // The installer was asked for where the announced domain says (the service has none: 404).
    QStringList paths;
    for (const RecordedRequest &request : service->requests()) {
        paths << QString::fromLatin1(request.method + ' ' + request.path);
    }
    QVERIFY2(requestCount(*service, "GET", installerPath) == 1, qPrintable(paths.join(QStringLiteral(", "))));
    QCOMPARE(recorder.boxes.size(), boxes + 1);
    QCOMPARE(recorder.boxes.last().title, QStringLiteral("Download error"));
    QCOMPARE(recorder.quitRequests, 0);
}

void TestStartupFlow::quittingFromTheUpdateDialogEndsTheProgram()
{
    // The end of the event loop also ends the dialog's loop; nothing after this test may run one.
    recorder.letQuitThrough = true;
    AppCoreInspector::loginWindow()->hide();
    // A harmless installer that leaves a mark beside itself when it runs.
    const QByteArray installer = "#!/bin/sh\ntouch \"$(dirname \"$0\")/installer-ran\"\nexit 0\n";
    CannedReply download;
    download.body = installer;
    download.contentType = "application/octet-stream";
    service->setReply("GET", "/harbolink.net/harbolink.net_installer.exe", download);
    service->setReply("GET", "/v1/startup", jsonReply(startupJson(QStringLiteral("2.0.0"))));
    bool loginVisibleAtQuit = true;
    recorder.onQuit = [&] { loginVisibleAtQuit = AppCoreInspector::loginWindow()->isVisible(); };

    const Offer offer = answerNextOffer(recorder.boxes.size() + 1);

    QVERIFY(offer.shown);
    QVERIFY(offer.loginWindowFollowed);
    QCOMPARE(recorder.quitRequests, 1);
    QVERIFY(!loginVisibleAtQuit);
    // exec() came back, so the login window is set up and shown before the program ends.
    QVERIFY(AppCoreInspector::loginWindow()->isVisible());
    QFile saved(home + QStringLiteral("/harbolink_installer.exe"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), installer);
    QTRY_VERIFY(QFile::exists(home + QStringLiteral("/installer-ran")));
}

HARBOLINK_APPCORE_TEST_MAIN(TestStartupFlow)
#include "tst_startupflow.moc"
