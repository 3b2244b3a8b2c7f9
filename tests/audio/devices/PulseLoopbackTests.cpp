// PortAudio against a real audio server: a private PulseAudio with a null sink, started by the
// fixture script. A tone goes out to the sink and comes back from the sink's monitor.
#include "PulseFixture.h"
#include "SignalMeasure.h"
#include "audio/devices/InputDevice.h"
#include "audio/devices/OutputDevice.h"
#include "audio/devices/PortAudioBackend.h"
#include "audio/devices/RecordingWriter.h"
#include "audio/devices/ToneGenerator.h"
#include "audio/loudness/LoudnessEngine.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cstdlib>
#include <map>
#include <csignal>

using namespace tamblor::audio;
using namespace tamblor::audio::measure;

namespace {

// A quarter second of the recording, both channels: the tone at 1000 Hz with peak 16383?
// A quarter with a gap (the sink plays silence when the busy machine starts the output's
// callback too late) does not.
bool carriesTheTone(const std::vector<int16_t>& stereo, size_t firstFrame, QString& seen)
{
    bool ok = true;
    for (int c = 0; c < 2; ++c) {
        std::vector<int16_t> part;
        part.reserve(11025);
        for (size_t i = firstFrame; i < firstFrame + 11025; ++i)
            part.push_back(stereo[2 * i + size_t(c)]);
        const double hertz = frequencyOf(part, 44100);
        const int peak = peakOf(part);
        const double mean = meanMagnitude(part);
        seen += QStringLiteral(" %1 Hz/%2/%3").arg(hertz, 0, 'f', 0).arg(peak).arg(mean, 0, 'f', 0);
        ok = ok && std::abs(hertz - 1000.0) <= 20.0 && std::abs(peak - 16383) <= 16383 * 0.05 &&
             std::abs(mean - 16383 * 2 / M_PI) <= 16383 * 2 / M_PI * 0.05;
    }
    return ok;
}

void runEvents(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

class PulseLoopbackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto state = sharedPulseServer(qEnvironmentVariable("TAMBLOR_PULSE_STATE"), PULSE_FIXTURE);
        // No server is a failure, not a skip: the fixture must have started one.
        ASSERT_FALSE(state["server"].isEmpty()) << "no private PulseAudio server (TAMBLOR_PULSE_STATE)";
        // The ALSA pulse plugin connects through libpulse, which reads these.
        usePulseServer(state, state["sink"], state["source"]);
        backend = std::make_unique<PortAudioBackend>();
        // The plugin's device is listed only when it reaches the server.
        ASSERT_TRUE(findDevice(*backend, true, "pulse") >= 0 && findDevice(*backend, false, "pulse") >= 0)
            << "PortAudio lists no pulse device; " << qPrintable(pulseServerGone(state).isEmpty() ? "the server runs" : pulseServerGone(state));
    }
    void TearDown() override { backend.reset(); }

    // Plays a 1 kHz tone with peak 16383 (-6.02 dBFS on both channels) into the sink and sets
    // the input to its monitor, stereo at the sink's rate (not started).
    void playToneInto(OutputDevice& output, InputDevice& input)
    {
        generator.setFrequency(1000.0);
        generator.setAmplitude(8192);
        output.setDeviceId(findDevice(*backend, false, "pulse"));
        output.start();
        input.setDeviceId(findDevice(*backend, true, "pulse"));
        input.setSampleRate(44100);
        input.setMode(InputDevice::Stereo);
    }

    std::unique_ptr<PortAudioBackend> backend;
    ToneGenerator generator;
};

TEST_F(PulseLoopbackTest, ToneSentToTheSinkComesBackFromItsMonitor)
{
    // A device number past the list is refused.
    EXPECT_THROW(backend->openInput(backend->inputDeviceCount(), StreamFormat{}, {}), tamblor::Failure);
    OutputDevice output(*backend, generator);
    InputDevice input(*backend);
    playToneInto(output, input);
    QTemporaryDir dir;
    RecordingWriter writer(input);
    writer.setFileName(dir.filePath("loop.wav"));
    input.start();
    const qint64 firstSequence = input.lastSequence() + 1;
    writer.setEnabled(true, firstSequence);

    // The streams start when the server gets to them, and a loaded machine makes the sink play
    // gaps now and then: the recording goes on until two seconds in a row carry the tone.
    constexpr int kQuartersInARow = 8;
    QElapsedTimer t;
    t.start();
    size_t checked = 0; // frames of the recording looked at
    int inARow = 0;
    QStringList quarters;
    while (inARow < kQuartersInARow && t.elapsed() < 60000) {
        runEvents(250);
        input.syncWorker(); // the file holds what the device delivered so far
        const WavContents soFar = readWav(dir.filePath("loop.wav"));
        while (inARow < kQuartersInARow && (checked + 11025) * 2 <= soFar.samples.size()) {
            QString seen;
            inARow = carriesTheTone(soFar.samples, checked, seen) ? inARow + 1 : 0;
            quarters << QString::number(checked / 11025) + ":" + seen;
            checked += 11025;
        }
    }
    input.syncWorker();
    const qint64 lastSequence = input.lastSequence();
    writer.setEnabled(false);
    input.waitIdle();
    input.release();
    output.release();

    EXPECT_EQ(inARow, kQuartersInARow) << "no two seconds of the tone in a minute; the quarters (Hz/peak/mean):\n"
                                       << quarters.join('\n').toStdString();
    EXPECT_EQ(input.droppedFrames(), 0u);
    // Every buffer the input processed while enabled is in the file.
    const WavContents wav = readWav(dir.filePath("loop.wav"));
    ASSERT_EQ(wav.channels, 2);
    EXPECT_GE(qint64(wav.samples.size() / 2), (lastSequence - firstSequence + 1) * 1024);
}

TEST_F(PulseLoopbackTest, TheInputsTapFeedsALoudnessMeterThatReadsTheToneCameBack)
{
    // The live meter's path on a real card: the input's worker copies every processed buffer
    // into its tap, a reader on another thread (here the test's) feeds the loudness engine.
    OutputDevice output(*backend, generator);
    InputDevice input(*backend);
    playToneInto(output, input); // -6.02 dBFS on both channels, so -6.02 LUFS
    input.tap().open();
    input.start();

    // Gaps the loaded machine leaves in the sink's output pull the short-term value down for
    // three seconds: the meter is read until its highest short-term value is near the tone's
    // (the tone has begun), then for two seconds more, so that three whole seconds of the tone
    // have been measured, and on while a gap has fallen into every three seconds so far (up to
    // a minute: a level that is wrong stays wrong).
    LoudnessEngine meter(2, 44100);
    std::vector<int16_t> chunk(2 * 4096);
    QElapsedTimer t;
    t.start();
    size_t after = 0; // frames fed since the tone was first near its level
    while ((after < 2 * 44100 || meter.maxShortTermLufs() < -6.02 - 0.1) && t.elapsed() < 60000) {
        runEvents(50);
        for (size_t got; (got = input.tap().take(chunk.data(), 4096)) > 0;) {
            meter.add(chunk.data(), got);
            if (meter.maxShortTermLufs() >= -6.5)
                after += got;
        }
    }
    input.release();
    output.release();
    EXPECT_NEAR(meter.maxShortTermLufs(), -6.02, 0.1) << "after " << t.elapsed() << " ms";
    EXPECT_EQ(input.tap().lostFrames(), 0u);
}

} // namespace

// A sound server that dies mid-take: a private server of its own (the shared one stays up for
// the other tests) is killed while the input records from it. The input must then either report
// a failed device or stop delivering samples: either way the input counts as lost.
TEST(PulseServerLoss, AKilledServerShowsAsAFailedOrSilentInput)
{
    QTemporaryDir dir;
    const QString statePath = dir.filePath("pulse.state");
    ASSERT_EQ(QProcess::execute("sh", {PULSE_FIXTURE, "start", statePath}), 0);
    std::map<QString, QString> state = readPulseState(statePath);
    ASSERT_FALSE(state.empty());
    usePulseServer(state, state["sink"], state["source"]);
    {
        PortAudioBackend backend;
        const int in = findDevice(backend, true, "pulse");
        ASSERT_GE(in, 0);
        InputDevice input(backend);
        input.setDeviceId(in);
        input.start();
        runEvents(1000);
        ASSERT_GT(input.samplesDelivered(), 0u);
        ASSERT_FALSE(input.deviceFailed());

        ::kill(pid_t(state["pid"].toLongLong()), SIGKILL);
        // Within eight seconds the input is lost: failed, or nothing delivered for three seconds.
        QElapsedTimer t;
        t.start();
        qint64 looked = 0;
        bool lost = false;
        while (!lost && t.elapsed() < 8000) {
            runEvents(50);
            const qint64 now = t.elapsed();
            lost = input.lost(int(now - looked));
            looked = now;
        }
        EXPECT_TRUE(lost) << "the input went on delivering after its server died";
        std::fprintf(stderr, "server killed: device failed %d, samples delivered %llu\n", int(input.deviceFailed()),
                     static_cast<unsigned long long>(input.samplesDelivered()));
        input.release();
    }
    QProcess::execute("sh", {PULSE_FIXTURE, "stop", statePath});
}
