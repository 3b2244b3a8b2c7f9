#include "audio/files/Loudness.h"
#include "audio/core/ThreadRole.h"
#include "audio/files/FormatText.h"
#include "audio/format/FileFailure.h"
#include "audio/format/RiffReader.h"
#include "platform/NativeFile.h"
#include <algorithm>
#include <cstring>

namespace tamblor::audio {

namespace {

int checkedChannels(int channels, int sampleRate)
{
    if (channels < 1 || sampleRate < 1)
        throw invalidCall(QStringLiteral("no loudness for %1 channels at %2 Hz").arg(channels).arg(sampleRate));
    return channels;
}

int32_t get24(const uint8_t* p) { return int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) >> 8; }

template <typename T>
T at(const uint8_t* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Sample `i` of a block of a linear format other than 16-bit, as a share of full scale.
float sampleAt(const WaveFormat& format, const uint8_t* data, size_t i)
{
    if (format.isFloat())
        return format.bitsPerSample == 64 ? float(at<double>(data + 8 * i)) : at<float>(data + 4 * i);
    switch (format.bitsPerSample) {
    case 8: return float((int(data[i]) - 128) / 128.0);
    case 24: return float(get24(data + 3 * i) / 8388608.0);
    default: return float(at<int32_t>(data + 4 * i) / 2147483648.0);
    }
}

constexpr int64_t kChunk = 4 << 20; // bytes per read, rounded down to whole frames

} // namespace

LoudnessMeter::LoudnessMeter(int channels, int sampleRate) : engine_(checkedChannels(channels, sampleRate), sampleRate) {}

void LoudnessMeter::add(const int16_t* samples, size_t frames)
{
    engine_.add(samples, frames);
    if (silence_)
        silence_->add(samples, frames);
}

void LoudnessMeter::add(const float* samples, size_t frames)
{
    engine_.add(samples, frames);
    if (silence_)
        silence_->add(samples, frames);
}

void LoudnessMeter::watchSilence(const SilenceSettings& settings)
{
    silence_.emplace(engine_.channels(), engine_.sampleRate(), settings);
}

void LoudnessMeter::add(const WaveFormat& format, const uint8_t* data, int64_t bytes)
{
    const size_t frames = size_t(bytes / format.blockAlign);
    if (format.isPcm() && format.bitsPerSample == 16) {
        add(reinterpret_cast<const int16_t*>(data), frames);
        return;
    }
    const size_t count = frames * size_t(format.channels);
    wide_.resize(count);
    for (size_t i = 0; i < count; ++i)
        wide_[i] = sampleAt(format, data, i);
    add(wide_.data(), frames);
}

LoudnessFigures LoudnessMeter::figures() const
{
    return {engine_.integratedLufs(), engine_.rangeLu(), engine_.truePeakDbtp(), engine_.samplePeakDbfs(),
            silence_ ? silence_->longestSilenceSeconds() : 0.0};
}

std::optional<LoudnessFigures> measureLoudness(const QString& path, const LoudnessProgress& progress,
                                               const std::optional<SilenceSettings>& silence)
{
    TAMBLOR_ONLY_WORKER(); // a pass over the whole file: never on the user-interface thread
    NativeFile source = NativeFile::open(path, NativeFile::Mode::Read);
    const RiffLayout layout = RiffReader::parse(
        [&source](uint64_t offset, void* buf, size_t n) { return source.readAt(int64_t(offset), buf, n); },
        uint64_t(source.size()));
    const WaveFormat& format = layout.format;
    if (!format.isLinear())
        throw invalidCall(QStringLiteral("%1 is compressed; only PCM and float files can be measured")
                              .arg(describeFormat(format).name));
    source.adviseSequential();
    LoudnessMeter meter(format.channels, format.sampleRate);
    if (silence)
        meter.watchSilence(*silence);
    const int64_t total = int64_t(layout.dataSize);
    const int64_t chunk = std::max<int64_t>(1, kChunk / format.blockAlign) * format.blockAlign;
    // 16-bit samples are read in place, so the buffer is one of 16-bit values.
    std::vector<int16_t> buffer(size_t(chunk + 1) / 2);
    auto* bytes = reinterpret_cast<uint8_t*>(buffer.data());
    int last = -1;
    for (int64_t done = 0; done < total;) {
        const int64_t n = std::min(chunk, total - done);
        if (source.readAt(int64_t(layout.dataOffset) + done, bytes, size_t(n)) != size_t(n))
            throw Failure(Failure::InputPastEnd);
        meter.add(format, bytes, n);
        done += n;
        const int percent = int(done * 100 / total);
        if (progress && percent != last && !progress(last = percent))
            return std::nullopt;
    }
    return meter.figures();
}

} // namespace tamblor::audio
