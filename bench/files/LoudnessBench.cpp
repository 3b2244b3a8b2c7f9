#include "LoudnessBench.h"
#include "audio/core/ThreadRole.h"
#include "audio/files/Loudness.h"
#include "audio/files/Normalize.h"
#include "audio/files/WaveFile.h"
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <ebur128.h>
#include <sys/resource.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <vector>

using namespace tamblor;
using namespace tamblor::audio;

namespace {

double secondsOf(const std::function<void()>& work)
{
    const auto t0 = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Processor time used so far by this process and by the children it has waited for: on a
// machine shared with other work it moves less than the time on the clock.
double processorSeconds()
{
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage u{};
        getrusage(who, &u);
        total += double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

struct Timing {
    double seconds;   // on the clock
    double processor; // processor time
};

// The medians of three runs; nothing when a run fails.
std::optional<Timing> medianOfThree(const std::function<bool()>& run)
{
    std::vector<double> times, processor;
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const double before = processorSeconds();
        times.push_back(secondsOf([&] { ok = run(); }));
        processor.push_back(processorSeconds() - before);
        if (!ok)
            return std::nullopt;
    }
    std::sort(times.begin(), times.end());
    std::sort(processor.begin(), processor.end());
    return Timing{times[1], processor[1]};
}

double loadNow()
{
    double l[1] = {-1};
    return getloadavg(l, 1) == 1 ? l[0] : -1;
}

// The figures ffmpeg prints in its summary.
struct PeerFigures {
    double integrated = NAN, range = NAN, truePeak = NAN;
};

double lastNumberAfter(const QString& text, const QString& label)
{
    const QRegularExpression pattern("\\b" + label + ":\\s+(-?[0-9.]+|-inf)");
    double value = NAN;
    for (auto it = pattern.globalMatch(text); it.hasNext();) {
        const QString v = it.next().captured(1);
        value = v == "-inf" ? -INFINITY : v.toDouble();
    }
    return value;
}

bool runFfmpeg(const QString& hour, PeerFigures& figures)
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-nostdin", "-hide_banner", "-nostats", "-i", hour, "-af", "ebur128=peak=true", "-f", "null", "-"});
    if (!ffmpeg.waitForStarted() || !ffmpeg.waitForFinished(-1) || ffmpeg.exitStatus() != QProcess::NormalExit
        || ffmpeg.exitCode() != 0)
        return false;
    const QString summary = QString::fromUtf8(ffmpeg.readAllStandardError());
    figures = {lastNumberAfter(summary, "I"), lastNumberAfter(summary, "LRA"), lastNumberAfter(summary, "Peak")};
    return !std::isnan(figures.integrated);
}

// libebur128 on the same samples: the reference for the figures (and the time it takes).
LoudnessFigures reference(const QString& hour)
{
    WaveFile w;
    w.setFileName(hour);
    const int channels = w.format().channels;
    ebur128_state* st = ebur128_init(unsigned(channels), static_cast<unsigned long>(w.format().sampleRate),
                                     EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK);
    std::vector<int16_t> block(size_t(65536 * channels));
    for (int64_t left = w.dataSize(); left > 0;) {
        const int64_t n = std::min<int64_t>(left, int64_t(block.size() * 2));
        w.read(block.data(), n);
        ebur128_add_frames_short(st, block.data(), size_t(n / 2 / channels));
        left -= n;
    }
    LoudnessFigures f{};
    ebur128_loudness_global(st, &f.integratedLufs);
    ebur128_loudness_range(st, &f.rangeLu);
    double peak = 0;
    for (int c = 0; c < channels; ++c) {
        double p = 0;
        ebur128_true_peak(st, unsigned(c), &p);
        peak = std::max(peak, p);
    }
    f.truePeakDbtp = 20 * std::log10(peak);
    ebur128_destroy(&st);
    return f;
}

} // namespace

void benchLoudness(const QString& hour, const QString& folder)
{
    ThreadRoleScope worker(ThreadRole::Worker); // the normalizer runs on a job's worker thread
    LoudnessFigures ours{};
    const double loadBefore = loadNow();
    const std::optional<Timing> tOurs = medianOfThree([&] {
        ours = *measureLoudness(hour);
        return true;
    });
    PeerFigures peer;
    const std::optional<Timing> tPeer = medianOfThree([&] { return runFfmpeg(hour, peer); });
    const double loadAfter = loadNow();
    const double mine = tOurs->seconds;
    if (tPeer) {
        const double ratio = mine / tPeer->seconds;
        std::printf("loudness of the hour: ours %.2f s, ffmpeg %.2f s; ratio %.3f   goals <= 3 s: %s, ratio <= 0.2: %s   "
                    "(median of 3; load %.2f before, %.2f after)\n",
                    mine, tPeer->seconds, ratio, mine <= 3.0 ? "met" : "MISSED", ratio <= 0.2 ? "met" : "MISSED",
                    loadBefore, loadAfter);
        std::printf("  processor time: ours %.2f s, ffmpeg %.2f s; ratio %.3f\n", tOurs->processor, tPeer->processor,
                    tOurs->processor / tPeer->processor);
    } else {
        std::printf("loudness of the hour: ours %.2f s, ffmpeg -; peer failed   goal <= 3 s: %s   (median of 3; load "
                    "%.2f before, %.2f after)\n",
                    mine, mine <= 3.0 ? "met" : "MISSED", loadBefore, loadAfter);
        std::printf("  processor time: ours %.2f s\n", tOurs->processor);
    }
    std::fflush(stdout);
    LoudnessFigures ref{};
    const double tReference = secondsOf([&] { ref = reference(hour); });
    std::printf("  ours        %.2f LUFS, LRA %.2f LU, true peak %.3f dBTP\n", ours.integratedLufs, ours.rangeLu,
                ours.truePeakDbtp);
    std::printf("  libebur128  %.2f LUFS, LRA %.2f LU, true peak %.3f dBTP (%.2f s, once); differences %.3f, %.3f, "
                "%.3f   goal <= 0.05: %s\n",
                ref.integratedLufs, ref.rangeLu, ref.truePeakDbtp, tReference, ours.integratedLufs - ref.integratedLufs,
                ours.rangeLu - ref.rangeLu, ours.truePeakDbtp - ref.truePeakDbtp,
                std::max({std::fabs(ours.integratedLufs - ref.integratedLufs), std::fabs(ours.rangeLu - ref.rangeLu),
                          std::fabs(ours.truePeakDbtp - ref.truePeakDbtp)})
                        <= 0.05
                    ? "met"
                    : "MISSED");
    if (tPeer)
        std::printf("  ffmpeg      %.2f LUFS, LRA %.2f LU, true peak %.3f dBTP\n", peer.integrated, peer.range,
                    peer.truePeak);

    const QString copy = folder + "/loud.wav";
    QString p = copy;
    QFile::remove(copy);
    QFile::copy(hour, copy);
    const double tPeak = secondsOf([&] { NormalizeFile(p, 100); });
    QFile::remove(copy);
    QFile::copy(hour, copy);
    const double tLoud = secondsOf([&] { NormalizeToLoudness(p, {}); });
    std::printf("normalize to a peak %.2f s, to -23 LUFS %.2f s   (load %.2f)\n", tPeak, tLoud, loadNow());
    QFile::remove(copy);
}
