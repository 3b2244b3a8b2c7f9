#pragma once
// One HTTP exchange as plain values, free of the server library: the request as the server read
// it (its headers' names in lower case, the client's address as the socket gave it) and the
// answer a handler makes, with a body held in memory or read piece by piece from a source (a
// file, a decoded take) while it is sent.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace tamblor::web {

struct HttpRequest {
    QByteArray method;
    // The path as the server decoded it, without the query.
    QString path;
    std::map<QString, QString> query;
    std::map<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
    // The address of the socket's peer (a proxy's, behind one).
    QString peerAddress;

    QByteArray header(const QByteArray& lowerCaseName) const
    {
        const auto it = headers.find(lowerCaseName);
        return it == headers.end() ? QByteArray() : it->second;
    }
    QString queryValue(const QString& name) const
    {
        const auto it = query.find(name);
        return it == query.end() ? QString() : it->second;
    }
};

// Bytes read on demand while an answer is sent (on the server's threads, one reader at a time).
class BodySource {
public:
    virtual ~BodySource() = default;
    virtual int64_t size() const = 0;
    // Copies up to `max` bytes from `offset` into `into`; the count copied, 0 at the end, -1 on
    // a failure (the connection is then closed).
    virtual int64_t read(int64_t offset, char* into, int64_t max) = 0;
    // A source that is a plain file may hand the server a descriptor of its own for it (the
    // caller closes it), which the server sends from with the system's sendfile; -1 otherwise.
    virtual int duplicateDescriptor() const { return -1; }
};

struct HttpResponse {
    int status = 200;
    QByteArray contentType = "text/html; charset=utf-8";
    std::vector<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    // When set, the body is `length` bytes of the source from `offset` instead.
    std::shared_ptr<BodySource> source;
    int64_t offset = 0;
    int64_t length = 0;

    HttpResponse& header(const QByteArray& name, const QByteArray& value)
    {
        headers.emplace_back(name, value);
        return *this;
    }
    static HttpResponse text(int status, const QByteArray& text)
    {
        HttpResponse r;
        r.status = status;
        r.contentType = "text/plain; charset=utf-8";
        r.body = text;
        return r;
    }
};

} // namespace tamblor::web
