#include "PlaybackEdges.h"
#include <QtGlobal>
#include <algorithm>
#include <cmath>
#include <random>
#include <soxr.h>

namespace tamblor::audio::measure {

namespace {

constexpr float Loud = 4000.0f; // well below the noise's 8000, far above silence

// The position of `stretch` (length w) in `signal` with the highest normalized correlation;
// of equal ones the last when `latest`, else the first. (An ADPCM file fills its last block up
// with what the block before held there, so a stretch near the end can be there twice.)
qint64 locate(const std::vector<float>& signal, const float* stretch, qint64 w, bool latest, double& match)
{
    double energy = 0;
    for (qint64 k = 0; k < w; ++k)
        energy += double(stretch[k]) * stretch[k];
    qint64 best = -1;
    match = -1;
    for (qint64 p = 0; p + w <= qint64(signal.size()); ++p) {
        double dot = 0, e = 0;
        for (qint64 k = 0; k < w; ++k) {
            dot += double(signal[size_t(p + k)]) * stretch[k];
            e += double(signal[size_t(p + k)]) * signal[size_t(p + k)];
        }
        const double c = dot / std::sqrt(e * energy + 1e-9);
        if (c > match || (latest && c == match)) {
            match = c;
            best = p;
        }
    }
    return best;
}

qint64 firstLoud(const std::vector<float>& s)
{
    for (size_t i = 0; i < s.size(); ++i)
        if (std::fabs(s[i]) > Loud)
            return qint64(i);
    return -1;
}

qint64 lastLoud(const std::vector<float>& s)
{
    for (size_t i = s.size(); i-- > 0;)
        if (std::fabs(s[i]) > Loud)
            return qint64(i);
    return -1;
}

} // namespace

std::vector<int16_t> edgeNoise(size_t frames, int channels, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> magnitude(8000, 16000);
    std::vector<int16_t> s(frames * size_t(channels));
    for (int16_t& v : s)
        v = int16_t((random() & 1) ? magnitude(random) : -magnitude(random));
    return s;
}

QString Edges::text(int fileRate) const
{
    if (!heard)
        return QStringLiteral("nothing heard");
    return QStringLiteral("missing %1 frames (%2 ms) at the start, %3 (%4 ms) at the end, middle %5, match %6/%7")
        .arg(missingStart)
        .arg(missingStart * 1000.0 / fileRate, 0, 'f', 1)
        .arg(missingEnd)
        .arg(missingEnd * 1000.0 / fileRate, 0, 'f', 1)
        .arg(middle)
        .arg(matchStart, 0, 'f', 2)
        .arg(matchEnd, 0, 'f', 2);
}

Edges findEdges(const std::vector<int16_t>& recording, int recordingRate, const std::vector<int16_t>& file,
                int fileRate, int channels)
{
    Edges edges;
    std::vector<float> heard(recording.size() / 2);
    for (size_t i = 0; i < heard.size(); ++i)
        heard[i] = recording[2 * i];
    if (recordingRate != fileRate) {
        std::vector<float> converted(size_t(double(heard.size()) * fileRate / recordingRate) + 64);
        size_t done = 0;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        soxr_oneshot(recordingRate, fileRate, 1, heard.data(), heard.size(), nullptr, converted.data(),
                     converted.size(), &done, &io, &quality, nullptr);
        converted.resize(done);
        heard.swap(converted);
    }
    std::vector<float> played(file.size() / size_t(channels));
    for (size_t i = 0; i < played.size(); ++i)
        played[i] = file[i * size_t(channels)];

    const qint64 on = firstLoud(heard), off = lastLoud(heard);
    const qint64 fileOn = firstLoud(played), fileOff = lastLoud(played);
    // 20 ms stretches, 3 ms inside the marks (clear of the converters' smear at the edges).
    const qint64 w = std::max<qint64>(64, fileRate / 50);
    const qint64 inside = std::max<qint64>(8, fileRate * 3 / 1000);
    if (on < 0 || fileOn < 0 || off - on + 1 < w + 2 * inside)
        return edges;
    edges.heard = true;
    const qint64 first = locate(played, &heard[size_t(on + inside)], w, false, edges.matchStart) - inside;
    const qint64 last = locate(played, &heard[size_t(off - inside - w + 1)], w, true, edges.matchEnd) + w - 1 + inside;
    edges.missingStart = first - fileOn;
    edges.missingEnd = fileOff - last;
    edges.middle = (off - on) - (last - first);
    return edges;
}

} // namespace tamblor::audio::measure
