#include "HttpsService.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <map>
#include <mutex>
#include <thread>

namespace harbolink::service {

namespace {

// Workers serve one connection each; stalled answers hold theirs until the service stops.
constexpr size_t workerCount = 16;
constexpr size_t chunkSize = 64 * 1024;
constexpr time_t keepAliveSeconds = 2;
const std::string anyPath = "(.*)";

Reply notFound()
{
    Reply reply;
    reply.status = 404;
    reply.body = "Not Found\n";
    reply.contentType = "text/plain";
    return reply;
}

std::string routeMethod(const std::string &method)
{
    return method == "HEAD" ? std::string("GET") : method;
}

} // namespace

struct HttpsService::Private {
    std::unique_ptr<httplib::SSLServer> server;
    std::thread listener;
    std::string host;
    int port = 0;
    std::string error;

    mutable std::mutex mutex; // guards everything below
    std::condition_variable wake;
    bool stopping = false;
    std::map<std::pair<std::string, std::string>, Handler> routes;
    std::vector<Request> received;

    void serve(const httplib::Request &in, httplib::Response &out);
    // Waits for the answer's time; false when the service is stopping and the answer is dropped.
    bool holdAnswer(const Reply &reply);
};

bool HttpsService::Private::holdAnswer(const Reply &reply)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (reply.stall) {
        wake.wait(lock, [this] { return stopping; });
        return false;
    }
    if (reply.delayMs > 0) {
        wake.wait_for(lock, std::chrono::milliseconds(reply.delayMs), [this] { return stopping; });
    }
    return !stopping;
}

void HttpsService::Private::serve(const httplib::Request &in, httplib::Response &out)
{
    Request request;
    request.method = in.method;
    const std::string::size_type mark = in.target.find('?');
    request.path = in.target.substr(0, mark);
    request.query = mark == std::string::npos ? std::string() : in.target.substr(mark + 1);
    for (const auto &header : in.headers) {
        request.headers.emplace_back(header.first, header.second);
    }
    request.body = in.body;

    Handler handler;
    {
        std::lock_guard<std::mutex> lock(mutex);
        received.push_back(request);
        const auto route = routes.find({routeMethod(in.method), in.path});
        if (route != routes.end()) {
            handler = route->second;
        }
    }
    Reply reply = handler ? handler(request) : notFound();

    if (!holdAnswer(reply)) {
        // Promise one byte and fail to deliver it: the client sees the connection end mid-answer.
        out.status = 503;
        out.set_content_provider(1, "text/plain", [](size_t, size_t, httplib::DataSink &) { return false; });
        return;
    }

    out.status = reply.status;
    for (const auto &header : reply.headers) {
        out.set_header(header.first, header.second);
    }
    if (reply.body.empty() && !reply.noContentLength) {
        out.set_content(std::string(), reply.contentType);
        return;
    }
    auto body = std::make_shared<std::string>(std::move(reply.body));
    if (reply.noContentLength) {
        out.set_chunked_content_provider(reply.contentType, [body](size_t offset, httplib::DataSink &sink) {
            if (offset < body->size()) {
                return sink.write(body->data() + offset, std::min(chunkSize, body->size() - offset));
            }
            sink.done();
            return true;
        });
    } else {
        // A provider with a length sends the body as it is, never compressed, with its Content-Length.
        out.set_content_provider(body->size(), reply.contentType,
                                 [body](size_t offset, size_t length, httplib::DataSink &sink) {
                                     return sink.write(body->data() + offset, std::min(chunkSize, length));
                                 });
    }
}

HttpsService::HttpsService()
    : d(std::make_unique<Private>())
{
}

HttpsService::~HttpsService()
{
    stop();
}

bool HttpsService::start(const Options &options)
{
    if (d->server) {
        d->error = "the service has been started already";
        return false;
    }
    // A client that goes away while an answer is written must not end the process.
    std::signal(SIGPIPE, SIG_IGN);

    auto server = std::make_unique<httplib::SSLServer>(options.certificateFile.c_str(), options.keyFile.c_str());
    if (!server->is_valid()) {
        d->error = "cannot load the certificate " + options.certificateFile + " with the key " + options.keyFile;
        return false;
    }
    // The server takes ownership of the pool it asks for.
    server->new_task_queue = [] { return new httplib::ThreadPool(workerCount); };
    // Also bounds how long stop() waits for a client that connected and sent nothing.
    server->set_keep_alive_timeout(keepAliveSeconds);
    if (!options.keepAlive) {
        server->set_keep_alive_max_count(1);
    }

    const httplib::Server::Handler serve = [p = d.get()](const httplib::Request &in, httplib::Response &out) {
        p->serve(in, out);
    };
    server->Get(anyPath, serve);
    server->Post(anyPath, serve);
    server->Put(anyPath, serve);
    server->Patch(anyPath, serve);
    server->Delete(anyPath, serve);
    server->Options(anyPath, serve);

    int port = options.port;
    if (port == 0) {
        port = server->bind_to_any_port(options.host);
    } else if (!server->bind_to_port(options.host, port)) {
        port = -1;
    }
    if (port <= 0) {
        d->error = "cannot listen on " + options.host + ":" + std::to_string(options.port);
        return false;
    }

    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->stopping = false;
    }
    d->host = options.host;
    d->port = port;
    d->server = std::move(server);
    d->listener = std::thread([server = d->server.get()] { server->listen_after_bind(); });
    // stop() only takes effect once the accept loop runs; connections made before wait in the backlog.
    while (!d->server->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void HttpsService::stop()
{
    if (!d->server) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->stopping = true;
    }
    d->wake.notify_all();
    d->server->stop();
    if (d->listener.joinable()) {
        d->listener.join(); // returns once every worker has ended
    }
    d->server.reset();
}

bool HttpsService::isRunning() const
{
    return d->server != nullptr;
}

std::string HttpsService::host() const
{
    return d->host;
}

int HttpsService::port() const
{
    return d->port;
}

std::string HttpsService::errorString() const
{
    return d->error;
}

void HttpsService::setReply(const std::string &method, const std::string &path, const Reply &reply)
{
    setHandler(method, path, [reply](const Request &) { return reply; });
}

void HttpsService::setHandler(const std::string &method, const std::string &path, Handler handler)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->routes[{method, path}] = std::move(handler);
}

void HttpsService::removeRoute(const std::string &method, const std::string &path)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->routes.erase({method, path});
}

std::vector<Request> HttpsService::requests() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->received;
}

void HttpsService::clearRequests()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->received.clear();
}

} // namespace harbolink::service
