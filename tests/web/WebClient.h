#pragma once
// A plain HTTP/1.1 client over a raw loopback socket, for the web server's tests: sends the bytes
// it is given (so that a test can send anything, malformed or not) and reads the answer until the
// server closes the connection. Blocking: the tests run it beside the user-interface thread.
#include <QByteArray>
#include <QList>
#include <arpa/inet.h>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

struct WebReply {
    int status = 0; // 0 when the server closed without an answer
    std::map<QByteArray, QByteArray> headers; // names in lower case (the last of each)
    QList<QByteArray> setCookies;
    QByteArray body;
    QByteArray header(const QByteArray& name) const
    {
        const auto it = headers.find(name);
        return it == headers.end() ? QByteArray() : it->second;
    }
};

// A connected socket to the loopback port, from 127.0.0.1 or another loopback address
// (127.0.0.n), or -1.
inline int connectLoopback(int port, int from = 1)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK - 1 + uint32_t(from));
    if (from != 1 && ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return -1;
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Everything the server sends until it closes (or `timeoutMs` of silence).
inline QByteArray readAll(int fd, int timeoutMs = 15000)
{
    QByteArray all;
    char buf[65536];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            break;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        all.append(buf, qsizetype(n));
    }
    return all;
}

inline WebReply parseReply(const QByteArray& raw)
{
    WebReply r;
    const qsizetype end = raw.indexOf("\r\n\r\n");
    if (end < 0)
        return r;
    const QList<QByteArray> lines = raw.left(end).split('\n');
    const QList<QByteArray> status = lines.value(0).trimmed().split(' ');
    r.status = status.value(1).toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = lines[i].left(colon).trimmed().toLower();
        const QByteArray value = lines[i].mid(colon + 1).trimmed();
        r.headers[name] = value;
        if (name == "set-cookie")
            r.setCookies << value;
    }
    r.body = raw.mid(end + 4);
    return r;
}

// Sends `bytes` as they are and reads the answer (until the server closes, or `timeoutMs` of
// silence), from 127.0.0.`from`.
inline WebReply exchangeRaw(int port, const QByteArray& bytes, int timeoutMs = 15000, int from = 1)
{
    const int fd = connectLoopback(port, from);
    if (fd < 0)
        return {};
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += n;
    }
    const WebReply r = parseReply(readAll(fd, timeoutMs));
    ::close(fd);
    return r;
}

// A request with the given method, path, headers ("Name: value" lines) and body.
inline WebReply request(int port, const QByteArray& method, const QByteArray& path, const QList<QByteArray>& headers = {},
                        const QByteArray& body = {})
{
    QByteArray r = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
    for (const QByteArray& h : headers)
        r += h + "\r\n";
    if (!body.isEmpty() || method == "POST")
        r += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    r += "\r\n" + body;
    return exchangeRaw(port, r);
}
