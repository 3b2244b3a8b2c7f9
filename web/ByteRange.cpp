#include "web/ByteRange.h"

namespace tamblor::web {

namespace {

// A run of 1..18 decimal digits (no sign, no blank), or -1.
int64_t digits(const QByteArray& text)
{
    if (text.isEmpty() || text.size() > 18)
        return -1;
    int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

ByteRange ByteRange::parse(const QByteArray& header, int64_t size)
{
    ByteRange r;
    r.last = size - 1;
    if (header.isEmpty())
        return r;
    const QByteArray spec = header.trimmed();
    r.kind = Kind::Malformed;
    if (!spec.startsWith("bytes="))
        return r;
    const QByteArray range = spec.mid(6).trimmed();
    const qsizetype dash = range.indexOf('-');
    if (dash < 0 || range.indexOf('-', dash + 1) >= 0 || range.contains(','))
        return r;
    const QByteArray from = range.left(dash).trimmed();
    const QByteArray to = range.mid(dash + 1).trimmed();
    if (from.isEmpty()) {
        const int64_t suffix = digits(to);
        if (suffix < 0)
            return r;
        if (suffix == 0 || size == 0) {
            r.kind = Kind::Unsatisfiable;
            return r;
        }
        r.kind = Kind::Part;
        r.first = suffix >= size ? 0 : size - suffix;
        r.last = size - 1;
        return r;
    }
    const int64_t first = digits(from);
    const int64_t last = to.isEmpty() ? size - 1 : digits(to);
    if (first < 0 || (!to.isEmpty() && last < 0) || (!to.isEmpty() && last < first))
        return r;
    if (first >= size) {
        r.kind = Kind::Unsatisfiable;
        return r;
    }
    r.kind = Kind::Part;
    r.first = first;
    r.last = std::min(last, size - 1);
    return r;
}

} // namespace tamblor::web
