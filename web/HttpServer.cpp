#include "web/HttpServer.h"
#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace tamblor::web {

namespace {

// What one request has gathered between the library's calls.
struct Exchange {
    HttpRequest request;
    bool refused = false; // answered already (a body too large): the rest is dropped
};

QString addressText(const sockaddr* address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (!address)
        return QString();
    if (address->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
    else if (address->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
    return QString::fromLatin1(text);
}

MHD_Result collectHeader(void* cls, MHD_ValueKind, const char* key, const char* value)
{
    auto* request = static_cast<HttpRequest*>(cls);
    if (key)
        request->headers[QByteArray(key).toLower()] = QByteArray(value ? value : "");
    return MHD_YES;
}

MHD_Result collectArgument(void* cls, MHD_ValueKind, const char* key, const char* value)
{
    auto* request = static_cast<HttpRequest*>(cls);
    if (key)
        request->query[QString::fromUtf8(key)] = QString::fromUtf8(value ? value : "");
    return MHD_YES;
}

ssize_t readSource(void* cls, uint64_t pos, char* buf, size_t max)
{
    auto* response = static_cast<HttpResponse*>(cls);
    const int64_t left = response->length - int64_t(pos);
    if (left <= 0)
        return MHD_CONTENT_READER_END_OF_STREAM;
    const int64_t n = response->source->read(response->offset + int64_t(pos), buf, std::min<int64_t>(int64_t(max), left));
    if (n < 0)
        return MHD_CONTENT_READER_END_WITH_ERROR;
    if (n == 0)
        return MHD_CONTENT_READER_END_OF_STREAM;
    return ssize_t(n);
}

void freeSource(void* cls)
{
    delete static_cast<HttpResponse*>(cls);
}

MHD_Result queue(MHD_Connection* connection, HttpResponse response)
{
    MHD_Response* r = nullptr;
    const int status = response.status;
    const int fd = response.source && response.length > 0 ? response.source->duplicateDescriptor() : -1;
    if (fd >= 0) {
        // A plain file: sent by the system from the file (the library closes the descriptor).
        r = MHD_create_response_from_fd_at_offset64(uint64_t(response.length), fd, uint64_t(response.offset));
        if (!r) {
            ::close(fd);
            return MHD_NO;
        }
        for (const auto& [name, value] : response.headers)
            MHD_add_response_header(r, name.constData(), value.constData());
        MHD_add_response_header(r, "Content-Type", response.contentType.constData());
    } else if (response.source) {
        auto* kept = new HttpResponse(std::move(response));
        r = MHD_create_response_from_callback(uint64_t(kept->length), 32 * 1024, &readSource, kept, &freeSource);
        if (!r) {
            delete kept;
            return MHD_NO;
        }
        for (const auto& [name, value] : kept->headers)
            MHD_add_response_header(r, name.constData(), value.constData());
        MHD_add_response_header(r, "Content-Type", kept->contentType.constData());
    } else {
        r = MHD_create_response_from_buffer(size_t(response.body.size()), response.body.data(), MHD_RESPMEM_MUST_COPY);
        if (!r)
            return MHD_NO;
        for (const auto& [name, value] : response.headers)
            MHD_add_response_header(r, name.constData(), value.constData());
        MHD_add_response_header(r, "Content-Type", response.contentType.constData());
    }
    MHD_add_response_header(r, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(r, "Referrer-Policy", "no-referrer");
    MHD_add_response_header(r, "X-Frame-Options", "DENY");
    const MHD_Result queued = MHD_queue_response(connection, unsigned(status), r);
    MHD_destroy_response(r);
    return queued;
}

} // namespace

struct HttpServer::Glue {
    static MHD_Result access(void* cls, MHD_Connection* connection, const char* url, const char* method,
                             const char* /*version*/, const char* uploadData, size_t* uploadSize, void** state)
    {
        auto* server = static_cast<HttpServer*>(cls);
        auto* exchange = static_cast<Exchange*>(*state);
        if (!exchange) {
            if (const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT))
                if (info->socket_context)
                    ++*static_cast<int*>(info->socket_context);
            exchange = new Exchange;
            *state = exchange;
            HttpRequest& r = exchange->request;
            r.method = QByteArray(method);
            r.path = QString::fromUtf8(url);
            const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
            r.peerAddress = addressText(info ? info->client_addr : nullptr);
            MHD_get_connection_values(connection, MHD_HEADER_KIND, &collectHeader, &r);
            MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, &collectArgument, &r);
            bool numeric = true;
            const QByteArray declared = r.header("content-length");
            const qint64 length = declared.isEmpty() ? 0 : declared.toLongLong(&numeric);
            if (!numeric || length < 0 || length > server->limits_.bodyBytes) {
                exchange->refused = true;
                server->log_(QString("%1 %2 %3: 413 a body of %4 bytes refused")
                                 .arg(r.peerAddress, QString::fromLatin1(r.method), r.path.left(200),
                                      QString::fromLatin1(declared.left(20))));
                return queue(connection, HttpResponse::text(413, "Request body too large\n"));
            }
            return MHD_YES;
        }
        if (*uploadSize != 0) {
            if (!exchange->refused) {
                if (exchange->request.body.size() + int64_t(*uploadSize) > server->limits_.bodyBytes) {
                    exchange->refused = true;
                    exchange->request.body.clear();
                    server->log_(QString("%1 %2 %3: 413 a body past %4 bytes refused")
                                     .arg(exchange->request.peerAddress, QString::fromLatin1(exchange->request.method),
                                          exchange->request.path.left(200))
                                     .arg(server->limits_.bodyBytes));
                    *uploadSize = 0;
                    return queue(connection, HttpResponse::text(413, "Request body too large\n"));
                }
                exchange->request.body.append(uploadData, qsizetype(*uploadSize));
            }
            *uploadSize = 0;
            return MHD_YES;
        }
        if (exchange->refused)
            return MHD_YES; // answered already
        HttpResponse response;
        try {
            response = server->handler_(exchange->request);
        } catch (...) {
            server->log_(QString("%1 %2 %3: 500 the handler failed")
                             .arg(exchange->request.peerAddress, QString::fromLatin1(exchange->request.method),
                                  exchange->request.path.left(200)));
            response = HttpResponse::text(500, "Internal error\n");
        }
        return queue(connection, std::move(response));
    }

    static void completed(void* /*cls*/, MHD_Connection*, void** state, MHD_RequestTerminationCode)
    {
        delete static_cast<Exchange*>(*state);
        *state = nullptr;
    }

    // Each connection counts the requests it brought; one closed before any could be read (a
    // request line the library could not take, or nothing sent before the idle time) is logged.
    static void connection(void* cls, MHD_Connection* connection, void** socketContext, MHD_ConnectionNotificationCode code)
    {
        auto* server = static_cast<HttpServer*>(cls);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            *socketContext = new int(0);
            return;
        }
        auto* requests = static_cast<int*>(*socketContext);
        if (requests && *requests == 0) {
            const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
            server->log_(QString("%1: a connection closed without a request that could be read (a malformed request "
                                 "line, or nothing sent in time)")
                             .arg(addressText(info ? info->client_addr : nullptr)));
        }
        delete requests;
        *socketContext = nullptr;
    }

    static void logger(void* cls, const char* format, va_list ap)
    {
        char line[512];
        std::vsnprintf(line, sizeof line, format, ap);
        static_cast<HttpServer*>(cls)->log_(QString::fromLocal8Bit(line).trimmed());
    }
};

HttpServer::HttpServer(Handler handler, Log log, Limits limits)
    : handler_(std::move(handler)), log_(std::move(log)), limits_(limits)
{
}

HttpServer::~HttpServer()
{
    stop();
}

bool HttpServer::start(const QString& address, int port, QString* error)
{
    stop();
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (port < 0 || port > 65535)
        return fail(QString("%1 is not a port").arg(port));
    sockaddr_storage bind{};
    const QByteArray host = address.trimmed().toLatin1();
    // epoll where the system has it: no limit on the numbers of the descriptors, as select has.
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_ERROR_LOG | MHD_USE_AUTO;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&bind);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&bind);
    if (inet_pton(AF_INET, host.constData(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(uint16_t(port));
    } else if (inet_pton(AF_INET6, host.constData(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(uint16_t(port));
        flags |= MHD_USE_IPv6;
    } else {
        return fail(QString("\"%1\" is not an address").arg(address));
    }
    daemon_ = MHD_start_daemon(
        flags, uint16_t(port), nullptr, nullptr, &Glue::access, this,
        MHD_OPTION_EXTERNAL_LOGGER, &Glue::logger, this,
        MHD_OPTION_SOCK_ADDR, reinterpret_cast<sockaddr*>(&bind),
        MHD_OPTION_CONNECTION_LIMIT, limits_.connections,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, limits_.connectionsPerAddress,
        MHD_OPTION_CONNECTION_TIMEOUT, limits_.idleSeconds,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, limits_.headerBytes,
        MHD_OPTION_THREAD_POOL_SIZE, limits_.threads > 1 ? limits_.threads : 0u,
        MHD_OPTION_NOTIFY_COMPLETED, &Glue::completed, this,
        MHD_OPTION_NOTIFY_CONNECTION, &Glue::connection, this,
        MHD_OPTION_END);
    if (!daemon_)
        return fail(QString("the server could not listen on %1 port %2: %3")
                        .arg(address)
                        .arg(port)
                        .arg(QString::fromLocal8Bit(std::strerror(errno))));
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
    port_ = info ? int(info->port) : port;
    return true;
}

int HttpServer::connections() const
{
    if (!daemon_)
        return 0;
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_CURRENT_CONNECTIONS);
    return info ? int(info->num_connections) : 0;
}

void HttpServer::stop()
{
    if (daemon_) {
        MHD_stop_daemon(daemon_);
        daemon_ = nullptr;
    }
    port_ = 0;
}

} // namespace tamblor::web
