#pragma once
// A small HTTPS server on a local address: a table of canned or computed replies by method and
// path, every request recorded, each connection served in a worker thread. The tests run it
// in-process; a stand-alone service can be built on it too.

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace harbolink::service {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// One request as received.
struct Request {
    std::string method;
    std::string path;   // as sent, still percent-encoded
    std::string query;  // the raw query string, without '?'
    HeaderList headers; // sorted by name, case-insensitively
    std::string body;
};

// What to answer.
struct Reply {
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
    HeaderList headers;           // further headers of the answer
    int delayMs = 0;              // wait before answering
    bool stall = false;           // never answer; the connection is dropped when the service stops
    bool noContentLength = false; // send the body chunked, so the client sees no total size
};

using Handler = std::function<Reply(const Request &)>;

struct Options {
    std::string certificateFile; // PEM server certificate (chain)
    std::string keyFile;         // PEM private key of it
    std::string host = "127.0.0.1";
    int port = 0; // 0: a free port chosen by the system
    // Keep connections open between requests. Off by default: stopping then never waits for idle
    // connections of a client.
    bool keepAlive = false;
};

class HttpsService
{
public:
    HttpsService();
    ~HttpsService(); // stops the service

    HttpsService(const HttpsService &) = delete;
    HttpsService &operator=(const HttpsService &) = delete;

    // Binds and starts serving in a thread of its own. False (and errorString()) when the
    // certificate cannot be loaded or the address cannot be bound.
    bool start(const Options &options);
    // Drops stalled and delayed answers, stops accepting and waits for every worker to end.
    // Idempotent.
    void stop();
    bool isRunning() const;

    std::string host() const; // the bound address
    int port() const;         // the bound port, 0 before start()
    std::string errorString() const;

    // Routes by method ("GET", "POST", ...; a GET route also answers HEAD) and decoded path.
    // A later call for the same method and path replaces the earlier one. Unrouted requests
    // answer 404.
    void setReply(const std::string &method, const std::string &path, const Reply &reply);
    void setHandler(const std::string &method, const std::string &path, Handler handler);
    void removeRoute(const std::string &method, const std::string &path);

    // Every request received so far, in the order in which they arrived.
    std::vector<Request> requests() const;
    void clearRequests();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace harbolink::service
