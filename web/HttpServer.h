#pragma once
// The HTTP server under the web pages: GNU libmicrohttpd on threads of its own, with every limit
// set so that nobody can take what a take needs (file handles, memory, the user-interface
// thread): at most Limits::connections connections at once and connectionsPerAddress from one
// address, an idle connection closed after Limits::idleSeconds, the request line and headers of
// one connection held in Limits::headerBytes (past that the library answers 431), and no body
// over Limits::bodyBytes (413, read no further). The handler runs on the server's threads and
// must never touch the user-interface thread's objects.
#include "web/HttpMessage.h"
#include <QString>
#include <atomic>
#include <functional>

struct MHD_Daemon;

namespace tamblor::web {

class HttpServer {
public:
    struct Limits {
        unsigned connections = 64;
        unsigned connectionsPerAddress = 16;
        unsigned idleSeconds = 10;
        size_t headerBytes = 16 * 1024;
        int64_t bodyBytes = 64 * 1024;
        unsigned threads = 4;
    };
    using Handler = std::function<HttpResponse(const HttpRequest&)>;
    using Log = std::function<void(const QString&)>;

    HttpServer(Handler handler, Log log, Limits limits);
    HttpServer(Handler handler, Log log) : HttpServer(std::move(handler), std::move(log), Limits{}) {}
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens on an address (IPv4 or IPv6) and port (0: one the system chooses). False, with the
    // reason in `error`, when the address is not one or the port cannot be had.
    bool start(const QString& address, int port, QString* error = nullptr);
    // Closes every connection and joins the server's threads; the handler is not called after.
    void stop();
    bool isRunning() const { return daemon_ != nullptr; }
    // The port listened on (0 when stopped).
    int port() const { return port_; }
    const Limits& limits() const { return limits_; }
    // The connections open now (those past the limit wait unaccepted in the system's queue).
    int connections() const;

    // Called by the library's callbacks (not for other use).
    struct Glue;

private:
    Handler handler_;
    Log log_;
    Limits limits_;
    MHD_Daemon* daemon_ = nullptr;
    int port_ = 0;
};

} // namespace tamblor::web
