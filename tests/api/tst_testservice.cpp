#include "TestService.h"

#include "api/ServiceRequest.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QtTest>

#include <memory>

using harbolink::test::CannedReply;
using harbolink::test::RecordedRequest;
using harbolink::test::TestService;

// The loopback HTTPS service the API tests run against: the client reaches it through the
// common request with the test build's CA, it answers as configured and records what it got.
class TestTestService : public QObject
{
    Q_OBJECT

private slots:
    void answersAsConfigured_data();
    void answersAsConfigured();
    void recordsWhatTheClientSent();
    void delaysTheAnswer();
    void stalledAnswerEndsWhenTheServiceStops();

private:
    // Sends a request and waits for it to finish; the reply is deleted with the manager.
    QNetworkReply *send(const QByteArray &method, const QUrl &url, const QByteArray &body = QByteArray());

    QNetworkAccessManager manager;
};

QNetworkReply *TestTestService::send(const QByteArray &method, const QUrl &url, const QByteArray &body)
{
    QNetworkReply *reply = manager.sendCustomRequest(harbolink::serviceRequest(url), method, body);
    reply->setParent(&manager);
    return reply;
}

void TestTestService::answersAsConfigured_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("configuredPath"); // empty: nothing configured
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<bool>("noContentLength");
    QTest::addColumn<QNetworkReply::NetworkError>("error");

    QTest::newRow("json 200") << QByteArray("GET") << QByteArray("/v1/startup") << 200
                              << QByteArray(R"({"app_title":"x"})") << QByteArray("application/json") << false
                              << QNetworkReply::NoError;
    QTest::newRow("post 201 text") << QByteArray("POST") << QByteArray("/v1/login") << 201 << QByteArray("created")
                                   << QByteArray("text/plain") << false << QNetworkReply::NoError;
    QTest::newRow("500 with body") << QByteArray("GET") << QByteArray("/v1/startup") << 500
                                   << QByteArray("<html>oops</html>") << QByteArray("text/html") << false
                                   << QNetworkReply::InternalServerError;
    QTest::newRow("chunked binary") << QByteArray("GET") << QByteArray("/files/a.bin") << 200
                                    << QByteArray(200000, '\x7f') << QByteArray("application/octet-stream") << true
                                    << QNetworkReply::NoError;
    QTest::newRow("empty body") << QByteArray("GET") << QByteArray("/empty") << 200 << QByteArray()
                                << QByteArray("application/json") << false << QNetworkReply::NoError;
    QTest::newRow("unconfigured path") << QByteArray("GET") << QByteArray() << 404 << QByteArray("Not Found\n")
                                       << QByteArray("text/plain") << false << QNetworkReply::ContentNotFoundError;
}

void TestTestService::answersAsConfigured()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, configuredPath);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(bool, noContentLength);
    QFETCH(QNetworkReply::NetworkError, error);

    TestService service;
    QString path = QStringLiteral("/not/configured");
    if (!configuredPath.isEmpty()) {
        CannedReply canned;
        canned.status = status;
        canned.body = body;
        canned.contentType = contentType;
        canned.noContentLength = noContentLength;
        service.setReply(method, configuredPath, canned);
        path = QString::fromLatin1(configuredPath);
    }

    QNetworkReply *reply = send(method, QUrl(service.url(path)));
    QTRY_VERIFY(reply->isFinished());
    QCOMPARE(reply->error(), error);
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), status);
    QCOMPARE(reply->header(QNetworkRequest::ContentTypeHeader).toByteArray(), contentType);
    QCOMPARE(reply->readAll(), body);
    QCOMPARE(reply->header(QNetworkRequest::ContentLengthHeader).isValid(), !noContentLength);
}

void TestTestService::recordsWhatTheClientSent()
{
    TestService service;
    service.setReply("POST", "/v1/servers", CannedReply());

    QNetworkReply *first = send("POST", QUrl(service.url(QStringLiteral("/v1/servers?email=a%40b.example&x=1"))),
                                QByteArray("{\"k\": \"v\"}"));
    QTRY_VERIFY(first->isFinished());
    QNetworkReply *second = send("GET", QUrl(service.url(QStringLiteral("/elsewhere"))));
    QTRY_VERIFY(second->isFinished());

    const QList<RecordedRequest> requests = service.requests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[0].method, QByteArray("POST"));
    QCOMPARE(requests[0].path, QByteArray("/v1/servers"));
    QCOMPARE(requests[0].query, QByteArray("email=a%40b.example&x=1"));
    QCOMPARE(requests[0].body, QByteArray("{\"k\": \"v\"}"));
    QCOMPARE(requests[0].header("content-type"), QByteArray("application/json"));
    QCOMPARE(requests[0].header("User-Agent"), QByteArray("Mozilla Firefox"));
    QCOMPARE(requests[0].header("Auth-Token"), QByteArray("KD7QW2MPX9TLRV4HZN8CGJ5YBF3SAE6UQM2WKX7PTL9DRH4VZN"));
    QCOMPARE(requests[1].method, QByteArray("GET"));
    QCOMPARE(requests[1].path, QByteArray("/elsewhere"));
    QVERIFY(requests[1].query.isEmpty());
    QVERIFY(requests[1].body.isEmpty());

    service.clearRequests();
    QVERIFY(service.requests().isEmpty());
}

void TestTestService::delaysTheAnswer()
{
    TestService service;
    CannedReply slow;
    slow.delayMs = 300;
    slow.body = "{}";
    service.setReply("GET", "/slow", slow);

    QElapsedTimer timer;
    timer.start();
    QNetworkReply *reply = send("GET", QUrl(service.url(QStringLiteral("/slow"))));
    QTRY_VERIFY(reply->isFinished());
    QVERIFY(timer.elapsed() >= 300);
    QCOMPARE(reply->error(), QNetworkReply::NoError);
    QCOMPARE(reply->readAll(), QByteArray("{}"));
}

void TestTestService::stalledAnswerEndsWhenTheServiceStops()
{
    TestService service;
    CannedReply stalled;
    stalled.stall = true;
    service.setReply("GET", "/stall", stalled);

    QNetworkReply *reply = send("GET", QUrl(service.url(QStringLiteral("/stall"))));
    QTRY_COMPARE(service.requests().size(), 1);
    QTest::qWait(100);
    QVERIFY(!reply->isFinished());

    QElapsedTimer timer;
    timer.start();
    service.stop();
    QVERIFY(timer.elapsed() < 2000);
    QTRY_VERIFY(reply->isFinished());
    QVERIFY(reply->error() != QNetworkReply::NoError);
    QVERIFY(reply->readAll().isEmpty());
}

QTEST_GUILESS_MAIN(TestTestService)
#include "tst_testservice.moc"
