#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <memory>

namespace harbolink::service {
class HttpsService;
}

namespace harbolink::test {

// One request as the service received it.
struct RecordedRequest {
    QByteArray method;
    QByteArray path;                              // as sent, still percent-encoded
    QByteArray query;                             // raw query string, no '?'
    QList<QPair<QByteArray, QByteArray>> headers; // sorted by name, case-insensitively
    QByteArray body;

    // The value of the first header of that name (compared case-insensitively), empty if none.
    QByteArray header(const QByteArray &name) const;
};

// The answer of the service to a method and path.
struct CannedReply {
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";
    int delayMs = 0;              // wait before answering
    bool stall = false;           // never answer until the service is stopped
    bool noContentLength = false; // chunked, so the client sees no total size
};

// A real HTTPS service on 127.0.0.1 at a free port, serving in a thread of its own with the test
// build's server certificate, which the client trusts. Unconfigured paths answer 404. Point the
// client at it with harbolink::setServiceHostsForTesting(svc.host(), svc.host()).
class TestService
{
public:
    TestService(); // starts the server
    // Starts with another certificate and key, e.g. one the client does not trust.
    TestService(const QString &certificateFile, const QString &keyFile);
    ~TestService(); // stops the server

    TestService(const TestService &) = delete;
    TestService &operator=(const TestService &) = delete;

    QString host() const;                   // "127.0.0.1:<port>"
    QString url(const QString &path) const; // "https://127.0.0.1:<port>" + path

    void setReply(const QByteArray &method, const QByteArray &path, const CannedReply &reply);

    QList<RecordedRequest> requests() const; // every request received so far, in order (thread-safe)
    void clearRequests();

    // Stops early: stalled and delayed answers end with a broken connection, later connections are
    // refused. Idempotent; the destructor calls it.
    void stop();

private:
    std::unique_ptr<service::HttpsService> server;
};

} // namespace harbolink::test
