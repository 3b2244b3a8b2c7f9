// Timing of the file tools against peers, on one generated hour of 44100 Hz 16-bit stereo:
//   block extremes scan   vs a plain scalar loop
//   44100 -> 22050        vs sox in.wav -r 22050 out.wav (goal: at most 0.15 of sox's time),
//                            and its quality: a 15 kHz tone beside 1 kHz leaves nothing above
//                            -120 dB at 7050 Hz, where it would fold down
//   normalize in place    vs sox --norm in.wav out.wav (goal: at most 0.12 of sox's time)
//   each of the two also against its peer made as safe: the result on the disk when done
//   loudness (R128) scan  vs the peak scan alone; loudness normalize vs peak normalize
//   the longest the user-interface thread goes without answering events while the normalize and
//   send-to windows' jobs work on the hour (goal: at most 50 ms each)
// Each line states the machine's load average, since other work on the machine moves the times.
// Usage: bench_audio_files <work folder> [--keep] [--normalize] [--convert] [--stalls]. The files
// are deleted afterwards unless kept; --normalize times only the peak normalize against sox,
// --convert only the conversion and its quality, --stalls only the windows' stalls.
#include "audio/core/ThreadRole.h"
#include "audio/files/AudioFileReader.h"
#include "audio/files/FormatConverter.h"
#include "audio/files/Loudness.h"
#include "audio/files/MemMapFile.h"
#include "audio/files/Normalize.h"
#include "audio/files/TriggerPump.h"
#include "audio/files/WaveFile.h"
#include "audio/files/WaveFileWriter.h"
#include "audio/files/WaveHelper.h"
#include "WindowStalls.h"
#include "platform/Failure.h"
#include "platform/NativeFile.h"
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdlib.h>
#include <functional>
#include <random>
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

// Converts `in` to 22050 through the send window's chain into `out`.
void convert(const QString& in, const QString& out)
{
    AudioFileReader reader;
    ChainLinks links;
    WaveFileWriter writer;
    FormatConverter converter(links);
    links.add(writer);
    links.add(converter);
    TriggerPump pump(reader, links);
    reader.setFileName(in);
    converter.setDestinationFormat(derivedFormat(22050, reader.format()));
    pump.setOutput("ACMConverter");
    writer.setFileName(out);
    QEventLoop loop;
    QObject::connect(&pump, &TriggerPump::finished, &loop, &QEventLoop::quit);
    pump.start();
    loop.exec();
    if (pump.failure())
        std::fprintf(stderr, "conversion failed: %s\n", pump.failure()->what());
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

void benchConvert(const QString& path, const QString& folder)
{
    const QString ours = folder + "/ours22.wav", sox = folder + "/sox22.wav";
    runOrDie("sync");
    const double tOurs = best(2, [&] { convert(path, ours); });
    const double tSox = best(2, [&] {
        runOrDie(QString("sox '%1' -r 22050 '%2'").arg(path, sox));
    });
    std::printf("44100 -> 22050: ours %.2f s, sox %.2f s; ratio %.3f   goal <= 0.15: %s   (load %.2f)\n", tOurs,
                tSox, tOurs / tSox, tOurs / tSox <= 0.15 ? "met" : "MISSED", load());
    // The send window also waits for its copy to be on the disk before it takes the name.
    runOrDie("sync");
    const double tOursSynced = best(2, [&] { convert(path, ours); syncToDisk(ours); });
    const double tSoxSynced = best(2, [&] {
        runOrDie(QString("sox '%1' -r 22050 '%2'").arg(path, sox));
        syncToDisk(sox);
    });
    std::printf("44100 -> 22050, each then on the disk: ours %.2f s, sox %.2f s; ratio %.3f   (load %.2f)\n",
                tOursSynced, tSoxSynced, tOursSynced / tSoxSynced, load());
    QFile::remove(ours);
    QFile::remove(sox);
}

void benchNormalize(const QString& path, const QString& folder)
{
    ThreadRoleScope worker(ThreadRole::Worker); // the normalizer runs on a job's worker thread
    const QString copy = folder + "/norm.wav", sox = folder + "/soxnorm.wav";
    double tOurs = 1e30;
    for (int i = 0; i < 2; ++i) {
        QFile::remove(copy);
        QFile::copy(path, copy);
        QString p = copy;
        tOurs = std::min(tOurs, seconds([&] { NormalizeFile(p, 100); }));
    }
    const double tSox = best(2, [&] { runOrDie(QString("sox --norm '%1' '%2'").arg(path, sox)); });
    std::printf("normalize: ours %.2f s (in place, on the disk), sox --norm %.2f s; ratio %.3f   goal <= 0.12: %s   "
                "(load %.2f)\n",
                tOurs, tSox, tOurs / tSox, tOurs / tSox <= 0.12 ? "met" : "MISSED", load());
    // The peer made as safe: its result on the disk before it counts as done.
    const double tSoxSynced = best(2, [&] {
        runOrDie(QString("sox --norm '%1' '%2'").arg(path, sox));
        syncToDisk(sox);
    });
    std::printf("normalize against sox --norm then on the disk: %.2f s; ratio %.3f   (load %.2f)\n", tSoxSynced,
                tOurs / tSoxSynced, load());
    QFile::remove(copy);
    QFile::remove(sox);
}

void benchLoudness(const QString& path, const QString& folder)
{
    ThreadRoleScope worker(ThreadRole::Worker); // the normalizer runs on a job's worker thread
    WaveFile w;
    w.setFileName(path);
    MemMapFile map;
    map.setFileName(path);
    const auto* data = reinterpret_cast<const int16_t*>(map.address() + w.dataOffset());
    const size_t frames = size_t(w.dataSize() / 4);
    LoudnessFigures f{};
    const double tMeasure = best(2, [&] {
        LoudnessMeter m(2, 44100);
        for (size_t done = 0; done < frames; done += 65536)
            m.add(data + 2 * done, std::min<size_t>(65536, frames - done));
        f = m.figures();
    });
    const double tPeaks = best(3, [&] {
        int64_t n = w.dataSize();
        blockExtremes(w.format(), map.address() + w.dataOffset(), n);
    });
    std::printf("loudness of the hour: %.1f LUFS, LRA %.1f LU, true peak %.1f dBTP in %.2f s (%.0fx real "
                "time); the peak scan alone %.2f s\n",
                f.integratedLufs, f.rangeLu, f.truePeakDbtp, tMeasure, 3600.0 / tMeasure, tPeaks);
    const QString copy = folder + "/loud.wav";
    double tPeak = 1e30, tLoud = 1e30;
    for (int i = 0; i < 1; ++i) { // once: the true peak makes a loudness run take a minute
        QFile::remove(copy);
        QFile::copy(path, copy);
        QString p = copy;
        tPeak = std::min(tPeak, seconds([&] { NormalizeFile(p, 100); }));
        QFile::remove(copy);
        QFile::copy(path, copy);
        tLoud = std::min(tLoud, seconds([&] { NormalizeToLoudness(p, {}); }));
    }
    std::printf("normalize to a peak %.2f s, to -23 LUFS %.2f s   (load %.2f)\n", tPeak, tLoud, load());
    QFile::remove(copy);
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1); // the windows of the stall figures
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <work folder> [--keep] [--normalize] [--convert] [--stalls]\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QStringList options = app.arguments().mid(2);
    const bool keep = options.contains("--keep");
    const bool onlyNormalize = options.contains("--normalize");
    const bool onlyConvert = options.contains("--convert");
    const bool onlyStalls = options.contains("--stalls");
    QDir().mkpath(folder);
    const QString hour = folder + "/hour.wav";
    try {
        if (!QFile::exists(hour)) {
            const double t = seconds([&] { generate(hour); });
            std::printf("generated %s (%.0f MB) in %.1f s\n", qPrintable(hour),
                        QFile(hour).size() / 1e6, t);
        }
        if (onlyStalls) {
            benchWindowStalls(hour, folder, 3);
        } else if (onlyNormalize) {
            benchNormalize(hour, folder);
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
        }
    } catch (const Failure& f) {
        std::fprintf(stderr, "%s\n", f.what());
        return 1;
    }
    if (!keep)
        QFile::remove(hour);
    return 0;
}
