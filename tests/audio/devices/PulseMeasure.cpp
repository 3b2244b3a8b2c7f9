// Measures, for the notes, what the PortAudio tests check in a few runs: run by
// pulse_measure.sh against a private PulseAudio server.
//   audio_pulse_measure STATEFILE playback RUNS   the playback table: every rate, 16-bit and
//                                                  ADPCM, mono and stereo; frames missing at the
//                                                  start and the end, worst of RUNS, on the sink
//                                                  that never rewinds, and the start on the one
//                                                  that does
//   audio_pulse_measure STATEFILE quiet RUNS       quiet takes of 8 s on an idle sink's monitor
#include "PulseFixture.h"
#include "PulseRuns.h"
#include "audio/devices/PortAudioBackend.h"
#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

using namespace tamblor::audio;
using namespace tamblor::audio::measure;

namespace {

QString uptime()
{
    QProcess p;
    p.start("uptime", {});
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

struct Worst {
    qint64 start = 0, end = 0, middle = 0;
    quint64 underflows = 0;
    quint64 starved = 0;
    int runs = 0;
    QStringList failures;
    void add(const PlaybackRun& run)
    {
        if (!run.failure.isEmpty() || !run.edges.heard) {
            failures << (run.failure.isEmpty() ? QStringLiteral("nothing heard") : run.failure);
            return;
        }
        start = runs == 0 ? run.edges.missingStart : std::max(start, run.edges.missingStart);
        end = runs == 0 ? run.edges.missingEnd : std::max(end, run.edges.missingEnd);
        if (std::abs(run.edges.middle) > std::abs(middle))
            middle = run.edges.middle; // silence put in (> 0) or sound left out (< 0) between
        underflows += run.underflows;
        starved += run.starved;
        ++runs;
        if (std::getenv("MEASURE_VERBOSE"))
            std::fprintf(stderr, "  %s\n", qPrintable(run.text()));
    }
};

QString framesAndMs(qint64 frames, int rate)
{
    return QStringLiteral("%1 (%2 ms)").arg(frames).arg(frames * 1000.0 / rate, 0, 'f', 1);
}

int playback(const std::map<QString, QString>& state, int runs)
{
    QTemporaryDir dir;
    const QString still = state.at("still_sink"), rewinding = state.at("sink");
    usePulseServer(state, rewinding, rewinding + ".monitor");
    const double block = sinkConfiguredLatency(rewinding);
    std::printf("Playback through PortAudio's \"pulse\" device, files of 0.5 s, worst of %d runs each.\n"
                "Frames missing (negative: none missing, heard a little early by the measure's smear).\n"
                "Gaps: the heard span minus the file's, worst run (> 0 silence put in, < 0 sound left out).\n"
                "The rewinding sink's monitor never shows its first block (%.1f ms) of a new stream.\n"
                "Load before: %s\n\n",
                runs, block * 1000, qPrintable(uptime()));
    std::printf("| rate | format | channels | start | end | gaps | underflows | starved | rewinding sink: start |\n"
                "|---:|---|---|---:|---:|---:|---:|---:|---:|\n");
    bool allWithin = true;
    for (int rate : {8000, 11025, 22050, 32000, 44100, 48000}) {
        for (bool adpcm : {false, true}) {
            for (int channels : {1, 2}) {
                const PlaybackCase c{rate, adpcm, channels};
                // MEASURE_ONLY="22050 Hz ADPCM" measures the cells whose name holds the text.
                if (!c.name().contains(qEnvironmentVariable("MEASURE_ONLY")))
                    continue;
                Worst onStill, onRewinding;
                for (const auto& [sink, worst] : {std::pair{still, &onStill}, std::pair{rewinding, &onRewinding}}) {
                    usePulseServer(state, sink, sink + ".monitor");
                    PortAudioBackend backend;
                    const int out = findDevice(backend, false, "pulse");
                    for (int i = 0; i < runs; ++i)
                        worst->add(playAndMeasure(backend, out, sink + ".monitor", c, dir.path(), 0.5, unsigned(i + 1)));
                }
                std::printf("| %d | %s | %s | %s | %s | %lld | %llu | %llu | %s |\n", rate, adpcm ? "ADPCM" : "16-bit",
                            channels == 1 ? "mono" : "stereo", qPrintable(framesAndMs(onStill.start, rate)),
                            qPrintable(framesAndMs(onStill.end, rate)), static_cast<long long>(onStill.middle),
                            static_cast<unsigned long long>(onStill.underflows + onRewinding.underflows),
                            static_cast<unsigned long long>(onStill.starved + onRewinding.starved),
                            qPrintable(framesAndMs(onRewinding.start, rate)));
                for (const QString& f : onStill.failures + onRewinding.failures)
                    std::printf("|  | failed run: %s |\n", qPrintable(f));
                const qint64 five = rate * 5 / 1000;
                allWithin = allWithin && onStill.failures.isEmpty() && onRewinding.failures.isEmpty() &&
                            onStill.start <= five && onStill.end <= five &&
                            onRewinding.start <= qint64((block * 1000 + 5) * rate / 1000);
                std::fflush(stdout);
            }
        }
    }
    std::printf("\nLoad after: %s\nEvery run within 5 ms (the rewinding sink: its block + 5 ms): %s\n",
                qPrintable(uptime()), allWithin ? "yes" : "NO");
    return allWithin ? 0 : 1;
}

int quiet(const std::map<QString, QString>& state, int runs)
{
    QTemporaryDir dir;
    const QString sink = state.at("still_sink");
    usePulseServer(state, sink, sink + ".monitor");
    PortAudioBackend backend;
    const int in = findDevice(backend, true, "pulse");
    std::printf("Quiet takes: armed 1 s, then recording, 8 s in all, on the monitor of a sink nothing plays into.\n"
                "Load before: %s\n",
                qPrintable(uptime()));
    int lost = 0;
    qint64 latestFirst = 0;
    for (int i = 0; i < runs; ++i) {
        const QuietRun run = recordQuietly(backend, in, dir.filePath(QStringLiteral("q%1.wav").arg(i)), 8);
        std::printf("run %2d: %s\n", i + 1, qPrintable(run.text()));
        std::fflush(stdout);
        lost += run.lost ? 1 : 0;
        latestFirst = std::max(latestFirst, run.firstBufferMs);
    }
    std::printf("Lost: %d of %d; the first buffer came after %lld ms at the latest.\nLoad after: %s\n", lost, runs,
                static_cast<long long>(latestFirst), qPrintable(uptime()));
    return lost == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s STATEFILE playback|quiet RUNS\n", argv[0]);
        return 2;
    }
    const auto state = readPulseState(QString::fromLocal8Bit(argv[1]));
    if (state.find("still_sink") == state.end()) {
        std::fprintf(stderr, "no fixture state in %s\n", argv[1]);
        return 2;
    }
    const QString what = QString::fromLocal8Bit(argv[2]);
    const int runs = std::max(1, std::atoi(argv[3]));
    if (what == "playback")
        return playback(state, runs);
    if (what == "quiet")
        return quiet(state, runs);
    std::fprintf(stderr, "unknown measurement %s\n", argv[2]);
    return 2;
}
