#include "studio/TakeReading.h"
#include "audio/files/Loudness.h"
#include "audio/format/SndFileReader.h"
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <cmath>
#include <mutex>
#include <sndfile.h>
#include <vector>

namespace tamblor {

namespace {

// Samples at or beyond the largest 16-bit value are full scale (libsndfile gives 16-bit
// samples as n / 32768).
constexpr float FullScale = 32767.0f / 32768.0f;

std::mutex passesLock;
QHash<QString, int>& passes()
{
    static QHash<QString, int> counts;
    return counts;
}

QString passKey(const QString& nativePath)
{
    return QDir::cleanPath(QFileInfo(nativePath).absoluteFilePath());
}

// A figure as a take's row keeps it: -inf (silence) as it is; nothing only for a value that
// could not be worked out.
std::optional<double> kept(double v)
{
    return std::isnan(v) ? std::nullopt : std::optional<double>(v);
}

} // namespace

store::TakeFigures TakeReading::figures() const
{
    store::TakeFigures f;
    f.frames = frames;
    f.sampleRate = sampleRate;
    f.channels = channels;
    f.peakDbfs = kept(peakDbfs);
    f.integratedLufs = kept(integratedLufs);
    f.lraLu = kept(lraLu);
    f.truePeakDbtp = kept(truePeakDbtp);
    f.longestSilenceS = kept(longestSilenceS);
    f.silenceBelowDbfs = silenceBelowDbfs;
    f.clippedRuns = clippedRuns;
    return f;
}

int TakeReading::passesOver(const QString& nativePath)
{
    std::lock_guard lock(passesLock);
    return passes().value(passKey(nativePath));
}

std::optional<TakeReading> TakeReading::of(const QString& nativePath, double silenceBelowDbfs, const Progress& progress)
{
    {
        std::lock_guard lock(passesLock);
        ++passes()[passKey(nativePath)];
    }
    audio::SndFileReader reader(nativePath);
    SF_INFO info{};
    sf_command(reader.handle(), SFC_GET_CURRENT_SF_INFO, &info, sizeof(info));
    TakeReading r;
    r.sampleRate = info.samplerate;
    r.channels = info.channels;
    r.silenceBelowDbfs = silenceBelowDbfs;
    if (r.channels <= 0 || r.sampleRate <= 0)
        return r;
    audio::LoudnessMeter meter(r.channels, r.sampleRate);
    audio::SilenceSettings quiet;
    quiet.thresholdDbfs = silenceBelowDbfs;
    meter.watchSilence(quiet);
    const int64_t total = std::max<int64_t>(1, reader.frames());
    constexpr sf_count_t Block = 8192;
    std::vector<float> samples(size_t(Block) * size_t(r.channels));
    std::vector<int> fullRun(size_t(r.channels), 0);
    float peak = 0.0f;
    int last = -1;
    for (;;) {
        const sf_count_t got = sf_readf_float(reader.handle(), samples.data(), Block);
        if (got <= 0)
            break;
        for (sf_count_t f = 0; f < got; ++f) {
            for (int ch = 0; ch < r.channels; ++ch) {
                const float m = std::fabs(samples[size_t(f) * size_t(r.channels) + size_t(ch)]);
                peak = std::max(peak, m);
                int& run = fullRun[size_t(ch)];
                if (m >= FullScale) {
                    if (++run == 2)
                        ++r.clippedRuns;
                } else {
                    run = 0;
                }
            }
        }
        meter.add(samples.data(), size_t(got));
        r.frames += got;
        const int percent = int(std::min<int64_t>(100, r.frames * 100 / total));
        if (progress && percent != last && !progress(last = percent))
            return std::nullopt;
    }
    reader.throwIfReadFailed();
    const audio::LoudnessFigures figures = meter.figures();
    r.peakDbfs = peak > 0.0f ? 20.0 * std::log10(double(peak)) : -std::numeric_limits<double>::infinity();
    r.integratedLufs = figures.integratedLufs;
    r.lraLu = figures.rangeLu;
    r.truePeakDbtp = figures.truePeakDbtp;
    r.longestSilenceS = figures.longestSilenceSeconds;
    return r;
}

} // namespace tamblor
