// What the remote lines do in the studio, on virtual lines and the virtual card stepped together
// 10 ms at a time: Momentary (the start input starts, from Ready or from idle, the stop input
// stops after the stop delay), Continuous (open pauses the same take: the file holds the closed
// stretches only, frame for frame), the play input, the outputs (tally, end of message, alarm),
// short pulses ignored, a record event's take left alone, every edge in the database, and a port
// that goes away or cannot be used told to the operator while the take goes on.
#include "StudioFixture.h"
#include "core/ProgramSettings.h"
#include "remote/VirtualLines.h"
#include "store/LineEventStore.h"
#include "tests/audio/devices/SignalMeasure.h"
#include <QSignalSpy>

using namespace tamblor;
using namespace tamblor::audio;
using namespace tamblor::remote;

namespace {

constexpr int Rate = 44100;
constexpr int FramesPer10Ms = Rate / 100;

} // namespace

class RemoteTest : public StudioTest {
protected:
    // 44100 stereo, the start mode and remote choice given, stop delay given; slot 1 in use.
    void startWith(int startMode, int remoteChoice = 1, int stopDelay = 0)
    {
        writeSettings({{3, 3}, {5, 1}, {6, int16_t(startMode)}, {8, int16_t(stopDelay)}, {9, int16_t(remoteChoice)},
                       {11, 16384}});
        writeIndex({indexRecordBytes("1", "ONE", "1", "12-01-26")});
        studio->remote().setOpener([this](const LineMap& m) { return std::make_unique<VirtualLines>(wiring, m.port); });
        startAt(local(2026, 12, 7, 10, 0));
        backend().setInputSignal(sources::counter());
        map = studio->remote().lines().map();
    }
    int line(InputFunction f) const { return map.input(f).line; }
    bool out(OutputFunction f) const { return wiring->output(map.output(f)); }
    // Lines, card, clock together, 10 ms at a time; the studio ticks every 50 ms.
    void run(int milliseconds)
    {
        for (int t = 0; t < milliseconds; t += 10) {
            wiring->advanceMs(10);
            core->clock().advance(10);
            backend().advance(FramesPer10Ms);
            take().input().waitIdle();
            studio->playback().player().waitIdle();
            studio->remote().poll();
            elapsedMs += 10;
            if (elapsedMs % Studio::TickMs == 0)
                studio->tick();
            QCoreApplication::processEvents();
        }
    }
    // The frames the card has delivered since it was opened, at the lines' time now.
    std::vector<store::LineEventRow> rows() { return studio->lineEvents().recent(1000); }
    int framesWritten()
    {
        take().input().waitIdle();
        return int(take().writer().framesWritten());
    }
    // The frame number the counter signal wrote into a sample (left channel, modulo 32768).
    static int frameOf(const measure::WavContents& w, size_t frame) { return w.samples.at(frame * 2); }

    std::shared_ptr<VirtualWiring> wiring = std::make_shared<VirtualWiring>();
    LineMap map;
    int elapsedMs = 0;
};

TEST_F(RemoteTest, MomentaryTheStartInputStartsFromReadyWithinTheDebounceAndTheStopInputStops)
{
    startWith(2);
    ASSERT_TRUE(studio->remote().lines().isOpen());
    EXPECT_TRUE(out(OutputFunction::Tally) == false);
    take().handle(RecordingSession::Event::Press);
    ASSERT_EQ(take().state(), RecordingSession::State::Armed); // Ready, waiting for the contact
    run(100);
    const quint64 edgeSample = take().input().samplesDelivered();
    wiring->set(line(InputFunction::Record), true);
    run(10);
    EXPECT_EQ(take().state(), RecordingSession::State::Armed) << "within the debounce";
    run(20);
    ASSERT_EQ(take().state(), RecordingSession::State::Writing);
    EXPECT_TRUE(out(OutputFunction::Tally));
    run(200);
    // The first sample written is the first after the debounced edge: 20 ms after the edge.
    const quint64 first = take().writer().firstSampleWritten();
    const double latencyMs = double(first - edgeSample) / 2.0 / Rate * 1000.0;
    std::printf("start latency from Ready (edge to first written sample, virtual lines): %.1f ms\n", latencyMs);
    EXPECT_EQ(first - edgeSample, quint64(2 * 20 * FramesPer10Ms / 10));
    EXPECT_LE(latencyMs, 50.0);

    // Releasing the start contact does nothing; the stop input ends the take.
    wiring->set(line(InputFunction::Record), false);
    run(50);
    EXPECT_EQ(take().state(), RecordingSession::State::Writing);
    wiring->set(line(InputFunction::Stop), true);
    run(30);
    EXPECT_EQ(take().state(), RecordingSession::State::Idle);
    EXPECT_FALSE(out(OutputFunction::Tally));
    EXPECT_EQ(studio->library().record(2).Status, SlotStatus::Used);
    const measure::WavContents w = measure::readWav(slotFile(2));
    ASSERT_FALSE(w.samples.empty());
    EXPECT_EQ(frameOf(w, 0), int((first / 2) % 32768));

    // Every edge is in the database with what was done.
    const auto r = rows();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].function, "Record");
    EXPECT_EQ(r[0].line, "pin 12");
    EXPECT_EQ(r[0].edge, "closed");
    EXPECT_EQ(r[0].action, "started slot 2");
    EXPECT_EQ(r[0].port, "/dev/parport0");
    EXPECT_EQ(r[0].at, local(2026, 12, 7, 10, 0).addMSecs(100));
    EXPECT_EQ(r[1].edge, "opened");
    EXPECT_EQ(r[2].function, "Stop");
    EXPECT_EQ(r[2].action, "stopped slot 2");
}

TEST_F(RemoteTest, MomentaryFromIdleTheStartInputArmsAsAPressWouldAndStartsAtOnce)
{
    startWith(2);
    run(100);
    wiring->set(line(InputFunction::Record), true);
    const int64_t edgeUs = wiring->nowUs();
    run(30);
    ASSERT_EQ(take().state(), RecordingSession::State::Writing);
    EXPECT_EQ(take().slot(), 2);
    run(100);
    // The input is opened by the closure: its first sample is the first written.
    const quint64 first = take().writer().firstSampleWritten();
    EXPECT_EQ(first, 0u);
    const int64_t acceptedUs = edgeUs + 20000;
    const double latencyMs = double(acceptedUs - edgeUs) / 1000.0;
    std::printf("start latency from idle (edge to first written sample, virtual lines): %.1f ms "
                "(the input opened at the debounced edge)\n", latencyMs);
    EXPECT_EQ(rows().at(0).action, "armed and started slot 2");
    take().handle(RecordingSession::Event::Stop);
}

TEST_F(RemoteTest, MomentaryTheStopWaitsForTheStopDelayAndANewStartCallsItOff)
{
    startWith(2, 1, 1);
    wiring->set(line(InputFunction::Record), true);
    run(50);
    wiring->set(line(InputFunction::Record), false);
    wiring->set(line(InputFunction::Stop), true);
    run(50);
    EXPECT_EQ(rows().back().action, "stops slot 2 in 1 s");
    run(900);
    EXPECT_EQ(take().state(), RecordingSession::State::Writing);
    run(100);
    EXPECT_EQ(take().state(), RecordingSession::State::Idle);

    // Again, and the start contact closes within the delay: the take goes on.
    wiring->set(line(InputFunction::Stop), false);
    wiring->set(line(InputFunction::Record), true);
    run(50);
    ASSERT_EQ(take().state(), RecordingSession::State::Writing);
    EXPECT_EQ(take().slot(), 3);
    wiring->set(line(InputFunction::Stop), true);
    run(50);
    wiring->set(line(InputFunction::Record), false);
    run(50);
    wiring->set(line(InputFunction::Record), true);
    run(1500);
    EXPECT_EQ(take().state(), RecordingSession::State::Writing);
    take().handle(RecordingSession::Event::Stop);
}

TEST_F(RemoteTest, ContinuousOpenPausesTheSameTakeAndTheFileHoldsTheClosedStretchesExactly)
{
    startWith(3);
    run(100);
    wiring->set(line(InputFunction::Record), true); // at 100 ms, counted at 120 ms
    run(200);
    ASSERT_EQ(take().state(), RecordingSession::State::Writing);
    EXPECT_TRUE(out(OutputFunction::Tally));
    wiring->set(line(InputFunction::Record), false); // at 300 ms, counted at 320 ms
    run(200);
    EXPECT_TRUE(take().paused());
    EXPECT_FALSE(out(OutputFunction::Tally));
    EXPECT_EQ(take().state(), RecordingSession::State::Writing);
    const int pausedFrames = framesWritten();
    run(500);
    EXPECT_EQ(framesWritten(), pausedFrames) << "nothing written while open";
    wiring->set(line(InputFunction::Record), true); // at 1000 ms, counted at 1020 ms
    run(200);
    EXPECT_FALSE(take().paused());
    EXPECT_TRUE(out(OutputFunction::Tally));
    // The operator's Stop ends it: at 1200 ms.
    take().handle(RecordingSession::Event::Stop);
    EXPECT_EQ(take().state(), RecordingSession::State::Idle);

    const int stretch1 = (320 - 120) * Rate / 1000, stretch2 = (1200 - 1020) * Rate / 1000;
    const measure::WavContents w = measure::readWav(slotFile(2));
    ASSERT_EQ(w.samples.size(), size_t(2 * (stretch1 + stretch2)));
    EXPECT_EQ(pausedFrames, stretch1);
    // In order, each frame the one the card delivered then (counted from the input's opening,
    // at the first closure).
    for (int f = 0; f < stretch1; ++f)
        ASSERT_EQ(frameOf(w, size_t(f)), f % 32768) << f;
    for (int f = 0; f < stretch2; ++f)
        ASSERT_EQ(frameOf(w, size_t(stretch1 + f)), ((1020 - 120) * Rate / 1000 + f) % 32768) << f;
    // One slot, its length that of the file (0.38 s rounds to 0).
    EXPECT_EQ(studio->library().record(2).Status, SlotStatus::Used);
    EXPECT_EQ(studio->library().record(2).LengthText.trimmed(), "0");
    EXPECT_NE(studio->library().record(3).Status, SlotStatus::Reserved);
    const auto r = rows();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].action, "armed and started slot 2");
    EXPECT_EQ(r[1].action, "paused slot 2");
    EXPECT_EQ(r[2].action, "went on with slot 2");
}

TEST_F(RemoteTest, PulsesShorterThanTheDebounceAreIgnoredAndLoggedAndAHeldClosureCountsOnce)
{
    startWith(2);
    wiring->set(line(InputFunction::Record), true);
    run(10);
    wiring->set(line(InputFunction::Record), false);
    run(100);
    EXPECT_EQ(take().state(), RecordingSession::State::Idle);
    ASSERT_EQ(rows().size(), 1u);
    EXPECT_EQ(rows()[0].edge, "ignored");
    EXPECT_EQ(rows()[0].pulseMs, 10.0);
    EXPECT_EQ(rows()[0].action, "ignored: a pulse of 10.0 ms, shorter than the debounce");

    // A closure held for a second counts once: one take, one row.
    wiring->set(line(InputFunction::Record), true);
    run(1000);
    EXPECT_EQ(take().state(), RecordingSession::State::Writing);
    EXPECT_EQ(rows().size(), 2u);
    take().handle(RecordingSession::Event::Stop);
}

TEST_F(RemoteTest, ThePlayInputPlaysTheSelectedSlotFromItsStartAndTheEndOfTheFileIsAPulse)
{
    startWith(0);
    measure::writeWav(slotFile(1), Rate, 2, std::vector<int16_t>(size_t(2 * Rate * 3 / 10), 1000));
    studio->remote().setSelectedSlot(1);
    wiring->set(line(InputFunction::Play), true);
    run(30);
    ASSERT_TRUE(studio->playback().isPlaying());
    EXPECT_EQ(rows().back().action, "played slot 1");
    wiring->set(line(InputFunction::Play), false);
    run(30);
    EXPECT_FALSE(studio->playback().isPlaying());
    EXPECT_EQ(rows().back().action, "stopped the player");

    // Played to its end: 500 ms of end of message.
    wiring->set(line(InputFunction::Play), true);
    run(30);
    ASSERT_TRUE(studio->playback().isPlaying());
    bool sawEom = false;
    int eomMs = 0;
    for (int t = 0; t < 1500; t += 10) {
        run(10);
        if (out(OutputFunction::Eom)) {
            sawEom = true;
            eomMs += 10;
        }
    }
    EXPECT_TRUE(sawEom);
    EXPECT_NEAR(eomMs, 500, 10);
    EXPECT_FALSE(studio->playback().isPlaying());
}

TEST_F(RemoteTest, TheAlarmOutputIsHeldWhileTheSilenceAlarmIsRaised)
{
    startWith(0);
    emit studio->watch().alarm().raised(2, -90.0);
    EXPECT_TRUE(out(OutputFunction::Alarm));
    run(100);
    EXPECT_TRUE(out(OutputFunction::Alarm));
    emit studio->watch().alarm().cleared(2);
    EXPECT_FALSE(out(OutputFunction::Alarm));
}

TEST_F(RemoteTest, ARecordEventsTakeIsNeverStartedPausedOrStoppedByALine)
{
    startWith(3);
    ASSERT_TRUE(take().armForClock("NEWS"));
    wiring->set(line(InputFunction::Record), true);
    run(50);
    EXPECT_EQ(take().state(), RecordingSession::State::Armed);
    EXPECT_EQ(rows().back().action, "nothing: a record event's take holds the recorder");
    take().handle(RecordingSession::Event::Stop);
}

TEST_F(RemoteTest, AnAdapterUnpluggedMidTakeIsToldTheTakeGoesOnAndThePortIsTakenUpAgain)
{
    startWith(2);
    wiring->set(line(InputFunction::Record), true);
    run(50);
    ASSERT_EQ(take().state(), RecordingSession::State::Writing);
    wiring->unplug();
    run(20);
    ASSERT_TRUE(core->notices().isRaised(RemoteControl::NoticeKey));
    const auto raised = core->notices().raisedConditions();
    const auto it = std::find_if(raised.begin(), raised.end(),
                                 [](const Notice& n) { return n.key == RemoteControl::NoticeKey; });
    ASSERT_NE(it, raised.end());
    EXPECT_EQ(it->subject, "/dev/parport0");
    EXPECT_TRUE(it->text.startsWith("/dev/parport0 went away while in use")) << it->text.toStdString();
    EXPECT_EQ(take().state(), RecordingSession::State::Writing) << "the take under way is kept";
    run(1000);
    EXPECT_EQ(take().state(), RecordingSession::State::Writing);
    const int before = framesWritten();
    EXPECT_GT(before, 40000);

    // Plugged in again: found within the retry, the notice cleared, the stop input works.
    wiring->plugIn();
    wiring->set(line(InputFunction::Record), false);
    run(LineWatch::RetryMs + 100);
    EXPECT_FALSE(core->notices().isRaised(RemoteControl::NoticeKey));
    wiring->set(line(InputFunction::Stop), true);
    run(50);
    EXPECT_EQ(take().state(), RecordingSession::State::Idle);
    EXPECT_EQ(studio->library().record(2).Status, SlotStatus::Used);
}

TEST_F(RemoteTest, PrairieDigitalIsToldAsNotSupportedAndPointsToTheSerialChoice)
{
    startWith(2, 2);
    EXPECT_FALSE(studio->remote().lines().started());
    ASSERT_TRUE(core->notices().isRaised(RemoteControl::PrairieNoticeKey));
    const auto raised = core->notices().raisedConditions();
    bool found = false;
    for (const Notice& n : raised)
        if (n.key == RemoteControl::PrairieNoticeKey) {
            found = true;
            EXPECT_TRUE(n.text.contains("not supported on this machine"));
            EXPECT_TRUE(n.text.contains("\"Serial\""));
        }
    EXPECT_TRUE(found);
    // Choosing Off takes the notice away.
    core->state().RemoteControl = 0;
    core->noteSettingsChanged();
    EXPECT_FALSE(core->notices().isRaised(RemoteControl::PrairieNoticeKey));
}

TEST_F(RemoteTest, TheMapPolarityAndDebounceComeFromTamblorIni)
{
    ProgramSettings settings(core->drives());
    LineMap m = LineMap::defaults(LinePort::Kind::Parallel);
    m.port = "/dev/parport1";
    m.input(InputFunction::Record).line = 1; // pin 11
    m.input(InputFunction::Record).inverted = true;
    m.input(InputFunction::Record).debounceMs = 50;
    m.output(OutputFunction::Eom) = -1;
    settings.setRemoteLines(m);
    EXPECT_EQ(settings.remoteLines(LinePort::Kind::Parallel), m);
    // Serial keeps its own map.
    EXPECT_EQ(settings.remoteLines(LinePort::Kind::Serial), LineMap::defaults(LinePort::Kind::Serial));

    startWith(2);
    EXPECT_EQ(studio->remote().lines().map(), m);
    // Inverted: closed while the line is released, from the start: no edge.
    EXPECT_TRUE(studio->remote().lines().closed(InputFunction::Record));
    wiring->set(1, true); // released for 40 ms, within the 50 ms debounce
    run(40);
    wiring->set(1, false);
    run(100);
    EXPECT_EQ(take().state(), RecordingSession::State::Idle);
    ASSERT_EQ(rows().size(), 1u);
    EXPECT_EQ(rows()[0].edge, "ignored");
}
