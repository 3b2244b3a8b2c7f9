#include "LiveLoudnessBench.h"
#include "../StallProbe.h"
#include "audio/devices/FilePlayer.h"
#include "audio/devices/SampleTap.h"
#include "audio/devices/VirtualBackend.h"
#include "audio/files/WaveFile.h"
#include "audio/loudness/LoudnessEngine.h"
#include "audio/loudness/SilenceDetector.h"
#include "core/Core.h"
#include "studio/Studio.h"
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <thread>
#include <vector>

using namespace tamblor;
using namespace tamblor::audio;

namespace {

constexpr int kRate = 48000;
constexpr int kSeconds = 60;
constexpr int kTickFrames = kRate * Studio::TickMs / 1000;
constexpr int kTicksPerMinute = kSeconds * 1000 / Studio::TickMs;

// Processor time of the calling thread, in milliseconds: what the user-interface thread itself
// spends, not the time it sleeps while another thread works (nor what the machine's other work
// takes from it).
double threadMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double loadNow()
{
    double l[1] = {-1};
    return getloadavg(l, 1) == 1 ? l[0] : -1;
}

// A minute of programme: a tone gliding each second, some noise, the level rising and falling.
std::vector<int16_t> programme()
{
    std::vector<int16_t> samples(size_t(kSeconds) * kRate * 2);
    std::mt19937 rng(7);
    double phase = 0;
    for (size_t i = 0; i < samples.size() / 2; ++i) {
        const double t = double(i) / kRate;
        const double amp = 3000 + 2500 * std::sin(2 * M_PI * t / 17);
        phase += 2 * M_PI * (150 + 40 * (int(t) % 20)) / kRate;
        const double v = amp * std::sin(phase) + int(rng() % 401) - 200;
        samples[2 * i] = int16_t(v);
        samples[2 * i + 1] = int16_t(0.7 * v);
    }
    return samples;
}

// The old way: each tick the user-interface thread took what the tap held and fed the meter and
// the silence detector itself, and the panel read the meter's figures. With `minutesBefore`, the
// meter has heard that many minutes before the minute timed.
double oldWayMsPerSecond(const std::vector<int16_t>& samples, int minutesBefore)
{
    SampleTap tap;
    tap.setFormat(kRate, 2);
    tap.open();
    LoudnessEngine meter(2, kRate);
    SilenceDetector detector(2, kRate, SilenceSettings{});
    const size_t frames = samples.size() / 2;
    for (int m = 0; m < minutesBefore; ++m)
        for (size_t at = 0; at < frames; at += 4096) {
            const size_t n = std::min<size_t>(4096, frames - at);
            meter.add(samples.data() + 2 * at, n);
            detector.add(samples.data() + 2 * at, n);
        }
    const int64_t before = meter.frames();
    std::vector<int16_t> scratch(4096 * 2);
    double spent = 0, sink = 0;
    for (size_t at = 0; at + size_t(kTickFrames) * 2 <= samples.size(); at += size_t(kTickFrames) * 2) {
        tap.put(samples.data() + at, size_t(kTickFrames), 2); // the device's part, not counted
        // The same pause between ticks as the watch gets below: each tick finds the caches as
        // the rest of the program left them, not warm from the tick before.
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        const double t0 = threadMs();
        for (size_t n; (n = tap.take(scratch.data(), 4096)) > 0;) {
            meter.add(scratch.data(), n);
            sink += double(detector.add(scratch.data(), n).size());
        }
        sink += meter.reading().momentaryLufs;
        spent += threadMs() - t0;
    }
    if (sink == 12345.0) // keeps the work from being optimized away
        std::printf(" ");
    return spent / (double(meter.frames() - before) / kRate);
}

struct OursRun {
    double msPerSecond = 0;
    double heardBefore = 0; // seconds the meter had heard when the timed minute began
    double heard = 0;       // seconds of the timed minute it heard
};

// The studio's player plays the minute on the stepped virtual card; at every 50 ms the watch is
// ticked and its worker's report delivered, and only those two are timed on this thread. With
// `minutesBefore`, the file is first played round that many minutes on the same meter (taken back
// to its start before its end, so that the meter goes on; each tick waited for, not timed), and
// again during the minute timed.
OursRun oursMsPerSecond(Studio& studio, VirtualBackend& backend, const QString& file, int minutesBefore)
{
    PlaybackSession& playback = studio.playback();
    FilePlayer& player = playback.player();
    ProgrammeWatch& watch = studio.watch();
    playback.setFile(file);
    playback.handle(PlaybackSession::Event::Play);
    OursRun run;
    if (!playback.isPlaying() || player.deviceRate() != kRate) {
        std::fprintf(stderr, "the player did not play %s at %d Hz\n", qPrintable(file), kRate);
        return run;
    }
    const auto round = [&] {
        if (minutesBefore > 0 && player.positionFrames() > qint64(kSeconds - 10) * kRate)
            player.setPositionFrames(0);
    };
    for (int tick = 0; tick < minutesBefore * kTicksPerMinute; ++tick) {
        round();
        backend.advance(size_t(kTickFrames));
        watch.tick();
        watch.waitIdle();
        QCoreApplication::sendPostedEvents(); // what the event loop does with every posted event
    }
    run.heardBefore = watch.reading().seconds;
    double spent = 0;
    for (int tick = 0; tick < kTicksPerMinute && playback.isPlaying(); ++tick) {
        round();
        backend.advance(size_t(kTickFrames)); // the device's part, not counted
        // In the program the worker's report arrives through the event loop while this thread
        // does other things; here it is given a moment (not counted), and delivered as the loop
        // would just before the next tick (one that was not ready yet comes with the one after).
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        const double t0 = threadMs();
        QCoreApplication::sendPostedEvents(&watch, QEvent::MetaCall);
        watch.tick();
        spent += threadMs() - t0;
        // The loop's own part, not counted: the queue of posted events is emptied of what was
        // delivered (a delivery to one receiver leaves its place in the queue behind).
        QCoreApplication::sendPostedEvents();
    }
    const double t0 = threadMs();
    watch.waitIdle(); // the last report
    spent += threadMs() - t0;
    run.heard = watch.reading().seconds - run.heardBefore;
    playback.handle(PlaybackSession::Event::Stop);
    run.msPerSecond = run.heard > 0 ? spent / run.heard : 0;
    return run;
}

} // namespace

void benchLiveLoudness(const QString& folder, int runs, int hourRuns)
{
    const QString root = folder + "/live-root";
    QDir(root).removeRecursively();
    QDir().mkpath(root + "/C/Tamblor");
    const std::vector<int16_t> samples = programme();
    const QString file = root + "/C/Tamblor/MINUTE48.wav";
    {
        WaveFile w;
        w.create(file, WaveFormat::pcm(kRate, 2, 16));
        w.write(samples.data(), int64_t(samples.size() * 2));
        w.close();
    }

    const QByteArray saved = qgetenv("TAMBLOR_AUDIO");
    const bool hadChoice = qEnvironmentVariableIsSet("TAMBLOR_AUDIO");
    qputenv("TAMBLOR_AUDIO", "virtual"); // the stepped virtual card
    std::vector<double> ours, old, oursHour, oldHour;
    double heardLeast = 1e30, hourLeast = 1e30;
    const double loadBefore = loadNow();
    double loadBetween = 0;
    {
        Core core(root);
        Studio studio(core);
        studio.setTimerRunning(false);
        core.startUp();
        auto& backend = dynamic_cast<VirtualBackend&>(core.audio());
        for (int r = 0; r < runs; ++r) {
            const OursRun run = oursMsPerSecond(studio, backend, file, 0);
            ours.push_back(run.msPerSecond);
            heardLeast = std::min(heardLeast, run.heard);
            old.push_back(oldWayMsPerSecond(samples, 0));
        }
        loadBetween = loadNow();
        // The gated figures are worked out over every block heard at each reading: the longer
        // the take, the more each reading costs.
        for (int r = 0; r < hourRuns; ++r) {
            const OursRun run = oursMsPerSecond(studio, backend, file, 59);
            oursHour.push_back(run.msPerSecond);
            hourLeast = std::min(hourLeast, run.heardBefore);
            oldHour.push_back(oldWayMsPerSecond(samples, 59));
        }
        core.endProgram();
    }
    if (hadChoice)
        qputenv("TAMBLOR_AUDIO", saved);
    else
        qunsetenv("TAMBLOR_AUDIO");

    const double mOurs = bench::median(ours), mOld = bench::median(old);
    std::printf("live loudness on the UI thread: %.3f ms per second of audio (stereo 48 kHz; the watch's tick and "
                "delivery); the old way, all on the UI thread: %.3f ms; ratio %.3f   goal <= 1 ms: %s   (median of "
                "%d runs of %d s; processor time of the UI thread; load %.2f before, %.2f after)\n",
                mOurs, mOld, mOurs / mOld, mOurs <= 1.0 ? "met" : "MISSED", runs, kSeconds, loadBefore, loadBetween);
    std::printf("  the meter heard at least %.2f s of the %d s played in each run\n", heardLeast, kSeconds);
    const double hOurs = bench::median(oursHour), hOld = bench::median(oldHour);
    std::printf("live loudness on the UI thread after an hour on the meter: %.3f ms per second of audio; the old way "
                "%.3f ms; ratio %.3f   goal <= 1 ms: %s   (median of %d; the meter had heard at least %.1f min; "
                "load %.2f)\n",
                hOurs, hOld, hOurs / hOld, hOurs <= 1.0 ? "met" : "MISSED", hourRuns, hourLeast / 60, loadNow());
    QDir(root).removeRecursively();
}
