#include "audio/files/WaveCopy.h"
#include "audio/core/ThreadRole.h"
#include "audio/format/FileFailure.h"
#include <algorithm>

namespace tamblor::audio {

namespace {

// Sample bytes copied in one call, and so between two progress calls: small enough that the
// gauge moves on a file of a few megabytes and shows how far a copy came before a failure.
constexpr int64_t kPiece = 1 << 20;
// Sample bytes handed to the disk's writeback at a time while the copy goes on.
constexpr int64_t kWriteback = 16 << 20;

void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

} // namespace

WaveCopy::WaveCopy(const QString& sourcePath)
    : source_(NativeFile::open(sourcePath, NativeFile::Mode::Read))
{
    layout_ = RiffReader::parse(
        [this](uint64_t offset, void* buf, size_t n) { return source_.readAt(int64_t(offset), buf, n); },
        uint64_t(source_.size()));
    source_.adviseSequential();
}

bool WaveCopy::writeTo(NativeFile& out, const CopyProgress& progress)
{
    return writeTo(out, {{0, int64_t(layout_.dataSize)}}, progress);
}

bool WaveCopy::writeTo(NativeFile& out, const std::vector<DataRange>& kept, const CopyProgress& progress)
{
    TAMBLOR_ONLY_WORKER(); // a whole file's worth of copying: never on the user-interface thread
    const int64_t dataOffset = int64_t(layout_.dataOffset);
    const int64_t dataSize = int64_t(layout_.dataSize);
    std::vector<uint8_t> header(static_cast<size_t>(dataOffset));
    if (source_.readAt(0, header.data(), header.size()) != header.size())
        throw malformedWave(QStringLiteral("header past the end of the file"));

    // The header first, with the sizes the copy will have: a copy that ends early is still a
    // readable file (a take cut short), never one without a header.
    int64_t expected = 0;
    for (const DataRange& range : kept) {
        const int64_t from = std::clamp<int64_t>(range.from, 0, dataSize);
        expected += std::clamp<int64_t>(range.to, from, dataSize) - from;
    }
    const auto writeHeader = [&](int64_t dataBytes) {
        const int64_t end = dataOffset + dataBytes + (dataBytes % 2);
        if (end - 8 > int64_t(UINT32_MAX))
            throw Failure(Failure::DiskFull, QStringLiteral("A wave file cannot hold more than 4 GiB"));
        put32(header.data() + 4, uint32_t(end - 8));
        put32(header.data() + dataOffset - 4, uint32_t(dataBytes));
        out.writeAt(0, header.data(), header.size());
    };
    writeHeader(expected);

    // The kept sample data; a source that shrank meanwhile ends the copy where it ends.
    int64_t written = 0, lastFlush = 0;
    int64_t dealt = 0; // sample bytes copied or passed over, for the progress
    bool ended = false;
    for (const DataRange& range : kept) {
        const int64_t from = std::clamp<int64_t>(range.from, 0, dataSize);
        const int64_t to = std::clamp<int64_t>(range.to, from, dataSize);
        dealt = std::max(dealt, from);
        for (int64_t pos = from; pos < to && !ended;) {
            const int64_t want = std::min(kPiece, to - pos);
            const int64_t n = out.copyFrom(source_, dataOffset + pos, dataOffset + written, want);
            written += n;
            pos += n;
            ended = n < want;
            dealt = ended ? dataSize : pos;
            // Let the disk start on what is written while the copy goes on, so the flush at the
            // end waits for little.
            if (written - lastFlush >= kWriteback) {
                out.startWriteback(dataOffset + lastFlush, written - lastFlush);
                lastFlush = written;
            }
            if (progress && !progress(dealt))
                return false;
        }
    }
    if (progress && dealt < dataSize && !progress(dataSize))
        return false;

    // A pad byte keeps an odd data chunk word aligned; a source that ended early gets the sizes
    // of what was really copied.
    if (written % 2) {
        const uint8_t pad = 0;
        out.writeAt(dataOffset + written, &pad, 1);
    }
    if (written != expected)
        writeHeader(written);
    return true;
}

} // namespace tamblor::audio
