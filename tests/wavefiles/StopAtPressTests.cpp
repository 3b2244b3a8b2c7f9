// Stop ends a take with the frame due at the press, by the input's own count against the clock.
// An input whose sound still waits in the sound server when Stop is pressed is waited for while
// the window goes on, and the file ends exactly with that frame; an input in step, or a buffer
// behind, ends at once as it always did; a dead one ends within the wait with what it delivered
// and says how much is missing; the program's end never waits.
#include "LibraryWindowFixture.h"
#include "tests/audio/devices/SignalMeasure.h"
#include <QPointer>

using namespace tamblor;
using namespace tamblor::audio;
using namespace tamblor::audio::measure;

namespace {

class StopAtPressTest : public LibraryWindowTest {
protected:
    static constexpr size_t TickFrames = 2205; // 50 ms of 44100

    // 44100 stereo, start mode Off (one press writes), unity gain; the take goes to slot 2.
    void openStereo()
    {
        writeSettings({{3, 3}, {5, 1}, {6, 0}, {11, 16384}});
        writeIndex({rec("1", "one")});
        open();
        backend().setInputSignal(sources::counter());
    }
    // The program's time runs on by ticks: the card captures 50 ms, the clock moves as much, and
    // the studio and the window tick.
    void run(int ticks)
    {
        for (int i = 0; i < ticks; ++i) {
            feed(TickFrames);
            app->clock().advance(RecordingSession::TickMs);
            tick();
        }
    }
    RecordingSession& take() { return studio->recording(); }
    quint64 framesDelivered() { return take().input().samplesDelivered() / 2; }
    // The file holds exactly the counter's first `frames` frames: none missing, none after.
    static void expectCounterFrames(const WavContents& wav, size_t frames)
    {
        ASSERT_EQ(wav.channels, 2);
        ASSERT_EQ(wav.samples.size(), frames * 2);
        for (size_t i = 0; i < frames; ++i) {
            ASSERT_EQ(wav.samples[2 * i], int16_t(i % 32768)) << "frame " << i;
            ASSERT_EQ(wav.samples[2 * i + 1], int16_t(-int(i % 32768))) << "frame " << i;
        }
    }
    // Two seconds in step, then the sound server holds the input back for a second, and Stop is
    // pressed: 3 s (132300 frames) are due, 2 s delivered.
    void stopDuringAHold()
    {
        openStereo();
        click(w->cmdRecord);
        ASSERT_EQ(take().recordState(), 2);
        run(40);
        ASSERT_EQ(framesDelivered(), 88200u);
        backend().holdInput(true);
        run(20);
        ASSERT_EQ(framesDelivered(), 88200u);
        click(w->cmdStop);
    }
    static constexpr size_t DueAtPress = 132300;
};

TEST_F(StopAtPressTest, AStopDuringAHeldBackInputEndsWithTheFrameDueAtThePress)
{
    stopDuringAHold();
    // Still writing, waiting for the sound of the last second; the window goes on meanwhile.
    EXPECT_TRUE(take().stopping());
    EXPECT_EQ(take().state(), RecordingSession::State::Writing);
    EXPECT_EQ(recordBytes(2).left(1), "2"); // reserved: no entry yet
    run(4);
    EXPECT_TRUE(take().stopping());
    // Further presses change nothing: the take ends at the frame due at the first Stop.
    click(w->cmdRecord);
    click(w->cmdStop);
    EXPECT_EQ(take().recordState(), 2);
    EXPECT_TRUE(take().stopping());

    // The server lets the 1.2 s held back through at once: 1.2 s of sound past 2 s is in, and
    // the file ends with frame 132299; the frames captured after the press are not written.
    backend().holdInput(false);
    w->WaveIn().waitIdle();
    EXPECT_GT(framesDelivered(), DueAtPress);
    EXPECT_EQ(take().recordState(), 0);
    EXPECT_FALSE(take().stopping());
    EXPECT_EQ(take().lastEnding(), RecordingSession::Ending::Stopped);
    expectCounterFrames(readWav(slotFile(2)), DueAtPress);
    EXPECT_EQ(take().writer().framesWritten(), qint64(DueAtPress));
    EXPECT_EQ(recordBytes(2), rec("1", "(No Name 002 ****)", "3", "12-05-26"));
    EXPECT_EQ(w->cmdRecord->text(), "Record");
    EXPECT_EQ(app->messageText(), "");
    EXPECT_EQ(backend().openStreamCount(), 0);
}

TEST_F(StopAtPressTest, AnInputInStepOrABufferBehindEndsAtOnceWithAllItDelivered)
{
    openStereo();
    // In step, and a little ahead (the card's last buffer came before the tick): all of it.
    click(w->cmdRecord);
    run(20);
    feed(1000);
    click(w->cmdStop);
    EXPECT_EQ(take().recordState(), 0);
    EXPECT_FALSE(take().stopping());
    expectCounterFrames(readWav(slotFile(2)), 20 * TickFrames + 1000);

    // 50 ms behind (a buffer late, as a sound server's buffer often is): not waited for.
    click(w->cmdRecord);
    ASSERT_EQ(take().slot(), 3);
    run(20);
    backend().holdInput(true);
    run(1);
    click(w->cmdStop);
    EXPECT_EQ(take().recordState(), 0);
    expectCounterFrames(readWav(slotFile(3)), 20 * TickFrames);
    backend().holdInput(false);
}

TEST_F(StopAtPressTest, ADeadInputEndsTheStopWithinTheWaitAndSaysWhatIsMissing)
{
    openStereo();
    click(w->cmdRecord);
    run(40);
    backend().stallInput(true); // its frames are lost, not held
    run(10);
    click(w->cmdStop);
    ASSERT_TRUE(take().stopping());
    run(RecordingSession::StopWaitMs / RecordingSession::TickMs - 1);
    EXPECT_EQ(take().recordState(), 2);
    run(1); // two seconds after the press
    EXPECT_EQ(take().recordState(), 0);
    EXPECT_EQ(take().lastEnding(), RecordingSession::Ending::Stopped);
    EXPECT_TRUE(app->messageText().contains("the take ends with the last sound delivered, 0.5 s before the press"))
        << app->messageText().toStdString();
    expectCounterFrames(readWav(slotFile(2)), 88200);
    EXPECT_EQ(recordBytes(2), rec("1", "(No Name 002 ****)", "2", "12-05-26"));
    EXPECT_EQ(backend().openStreamCount(), 0);
}

TEST_F(StopAtPressTest, TheProgramEndingDuringAStopEndsAtOnceWithWhatWasDelivered)
{
    stopDuringAHold();
    ASSERT_TRUE(take().stopping());
    QPointer<frmWaveFiles> library(w);
    app->windows().find(WindowName::mnuMenu)->close();
    flushDeletes();
    EXPECT_TRUE(app->isEnding());
    EXPECT_FALSE(library);
    EXPECT_EQ(take().lastEnding(), RecordingSession::Ending::ProgramEnded);
    expectCounterFrames(readWav(slotFile(2)), 88200);
    EXPECT_EQ(recordBytes(2), rec("1", "(No Name 002 ****)", "2", "12-05-26"));
}

TEST_F(StopAtPressTest, ClosingTheWindowDuringAStopLeavesTheTakeToEndAtTheFrameDue)
{
    stopDuringAHold();
    ASSERT_TRUE(take().stopping());
    w->close();
    flushDeletes();
    EXPECT_TRUE(take().stopping());
    // The studio ticks on without the window; the take ends once the sound is in.
    backend().holdInput(false);
    take().input().waitIdle();
    studio->tick();
    EXPECT_EQ(take().state(), RecordingSession::State::Idle);
    expectCounterFrames(readWav(slotFile(2)), DueAtPress);
    EXPECT_EQ(recordBytes(2), rec("1", "(No Name 002 ****)", "3", "12-05-26"));
}

} // namespace
