// The programme watch measuring on its worker thread: the worker alone on taps the test fills
// (a take ends where it was told, a fresh epoch starts afresh, nothing arrives after a stop),
// and the watch in the studio on the stepped virtual card (the tick only orders the measuring,
// a reading from before a reset is dropped, dead air raised on the user-interface thread on its
// exact frame, a paused file's meter goes on and another file starts it afresh, the last
// reading delivered at the end of the program).
#include "StudioFixture.h"
#include "audio/devices/FilePlayer.h"
#include "audio/devices/SampleTap.h"
#include "core/ProgramSettings.h"
#include "studio/WatchWorker.h"
#include "tests/audio/devices/SignalMeasure.h"
#include <QDir>
#include <QThread>
#include <cmath>
#include <limits>
#include <mutex>

using namespace tamblor;
using namespace tamblor::audio;

namespace {

constexpr int kRate = 44100;

// The peak amplitude of a sine at `dbfs`.
int amplitudeOf(double dbfs) { return int(std::lround(32767.0 * std::pow(10.0, dbfs / 20.0))); }

// `frames` stereo frames of a 1 kHz sine at `dbfs` (0 amplitude for -inf), from frame `first`.
std::vector<int16_t> sine(size_t frames, double dbfs, int rate, size_t first = 0)
{
    const double amplitude = std::isfinite(dbfs) ? amplitudeOf(dbfs) : 0.0;
    std::vector<int16_t> out(2 * frames);
    for (size_t i = 0; i < frames; ++i)
        out[2 * i] = out[2 * i + 1] =
            int16_t(std::lround(amplitude * std::sin(2 * M_PI * 1000.0 * double(first + i) / rate)));
    return out;
}

// The reports of a worker, kept as they are handed over (on the worker's thread).
struct Reports {
    std::mutex mutex;
    std::vector<WatchReport> got;
    WatchWorker::Deliver deliver()
    {
        return [this](WatchReport r) {
            std::lock_guard lock(mutex);
            got.push_back(std::move(r));
        };
    }
    std::vector<WatchReport> all()
    {
        std::lock_guard lock(mutex);
        return got;
    }
};

WatchPlan meterOnInput(quint64 epoch, int rate)
{
    WatchPlan plan;
    plan.meterSource = ProgrammeSource::Input;
    plan.meterEpoch = epoch;
    plan.meterChannels = 2;
    plan.meterRate = rate;
    return plan;
}

} // namespace

TEST(WatchWorker, ItMeasuresOnlyWhenToldToTakeAndReportsTheFiguresOfThePlanInForce)
{
    SampleTap input, output;
    input.setFormat(48000, 2);
    input.open();
    output.open();
    Reports reports;
    WatchWorker worker(input, output, reports.deliver());
    worker.plan(meterOnInput(1, 48000));
    const std::vector<int16_t> tone = sine(48000, -23.0, 48000);
    input.put(tone.data(), 48000, 2);
    worker.waitIdle();
    EXPECT_TRUE(reports.all().empty()) << "a plan alone takes nothing";
    EXPECT_EQ(input.position(), tone.size()) << "the tap still holds the second";

    worker.take();
    worker.waitIdle();
    const std::vector<WatchReport> got = reports.all();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].meterEpoch, 1u);
    ASSERT_TRUE(got[0].reading);
    EXPECT_EQ(got[0].reading->seconds, 1.0);
    EXPECT_NEAR(got[0].reading->momentaryLufs, -23.0, 0.05);
    EXPECT_FALSE(got[0].silence) << "no detector was planned";

    // Nothing new in the taps: a take has nothing to report.
    worker.take();
    worker.waitIdle();
    EXPECT_EQ(reports.all().size(), 1u);
}

TEST(WatchWorker, ATakeEndsAtThePositionNotedAndWhatCameLaterIsMeasuredWithTheNextPlan)
{
    SampleTap input, output;
    input.setFormat(48000, 2);
    input.open();
    output.open();
    Reports reports;
    WatchWorker worker(input, output, reports.deliver());
    worker.plan(meterOnInput(1, 48000));
    // Half a second at -20, the position noted (a change of plan), then 0.7 s at -30, all in the
    // tap before the worker takes anything.
    const std::vector<int16_t> before = sine(24000, -20.0, 48000);
    const std::vector<int16_t> after = sine(33600, -30.0, 48000, 24000);
    input.put(before.data(), 24000, 2);
    const WatchWorker::Until noted{input.position(), output.position()};
    input.put(after.data(), 33600, 2);
    worker.take(noted);
    worker.plan(meterOnInput(2, 48000));
    worker.take();
    worker.waitIdle();

    const std::vector<WatchReport> got = reports.all();
    ASSERT_EQ(got.size(), 2u);
    ASSERT_TRUE(got[0].reading && got[1].reading);
    EXPECT_EQ(got[0].meterEpoch, 1u);
    EXPECT_EQ(got[0].reading->seconds, 0.5);
    EXPECT_NEAR(got[0].reading->momentaryLufs, -20.0, 0.05);
    EXPECT_EQ(got[1].meterEpoch, 2u);
    EXPECT_EQ(got[1].reading->seconds, 0.7);
    EXPECT_NEAR(got[1].reading->momentaryLufs, -30.0, 0.05);
}

TEST(WatchWorker, TheSilenceDetectorOfAProgrammeCountsFromItsFirstFrameAndReportsTheAlarm)
{
    SampleTap input, output;
    input.open();
    output.setFormat(8000, 2);
    output.open();
    Reports reports;
    WatchWorker worker(input, output, reports.deliver());
    WatchPlan plan;
    plan.alarmSource = ProgrammeSource::Output;
    plan.alarmEpoch = 1;
    plan.alarmChannels = 2;
    plan.alarmRate = 8000;
    plan.silence.silentSeconds = 1.0;
    plan.silence.thresholdDbfs = -40.0;
    // Silence before the programme began is not the programme's (the worker may come to take
    // it after the programme's first frames are in the tap).
    const std::vector<int16_t> quiet = sine(12000, -INFINITY, 8000);
    output.put(quiet.data(), 6000, 2);
    worker.take({input.position(), output.position()});
    worker.plan(plan);
    output.put(quiet.data(), 7999, 2);
    worker.take();
    worker.waitIdle();
    EXPECT_TRUE(reports.all().empty()) << "one frame short of a second of the programme's silence";

    output.put(quiet.data(), 4001, 2);
    worker.take();
    worker.waitIdle();
    const std::vector<WatchReport> got = reports.all();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].alarmEpoch, 1u);
    EXPECT_FALSE(got[0].reading) << "no meter was planned";
    ASSERT_TRUE(got[0].silence);
    ASSERT_EQ(got[0].silence->changes.size(), 1u);
    EXPECT_TRUE(got[0].silence->changes[0].raised);
    EXPECT_EQ(got[0].silence->changes[0].frame, 8000);
    EXPECT_TRUE(got[0].silence->alarmed);
    EXPECT_EQ(got[0].silence->silentSeconds, 1.5);
    EXPECT_EQ(got[0].silence->levelDbfs, -std::numeric_limits<double>::infinity());
}

TEST(WatchWorker, AfterStopNothingIsReportedAndOrdersAreIgnored)
{
    SampleTap input, output;
    input.setFormat(44100, 2);
    input.open();
    output.open();
    Reports reports;
    WatchWorker worker(input, output, reports.deliver());
    worker.plan(meterOnInput(1, 44100));
    const std::vector<int16_t> tone = sine(44100, -23.0, 44100);
    // Many orders, the worker stopped while it may still be carrying them out.
    for (int i = 0; i < 20; ++i) {
        input.put(tone.data(), 4410, 2);
        worker.take();
        worker.plan(meterOnInput(quint64(i + 2), 44100));
    }
    worker.stop();
    EXPECT_TRUE(worker.isStopped());
    const size_t reported = reports.all().size();
    EXPECT_LE(reported, 20u);
    input.put(tone.data(), 44100, 2);
    worker.take();
    worker.waitIdle(); // returns at once
    worker.stop();     // again: nothing happens
    EXPECT_EQ(reports.all().size(), reported);
}

class ProgrammeWatchTest : public StudioTest {
protected:
    // 44100 stereo at unity gain; start mode 2 arms at the first press, 0 writes at once.
    void startWith(int16_t startMode)
    {
        writeSettings({{3, 3}, {5, 1}, {6, startMode}, {11, 16384}});
        writeIndex({indexRecordBytes("1", "ONE", "5", "12-01-26")});
        startAt(local(2026, 12, 7, 9, 0));
    }
    void setSilence(double seconds)
    {
        QDir().mkpath(native("C/Tamblor"));
        LoudnessPreferences p;
        p.silenceSeconds = seconds;
        p.silenceThresholdDbfs = -40;
        ProgramSettings(core->drives()).setLoudness(p);
    }
    // Runs the input `frames` further, the buffers delivered.
    void feed(size_t frames)
    {
        backend().advance(frames);
        take().input().waitIdle();
    }
    // Runs the input in steps of at most half a second, the studio ticked and the watch's
    // worker waited for after each.
    void record(size_t frames)
    {
        while (frames > 0) {
            const size_t step = std::min<size_t>(frames, kRate / 2);
            feed(step);
            studio->tick();
            watch().waitIdle();
            frames -= step;
        }
    }
    // Plays on for `ms` milliseconds in half-second steps, ticking as record() does.
    void play(int ms)
    {
        for (int left = ms; left > 0; left -= 500) {
            backend().advanceMs(std::min(left, 500));
            studio->playback().player().waitIdle();
            studio->tick();
            watch().waitIdle();
        }
    }
    ProgrammeWatch& watch() { return studio->watch(); }
};

TEST_F(ProgrammeWatchTest, TheTickOnlyOrdersTheMeasuringAndTheReadingArrivesFromTheWorker)
{
    startWith(2);
    backend().setInputSignal(sources::tone(1000, amplitudeOf(-23)));
    take().handle(RecordingSession::Event::Press);
    ASSERT_EQ(take().state(), RecordingSession::State::Armed);
    ASSERT_EQ(watch().source(), ProgrammeWatch::Source::Input);

    feed(43 * 1024); // whole input buffers
    studio->tick();
    // The tick measured nothing on this thread: the figures come with the worker's report.
    EXPECT_EQ(watch().reading().seconds, 0.0);
    watch().waitIdle();
    EXPECT_EQ(watch().reading().seconds, 43.0 * 1024 / kRate);
    EXPECT_NEAR(watch().reading().momentaryLufs, -23.0, 0.05);
    EXPECT_NEAR(watch().reading().truePeakDbtp, -23.0, 0.1);
    take().handle(RecordingSession::Event::Stop);
}

TEST_F(ProgrammeWatchTest, AReadingMeasuredBeforeAResetIsDroppedWhenItArrives)
{
    startWith(2);
    backend().setInputSignal(sources::tone(1000, amplitudeOf(-23)));
    take().handle(RecordingSession::Event::Press);
    int updates = 0;
    QObject::connect(&watch(), &ProgrammeWatch::updated, [&] { ++updates; });

    feed(43 * 1024);
    studio->tick();
    watch().resetMeter(); // before the worker's report of the tick has arrived
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(watch().reading().seconds, 0.0);
    watch().waitIdle();
    EXPECT_EQ(watch().reading().seconds, 0.0) << "the second heard before the reset counted";
    EXPECT_TRUE(std::isinf(watch().reading().integratedLufs));
    EXPECT_EQ(updates, 1) << "a dropped report moves nothing";

    feed(22 * 1024);
    studio->tick();
    watch().waitIdle();
    EXPECT_EQ(watch().reading().seconds, 22.0 * 1024 / kRate);
    EXPECT_EQ(updates, 2);
    take().handle(RecordingSession::Event::Stop);
}

TEST_F(ProgrammeWatchTest, DeadAirOnATakeIsRaisedOnTheUserInterfaceThreadOnItsFrameAndClearedBySound)
{
    setSilence(2);
    startWith(0);
    // Two and a half seconds of silence, then sound.
    const uint64_t soundFrom = 5 * kRate / 2;
    backend().setInputSignal([soundFrom](int16_t* out, size_t frames, int channels, int rate, uint64_t first) {
        for (size_t i = 0; i < frames; ++i) {
            const uint64_t at = first + i;
            const int16_t v = at < soundFrom ? 0 : int16_t(std::lround(10000 * std::sin(2 * M_PI * 1000.0 * double(at) / rate)));
            for (int c = 0; c < channels; ++c)
                out[i * size_t(channels) + size_t(c)] = v;
        }
    });
    std::vector<QThread*> raisedOn;
    QObject::connect(&watch().alarm(), &SilenceAlarm::raised, [&] { raisedOn.push_back(QThread::currentThread()); });
    take().handle(RecordingSession::Event::Press);
    ASSERT_EQ(take().state(), RecordingSession::State::Writing);
    const int slot = take().slot();

    const size_t raiseAt = 2 * kRate;
    record(raiseAt / 1024 * 1024); // up to the last whole buffer before it
    EXPECT_FALSE(watch().alarm().isRaised());
    EXPECT_TRUE(raisedOn.empty());
    record(1024);
    ASSERT_TRUE(watch().alarm().isRaised());
    EXPECT_EQ(watch().alarm().raisedAtFrame(), int64_t(raiseAt));
    EXPECT_EQ(watch().alarm().slot(), slot);
    ASSERT_EQ(raisedOn.size(), 1u);
    EXPECT_EQ(raisedOn[0], QCoreApplication::instance()->thread());
    EXPECT_TRUE(lastTold().startsWith(QStringLiteral("Silence on slot %1").arg(slot))) << lastTold().toStdString();

    // Five seconds of sound clear it; the take goes on.
    record(soundFrom - raiseAt + 5 * kRate + 4096);
    EXPECT_FALSE(watch().alarm().isRaised());
    EXPECT_EQ(raisedOn.size(), 1u);
    EXPECT_EQ(take().state(), RecordingSession::State::Writing);
    take().handle(RecordingSession::Event::Stop);
}

TEST_F(ProgrammeWatchTest, APausedFileKeepsItsMeterAndAnotherFileStartsItAfresh)
{
    startWith(0);
    const QString loud = native("C/Tamblor/LOUD.wav"), quiet = native("C/Tamblor/QUIET.wav");
    measure::writeWav(loud, kRate, 2, sine(4 * kRate, -20.0, kRate));
    measure::writeWav(quiet, kRate, 2, sine(4 * kRate, -30.0, kRate));
    PlaybackSession& playback = studio->playback();
    playback.setFile(loud);
    playback.handle(PlaybackSession::Event::Play);
    ASSERT_TRUE(playback.isPlaying());
    EXPECT_EQ(watch().source(), ProgrammeWatch::Source::Output);
    play(1000);
    const double first = watch().reading().seconds;
    EXPECT_NEAR(first, 1.0, 0.05);
    EXPECT_NEAR(watch().reading().momentaryLufs, -20.0, 0.05);

    // Paused: not live, the figures stay; nothing is heard while paused.
    playback.handle(PlaybackSession::Event::Pause);
    EXPECT_FALSE(watch().isLive());
    EXPECT_EQ(watch().source(), ProgrammeWatch::Source::Output);
    play(500);
    EXPECT_EQ(watch().reading().seconds, first);
    // Playing on: the same meter goes on.
    playback.handle(PlaybackSession::Event::Play);
    EXPECT_TRUE(watch().isLive());
    play(500);
    EXPECT_GT(watch().reading().seconds, first + 0.4);
    EXPECT_NEAR(watch().reading().integratedLufs, -20.0, 0.05);

    // Stopped: no source, the last figures stay to be read.
    const double heard = watch().reading().seconds;
    playback.handle(PlaybackSession::Event::Stop);
    EXPECT_EQ(watch().source(), ProgrammeWatch::Source::None);
    watch().waitIdle();
    EXPECT_EQ(watch().reading().seconds, heard);

    // Another file: a fresh meter, at once and in what the worker reports.
    playback.setFile(quiet);
    playback.handle(PlaybackSession::Event::Play);
    EXPECT_EQ(watch().reading().seconds, 0.0);
    play(500);
    EXPECT_NEAR(watch().reading().seconds, 0.5, 0.05);
    EXPECT_NEAR(watch().reading().momentaryLufs, -30.0, 0.05);
    EXPECT_NEAR(watch().reading().maxMomentaryLufs, -30.0, 0.05);
    playback.handle(PlaybackSession::Event::Stop);
}

TEST_F(ProgrammeWatchTest, AtTheEndOfTheProgramTheLastReadingIsDeliveredAndTheWorkerStops)
{
    startWith(0);
    backend().setInputSignal(sources::tone(1000, amplitudeOf(-23)));
    take().handle(RecordingSession::Event::Press);
    ASSERT_EQ(take().state(), RecordingSession::State::Writing);
    feed(43 * 1024);
    studio->tick(); // ordered, not waited for
    EXPECT_EQ(watch().reading().seconds, 0.0);

    core->endProgram();
    EXPECT_EQ(take().state(), RecordingSession::State::Idle);
    EXPECT_EQ(watch().reading().seconds, 43.0 * 1024 / kRate);
    // The watch may still be ticked until the studio is gone: nothing is measured any more.
    watch().tick();
    watch().waitIdle();
    watch().resetMeter();
    EXPECT_EQ(watch().reading().seconds, 0.0);
    studio.reset();
}

TEST_F(ProgrammeWatchTest, TheStudioGoesWithMeasuringStillUnderWay)
{
    startWith(0);
    backend().setInputSignal(sources::tone(1000, amplitudeOf(-23)));
    take().handle(RecordingSession::Event::Press);
    // Ten seconds in the tap, ordered and not waited for, then the studio goes: the take is
    // kept and the worker joined before the devices and their taps go.
    for (int i = 0; i < 20; ++i)
        feed(kRate / 2);
    studio->tick();
    const int slot = take().slot();
    studio.reset();
    EXPECT_GE(measure::readWav(slotFile(slot)).samples.size(), size_t(2 * 430 * 1024));
}
