// Timing of the file tools against peers, on one generated hour of 44100 Hz 16-bit stereo:
//   block extremes scan   vs a plain scalar loop
//   44100 -> 22050        vs sox in.wav -r 22050 out.wav (goal: at most 0.25 of sox's time),
//                            and vs libsoxr alone on the hour in memory (the limit of the
//                            design); its quality: a 15 kHz tone beside 1 kHz leaves nothing
//                            above -120 dB at 7050 Hz, where it would fold down; and the file
//                            of the one-thread chain compared with the overlapped chain's
//   normalize in place    vs sox --norm in.wav out.wav then on the disk (goal: at most 0.12)
//   each also against its peer plain and made as safe (the result on the disk when done),
//   three rounds side by side, judged on the median
// A peer counts only when it exited with 0 and left an output of the expected size; otherwise
// the line says "peer failed" instead of a ratio.
//   loudness (R128) of the hour vs ffmpeg -af ebur128=peak=true (LoudnessBench.cpp)
//   the longest the user-interface thread goes without answering events while the normalize and
//   send-to windows' jobs work on the hour (goal: at most 50 ms each)
//   what the live loudness meter costs the user-interface thread per second of stereo 48 kHz
//   (goal: at most 1 ms) beside the same measuring all on that thread (LiveLoudnessBench.cpp)
// Each line states the machine's load average, since other work on the machine moves the times.
// Usage: bench_audio_files <work folder> [--keep] [--normalize] [--convert] [--loudness] [--stalls]
// [--live] [--ours]. The files are deleted afterwards unless kept; --normalize times only the peak
// normalize against sox, --convert only the conversion and its quality, --loudness only the
// loudness, --stalls only the windows' stalls, --live only the live loudness meter (it needs no
// hour), --ours only one conversion of ours (to run under a profiler).
#include "audio/core/ThreadRole.h"
#include "audio/files/AudioFileReader.h"
#include "audio/files/FormatConverter.h"
#include "audio/files/MemMapFile.h"
#include "audio/files/Normalize.h"
#include "audio/files/TriggerPump.h"
#include "audio/files/WaveFile.h"
#include "audio/files/WaveFileWriter.h"
#include "audio/files/WaveHelper.h"
#include "LiveLoudnessBench.h"
#include "LoudnessBench.h"
#include "audio/files/OverlappedResampler.h"
#include "audio/files/ResamplerSetup.h"
#include "bench/support/PeerRun.h"
#include "WindowStalls.h"
#include "../StallProbe.h"
#include "platform/Failure.h"
#include "platform/NativeFile.h"
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdlib.h>
#include <sys/resource.h>
#include <functional>
#include <random>
#include <soxr.h>
#include <thread>
#include <vector>

using namespace tamblor;
using namespace tamblor::audio;

namespace {

double seconds(const std::function<void()>& work)
{
    const auto t0 = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double best(int runs, const std::function<void()>& work)
{
    double b = 1e30;
    for (int i = 0; i < runs; ++i)
        b = std::min(b, seconds(work));
    return b;
}

// Processor time of this process so far, all threads, user and system.
double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double load()
{
    double l[1] = {0};
    return getloadavg(l, 1) == 1 ? l[0] : -1;
}

// Level in dB of full scale of one frequency (Goertzel).
double levelAt(const std::vector<double>& samples, int rate, double hz)
{
    const size_t n = samples.size();
    const double w = 2 * M_PI * hz / rate, c = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (size_t i = 0; i < n; ++i) {
        // A Hann window keeps the 1 kHz tone's leakage far below the level being looked for.
        const double x = samples[i] * (0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(n)));
        const double s0 = x + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
    const double amplitude = 2 * std::sqrt(std::max(power, 1e-300)) / (double(n) * 0.5);
    return 20 * std::log10(amplitude);
}

// The send window's chain, converting `in` to 22050 into `out`.
struct SendChain {
    AudioFileReader reader;
    ChainLinks links;
    WaveFileWriter writer;
    FormatConverter converter{links};
    TriggerPump pump{reader, links};
    SendChain(const QString& in, const QString& out, bool overlapped)
    {
        links.add(writer);
        links.add(converter);
        reader.setFileName(in);
        converter.setDestinationFormat(derivedFormat(22050, reader.format()));
        converter.setOverlapped(overlapped);
        pump.setOutput("ACMConverter");
        writer.setFileName(out);
    }
};

// Converts `in` to 22050 through the send window's chain into `out`; false (and a message) when
// the conversion failed.
bool convert(const QString& in, const QString& out, bool overlapped = true)
{
    SendChain chain(in, out, overlapped);
    QEventLoop loop;
    QObject::connect(&chain.pump, &TriggerPump::finished, &loop, &QEventLoop::quit);
    chain.pump.start();
    loop.exec();
    if (chain.pump.failure())
        std::fprintf(stderr, "conversion failed: %s\n", chain.pump.failure()->what());
    return !chain.pump.failure();
}

// How long the send window's Close waits for a conversion of the hour to stop (the pump's
// stop, with every stage's thread joined), 0.5 s after it started; three tries.
void benchCancel(const QString& path, const QString& folder)
{
    const QString out = folder + "/cancelled22.wav";
    std::vector<double> waits;
    for (int i = 0; i < 3; ++i) {
        SendChain chain(path, out, true);
        chain.pump.start();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        waits.push_back(seconds([&] { chain.pump.stop(); }) * 1000);
        chain.writer.abort();
        QFile::remove(out);
    }
    std::printf("cancel of the hour's conversion: stop returned after %.1f ms (median of 3; worst %.1f ms)   "
                "goal < 100 ms: %s   (load %.2f)\n",
                bench::median(waits), *std::max_element(waits.begin(), waits.end()),
                *std::max_element(waits.begin(), waits.end()) < 100 ? "met" : "MISSED", load());
}

void benchQuality(const QString& folder)
{
    // 24-bit, so that the source's own rounding (spurs of a periodic signal at 16 bits) does not
    // hide what the resampler lets through.
    const QString in = folder + "/tones.wav", out = folder + "/tones22.wav";
    {
        WaveFile w;
        const int rate = 44100;
        w.create(in, WaveFormat::pcm(rate, 2, 24));
        std::vector<uint8_t> block(size_t(6 * rate));
        for (int s = 0; s < 10; ++s) {
            for (int i = 0; i < rate; ++i) {
                const double t = double(s * rate + i) / rate;
                const auto v = int32_t(std::lround(0.42 * 8388607 * (std::sin(2 * M_PI * 1000 * t) + std::sin(2 * M_PI * 15000 * t))));
                for (int c = 0; c < 2; ++c)
                    for (int b = 0; b < 3; ++b)
                        block[size_t(6 * i + 3 * c + b)] = uint8_t(v >> (8 * b));
            }
            w.write(block.data(), int64_t(block.size()));
        }
        w.close();
    }
    convert(in, out);
    WaveFile w;
    w.setFileName(out);
    std::vector<uint8_t> bytes(size_t(w.dataSize()));
    w.read(bytes.data(), w.dataSize());
    std::vector<double> left(bytes.size() / 6);
    for (size_t i = 0; i < left.size(); ++i)
        left[i] = double(int32_t(uint32_t(bytes[6 * i]) << 8 | uint32_t(bytes[6 * i + 1]) << 16
                                 | uint32_t(bytes[6 * i + 2]) << 24) >> 8) / 8388608.0;
    const double fold = levelAt(left, 22050, 7050), tone = levelAt(left, 22050, 1000);
    std::printf("44100 -> 22050 quality (24-bit): 1 kHz at %.1f dB, 15 kHz folded to 7050 Hz at %.1f dB   goal < -120 dB: "
                "%s\n",
                tone, fold, fold < -120 ? "met" : "MISSED");
    QFile::remove(in);
    QFile::remove(out);
}

void runOrDie(const QString& command)
{
    if (std::system(command.toLocal8Bit().constData()) != 0) {
        std::fprintf(stderr, "failed: %s\n", qPrintable(command));
        std::exit(1);
    }
}

// One hour of a gliding tone with a little noise, amplitude rising over the hour.
void generate(const QString& path)
{
    WaveFile w;
    const int rate = 44100;
    w.create(path, WaveFormat::pcm(rate, 2, 16));
    std::mt19937 rng(1);
    std::vector<int16_t> block(2 * rate);
    double phase = 0;
    for (int s = 0; s < 3600; ++s) {
        const double amp = 2000 + 10000.0 * s / 3600;
        const double hz = 200 + (s % 60) * 20;
        for (int i = 0; i < rate; ++i) {
            phase += 2 * M_PI * hz / rate;
            const double v = amp * std::sin(phase) + int(rng() % 201) - 100;
            block[2 * i] = int16_t(v);
            block[2 * i + 1] = int16_t(-v * 0.8);
        }
        w.write(block.data(), int64_t(block.size() * 2));
    }
    w.close();
}

// The peer: the obvious loop, kept scalar so it shows what the vector loops gain.
__attribute__((noinline, optimize("no-tree-vectorize"))) void naiveExtremes(
    const int16_t* s, int64_t frames, int16_t out[4])
{
    int16_t a = 32767, b = -32768, c = 32767, d = -32768;
    for (int64_t i = 0; i < frames; ++i) {
        if (s[2 * i] < a) a = s[2 * i];
        if (s[2 * i] > b) b = s[2 * i];
        if (s[2 * i + 1] < c) c = s[2 * i + 1];
        if (s[2 * i + 1] > d) d = s[2 * i + 1];
    }
    out[0] = a; out[1] = b; out[2] = c; out[3] = d;
}

void benchExtremes(const QString& path)
{
    WaveFile w;
    w.setFileName(path);
    MemMapFile map;
    map.setFileName(path);
    const uint8_t* data = map.address() + w.dataOffset();
    const int64_t bytes = w.dataSize();
    // Touch every page first so that both loops read memory, not page faults.
    volatile uint8_t sink = 0;
    for (int64_t i = 0; i < bytes; i += 4096)
        sink = sink + data[i];

    BlockExtremes mine;
    const double tMine = best(5, [&] {
        int64_t n = bytes;
        mine = blockExtremes(w.format(), data, n);
    });
    // The editor's way: one call per display column (1000 columns over the hour).
    const double tColumns = best(5, [&] {
        const int64_t step = bytes / 1000 / 4 * 4;
        for (int c = 0; c < 1000; ++c) {
            int64_t n = step;
            const BlockExtremes e = blockExtremes(w.format(), data + c * step, n);
            sink = sink + uint8_t(e.max1);
        }
    });
    int16_t peer[4];
    const double tPeer = best(3, [&] {
        naiveExtremes(reinterpret_cast<const int16_t*>(data), bytes / 4, peer);
    });
    if (mine.min1 != peer[0] || mine.max1 != peer[1] || mine.min2 != peer[2] || mine.max2 != peer[3])
        std::fprintf(stderr, "block extremes disagree with the plain loop!\n");
    const double gb = bytes / 1e9;
    std::printf("block extremes: %.2f GB/s (one call), %.2f GB/s (1000 columns); "
                "plain loop %.2f GB/s; ratio %.1fx\n",
                gb / tMine, gb / tColumns, gb / tPeer, tPeer / tMine);
}

// Waits until the file is on the disk, as the program's own replacing of a file does.
void syncToDisk(const QString& path) { NativeFile::open(path, NativeFile::Mode::Update).sync(); }

// libsoxr alone at the chain's quality on the hour held in memory (decoded first), resampled
// block by block into one reused buffer: all channels in one resampler on one thread, and each
// channel in a resampler of its own on a thread of its own. Nothing is read or written: the
// limit of a chain built around libsoxr.
struct SoxrAlone {
    double oneThread = 0, channelThreads = 0;
};

SoxrAlone timeSoxrAlone(const QString& path)
{
    AudioFileReader reader;
    reader.setFileName(path);
    const int channels = reader.format().channels, rate = reader.format().sampleRate;
    std::vector<int32_t> all(size_t(reader.frames()) * size_t(channels));
    for (int64_t done = 0, got; (got = reader.readFrames(all.data() + done * channels, 1 << 20)) > 0;)
        done += got;
    const size_t frames = size_t(reader.frames());
    const size_t block = OverlappedResampler::kBlockFrames;
    const auto run = [&](soxr* r, const int32_t* in, int perFrame) {
        std::vector<int32_t> out((block + 8192) * size_t(perFrame));
        const size_t room = out.size() / size_t(perFrame);
        for (size_t at = 0; at < frames;) {
            const size_t n = std::min(block, frames - at);
            size_t used = 0, done = 0;
            soxr_process(r, in + at * size_t(perFrame), n, &used, out.data(), room, &done);
            at += used;
        }
        size_t used = 0, done = 0;
        do
            soxr_process(r, nullptr, 0, &used, out.data(), room, &done);
        while (done > 0);
        soxr_delete(r);
    };
    SoxrAlone t;
    t.oneThread = seconds([&] { run(createResampler(rate, 22050, channels, 1), all.data(), channels); });
    std::vector<std::vector<int32_t>> split(static_cast<size_t>(channels));
    for (auto& channel : split)
        channel.resize(frames);
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            split[size_t(c)][i] = all[i * size_t(channels) + size_t(c)];
    all = {};
    t.channelThreads = seconds([&] {
        std::vector<std::thread> threads;
        for (int c = 0; c < channels; ++c)
            threads.emplace_back([&, c] { run(createResampler(rate, 22050, 1, 1), split[size_t(c)].data(), 1); });
        for (std::thread& th : threads)
            th.join();
    });
    return t;
}

// The one-thread chain and the overlapped one write the same file for the hour.
void compareWithOneThread(const QString& path, const QString& folder)
{
    const QString a = folder + "/overlapped22.wav", b = folder + "/onethread22.wav";
    double tOne = 0;
    const bool ok = convert(path, a) && (tOne = seconds([&] { convert(path, b, false); }), true);
    if (!ok) {
        std::printf("44100 -> 22050 on one thread: conversion failed\n");
        return;
    }
    QFile fa(a), fb(b);
    fa.open(QIODevice::ReadOnly);
    fb.open(QIODevice::ReadOnly);
    bool same = fa.size() == fb.size();
    while (same && !fa.atEnd())
        same = fa.read(1 << 22) == fb.read(1 << 22);
    std::printf("44100 -> 22050 on one thread (the chain before the stages overlapped): %.2f s; the overlapped "
                "chain's file is %s\n",
                tOne, same ? "byte for byte the same" : "DIFFERENT");
    QFile::remove(a);
    QFile::remove(b);
}

void benchConvert(const QString& path, const QString& folder)
{
    const QString ours = folder + "/ours22.wav", sox = folder + "/sox22.wav";
    // What sox must leave: the hour at 22050, 16-bit stereo, give or take a header and a block.
    AudioFileReader source;
    source.setFileName(path);
    const int64_t expected = 44 + source.frames() / 2 * 4;
    const bench::PeerOutput soxOutput = bench::PeerOutput::about(sox, expected, 1 << 20);
    const QString soxCommand = QString("sox '%1' -r 22050 '%2'").arg(path, sox);
    const auto oursOk = [&] { return std::abs(QFileInfo(ours).size() - expected) < (1 << 20); };

    const SoxrAlone alone = timeSoxrAlone(path);
    // Side by side, three rounds; each round times ours and sox once, plain and then with
    // each output on the disk before the clock stops (as the send window does).
    for (const bool synced : {false, true}) {
        std::vector<double> tOurs, tSox, ratios;
        bench::PeerTime peer;
        peer.ok = true;
        bool oursFailed = false;
        for (int round = 0; round < 3; ++round) {
            runOrDie("sync");
            const double t = seconds([&] {
                oursFailed |= !convert(path, ours);
                if (synced)
                    syncToDisk(ours);
            });
            oursFailed |= !oursOk();
            QFile::remove(ours);
            runOrDie("sync");
            const bench::PeerTime p = bench::timePeer(soxCommand, soxOutput, [&] {
                if (synced)
                    syncToDisk(sox);
            });
            QFile::remove(sox);
            std::printf("  round %d%s: ours %.2f s, sox %.2f s; %s   (load %.2f)\n", round + 1,
                        synced ? " (on the disk)" : "", t, p.seconds, qPrintable(bench::ratioText(t, p)), load());
            if (!p.ok)
                peer = p;
            tOurs.push_back(t);
            tSox.push_back(p.seconds);
            ratios.push_back(t / p.seconds);
        }
        if (oursFailed) {
            std::printf("44100 -> 22050: OURS FAILED\n");
            continue;
        }
        const double mOurs = bench::median(tOurs), ratio = bench::median(ratios);
        peer.seconds = bench::median(tSox);
        std::printf("44100 -> 22050%s, median of 3: ours %.2f s, sox %.2f s; %s   %s\n",
                    synced ? ", each then on the disk" : "", mOurs, peer.seconds,
                    qPrintable(peer.ok ? QString("ratio %1").arg(ratio, 0, 'f', 3) : bench::ratioText(mOurs, peer)),
                    qPrintable(synced ? QString() : bench::goalText(ratio, 0.25, peer)));
        if (!synced)
            std::printf("   against libsoxr alone on memory: %.2f s on one thread, ratio %.2f; %.2f s with a thread "
                        "per channel, ratio %.2f   (load %.2f)\n",
                        alone.oneThread, mOurs / alone.oneThread, alone.channelThreads,
                        mOurs / alone.channelThreads, load());
    }
    compareWithOneThread(path, folder);
    benchCancel(path, folder);
}

void benchNormalize(const QString& path, const QString& folder)
{
    ThreadRoleScope worker(ThreadRole::Worker); // the normalizer runs on a job's worker thread
    const QString copy = folder + "/norm.wav", sox = folder + "/soxnorm.wav";
    const bench::PeerOutput soxOutput = bench::PeerOutput::about(sox, QFileInfo(path).size(), 1 << 20);
    const QString soxCommand = QString("sox --norm '%1' '%2'").arg(path, sox);
    // Three rounds side by side: ours in place (its result is on the disk when it returns),
    // sox --norm, and sox --norm with its output then on the disk (the peer made as safe).
    std::vector<double> tOurs, ratios, safeRatios;
    bench::PeerTime peer, safePeer;
    peer.ok = safePeer.ok = true;
    std::vector<double> tSox, tSafe;
    for (int round = 0; round < 3; ++round) {
        QFile::remove(copy);
        QFile::copy(path, copy);
        QString p = copy;
        runOrDie("sync");
        const double t = seconds([&] { NormalizeFile(p, 100); });
        const bench::PeerTime plain = bench::timePeer(soxCommand, soxOutput);
        runOrDie("sync");
        const bench::PeerTime safe = bench::timePeer(soxCommand, soxOutput, [&] { syncToDisk(sox); });
        QFile::remove(sox);
        std::printf("  round %d: ours %.2f s, sox --norm %.2f s (%s), then on the disk %.2f s (%s)   (load %.2f)\n",
                    round + 1, t, plain.seconds, qPrintable(bench::ratioText(t, plain)), safe.seconds,
                    qPrintable(bench::ratioText(t, safe)), load());
        if (!plain.ok)
            peer = plain;
        if (!safe.ok)
            safePeer = safe;
        tOurs.push_back(t);
        tSox.push_back(plain.seconds);
        tSafe.push_back(safe.seconds);
        ratios.push_back(t / plain.seconds);
        safeRatios.push_back(t / safe.seconds);
    }
    const double mOurs = bench::median(tOurs);
    peer.seconds = bench::median(tSox);
    safePeer.seconds = bench::median(tSafe);
    const double ratio = bench::median(ratios), safeRatio = bench::median(safeRatios);
    std::printf("normalize, median of 3: ours %.2f s (in place, on the disk), sox --norm %.2f s; %s\n", mOurs,
                peer.seconds, qPrintable(peer.ok ? QString("ratio %1").arg(ratio, 0, 'f', 3) : bench::ratioText(mOurs, peer)));
    std::printf("normalize against sox --norm then on the disk, median of 3: %.2f s; %s   %s   (load %.2f)\n",
                safePeer.seconds,
                qPrintable(safePeer.ok ? QString("ratio %1").arg(safeRatio, 0, 'f', 3) : bench::ratioText(mOurs, safePeer)),
                qPrintable(bench::goalText(safeRatio, 0.12, safePeer)), load());
    QFile::remove(copy);
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1); // the windows of the stall figures
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <work folder> [--keep] [--normalize] [--convert] [--loudness] [--stalls] [--live] "
                             "[--ours]\n",
                     argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QStringList options = app.arguments().mid(2);
    const bool keep = options.contains("--keep");
    const bool onlyNormalize = options.contains("--normalize");
    const bool onlyConvert = options.contains("--convert");
    const bool onlyLoudness = options.contains("--loudness");
    const bool onlyStalls = options.contains("--stalls");
    const bool onlyLive = options.contains("--live");
    const bool oursOnce = options.contains("--ours");
    QDir().mkpath(folder);
    const QString hour = folder + "/hour.wav";
    try {
        if (onlyLive) {
            benchLiveLoudness(folder, 5, 3);
            return 0;
        }
        if (!QFile::exists(hour)) {
            const double t = seconds([&] { generate(hour); });
            std::printf("generated %s (%.0f MB) in %.1f s\n", qPrintable(hour),
                        QFile(hour).size() / 1e6, t);
        }
        if (onlyStalls) {
            benchWindowStalls(hour, folder, 3);
        } else if (oursOnce) {
            const double cpu0 = cpuSeconds();
            const double t = seconds([&] { convert(hour, folder + "/ours22.wav"); });
            std::printf("44100 -> 22050, ours once: %.2f s, %.2f s of processor time on all threads   (load %.2f)\n", t,
                        cpuSeconds() - cpu0, load());
            QFile::remove(folder + "/ours22.wav");
        } else if (onlyNormalize) {
            benchNormalize(hour, folder);
        } else if (onlyLoudness) {
            benchLoudness(hour, folder);
        } else if (onlyConvert) {
            benchConvert(hour, folder);
            benchQuality(folder);
        } else {
            benchExtremes(hour);
            benchConvert(hour, folder);
            benchQuality(folder);
            benchNormalize(hour, folder);
            benchLoudness(hour, folder);
            benchWindowStalls(hour, folder, 3);
            benchLiveLoudness(folder, 5, 3);
        }
    } catch (const Failure& f) {
        std::fprintf(stderr, "%s\n", f.what());
        return 1;
    }
    if (!keep)
        QFile::remove(hour);
    return 0;
}
