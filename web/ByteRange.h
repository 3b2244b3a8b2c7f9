#pragma once
// The Range header of a request for a file (RFC 9110): one range of bytes, "bytes=first-last",
// "bytes=first-" or "bytes=-suffix". More than one range, another unit, text that is not such a
// range, or numbers too large are Malformed; a range that starts past the end is Unsatisfiable
// (answered 416 with the file's size).
#include <QByteArray>
#include <cstdint>

namespace tamblor::web {

struct ByteRange {
    enum class Kind { Whole, Part, Malformed, Unsatisfiable };
    Kind kind = Kind::Whole;
    int64_t first = 0;
    int64_t last = -1; // inclusive

    int64_t length() const { return last - first + 1; }

    // The range a header asks of a body of `size` bytes (Whole when there is no header).
    static ByteRange parse(const QByteArray& header, int64_t size);
};

} // namespace tamblor::web
