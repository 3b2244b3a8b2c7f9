#include "audio/files/Normalize.h"
#include "audio/core/SampleMath.h"
#include "audio/core/ThreadRole.h"
#include "audio/files/FormatText.h"
#include "audio/format/FileFailure.h"
#include "audio/format/RiffReader.h"
#include "platform/NativeFile.h"
#include "platform/SafeReplace.h"
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

namespace tamblor::audio {

namespace {

constexpr int64_t kChunk = 4 << 20; // bytes per read, rounded down to whole frames

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

int32_t get24(const uint8_t* p) { return int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) >> 8; }
void put24(uint8_t* p, int32_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16); }
void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

// The samples of one format: their largest magnitude and a gain applied in place. Every sample
// counts the same whatever its channel, so the loudest channel holds the gain down.
class SampleCodec {
public:
    explicit SampleCodec(const WaveFormat& format) : format_(format) {}

    // Largest magnitude of the samples in a block of whole frames, as a share of full scale
    // for float and in sample units for integers.
    double peak(const uint8_t* data, int64_t bytes) const
    {
        switch (kind()) {
        case U8: {
            int m = 0;
            for (int64_t i = 0; i < bytes; ++i)
                m = std::max(m, std::abs(int(data[i]) - 128));
            return m;
        }
        case I16: // the buffer is the reader's own, aligned for 16-bit samples
            return peakMagnitude(reinterpret_cast<const int16_t*>(data), size_t(bytes / 2));
        case I24: {
            int32_t m = 0;
            for (int64_t i = 0; i + 3 <= bytes; i += 3)
                m = std::max(m, std::abs(get24(data + i)));
            return m;
        }
        case I32: {
            int64_t m = 0;
            for (int64_t i = 0; i + 4 <= bytes; i += 4) {
                int32_t s;
                std::memcpy(&s, data + i, 4);
                m = std::max(m, std::abs(int64_t(s)));
            }
            return double(m);
        }
        case F32: {
            float m = 0;
            for (int64_t i = 0; i + 4 <= bytes; i += 4) {
                float s;
                std::memcpy(&s, data + i, 4);
                m = std::max(m, std::fabs(s));
            }
            return m;
        }
        case F64: {
            double m = 0;
            for (int64_t i = 0; i + 8 <= bytes; i += 8) {
                double s;
                std::memcpy(&s, data + i, 8);
                m = std::max(m, std::fabs(s));
            }
            return m;
        }
        }
        return 0;
    }

    // The largest magnitude a sample may take: the target at 100 %.
    double fullScale() const
    {
        switch (kind()) {
        case U8: return 127;
        case I16: return 32767;
        case I24: return 8388607;
        case I32: return 2147483647.0;
        default: return 1.0;
        }
    }

    // Sets the gain for samples whose largest magnitude is `peak`, never above full scale.
    // A ceiling (a loudness target's true peak) wants the gain rounded down, never up.
    void setGain(double gain, double peak, bool roundDown)
    {
        gain_ = gain;
        if (kind() == I16) {
            // 16.14 fixed point as the real-time path uses it, rounded down where rounding to
            // the nearest would push the peak past full scale.
            fixed_ = int(roundDown ? std::floor(gain_ * 16384.0) : std::lround(gain_ * 16384.0));
            while (fixed_ > 0 && ((int64_t(peak) * fixed_) >> 14) > 32767)
                --fixed_;
        }
    }

    // The gain the rewrite applies, after the rounding of the fixed-point path.
    double gain() const { return kind() == I16 ? fixed_ / 16384.0 : gain_; }

    void apply(uint8_t* data, int64_t bytes) const
    {
        switch (kind()) {
        case U8:
            for (int64_t i = 0; i < bytes; ++i) {
                const long v = std::lround((int(data[i]) - 128) * gain_);
                data[i] = uint8_t(std::clamp<long>(v, -128, 127) + 128);
            }
            break;
        case I16: // the buffer is the reader's own, aligned for 16-bit samples
            applyGain(reinterpret_cast<int16_t*>(data), size_t(bytes / 2), fixed_);
            break;
        case I24:
            for (int64_t i = 0; i + 3 <= bytes; i += 3)
                put24(data + i, int32_t(std::clamp<int64_t>(std::llround(get24(data + i) * gain_), -8388608, 8388607)));
            break;
        case I32:
            for (int64_t i = 0; i + 4 <= bytes; i += 4) {
                int32_t s;
                std::memcpy(&s, data + i, 4);
                s = int32_t(std::clamp<int64_t>(std::llround(double(s) * gain_), INT32_MIN, INT32_MAX));
                std::memcpy(data + i, &s, 4);
            }
            break;
        case F32:
            for (int64_t i = 0; i + 4 <= bytes; i += 4) {
                float s;
                std::memcpy(&s, data + i, 4);
                s = float(double(s) * gain_);
                std::memcpy(data + i, &s, 4);
            }
            break;
        case F64:
            for (int64_t i = 0; i + 8 <= bytes; i += 8) {
                double s;
                std::memcpy(&s, data + i, 8);
                s *= gain_;
                std::memcpy(data + i, &s, 8);
            }
            break;
        }
    }

private:
    enum Kind { U8, I16, I24, I32, F32, F64 };

    Kind kind() const
    {
        if (format_.isFloat())
            return format_.bitsPerSample == 64 ? F64 : F32;
        switch (format_.bitsPerSample) {
        case 8: return U8;
        case 16: return I16;
        case 24: return I24;
        default: return I32;
        }
    }

    WaveFormat format_;
    double gain_ = 1.0;
    int fixed_ = 16384;
};

// The gain chosen from what the scan found: a factor for every sample, or none to leave the
// file as it is. `roundDown` for a gain that must not pass a ceiling by rounding.
struct GainChoice {
    double factor;
    bool roundDown;
};
// Chooses from the peak (in the codec's units), the codec's full scale and the report, in
// which it notes the gain and any ceiling.
using ChooseGain = std::function<std::optional<GainChoice>(double peak, double fullScale, NormalizeReport& report)>;

double toDb(double gain) { return 20.0 * std::log10(gain); }

// The scan and the rewrite that every kind of normalizing shares. The loudness is measured
// only when `measureLoudness` asks for it.
bool normalizeWith(QString& path, const NormalizeProgress& progress, const FilePrompt& askForFile,
                   NormalizeReport* report, bool measureLoudness, const ChooseGain& chooseGain)
{
    TAMBLOR_ONLY_WORKER(); // two passes over the whole file: never on the user-interface thread
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

    NativeFile source = NativeFile::open(path, NativeFile::Mode::Read);
    const int64_t fileSize = source.size();
    const RiffLayout layout = RiffReader::parse(
        [&source](uint64_t offset, void* buf, size_t n) { return source.readAt(int64_t(offset), buf, n); },
        uint64_t(fileSize));
    const WaveFormat& format = layout.format;
    if (!format.isLinear())
        throw invalidCall(QStringLiteral("%1 is compressed; only PCM and float files can be normalized")
                              .arg(describeFormat(format).name));
    source.adviseSequential();

    const int64_t dataOffset = int64_t(layout.dataOffset);
    const int64_t dataSize = int64_t(layout.dataSize);
    const int64_t chunk = std::max<int64_t>(1, kChunk / format.blockAlign) * format.blockAlign;
    std::vector<uint8_t> buffer(static_cast<size_t>(chunk));
    const auto readData = [&](int64_t at, int64_t n) {
        if (source.readAt(dataOffset + at, buffer.data(), size_t(n)) != size_t(n))
            throw Failure(Failure::InputPastEnd);
    };

    // Phase 0: the peak, and the loudness for a loudness target.
    SampleCodec samples(format);
    std::optional<LoudnessMeter> loudness;
    if (measureLoudness)
        loudness.emplace(format.channels, int(format.sampleRate));
    ProgressReport scan(progress, 0, dataSize);
    if (!scan.at(0))
        return false;
    double peak = 0;
    for (int64_t done = 0; done < dataSize;) {
        const int64_t n = std::min(chunk, dataSize - done);
        readData(done, n);
        peak = std::max(peak, samples.peak(buffer.data(), n));
        if (loudness)
            loudness->add(format, buffer.data(), n);
        done += n;
        if (!scan.at(done))
            return false;
    }
    if (loudness) {
        r.loudness = loudness->figures();
        r.scanned = true;
    }
    if (peak == 0)
        return true; // silence stays silence
    const std::optional<GainChoice> chosen = chooseGain(peak, samples.fullScale(), r);
    if (!chosen)
        return true;
    samples.setGain(chosen->factor, peak, chosen->roundDown);
    r.gainDb = toDb(samples.gain());

    // Phase 1: a new file beside the original, which it replaces once complete and on the disk.
    // The header is kept as it is (a data chunk that claimed more than the file held gets the
    // size of what is there); so is everything after the data.
    std::vector<uint8_t> header(static_cast<size_t>(dataOffset));
    if (source.readAt(0, header.data(), header.size()) != header.size())
        throw Failure(Failure::InputPastEnd);
    uint32_t claimed;
    std::memcpy(&claimed, header.data() + dataOffset - 4, 4); // little-endian on every target
    const bool cutShort = dataOffset + int64_t(claimed) > fileSize;
    int64_t restFrom = dataOffset + dataSize, restSize = cutShort ? 0 : fileSize - restFrom;
    if (cutShort) {
        put32(header.data() + dataOffset - 4, uint32_t(dataSize));
        put32(header.data() + 4, uint32_t(dataOffset + dataSize + (dataSize & 1) - 8));
    }

    SafeReplace replace(QFileInfo(path).absoluteFilePath());
    NativeFile& out = replace.create();
    ProgressReport rewrite(progress, 1, dataSize);
    if (!rewrite.at(0))
        return false; // the working file goes with `replace`
    out.writeAt(0, header.data(), header.size());
    int64_t flushed = 0;
    for (int64_t done = 0; done < dataSize;) {
        const int64_t n = std::min(chunk, dataSize - done);
        readData(done, n);
        samples.apply(buffer.data(), n);
        out.writeAt(dataOffset + done, buffer.data(), size_t(n));
        done += n;
        // Let the disk start on what is written, so the flush at the end waits for little.
        if (done - flushed >= 4 * kChunk) {
            out.startWriteback(dataOffset + flushed, done - flushed);
            flushed = done;
        }
        if (!rewrite.at(done))
            return false;
    }
    if (cutShort && dataSize % 2) {
        const uint8_t pad = 0;
        out.writeAt(dataOffset + dataSize, &pad, 1);
    }
    if (restSize > 0 && out.copyFrom(source, restFrom, restFrom, restSize) != restSize)
        throw Failure(Failure::InputPastEnd);
    source.close();
    replace.commit();
    return true;
}

} // namespace

bool NormalizeFile(QString& path, int percent, const NormalizeProgress& progress,
                   const FilePrompt& askForFile, NormalizeReport* report)
{
    if (percent < 0 || percent > 100)
        throw invalidCall(QStringLiteral("level %1 %").arg(percent));
    return normalizeWith(path, progress, askForFile, report, false,
                         [percent](double peak, double fullScale, NormalizeReport&) {
                             return std::optional<GainChoice>({fullScale * percent / 100.0 / peak, false});
                         });
}

bool NormalizeToLoudness(QString& path, const LoudnessTarget& target, const NormalizeProgress& progress,
                         const FilePrompt& askForFile, NormalizeReport* report)
{
    if (!(target.lufs >= -70.0 && target.lufs <= 0.0) || !(target.ceilingDbtp <= 0.0))
        throw invalidCall(QStringLiteral("loudness target %1 LUFS, ceiling %2 dBTP").arg(target.lufs).arg(target.ceilingDbtp));
    return normalizeWith(path, progress, askForFile, report, true,
                         [target](double, double, NormalizeReport& r) -> std::optional<GainChoice> {
                             const LoudnessFigures& now = r.loudness;
                             if (!std::isfinite(now.integratedLufs) || !std::isfinite(now.truePeakDbtp))
                                 return std::nullopt; // below the gate: no loudness to bring anywhere
                             double db = target.lufs - now.integratedLufs;
                             if (now.truePeakDbtp + db > target.ceilingDbtp) {
                                 db = target.ceilingDbtp - now.truePeakDbtp;
                                 r.heldByCeiling = true;
                             }
                             return GainChoice{std::pow(10.0, db / 20.0), true};
                         });
}

} // namespace tamblor::audio
