#include "studio/TakeCheck.h"
#include "audio/files/Loudness.h"
#include "audio/format/SndFileReader.h"
#include <cmath>
#include <sndfile.h>
#include <vector>

namespace tamblor {

TakeCheck TakeCheck::of(const QString& nativePath)
{
    audio::SndFileReader reader(nativePath);
    SF_INFO info{};
    sf_command(reader.handle(), SFC_GET_CURRENT_SF_INFO, &info, sizeof(info));
    TakeCheck c;
    c.sampleRate = info.samplerate;
    c.channels = info.channels;
    if (c.channels <= 0 || c.sampleRate <= 0)
        return c;
    audio::LoudnessMeter meter(c.channels, c.sampleRate);
    audio::SilenceSettings quiet;
    quiet.thresholdDbfs = SilentBelowDbfs;
    meter.watchSilence(quiet);
    constexpr sf_count_t Block = 8192;
    std::vector<int16_t> samples(size_t(Block) * size_t(c.channels));
    std::vector<int> fullRun(size_t(c.channels), 0);
    int peak = 0;
    for (;;) {
        const sf_count_t got = sf_readf_short(reader.handle(), samples.data(), Block);
        if (got <= 0)
            break;
        for (sf_count_t f = 0; f < got; ++f) {
            for (int ch = 0; ch < c.channels; ++ch) {
                const int s = samples[size_t(f) * size_t(c.channels) + size_t(ch)];
                const int m = s < 0 ? -s : s;
                peak = std::max(peak, m);
                int& run = fullRun[size_t(ch)];
                if (m >= 32767) {
                    if (++run == 2)
                        ++c.clippedRuns;
                } else {
                    run = 0;
                }
            }
        }
        meter.add(samples.data(), size_t(got));
        c.frames += got;
    }
    reader.throwIfReadFailed();
    const audio::LoudnessFigures figures = meter.figures();
    c.peakDbfs = peak > 0 ? 20.0 * std::log10(double(peak) / 32768.0) : -std::numeric_limits<double>::infinity();
    c.integratedLufs = figures.integratedLufs;
    c.lraLu = figures.rangeLu;
    c.truePeakDbtp = figures.truePeakDbtp;
    c.longestSilenceS = figures.longestSilenceSeconds;
    return c;
}

} // namespace tamblor
