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
#include <optional>
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

// Feeds the whole frames of one block to the loudness measurement.
void measureBlock(LoudnessMeter& meter, const WaveFormat& format, const char* data, int64_t bytes,
                  std::vector<int16_t>& wide)
{
    const size_t frames = size_t(bytes / format.blockAlign);
    if (format.bitsPerSample == 16) {
        meter.add(reinterpret_cast<const int16_t*>(data), frames);
        return;
    }
    const size_t count = frames * size_t(format.channels);
    wide.resize(count);
    for (size_t i = 0; i < count; ++i)
        wide[i] = int16_t((int(uint8_t(data[i])) - 128) * 256);
    meter.add(wide.data(), frames);
}

// Chooses the gain from what the scan found, in 16.14 fixed point (16384 = unity), and notes
// it in the report; no gain leaves the file as it is.
using GainChoice = std::function<std::optional<int>(int peak, NormalizeReport& report)>;

// The scan and the rewrite that every kind of normalizing shares.
bool normalizeWith(QString& path, const NormalizeProgress& progress, const FilePrompt& askForFile,
                   NormalizeReport* report, const GainChoice& chooseGain)
{
    NormalizeReport unused;
    NormalizeReport& r = report ? *report : unused;
    r = NormalizeReport{};
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
    std::vector<int16_t> wide;

    // Phase 0: the peak and the loudness, in blocks of whole frames.
    const int64_t scanChunk = kChunk - kChunk % std::max(1, format.blockAlign);
    LoudnessMeter loudness(format.channels, format.sampleRate);
    ProgressReport scan(progress, 0, dataSize);
    if (!scan.at(0))
        return false;
    int peak = 0;
    source.seek(qint64(layout.dataOffset));
    for (int64_t done = 0; done < dataSize;) {
        const int64_t n = std::min(scanChunk, dataSize - done);
        readExactly(source, buffer.data(), n);
        peak = std::max(peak, blockPeak(format, buffer.data(), n));
        measureBlock(loudness, format, buffer.data(), n, wide);
        done += n;
        if (!scan.at(done))
            return false;
    }
    r.loudness = loudness.figures();
    r.scanned = true;
    if (peak == 0)
        return true; // silence stays silence
    const std::optional<int> chosen = chooseGain(peak, r);
    if (!chosen)
        return true;
    const int gain = *chosen;

    // Phase 1: everything before and after the samples is copied as it is.
    QSaveFile out(path);
    errno = 0;
    if (!out.open(QIODevice::WriteOnly))
        throw fileFailure(out.error());
    ProgressReport rewrite(progress, 1, dataSize);
    if (!rewrite.at(0))
        return false; // QSaveFile drops its temporary file unless committed
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

double gainToDb(int gain) { return 20.0 * std::log10(gain / 16384.0); }

} // namespace

bool NormalizeFile(QString& path, int percent, const NormalizeProgress& progress,
                   const FilePrompt& askForFile, NormalizeReport* report)
{
    if (percent < 0 || percent > 100)
        throw invalidCall(QStringLiteral("level %1 %").arg(percent));
    return normalizeWith(path, progress, askForFile, report, [percent](int peak, NormalizeReport& r) {
        // Gain in 16.14 fixed point; the target is a share of full scale (32767).
        const double target = 32767.0 * percent / 100.0;
        const int gain = int(std::lround(target / peak * 16384.0));
        r.gainDb = gainToDb(gain);
        return std::optional<int>(gain);
    });
}

bool NormalizeToLoudness(QString& path, const LoudnessTarget& target, const NormalizeProgress& progress,
                         const FilePrompt& askForFile, NormalizeReport* report)
{
    if (!(target.lufs >= -70.0 && target.lufs <= 0.0) || !(target.ceilingDbtp <= 0.0))
        throw invalidCall(QStringLiteral("loudness target %1 LUFS, ceiling %2 dBTP").arg(target.lufs).arg(target.ceilingDbtp));
    return normalizeWith(path, progress, askForFile, report, [target](int, NormalizeReport& r) -> std::optional<int> {
        const LoudnessFigures& now = r.loudness;
        if (!std::isfinite(now.integratedLufs) || !std::isfinite(now.truePeakDbtp))
            return std::nullopt; // below the gate: nothing that could be brought to a loudness
        double db = target.lufs - now.integratedLufs;
        if (now.truePeakDbtp + db > target.ceilingDbtp) {
            db = target.ceilingDbtp - now.truePeakDbtp;
            r.heldByCeiling = true;
        }
        // Rounded down to the fixed-point step, so the ceiling is never passed by rounding.
        const int gain = int(std::floor(std::pow(10.0, db / 20.0) * 16384.0));
        r.gainDb = gainToDb(gain);
        return gain;
    });
}

} // namespace tamblor::audio
