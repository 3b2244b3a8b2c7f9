// The library window on the virtual input running in real time: a busy window (list rebuilds,
// a modal box, a stalled user-interface thread) costs the recording no sample.
#include "LibraryWindowFixture.h"
#include "core/TimeText.h"
#include "audio/widgets/Slider.h"
#include "tests/audio/devices/SignalMeasure.h"
#include "tests/support/LayoutCheck.h"
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <cmath>
#include <thread>

using namespace tamblor;
using namespace tamblor::audio;
using namespace tamblor::audio::measure;

namespace {

// Lets events run for `ms` milliseconds.
void pump(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

class RealTimeLibraryTest : public LibraryWindowTest {
protected:
    void SetUp() override
    {
        LibraryWindowTest::SetUp();
        setenv("TAMBLOR_AUDIO", "virtual-realtime", 1);
        newApp();
        QList<QByteArray> records;
        for (int n = 1; n <= 40; ++n)
            records << rec("1", QString("Take %1").arg(n), QString::number(n * 7));
        writeIndex(records);
        writeSettings({{3, 3}, {5, 1}, {6, 0}, {11, 16384}}); // 44100 stereo, start mode Off, 0 dB
    }
};

} // namespace

TEST_F(RealTimeLibraryTest, RecordingKeepsEverySampleWhileTheWindowIsBusy)
{
    open();
    ASSERT_EQ(backend().clock(), VirtualBackend::Clock::RealTime);
    app->clock().setFixed(std::nullopt); // the system clock measures the length
    backend().setInputSignal(sources::counter());
    w->Timer1->start();
    studio->setTimerRunning(true);

    click(w->cmdRecord);
    ASSERT_EQ(studio->recording().recordState(), 2);
    pump(300);
    // Busy: two hundred list rebuilds with selections...
    for (int i = 0; i < 100; ++i) {
        w->RebuildList(frmWaveFiles::Reselect::None);
        w->mnuViewNumber->trigger();
        w->selectEntry(i % 40);
    }
    pump(200);
    // ...a modal box for half a second...
    QMessageBox box(QMessageBox::Information, "Tamblor", "Busy", QMessageBox::Ok, w);
    QTimer::singleShot(500, &box, &QMessageBox::accept);
    box.exec();
    // ...and a user-interface thread that does not answer for two seconds.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    pump(300);
    const QString elapsed = w->lblTime->text(); // written by the window's own 50 ms timer
    click(w->cmdStop);
    ASSERT_EQ(studio->recording().recordState(), 0);

    EXPECT_EQ(w->WaveIn().droppedFrames(), 0u);
    const WavContents wav = readWav(slotFile(41));
    ASSERT_EQ(wav.channels, 2);
    const size_t frames = wav.samples.size() / 2;
    ASSERT_GT(frames, size_t(3.0 * 44100)); // at least the 3.3 s spent above
    // Every frame is there, in order: the counter never skips.
    const int first = uint16_t(wav.samples[0]);
    for (size_t i = 0; i < frames; ++i) {
        ASSERT_EQ(wav.samples[2 * i], int16_t((first + int(i)) % 32768)) << "frame " << i;
        ASSERT_EQ(wav.samples[2 * i + 1], int16_t(-wav.samples[2 * i])) << "frame " << i;
    }
    // The stored length (from the clock) matches the recorded audio to the second.
    const int stored = recordBytes(41).mid(26, 5).trimmed().toInt();
    EXPECT_NEAR(stored, double(frames) / 44100.0, 1.0);
    QString shown = elapsed;
    const int shownSeconds = timeTextToSeconds(shown);
    EXPECT_GE(shownSeconds, 3);
    EXPECT_NEAR(shownSeconds, stored, 1);
}

// Pictures of the window for a person to look at; runs only when TAMBLOR_SCREENSHOT_DIR names
// a folder (under Xvfb: QT_QPA_PLATFORM=xcb xvfb-run ...).
TEST_F(LibraryWindowTest, ScreenshotsWhileRecordingAndPlaying)
{
    if (layoutcheck::screenshotFolder().isEmpty())
        GTEST_SKIP() << "set TAMBLOR_SCREENSHOT_DIR to take the pictures";
    writeSettings({{3, 3}, {5, 1}, {6, 1}, {7, 3000}, {11, 16384}});
    QList<QByteArray> records;
    const char* names[] = {"MORNING NEWS INTRO", "weather bed", "Traffic sting", "(No Name 004 ****)",
                           "Station ID long", "Jingle 5", "Interview Mayor", "Sports wrap"};
    for (int n = 0; n < 8; ++n)
        records << rec("1", names[n], QString::number(30 + n * 47), "12-0" + QString::number(n % 5 + 1) + "-26");
    writeIndex(records);
    std::vector<int16_t> tone(44100 * 2 * 4);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = int16_t((i % 2 ? 9000.0 : 14000.0) * std::sin(2 * M_PI * 330.0 * double(i / 2) / 44100.0));
    measure::writeWav(slotFile(2), 44100, 2, tone);
    open();
    w->resize(w->sizeHint());
    w->Slider->setPosition(14000);

    // Recording, the meters moving.
    backend().setInputSignal(sources::tone(700.0, 18000));
    click(w->cmdRecord);
    feed(20 * 1024);
    advanceClock(12);
    tick();
    EXPECT_EQ(w->cmdRecord->text(), "Recording ");
    EXPECT_GT(w->Level1->value(), 10000);
    QCoreApplication::processEvents();
    EXPECT_TRUE(layoutcheck::saveScreenshot(w, "recording"));
    click(w->cmdStop);

    // Playing; the meters first fall back from the recording's level.
    app->clock().advance(4000);
    clickSlot(2);
    click(w->cmdPlay);
    backend().setInputSignal(sources::silence());
    backend().advanceMs(1700);
    w->WavePlayer().waitIdle();
    tick();
    QCoreApplication::processEvents();
    EXPECT_TRUE(layoutcheck::saveScreenshot(w, "playing"));
    click(w->cmdStop);
}
