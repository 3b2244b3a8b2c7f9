#include "audio/files/Normalize.h"
#include "audio/core/SampleMath.h"
#include "audio/files/FileFailure.h"
#include "audio/files/RiffReader.h"
#include "audio/files/WaveHelper.h"
#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <vector>

namespace tamblor::audio {

namespace {

constexpr int64_t kChunk = 1 << 20; // bytes per read; a multiple of every frame size

// Reports progress only when the percentage moves; false means the operator cancelled.
class ProgressReport {
public:
    ProgressReport(const NormalizeProgress& callback, int phase, int64_t total)
        : callback_(callback), phase_(phase), total_(total) {}
    bool at(int64_t done)
    {
        const int percent = total_ > 0 ? int(done * 100 / total_) : 100;
        if (percent == last_ || !callback_)
            return true;
        last_ = percent;
        return callback_(percent, phase_, 0);
    }

private:
    const NormalizeProgress& callback_;
    int phase_;
    int64_t total_;
    int last_ = -1;
};

void readExactly(QFile& file, char* dst, int64_t n)
{
    const qint64 got = file.read(dst, n);
    if (got != n)
        throw got < 0 ? fileFailure(file.error()) : Failure(Failure::InputPastEnd);
}

void writeAll(QSaveFile& file, const char* src, int64_t n)
{
    if (file.write(src, n) != n)
        throw fileFailure(file.error());
}

// Largest magnitude in the 16-bit range of one block (8-bit samples scaled by 256), over every
// channel: the samples are scanned as one channel, since the frame scan reads only the first two
// channels of a wider file and a block need not hold whole frames of it.
int blockPeak(const WaveFormat& format, const char* data, int64_t bytes)
{
    WaveFormat samples = format;
    samples.channels = 1;
    samples.blockAlign = std::max(1, format.bitsPerSample / 8);
    const BlockExtremes e = blockExtremes(samples, data, bytes);
    if (format.bitsPerSample == 8)
        return std::max({128 - e.min1, e.max1 - 128, 128 - e.min2, e.max2 - 128}) * 256;
    return std::max({-int(e.min1), int(e.max1), -int(e.min2), int(e.max2)});
}

void scale8(char* data, int64_t bytes, int gain, std::vector<int16_t>& wide)
{
    auto* p = reinterpret_cast<uint8_t*>(data);
    wide.resize(size_t(bytes));
    for (int64_t i = 0; i < bytes; ++i)
        wide[i] = int16_t((int(p[i]) - 128) * 256);
    applyGain(wide.data(), wide.size(), gain);
    for (int64_t i = 0; i < bytes; ++i)
        p[i] = uint8_t(std::min(255, (int(wide[i]) + 32768 + 128) >> 8));
}

} // namespace

bool NormalizeFile(QString& path, int percent, const NormalizeProgress& progress,
                   const FilePrompt& askForFile)
{
    if (percent < 0 || percent > 100)
        throw invalidCall(QStringLiteral("level %1 %").arg(percent));
    if (path.isEmpty()) {
        if (!askForFile)
            return false;
        path = askForFile();
        if (path.isEmpty())
            return false;
    }

    QFile source(path);
    errno = 0;
    if (!source.open(QIODevice::ReadOnly))
        throw fileFailure(source.error());
    const RiffLayout layout = RiffReader::parse(
        [&source](uint64_t offset, void* buf, size_t n) -> size_t {
            if (!source.seek(qint64(offset)))
                return 0;
            const qint64 got = source.read(static_cast<char*>(buf), qint64(n));
            return got < 0 ? 0 : size_t(got);
        },
        uint64_t(source.size()));
    const WaveFormat& format = layout.format;
    if (!format.isPcm() || (format.bitsPerSample != 8 && format.bitsPerSample != 16))
        throw invalidCall(QStringLiteral("only 8- and 16-bit PCM files can be normalized"));

    const int64_t dataSize = int64_t(layout.dataSize);
    std::vector<char> buffer(static_cast<size_t>(kChunk));

    // Phase 0: the peak.
    ProgressReport scan(progress, 0, dataSize);
    if (!scan.at(0))
        return false;
    int peak = 0;
    source.seek(qint64(layout.dataOffset));
    for (int64_t done = 0; done < dataSize;) {
        const int64_t n = std::min(kChunk, dataSize - done);
        readExactly(source, buffer.data(), n);
        peak = std::max(peak, blockPeak(format, buffer.data(), n));
        done += n;
        if (!scan.at(done))
            return false;
    }
    if (peak == 0)
        return true; // silence stays silence

    // Gain in 16.14 fixed point; the target is a share of full scale (32767).
    const double target = 32767.0 * percent / 100.0;
    const int gain = int(std::lround(target / peak * 16384.0));

    // Phase 1: everything before and after the samples is copied as it is.
    QSaveFile out(path);
    errno = 0;
    if (!out.open(QIODevice::WriteOnly))
        throw fileFailure(out.error());
    ProgressReport rewrite(progress, 1, dataSize);
    if (!rewrite.at(0))
        return false; // QSaveFile drops its temporary file unless committed
    std::vector<int16_t> wide;
    source.seek(0);
    for (int64_t left = int64_t(layout.dataOffset); left > 0;) {
        const int64_t n = std::min(kChunk, left);
        readExactly(source, buffer.data(), n);
        writeAll(out, buffer.data(), n);
        left -= n;
    }
    for (int64_t done = 0; done < dataSize;) {
        const int64_t n = std::min(kChunk, dataSize - done);
        readExactly(source, buffer.data(), n);
        if (format.bitsPerSample == 8)
            scale8(buffer.data(), n, gain, wide);
        else
            applyGain(reinterpret_cast<int16_t*>(buffer.data()), size_t(n / 2), gain);
        writeAll(out, buffer.data(), n);
        done += n;
        if (!rewrite.at(done))
            return false;
    }
    for (;;) {
        const qint64 got = source.read(buffer.data(), kChunk);
        if (got < 0)
            throw fileFailure(source.error());
        if (got == 0)
            break;
        writeAll(out, buffer.data(), got);
    }
    source.close();
    if (!out.commit())
        throw fileFailure(out.error());
    return true;
}

} // namespace tamblor::audio
