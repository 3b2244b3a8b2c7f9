// Playback heard through a real sound server: files at every common rate, 16-bit and ADPCM,
// mono and stereo, played by the FilePlayer on PortAudio's "pulse" device into the fixture's
// null sinks, while an outside reader records the sink's monitor. Nothing may be missing at
// the start or the end (5 ms at most); and a quiet input is never taken for a lost one.
#include "PulseFixture.h"
#include "PulseRuns.h"
#include "audio/devices/PortAudioBackend.h"
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tamblor::audio;
using namespace tamblor::audio::measure;

namespace {

constexpr double FileSeconds = 0.5;
constexpr int Runs = 3;

qint64 framesIn(double ms, int rate) { return qint64(ms * rate / 1000.0); }

class PulsePlaybackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        state = sharedPulseServer(qEnvironmentVariable("TAMBLOR_PULSE_STATE"), PULSE_FIXTURE);
        // No server is a failure, not a skip: the fixture must have started one.
        ASSERT_FALSE(state["server"].isEmpty()) << "no private PulseAudio server (TAMBLOR_PULSE_STATE)";
        ASSERT_FALSE(state["still_sink"].isEmpty()) << "the fixture has no sink that never rewinds";
    }
    // Plays the case `Runs` times on `sink`, recording its monitor.
    std::vector<PlaybackRun> play(const QString& sink, const PlaybackCase& c)
    {
        usePulseServer(state, sink, sink + ".monitor");
        PortAudioBackend backend;
        const int out = findDevice(backend, false, "pulse");
        EXPECT_GE(out, 0);
        std::vector<PlaybackRun> runs;
        for (int i = 0; i < Runs && out >= 0; ++i)
            runs.push_back(playAndMeasure(backend, out, sink + ".monitor", c, dir.path(), FileSeconds, unsigned(i + 1)));
        return runs;
    }

    std::map<QString, QString> state;
    QTemporaryDir dir;
};

// A representative of each rate; the script beside the tests plays the whole matrix.
const PlaybackCase Matrix[] = {
    {8000, false, 1}, {11025, true, 2}, {22050, true, 1}, {32000, false, 2}, {44100, false, 2}, {48000, true, 1},
};

} // namespace

TEST_F(PulsePlaybackTest, EveryFrameIsHeardFromTheFirstToTheLast)
{
    const QString sink = state["still_sink"];
    for (const PlaybackCase& c : Matrix) {
        for (const PlaybackRun& run : play(sink, c)) {
            SCOPED_TRACE((c.name() + ": " + run.text()).toStdString());
            ASSERT_TRUE(run.failure.isEmpty());
            ASSERT_TRUE(run.edges.heard);
            EXPECT_EQ(run.deviceRate, c.rate);
            EXPECT_LE(run.edges.missingStart, framesIn(5, c.rate));
            EXPECT_LE(run.edges.missingEnd, framesIn(5, c.rate));
        }
    }
}

// A sink that mixes ahead rewinds when a stream arrives: its monitor never shows the first
// block of a new stream, whoever plays it. Beyond that block nothing may be missing.
TEST_F(PulsePlaybackTest, OnASinkThatRewindsOnlyItsFirstBlockIsMissing)
{
    const QString sink = state["sink"];
    usePulseServer(state, sink, sink + ".monitor");
    const double block = sinkConfiguredLatency(sink);
    ASSERT_GT(block, 0.0);
    for (const PlaybackCase& c : {PlaybackCase{8000, false, 1}, PlaybackCase{22050, true, 2}, PlaybackCase{48000, false, 2}}) {
        for (const PlaybackRun& run : play(sink, c)) {
            SCOPED_TRACE((c.name() + ": " + run.text() + QStringLiteral(", block %1 ms").arg(block * 1000)).toStdString());
            ASSERT_TRUE(run.failure.isEmpty());
            ASSERT_TRUE(run.edges.heard);
            EXPECT_LE(run.edges.missingStart, framesIn(block * 1000 + 5, c.rate));
        }
    }
}

// The monitor of a sink nobody plays into delivers nothing but zeros: that is sound, not a lost
// device. Armed, then recording, eight seconds each time. (A first buffer that comes late is
// the virtual input's to show: this server delivers it within a fraction of a second.)
TEST_F(PulsePlaybackTest, AQuietInputIsNotLost)
{
    const QString sink = state["still_sink"];
    usePulseServer(state, sink, sink + ".monitor");
    PortAudioBackend backend;
    const int in = findDevice(backend, true, "pulse");
    ASSERT_GE(in, 0);
    for (int i = 0; i < Runs; ++i) {
        const QuietRun run = recordQuietly(backend, in, dir.filePath(QStringLiteral("quiet%1.wav").arg(i)), 8);
        std::fprintf(stderr, "quiet input %d: %s\n", i + 1, qPrintable(run.text()));
        EXPECT_FALSE(run.lost) << "run " << i + 1 << ": " << run.text().toStdString();
        EXPECT_GT(run.framesWritten, 0);
    }
}
