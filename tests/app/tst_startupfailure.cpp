#include "AppCoreTestMain.h"
#include "FlowSupport.h"
#include "TemporaryHome.h"
#include "api/ServiceRequest.h"
#include "ui/LoginDialogWindow.h"
#include "ui/StartupWindow.h"

#include <QEventLoop>
#include <QTimer>
#include <QtTest>

using namespace harbolink::test;

namespace {
std::unique_ptr<TestService> service;
} // namespace

// A start whose startup request fails: the error, then the end of the program.
class TestStartupFailure : public QObject
{
    Q_OBJECT

public:
    static void prepare()
    {
        useTemporaryHome();
        service = std::make_unique<TestService>();
        service->setReply("GET", "/v1/startup", jsonReply("<html>busy</html>", 500));
        harbolink::setServiceHostsForTesting(service->host(), service->host());
    }

private slots:
    void initTestCase()
    {
        recorder.attach();
        recorder.letQuitThrough = true;
    }
    void cleanupTestCase()
    {
        recorder.detach();
        service.reset();
    }

    void failedStartShowsTheErrorThenEnds();

private:
    FlowRecorder recorder;
};

void TestStartupFailure::failedStartShowsTheErrorThenEnds()
{
    bool startupWindowShownWithBox = false;
    recorder.onQuit = [&] { startupWindowShownWithBox = AppCoreInspector::startupWindow()->isVisible(); };

    QTRY_COMPARE(recorder.boxes.size(), 1);
    QCOMPARE(recorder.boxes.at(0).title, QStringLiteral("Network error"));
    QCOMPARE(recorder.boxes.at(0).text, QStringLiteral("Network error. Try again later.\nCode: 500"));
    QCOMPARE(recorder.quitRequests, 1);
    QVERIFY(startupWindowShownWithBox);
    QVERIFY(!AppCoreInspector::loginWindow()->isVisible());
    QVERIFY(!AppCoreInspector::systemTray()->isVisible());
    QCOMPARE(requestCount(*service, "GET", "/v1/startup"), 1);

    // The end of the event loop is on its way: a loop run now ends without waiting for the timer.
    QEventLoop loop;
    QTimer::singleShot(5000, &loop, [&loop] { loop.exit(1); });
    QVERIFY(loop.exec() != 1);
}

HARBOLINK_APPCORE_TEST_MAIN(TestStartupFailure)
#include "tst_startupfailure.moc"
