#pragma once
// A chain link that changes rate (libsoxr, at the depth the frames carry), channel count and
// encoding (the writer after it encodes to the destination format: PCM, float or MS-ADPCM).
// A change of rate runs overlapped: the channels are resampled on threads of their own and the
// next link is fed from one more, while the pump reads on. One thread can do it all instead
// (the same frames come out), to compare.
#include "audio/files/ChainLink.h"
#include "audio/files/OverlappedResampler.h"
#include <QString>
#include <memory>
#include <vector>

struct soxr;

namespace tamblor::audio {

class FormatConverter : public ChainLink {
public:
    explicit FormatConverter(const ChainLinks& links,
                             QString linkName = QStringLiteral("ACMConverter"));
    ~FormatConverter() override;

    void setDestinationFormat(const WaveFormat& format) { dest_ = format; }
    const WaveFormat& destinationFormat() const { return dest_; }
    // The next link by name ("WaveFile").
    void setOutput(const QString& name) { output_ = name; }
    QString output() const { return output_; }
    // Whether a change of rate runs on threads of its own (the default) or on the pump's.
    void setOverlapped(bool overlapped) { overlapped_ = overlapped; }
    bool overlapped() const { return overlapped_; }

    QString linkName() const override { return name_; }
    WaveFormat resolveFormat(const WaveFormat& in) const override;
    void begin(const WaveFormat& in) override;
    void push(const int32_t* frames, int64_t count) override;
    void finish() override;
    void abort() noexcept override;

private:
    void drain(const int32_t* frames, size_t count);
    void release() noexcept;

    const ChainLinks& links_;
    QString name_;
    QString output_ = QStringLiteral("WaveFile");
    WaveFormat dest_ = WaveFormat::pcm(22050, 2, 16);
    ChainLink* next_ = nullptr;
    bool overlapped_ = true;
    std::unique_ptr<OverlappedResampler> stages_; // a change of rate, overlapped
    soxr* resampler_ = nullptr;                    // a change of rate on the pump's thread
    int inChannels_ = 0;
    std::vector<int32_t> mixed_, out_;
};

} // namespace tamblor::audio
