// A take an operator can trust, in the library window on the virtual input: a device that
// fails or falls silent ends the take with what was captured; ending the program writes every
// sample; the first start records at unity; applied settings reach the open window; the ADPCM
// formats record ADPCM; a take stops cleanly before the size limit of a wave file.
#include "LibraryWindowFixture.h"
#include "app/EndSignals.h"
#include "core/TimeText.h"
#include "app/prefs/frmMyPreferences.h"
#include "audio/widgets/Slider.h"
#include "tests/audio/devices/SignalMeasure.h"
#include <QFileInfo>
#include <QListWidget>
#include <QPointer>
#include <QRadioButton>
#include <csignal>

using namespace tamblor;
using namespace tamblor::audio;
using namespace tamblor::audio::measure;

namespace {

class TakeTest : public LibraryWindowTest {
protected:
    // 44100 stereo, start mode Off (one press writes), unity gain.
    void openStereo()
    {
        writeSettings({{3, 3}, {5, 1}, {6, 0}, {11, 16384}});
        writeIndex({rec("1", "one")});
        open();
        backend().setInputSignal(sources::counter());
    }
    // Every frame of the file is the counter's next one, starting at frame 0.
    static void expectCounterFrames(const WavContents& wav, size_t frames)
    {
        ASSERT_EQ(wav.samples.size(), frames * size_t(wav.channels));
        for (size_t i = 0; i < frames; ++i)
            ASSERT_EQ(wav.samples[i * size_t(wav.channels)], int16_t(i % 32768)) << "frame " << i;
    }
    static constexpr const char* InputLost = "57 Device I/O error (recording device \"Virtual Input\")";
};

} // namespace

TEST_F(TakeTest, AFailingInputEndsTheTakeWithTheLengthOfItsFile)
{
    openStereo();
    click(w->cmdRecord);
    ASSERT_EQ(studio->recording().recordState(), 2);
    feed(2 * 44100);
    advanceClock(6); // the clock runs on; the file holds 2 s
    backend().failInput();
    feed(44100); // nothing more arrives
    tick();

    EXPECT_EQ(studio->recording().recordState(), 0);
    EXPECT_EQ(app->messageText(), InputLost);
    EXPECT_EQ(w->cmdRecord->text(), "Record");
    EXPECT_EQ(colour(w->cmdRecord), QColor(192, 0, 0));
    EXPECT_TRUE(w->mnuDelete->isVisible());
    EXPECT_EQ(recordBytes(2), rec("1", "(No Name 002 ****)", "2", "12-05-26"));
    expectCounterFrames(readWav(slotFile(2)), 2 * 44100);
    EXPECT_EQ(backend().openStreamCount(), 0);
    EXPECT_EQ(selectedSlot(), 2);
}

TEST_F(TakeTest, AnInputThatDeliversNothingForThreeSecondsEndsTheTake)
{
    openStereo();
    click(w->cmdRecord);
    feed(44100 + 300);
    tick();
    backend().stallInput(true);
    // 59 ticks (2.95 s) without input are not yet a loss.
    for (int i = 0; i < 59; ++i) {
        feed(2205);
        advanceClock(1);
        tick();
    }
    EXPECT_EQ(studio->recording().recordState(), 2);
    EXPECT_EQ(app->messageText(), "");
    feed(2205);
    tick();
    EXPECT_EQ(studio->recording().recordState(), 0);
    EXPECT_EQ(app->messageText(), InputLost);
    EXPECT_EQ(recordBytes(2), rec("1", "(No Name 002 ****)", "1", "12-05-26"));
    expectCounterFrames(readWav(slotFile(2)), 44100 + 300);

    // Armed only: the slot is freed, nothing is left behind.
    backend().stallInput(false);
    state().RecordStartMode = 2;
    click(w->cmdRecord);
    ASSERT_EQ(studio->recording().recordState(), 1);
    backend().failInput();
    tick();
    EXPECT_EQ(studio->recording().recordState(), 0);
    EXPECT_EQ(recordBytes(3).left(1), "0");
    EXPECT_EQ(w->cmdRecord->text(), "Record");
}

// A sound server may take a second or two to deliver a new stream's first buffer: before it,
// the input has five seconds. Zeros are sound: a silent input is never lost.
TEST_F(TakeTest, AnInputWhoseFirstBufferComesLateOrThatIsSilentIsNotLost)
{
    openStereo();
    state().RecordStartMode = 2; // a press arms, a second press writes
    backend().setInputSignal(sources::silence());
    backend().stallInput(true);
    click(w->cmdRecord);
    ASSERT_EQ(studio->recording().recordState(), 1);
    for (int i = 0; i < 99; ++i) { // 4.95 s before the first buffer
        feed(2205);
        tick();
    }
    EXPECT_EQ(studio->recording().recordState(), 1);
    EXPECT_EQ(app->messageText(), "");
    backend().stallInput(false);
    click(w->cmdRecord);
    ASSERT_EQ(studio->recording().recordState(), 2);
    for (int i = 0; i < 200; ++i) { // ten seconds of zeros
        feed(2205);
        tick();
    }
    EXPECT_EQ(studio->recording().recordState(), 2);
    EXPECT_EQ(app->messageText(), "");
    click(w->cmdStop);
    EXPECT_EQ(recordBytes(2).left(1), "1");
    EXPECT_EQ(readWav(slotFile(2)).samples.size(), size_t(200 * 2205 * 2));

    // A first buffer that never comes: lost after five seconds; the armed slot is freed.
    backend().stallInput(true);
    click(w->cmdRecord);
    ASSERT_EQ(studio->recording().recordState(), 1);
    for (int i = 0; i < 99; ++i)
        tick();
    EXPECT_EQ(studio->recording().recordState(), 1);
    tick();
    EXPECT_EQ(studio->recording().recordState(), 0);
    EXPECT_EQ(app->messageText(), InputLost);
    EXPECT_EQ(recordBytes(3).left(1), "0");
}

// A take that fails before its first frame was written holds nothing: no entry, no file.
TEST_F(TakeTest, ATakeThatFailsBeforeItsFirstFrameLeavesNoEntry)
{
    openStereo(); // start mode Off: one press writes
    backend().stallInput(true);
    click(w->cmdRecord);
    ASSERT_EQ(studio->recording().recordState(), 2);
    EXPECT_TRUE(QFileInfo::exists(slotFile(2)));
    for (int i = 0; i < 100; ++i) {
        feed(2205);
        tick();
    }
    EXPECT_EQ(studio->recording().recordState(), 0);
    EXPECT_EQ(app->messageText(), InputLost);
    EXPECT_EQ(recordBytes(2).left(1), "0");
    EXPECT_FALSE(QFileInfo::exists(slotFile(2)));
    EXPECT_EQ(w->lstSoundFile->count(), 1);
    EXPECT_EQ(backend().openStreamCount(), 0);
}

TEST_F(TakeTest, LosingTheOutputDeviceEndsPlaybackWithAMessage)
{
    writeIndex({rec("1", "one")});
    writeWav(slotFile(1), 44100, 2, std::vector<int16_t>(2 * 44100 * 3, 2000));
    open();
    clickSlot(1);
    click(w->cmdPlay);
    ASSERT_EQ(int(studio->playback().isPlaying()), 1);
    backend().advance(4410);
    backend().failOutput();
    tick();
    EXPECT_EQ(int(studio->playback().isPlaying()), 0);
    EXPECT_EQ(app->messageText(), "57 Device I/O error (playback device \"Virtual Output\")");
    EXPECT_EQ(colour(w->cmdPlay), frmWaveFiles::PlayIdle);
    EXPECT_FALSE(w->WavePlayer().isPlaying());
}

TEST_F(TakeTest, EndingTheProgramMidTakeWritesEverySampleAndCompletesTheSlot)
{
    // Stop, for comparison: a partial last buffer is kept.
    openStereo();
    click(w->cmdRecord);
    feed(5000);
    advanceClock(4);
    click(w->cmdStop);
    expectCounterFrames(readWav(slotFile(2)), 5000);

    // Files › Exit of the main menu, mid-take.
    backend().setInputSignal(sources::counter());
    click(w->cmdRecord);
    ASSERT_EQ(studio->recording().slot(), 3);
    feed(5000);
    advanceClock(3);
    QPointer<frmWaveFiles> library(w);
    app->windows().find(WindowName::mnuMenu)->close();
    flushDeletes();
    EXPECT_TRUE(app->isEnding());
    EXPECT_FALSE(library);
    EXPECT_EQ(recordBytes(3), rec("1", "(No Name 003 ****)", "0", "12-05-26")); // 0.11 s in the file
    expectCounterFrames(readWav(slotFile(3)), 5000); // not 4096: the last partial buffer too
}

TEST_F(TakeTest, SigtermMidTakeEndsTheProgramTheSameWay)
{
    openStereo();
    EndSignals endSignals([this] { app->windows().find(WindowName::mnuMenu)->close(); });
    click(w->cmdRecord);
    feed(7000);
    advanceClock(2);
    ::raise(SIGTERM);
    for (int i = 0; i < 50 && !app->isEnding(); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    flushDeletes();
    ASSERT_TRUE(app->isEnding());
    EXPECT_EQ(recordBytes(2), rec("1", "(No Name 002 ****)", "0", "12-05-26")); // 0.16 s in the file
    expectCounterFrames(readWav(slotFile(2)), 7000);
}

TEST_F(TakeTest, AFirstStartRecordsAtUnityAndAStoredZeroStaysZero)
{
    open(); // no settings file at all
    EXPECT_EQ(w->Slider->position(), 16384);
    EXPECT_EQ(w->Label3->text(), "0.0 dB");
    EXPECT_EQ(w->WaveIn().gain(), 16384);

    // Ten records (20 bytes): record 11 was never written. The level is read at start.
    newApp();
    writeAllBytes(native("C/Tamblor/MyComp.ini"), QByteArray(20, '\0'));
    open();
    EXPECT_EQ(w->Slider->position(), 16384);
    EXPECT_EQ(studio->recording().input().gain(), 16384);

    newApp();
    writeSettings({{11, 0}});
    open();
    EXPECT_EQ(w->Slider->position(), 0);
    EXPECT_EQ(studio->recording().input().gain(), 0);
    EXPECT_EQ(w->Label3->text(), "-inf dB");
}

TEST_F(TakeTest, AppliedSettingsReachTheOpenWindowAtOnceOrWhenTheTakeEnds)
{
    app->windows().registerWindow(WindowName::frmMyPreferences, [](Application& a) { return new frmMyPreferences(a); });
    writeSettings({{3, 0}, {5, 0}, {6, 2}, {11, 16384}}); // 8000 mono, Momentary
    open();
    ASSERT_EQ(w->windowTitle(), "Record Mono");
    auto* prefs = app->windows().show<frmMyPreferences>(WindowName::frmMyPreferences);
    ASSERT_TRUE(prefs);
    auto apply = [&](int format, int mode, int startMode) {
        prefs->findChild<QListWidget*>("List2")->setCurrentRow(format);
        prefs->findChild<QRadioButton*>(QString("optMode_%1").arg(mode))->setChecked(true);
        prefs->findChild<QRadioButton*>(QString("optRecord_%1").arg(startMode))->setChecked(true);
        click(prefs->findChild<QPushButton*>("cmdApply"));
    };

    apply(3, 1, 1); // 44100 stereo, VOX
    EXPECT_EQ(w->windowTitle(), "Record Stereo");
    EXPECT_EQ(w->WaveIn().sampleRate(), 44100);
    EXPECT_EQ(w->WaveIn().channels(), 2);
    EXPECT_TRUE(w->Check1->isChecked());

    // During a take the new settings wait for its end.
    apply(3, 1, 0); // Off
    click(w->cmdRecord);
    ASSERT_EQ(studio->recording().recordState(), 2);
    apply(1, 0, 2); // 11025 mono, Momentary
    EXPECT_EQ(w->windowTitle(), "Record Stereo");
    EXPECT_EQ(w->WaveIn().sampleRate(), 44100);
    feed(44100);
    click(w->cmdStop);
    const WavContents take = readWav(slotFile(1));
    EXPECT_EQ(take.sampleRate, 44100);
    EXPECT_EQ(take.channels, 2);
    EXPECT_EQ(w->windowTitle(), "Record Mono");
    EXPECT_EQ(w->WaveIn().sampleRate(), 11025);
    EXPECT_FALSE(w->Check1->isChecked());

    click(w->cmdRecord);
    click(w->cmdRecord);
    feed(11025);
    click(w->cmdStop);
    EXPECT_EQ(readWav(slotFile(2)).sampleRate, 11025);
    EXPECT_EQ(readWav(slotFile(2)).channels, 1);
}

TEST_F(TakeTest, TheAdpcmFormatsRecordAdpcmAndTimeRemainingUsesItsByteRate)
{
    struct Case {
        int format;
        int mode;
        int rate;
        int channels;
    };
    for (const Case c : {Case{4, 0, 22050, 1}, Case{5, 1, 44100, 2}}) {
        SCOPED_TRACE(c.format);
        if (w) {
            newApp(); // a fresh start reads the settings
            w = nullptr;
        }
        writeSettings({{3, int16_t(c.format)}, {5, int16_t(c.mode)}, {6, 0}, {11, 16384}});
        writeIndex({});
        open();
        backend().setInputSignal(sources::tone(440.0, 16000));
        click(w->cmdRecord);
        feed(size_t(c.rate));
        click(w->cmdStop);
        const QByteArray bytes = readAllBytes(slotFile(1));
        ASSERT_GT(bytes.size(), 60);
        EXPECT_EQ(qFromLittleEndian<uint16_t>(bytes.constData() + 20), 2); // WAVE_FORMAT_ADPCM
        EXPECT_EQ(qFromLittleEndian<uint16_t>(bytes.constData() + 22), c.channels);
        EXPECT_EQ(qFromLittleEndian<uint32_t>(bytes.constData() + 24), uint32_t(c.rate));
        const uint32_t byteRate = qFromLittleEndian<uint32_t>(bytes.constData() + 28);
        EXPECT_EQ(int(byteRate), w->recording().fileBytesPerSecond());
        const WavContents wav = readWav(slotFile(1));
        EXPECT_EQ(wav.sampleRate, c.rate);
        EXPECT_NEAR(double(wav.samples.size()) / c.channels, c.rate, 2048);
        // The coding noise adds a few zero crossings; the tone is there at its level.
        EXPECT_NEAR(frequencyOf(channel(wav.samples, c.channels, 0), c.rate), 440.0, 30.0);
        EXPECT_NEAR(peakOf(channel(wav.samples, c.channels, 0)), 16000, 1600);

        tick();
        const qint64 free = app->drives().freeBytes('C');
        QString text = w->Label1->text().mid(16);
        const int shown = timeTextToSeconds(text);
        EXPECT_NEAR(shown, double(free) / byteRate, double(free) / byteRate / 50 + 60);
    }
}

TEST_F(TakeTest, ATakeStopsByItselfBeforeTheSizeLimitAndIsKeptComplete)
{
    openStereo();
    w->WaveFile().setSizeLimit(200000);
    click(w->cmdRecord);
    feed(2 * 44100); // 352800 bytes of audio would not fit
    QCoreApplication::processEvents();
    EXPECT_EQ(studio->recording().recordState(), 0);
    EXPECT_TRUE(app->messageText().contains("4 GB")) << app->messageText().toStdString();
    EXPECT_LE(QFileInfo(slotFile(2)).size(), 200000);
    const WavContents wav = readWav(slotFile(2));
    const size_t frames = wav.samples.size() / 2;
    EXPECT_GT(frames, size_t(200000 - 2048) / 4);
    expectCounterFrames(wav, frames);
    EXPECT_EQ(recordBytes(2), rec("1", "(No Name 002 ****)", "1", "12-05-26")); // 1.1 s in the file
    EXPECT_EQ(w->cmdRecord->text(), "Record");
    EXPECT_EQ(backend().openStreamCount(), 0);
}
