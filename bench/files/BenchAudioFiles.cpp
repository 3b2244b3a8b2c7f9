// Timing of the file tools against peers, on one generated hour of 44100 Hz 16-bit stereo:
//   block extremes scan   vs a plain scalar loop
//   44100 -> 22050        vs sox in.wav -r 22050 out.wav
//   normalize in place    vs sox --norm in.wav out.wav
//   loudness (R128) scan  vs the peak scan alone; loudness normalize vs peak normalize
// Usage: bench_audio_files <work folder> [--keep]. The files are deleted afterwards.
#include "audio/files/AudioFileReader.h"
#include "audio/files/FormatConverter.h"
#include "audio/files/Loudness.h"
#include "audio/files/MemMapFile.h"
#include "audio/files/Normalize.h"
#include "audio/files/TriggerPump.h"
#include "audio/files/WaveFile.h"
#include "audio/files/WaveFileWriter.h"
#include "audio/files/WaveHelper.h"
#include "platform/Failure.h"
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

void benchConvert(const QString& path, const QString& folder)
{
    const QString ours = folder + "/ours22.wav", sox = folder + "/sox22.wav";
    const double tOurs = best(2, [&] {
        AudioFileReader reader;
        ChainLinks links;
        WaveFileWriter writer;
        FormatConverter converter(links);
        links.add(writer);
        links.add(converter);
        TriggerPump pump(reader, links);
        reader.setFileName(path);
        converter.setDestinationFormat(derivedFormat(22050, reader.format()));
        pump.setOutput("ACMConverter");
        writer.setFileName(ours);
        QEventLoop loop;
        QObject::connect(&pump, &TriggerPump::finished, &loop, &QEventLoop::quit);
        pump.start();
        loop.exec();
        if (pump.failure())
            std::fprintf(stderr, "conversion failed: %s\n", pump.failure()->what());
    });
    const double tSox = best(2, [&] {
        runOrDie(QString("sox '%1' -r 22050 '%2'").arg(path, sox));
    });
    std::printf("44100 -> 22050: ours %.2f s, sox %.2f s; ratio %.2f (goal <= 0.40)\n", tOurs, tSox,
                tOurs / tSox);
    QFile::remove(ours);
    QFile::remove(sox);
}

void benchNormalize(const QString& path, const QString& folder)
{
    const QString copy = folder + "/norm.wav", sox = folder + "/soxnorm.wav";
    double tOurs = 1e30;
    for (int i = 0; i < 2; ++i) {
        QFile::remove(copy);
        QFile::copy(path, copy);
        QString p = copy;
        tOurs = std::min(tOurs, seconds([&] { NormalizeFile(p, 100); }));
    }
    const double tSox = best(2, [&] { runOrDie(QString("sox --norm '%1' '%2'").arg(path, sox)); });
    std::printf("normalize: ours %.2f s (in place), sox --norm %.2f s; ratio %.2f (goal <= 0.30)\n",
                tOurs, tSox, tOurs / tSox);
    QFile::remove(copy);
    QFile::remove(sox);
}

void benchLoudness(const QString& path, const QString& folder)
{
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
    for (int i = 0; i < 2; ++i) {
        QFile::remove(copy);
        QFile::copy(path, copy);
        QString p = copy;
        tPeak = std::min(tPeak, seconds([&] { NormalizeFile(p, 100); }));
        QFile::remove(copy);
        QFile::copy(path, copy);
        tLoud = std::min(tLoud, seconds([&] { NormalizeToLoudness(p, {}); }));
    }
    std::printf("normalize to a peak %.2f s, to -23 LUFS %.2f s\n", tPeak, tLoud);
    QFile::remove(copy);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <work folder> [--keep]\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const bool keep = argc > 2 && QString(argv[2]) == "--keep";
    QDir().mkpath(folder);
    const QString hour = folder + "/hour.wav";
    try {
        if (!QFile::exists(hour)) {
            const double t = seconds([&] { generate(hour); });
            std::printf("generated %s (%.0f MB) in %.1f s\n", qPrintable(hour),
                        QFile(hour).size() / 1e6, t);
        }
        benchExtremes(hour);
        benchConvert(hour, folder);
        benchNormalize(hour, folder);
        benchLoudness(hour, folder);
    } catch (const Failure& f) {
        std::fprintf(stderr, "%s\n", f.what());
        return 1;
    }
    if (!keep)
        QFile::remove(hour);
    return 0;
}
