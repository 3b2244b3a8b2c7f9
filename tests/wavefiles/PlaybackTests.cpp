// Playback in the library window on the virtual output: the checks before playing, the
// transport colours, pause and resume, stop, the end of a file, seeking, the elapsed time
// and the player's refusal.
#include "LibraryWindowFixture.h"
#include "audio/widgets/Slider.h"
#include "tests/audio/devices/SignalMeasure.h"
#include <QFile>
#include <QFileInfo>

using namespace tamblor;
using namespace tamblor::audio;

namespace {

std::vector<int16_t> toneFrames(size_t frames, int channels)
{
    std::vector<int16_t> s(frames * size_t(channels));
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            s[i * size_t(channels) + size_t(c)] = int16_t(8000.0 * std::sin(2 * M_PI * 440.0 * double(i) / 44100.0));
    return s;
}

class PlaybackTest : public LibraryWindowTest {
protected:
    // Slot 1: 3 seconds at 44100 stereo; slot 2: in the index without a file; slot 3 free;
    // slot 4: 1 second at 22050 mono.
    void SetUp() override
    {
        LibraryWindowTest::SetUp();
        writeIndex({rec("1", "tone", "3"), rec("1", "missing"), rec("0", "gone"), rec("1", "low rate", "1")});
        measure::writeWav(slotFile(1), 44100, 2, toneFrames(132300, 2));
        measure::writeWav(slotFile(4), 22050, 1, toneFrames(22050, 1));
    }
    // Runs the output for `ms` milliseconds and delivers the player's events.
    void play(int ms)
    {
        backend().advanceMs(ms);
        w->WavePlayer().waitIdle();
    }
};

} // namespace

TEST_F(PlaybackTest, PlayChecksTheSelectionTheSlotAndTheFile)
{
    open();
    // No selection: nothing at all changes.
    click(w->cmdPlay);
    EXPECT_EQ(int(studio->playback().isPlaying()), 0);
    EXPECT_FALSE(w->mnuDelete->isVisible());
    EXPECT_TRUE(w->mnuHiddenPopupDelete->isEnabled());
    EXPECT_EQ(app->messageText(), "");

    // A slot freed after it was selected.
    app->fields<LibraryWindowFields>().SelectedSlot = 3;
    w->TrackBar->setVisible(false);
    click(w->cmdPlay);
    EXPECT_EQ(app->messageText(), "Not an active sound file.");
    EXPECT_FALSE(w->mnuDelete->isVisible());
    EXPECT_FALSE(w->mnuHiddenPopupDelete->isEnabled());
    EXPECT_TRUE(w->TrackBar->isVisible());
    EXPECT_EQ(int(studio->playback().isPlaying()), 0);

    // A used slot without its file: the probe leaves an empty file behind.
    clickSlot(2);
    EXPECT_TRUE(w->mnuDelete->isVisible());
    click(w->cmdPlay);
    EXPECT_EQ(app->messageText(), "Sound File Does Not Exist.  Delete Entry.");
    EXPECT_TRUE(QFileInfo::exists(slotFile(2)));
    EXPECT_EQ(QFileInfo(slotFile(2)).size(), 0);
    EXPECT_EQ(int(studio->playback().isPlaying()), 0);
    EXPECT_EQ(colour(w->cmdPlay), frmWaveFiles::PlayIdle);
    EXPECT_EQ(backend().openStreamCount(), 0);
}

TEST_F(PlaybackTest, PlayPauseResumeAndStopShowTheirColoursAndTime)
{
    open();
    clickSlot(1);
    click(w->cmdPlay);
    EXPECT_EQ(int(studio->playback().isPlaying()), 1);
    EXPECT_EQ(w->WavePlayer().fileName(), slotFile(1));
    EXPECT_EQ(colour(w->cmdPlay), QColor(128, 255, 128));
    EXPECT_EQ(colour(w->cmdPause), QColor(255, 255, 192));
    EXPECT_FALSE(w->mnuDelete->isVisible());
    EXPECT_FALSE(w->mnuHiddenPopupDelete->isEnabled());
    EXPECT_EQ(w->TrackBar->maxValue(), 3000); // the file's length on the player's scale

    // 1500 ms shows 2 seconds and 2500 ms too (halves to even); the bar follows the player.
    play(1500);
    tick();
    EXPECT_EQ(w->WavePlayer().position(), 1500);
    EXPECT_EQ(w->TrackBar->position(), 1500);
    EXPECT_EQ(w->lblTime->text(), "00:02");
    EXPECT_GT(w->Level1->value(), 7000); // the meters follow the player

    click(w->cmdPause);
    EXPECT_TRUE(w->Paused);
    EXPECT_EQ(colour(w->cmdPause), QColor(255, 255, 0));
    EXPECT_EQ(colour(w->cmdPlay), QColor(0, 128, 0));
    play(500);
    tick();
    EXPECT_EQ(w->WavePlayer().position(), 1500);
    EXPECT_EQ(w->lblTime->text(), "00:02");

    // Play while paused resumes the held file, even after another entry was selected.
    clickSlot(4);
    click(w->cmdPlay);
    EXPECT_FALSE(w->Paused);
    EXPECT_EQ(colour(w->cmdPause), QColor(255, 255, 192));
    EXPECT_EQ(colour(w->cmdPlay), QColor(128, 255, 128));
    EXPECT_TRUE(w->WavePlayer().fileName().endsWith("SF0001.wav"));
    play(1000);
    tick();
    EXPECT_EQ(w->WavePlayer().position(), 2500);
    EXPECT_EQ(w->lblTime->text(), "00:02");
    EXPECT_EQ(w->TrackBar->position(), 2500);
    EXPECT_EQ(frmWaveFiles::timeRemainingText(0, 1), "00:00");

    // Stop while paused: both buttons idle, the bar at 0, the time label keeps its text.
    click(w->cmdPause);
    click(w->cmdStop);
    EXPECT_EQ(int(studio->playback().isPlaying()), 0);
    EXPECT_FALSE(w->Paused);
    EXPECT_FALSE(w->WavePlayer().isPlaying());
    EXPECT_EQ(colour(w->cmdPause), QColor(255, 255, 192));
    EXPECT_EQ(colour(w->cmdPlay), QColor(0, 128, 0));
    EXPECT_EQ(w->TrackBar->position(), 0);
    EXPECT_EQ(w->lblTime->text(), "00:02");
    EXPECT_TRUE(w->mnuDelete->isVisible());
    EXPECT_TRUE(w->mnuHiddenPopupDelete->isEnabled());

    // Any key pressed on the Stop button stops too.
    click(w->cmdPlay);
    ASSERT_EQ(int(studio->playback().isPlaying()), 1);
    w->cmdStop->setFocus();
    QTest::keyClick(w->cmdStop, Qt::Key_X);
    EXPECT_EQ(int(studio->playback().isPlaying()), 0);

    // Pause while idle does nothing.
    click(w->cmdPause);
    EXPECT_FALSE(w->Paused);
    EXPECT_EQ(colour(w->cmdPause), QColor(255, 255, 192));
}

TEST_F(PlaybackTest, EndOfFileResetsTheTransportAndTheTimeLabel)
{
    open();
    clickSlot(4); // 1 second at 22050 mono
    click(w->cmdPlay);
    play(600);
    tick();
    EXPECT_EQ(w->lblTime->text(), "00:01");
    EXPECT_EQ(w->TrackBar->maxValue(), 1000);
    play(600);
    EXPECT_EQ(int(studio->playback().isPlaying()), 0);
    EXPECT_EQ(w->lblTime->text(), "");
    EXPECT_EQ(w->TrackBar->position(), 0);
    EXPECT_EQ(colour(w->cmdPlay), QColor(0, 128, 0));
    EXPECT_TRUE(w->mnuDelete->isVisible());
    // What reached the output is the file at its own rate.
    EXPECT_EQ(backend().outputFormat().sampleRate, 22050);
}

TEST_F(PlaybackTest, MovingTheTrackBarSeeksThePlayer)
{
    open();
    clickSlot(1);
    click(w->cmdPlay);
    play(100);
    w->TrackBar->resize(500, 24);
    const QPoint at(w->TrackBar->width() * 3 / 4, w->TrackBar->height() / 2);
    QTest::mouseClick(w->TrackBar, Qt::LeftButton, {}, at);
    const int target = w->TrackBar->position();
    EXPECT_GT(target, 1500);
    EXPECT_NEAR(w->WavePlayer().position(), target, 1);
    play(200);
    EXPECT_NEAR(w->WavePlayer().position(), target + 200, 1);
    // A position set by the window itself does not seek.
    const qint64 before = w->WavePlayer().position();
    tick();
    EXPECT_EQ(w->WavePlayer().position(), before);
    EXPECT_EQ(w->TrackBar->position(), before);

    // The pop-up's Stop is the stop routine.
    w->mnuHiddenPopupStop->trigger();
    EXPECT_EQ(int(studio->playback().isPlaying()), 0);
    w->mnuHiddenPopupPlay->trigger();
    EXPECT_EQ(int(studio->playback().isPlaying()), 1);
}

TEST_F(PlaybackTest, RefusedFileReportsTheFailureOrTheSampleRateWhileRecording)
{
    writeSettings({{1, 5}, {6, 2}}); // a playback card that does not exist; recording armed by hand
    open();
    clickSlot(4);
    click(w->cmdPlay);
    EXPECT_EQ(app->messageText(), "68  Device unavailable");
    EXPECT_EQ(int(studio->playback().isPlaying()), 0);
    EXPECT_EQ(colour(w->cmdPlay), QColor(0, 128, 0));

    click(w->cmdRecord); // armed
    ASSERT_EQ(studio->recording().recordState(), 1);
    clickSlot(4);
    click(w->cmdPlay);
    EXPECT_EQ(app->messageText(), "File is recorded at a sample rate of  22050.  You must convert this file to a "
                                  "sample rate of 44100 before you can play it while recording.");
    clickSlot(1);
    click(w->cmdPlay);
    EXPECT_EQ(app->messageText(), "68  Device unavailable");
    EXPECT_EQ(int(studio->playback().isPlaying()), 0);
    EXPECT_EQ(studio->recording().recordState(), 1);

    // A damaged file reports the failure itself, in the words every other window uses.
    QFile::resize(slotFile(4), 44 - 8); // the header without its data chunk
    clickSlot(4);
    click(w->cmdPlay);
    EXPECT_EQ(app->messageText(), "321  Invalid file format: no data chunk");
    EXPECT_EQ(int(studio->playback().isPlaying()), 0);
}

TEST_F(PlaybackTest, StopActsOnPlaybackFirstAndThenOnTheRecording)
{
    writeSettings({{3, 3}, {5, 1}}); // 44100 stereo, start mode Off
    open();
    backend().setInputSignal(sources::tone(1000.0, 3000));
    clickSlot(1);
    click(w->cmdPlay);
    click(w->cmdRecord);
    ASSERT_EQ(studio->recording().recordState(), 2);
    EXPECT_TRUE(w->TrackBar->isVisible()); // playing: the bar stays
    feed(4096);
    click(w->cmdStop);
    EXPECT_EQ(int(studio->playback().isPlaying()), 0);
    EXPECT_EQ(studio->recording().recordState(), 2);
    click(w->cmdStop);
    EXPECT_EQ(studio->recording().recordState(), 0);
    EXPECT_EQ(recordBytes(3), rec("1", "(No Name 003 ****)", "0", "12-05-26")); // the free slot
}

TEST_F(PlaybackTest, AutomaticStopEndsTheRecordingAndLeavesThePlaybackRunning)
{
    writeSettings({{3, 3}, {5, 1}, {6, 1}, {7, 5000}, {11, 16384}});
    open();
    clickSlot(1);
    click(w->cmdPlay);
    click(w->cmdRecord);
    w->WaveIn_BufferFilled(w->WaveIn().lastSequence() + 1, 9000, 9000);
    ASSERT_EQ(studio->recording().recordState(), 2);
    w->WaveIn_BufferFilled(w->WaveIn().lastSequence() + 2, 100, 100);
    tick();
    EXPECT_EQ(studio->recording().recordState(), 0);
    EXPECT_EQ(int(studio->playback().isPlaying()), 1);
    EXPECT_TRUE(w->WavePlayer().isPlaying());
    EXPECT_EQ(recordBytes(3).left(1), "1");

    // Closing the window stops the player.
    w->close();
    flushDeletes();
    EXPECT_EQ(int(studio->playback().isPlaying()), 0);
    EXPECT_EQ(backend().openStreamCount(), 0);
}
