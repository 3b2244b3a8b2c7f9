// Recording in the library window on the stepped virtual input: arming, the start modes, the
// automatic start and stop, stop while armed, the completed record, the file's contents, the
// elapsed time, the level slider and closing during a recording.
#include "LibraryWindowFixture.h"
#include "audio/widgets/LevelMeter.h"
#include "audio/widgets/Slider.h"
#include "core/TimeText.h"
#include "tests/audio/devices/SignalMeasure.h"
#include <QFileInfo>
#include <QTest>
#include <QPointer>

using namespace tamblor;
using namespace tamblor::audio;
using namespace tamblor::audio::measure;

namespace {

int16_t counterAt(uint64_t frame) { return int16_t(frame % 32768); }

} // namespace

TEST_F(LibraryWindowTest, ManualRecordingFillsTheFirstFreeSlotWithTheInput)
{
    // 22050 per second, mono, start mode Momentary: the first press arms, the second writes.
    // Record level 0 dB (a first start has the slider at 0, which records silence).
    writeSettings({{3, 2}, {5, 0}, {6, 2}, {11, 16384}});
    writeIndex({rec("1", "one"), rec("1", "two"), rec("1", "three"), rec("0", "old", "12", "01-01-25"),
                rec("1", "five")});
    writeAllBytes(slotFile(4), "an old file of a deleted slot");
    open();
    backend().setInputSignal(sources::counter());
    clickSlot(2);

    click(w->cmdRecord);
    EXPECT_EQ(studio->recording().recordState(), 1);
    EXPECT_EQ(studio->recording().slot(), 4);
    EXPECT_EQ(w->cmdRecord->text(), "Ready");
    EXPECT_EQ(colour(w->cmdRecord), QColor(255, 255, 0));
    EXPECT_EQ(w->txtNumber->text(), "4");
    EXPECT_EQ(w->lblNumber->text(), "4");
    EXPECT_EQ(w->txtName->text(), "");
    EXPECT_EQ(w->txtLength->text(), "");
    EXPECT_EQ(w->txtRecordDate->text(), "");
    EXPECT_FALSE(w->TrackBar->isVisible());
    EXPECT_FALSE(w->mnuDelete->isVisible());
    EXPECT_EQ(recordBytes(4), rec("2", "", "12", "01-01-25"));
    EXPECT_EQ(recordBytes(2), rec("1", "TWO")); // the emptied boxes stored nothing
    EXPECT_FALSE(QFileInfo::exists(slotFile(4)));
    EXPECT_EQ(w->WaveFile().fileName(), slotFile(4));

    // Armed: the meters follow the input, nothing is written.
    feed(3 * 2048);
    EXPECT_GT(w->Level1->value(), 0);
    EXPECT_FALSE(QFileInfo::exists(slotFile(4)));

    click(w->cmdRecord);
    EXPECT_EQ(studio->recording().recordState(), 2);
    EXPECT_EQ(w->cmdRecord->text(), "Recording ");
    EXPECT_EQ(colour(w->cmdRecord), QColor(255, 0, 0));
    feed(10 * 2048 + 700);
    advanceClock(75);
    tick();
    EXPECT_EQ(w->lblTime->text(), "01:15");
    // Edits while recording never touch the selected entry (they name the take); one typed and
    // removed again leaves the take its default name.
    QTest::keyClicks(w->txtName, "x");
    EXPECT_EQ(recordBytes(2), rec("1", "TWO"));
    QTest::keyClick(w->txtName, Qt::Key_Backspace);

    click(w->cmdStop);
    EXPECT_EQ(studio->recording().recordState(), 0);
    EXPECT_EQ(w->cmdRecord->text(), "Record");
    EXPECT_EQ(colour(w->cmdRecord), QColor(192, 0, 0));
    EXPECT_TRUE(w->TrackBar->isVisible());
    EXPECT_TRUE(w->mnuDelete->isVisible());
    // The index gives the length of the file (0.96 s), not the 75 s the clock ran.
    EXPECT_EQ(recordBytes(4), rec("1", "(No Name 004 ****)", "1", "12-05-26"));
    EXPECT_EQ(indexBytes().size(), 5 * 39);
    EXPECT_EQ(studio->recording().slot(), 4); // the take's slot
    // The rebuilt list: names first, four-column numbers, the new entry selected.
    EXPECT_EQ(lines(), QStringList({IndexRecord::fit("(No Name 004 ****)", 25) + "     4",
                                    IndexRecord::fit("five", 25) + "     5", IndexRecord::fit("one", 25) + "     1",
                                    IndexRecord::fit("three", 25) + "     3", IndexRecord::fit("TWO", 25) + "     2"}));
    EXPECT_EQ(selectedSlot(), 4);
    EXPECT_EQ(w->txtName->text(), "(No Name 004 ****)");
    EXPECT_EQ(w->txtLength->text(), "00:01");
    EXPECT_EQ(w->txtRecordDate->text(), "12-05-26");
    EXPECT_EQ(backend().openStreamCount(), 0);

    // The file holds the input from the second press on, at the rate and channels set.
    const WavContents wav = readWav(slotFile(4));
    EXPECT_EQ(wav.sampleRate, 22050);
    EXPECT_EQ(wav.channels, 1);
    ASSERT_EQ(wav.samples.size(), size_t(10 * 2048 + 700));
    for (size_t i = 0; i < wav.samples.size(); ++i)
        ASSERT_EQ(wav.samples[i], counterAt(3 * 2048 + i)) << "frame " << i;
}

TEST_F(LibraryWindowTest, ANewTakeStartsItsElapsedTimeAtZero)
{
    writeSettings({{3, 2}, {5, 0}, {6, 2}, {11, 16384}}); // 22050 mono, Momentary
    open();
    backend().setInputSignal(sources::counter());
    click(w->cmdRecord);
    click(w->cmdRecord);
    feed(22050);
    advanceClock(75);
    tick();
    ASSERT_EQ(w->lblTime->text(), "01:15");
    click(w->cmdStop);

    // Armed for the next take: "Ready" shows no time of the last one.
    click(w->cmdRecord);
    ASSERT_EQ(w->cmdRecord->text(), "Ready");
    EXPECT_EQ(w->lblTime->text(), "00:00");
    feed(2048);
    tick();
    EXPECT_EQ(w->lblTime->text(), "00:00");
    click(w->cmdRecord);
    feed(22050);
    advanceClock(2);
    tick();
    EXPECT_EQ(w->lblTime->text(), "00:02");
    click(w->cmdStop);
}

TEST_F(LibraryWindowTest, ANameTypedWhileRecordingBecomesTheTakesName)
{
    writeSettings({{3, 2}, {5, 0}, {6, 2}, {11, 16384}}); // 22050 mono, Momentary
    open();
    backend().setInputSignal(sources::counter());
    click(w->cmdRecord);
    click(w->cmdRecord);
    feed(22050);
    // Typed, then Tab pressed, while the take records.
    w->txtName->setFocus();
    QTest::keyClicks(w->txtName, "Evening news");
    QTest::keyClick(w->txtName, Qt::Key_Tab);
    advanceClock(3);
    tick();
    click(w->cmdStop);
    const int32_t first = w->lblNumber->text().toInt();
    EXPECT_EQ(QString::fromLatin1(recordBytes(first).mid(1, 25)), IndexRecord::fit("EVENING NEWS", 25));
    EXPECT_EQ(w->txtName->text(), "EVENING NEWS");

    // The next take, with nothing typed, gets the default name; a name filled in from the list
    // meanwhile (another entry selected) is not typed.
    click(w->cmdRecord);
    click(w->cmdRecord);
    feed(22050);
    clickSlot(first);
    advanceClock(2);
    tick();
    click(w->cmdStop);
    const int32_t second = w->lblNumber->text().toInt();
    ASSERT_NE(second, first);
    EXPECT_EQ(QString::fromLatin1(recordBytes(second).mid(1, 25)),
              IndexRecord::fit(QStringLiteral("(No Name %1 ****)").arg(second, 3, 10, QChar('0')), 25));
}

TEST_F(LibraryWindowTest, OffModeWritesOnTheFirstPressAndFurtherPressesKeepWriting)
{
    writeSettings({{3, 3}, {5, 1}, {6, 0}, {11, 16384}}); // 44100 stereo, start mode Off, 0 dB
    open();
    backend().setInputSignal(sources::tone(1000.0, 12000));
    click(w->cmdRecord);
    EXPECT_EQ(studio->recording().recordState(), 2);
    EXPECT_EQ(studio->recording().slot(), 1);
    EXPECT_EQ(w->cmdRecord->text(), "Recording ");
    EXPECT_EQ(colour(w->cmdRecord), QColor(255, 0, 0));
    feed(44100);
    advanceClock(1);
    tick();
    EXPECT_EQ(w->lblTime->text(), "00:01");

    // A further press raises the state: writing goes on, the elapsed time stands still.
    click(w->cmdRecord);
    EXPECT_EQ(studio->recording().recordState(), 3);
    EXPECT_EQ(w->cmdRecord->text(), "Recording ");
    feed(44100);
    advanceClock(1);
    tick();
    EXPECT_EQ(w->lblTime->text(), "00:01");
    click(w->cmdStop);
    EXPECT_EQ(recordBytes(1), rec("1", "(No Name 001 ****)", "2", "12-05-26"));
    const WavContents wav = readWav(slotFile(1));
    EXPECT_EQ(wav.sampleRate, 44100);
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.samples.size(), size_t(2 * 44100 * 2));
    EXPECT_NEAR(peakOf(channel(wav.samples, 2, 1)), 12000, 2);
}

TEST_F(LibraryWindowTest, VoxStartsWithTheLoudBufferAndStopsOnTheFirstQuietTick)
{
    // 44100 stereo, VOX with threshold 5000 (Auto Start ticked at load), no stop delay.
    writeSettings({{3, 3}, {5, 1}, {6, 1}, {7, 5000}, {11, 16384}});
    open();
    ASSERT_TRUE(w->Check1->isChecked());
    // Loud from frame 300 of the sixth buffer, for 20 buffers.
    backend().setInputSignal(sources::burst(5 * 1024 + 300, 20 * 1024, 200, 20000));
    click(w->cmdRecord);
    EXPECT_EQ(w->cmdRecord->text(), "Ready");
    feed(5 * 1024);
    tick();
    EXPECT_EQ(studio->recording().recordState(), 1);
    feed(5 * 1024);
    EXPECT_EQ(studio->recording().recordState(), 2);
    EXPECT_EQ(w->cmdRecord->text(), "Recording ");
    EXPECT_EQ(colour(w->cmdRecord), QColor(255, 0, 0));

    feed(10 * 1024);
    advanceClock(3);
    tick(); // still loud
    EXPECT_EQ(studio->recording().recordState(), 2);
    feed(12 * 1024); // quiet from buffer 26 on
    tick();
    EXPECT_EQ(studio->recording().recordState(), 0);
    EXPECT_EQ(w->cmdRecord->text(), "Record");
    EXPECT_EQ(recordBytes(1), rec("1", "(No Name 001 ****)", "1", "12-05-26")); // 0.63 s in the file
    EXPECT_EQ(selectedSlot(), 1);

    // Writing started with the sixth buffer: 300 quiet frames, then the burst.
    const WavContents wav = readWav(slotFile(1));
    ASSERT_GE(wav.samples.size(), size_t(2 * 27 * 1024));
    EXPECT_EQ(wav.samples.size(), size_t(2 * 27 * 1024)); // buffers 6 to 32
    EXPECT_LT(peakOf(channel({wav.samples.begin(), wav.samples.begin() + 600}, 2, 0)), 250);
    EXPECT_GT(peakOf(channel({wav.samples.begin() + 600, wav.samples.begin() + 2048}, 2, 0)), 19000);
}

TEST_F(LibraryWindowTest, LevelsAtTheThresholdNeitherStartNorStop)
{
    writeSettings({{6, 1}, {7, 5000}});
    open();
    click(w->cmdRecord);
    const qint64 next = w->WaveIn().lastSequence() + 1;
    w->WaveIn_BufferFilled(next, 5000, 5000);
    EXPECT_EQ(studio->recording().recordState(), 1);
    w->WaveIn_BufferFilled(next + 1, 4000, 5001);
    EXPECT_EQ(studio->recording().recordState(), 2);
    w->WaveIn_BufferFilled(next + 2, 5000, 100);
    tick();
    EXPECT_EQ(studio->recording().recordState(), 2);
    w->WaveIn_BufferFilled(next + 3, 4999, 4999);
    tick();
    EXPECT_EQ(studio->recording().recordState(), 0);

    // Without Auto Start the input level does nothing.
    w->Check1->setChecked(false);
    click(w->cmdRecord);
    w->WaveIn_BufferFilled(w->WaveIn().lastSequence() + 1, 30000, 30000);
    EXPECT_EQ(studio->recording().recordState(), 1);
    w->WaveIn_BufferFilled(w->WaveIn().lastSequence() + 1, 0, 0);
    click(w->cmdRecord);
    tick();
    EXPECT_EQ(studio->recording().recordState(), 2);
}

TEST_F(LibraryWindowTest, StopDelayWaitsForThatManySecondsOfQuiet)
{
    writeSettings({{6, 1}, {7, 5000}, {8, 3}});
    open();
    click(w->cmdRecord);
    w->WaveIn_BufferFilled(w->WaveIn().lastSequence() + 1, 9000, 9000); // starts
    ASSERT_EQ(studio->recording().recordState(), 2);
    advanceClock(1);
    w->WaveIn_BufferFilled(w->WaveIn().lastSequence() + 2, 9000, 9000);
    tick(); // loud at second 1
    w->WaveIn_BufferFilled(w->WaveIn().lastSequence() + 3, 10, 10);
    advanceClock(2);
    tick();
    EXPECT_EQ(studio->recording().recordState(), 2); // 2 s of quiet
    advanceClock(1);
    tick();
    EXPECT_EQ(studio->recording().recordState(), 0); // 3 s of quiet
    EXPECT_EQ(recordBytes(1).mid(26, 5), "0    "); // no frame was fed: the file's length
}

TEST_F(LibraryWindowTest, StopWhileArmedFreesTheSlot)
{
    writeSettings({{6, 2}});
    writeIndex({rec("1", "one")});
    open();
    click(w->cmdRecord);
    EXPECT_EQ(recordBytes(2), rec("2", "", "0", "12-01-26"));
    feed(4096);
    click(w->cmdStop);
    EXPECT_EQ(studio->recording().recordState(), 0);
    EXPECT_EQ(w->cmdRecord->text(), "Record");
    EXPECT_EQ(colour(w->cmdRecord), QColor(192, 0, 0));
    EXPECT_EQ(recordBytes(2), rec("0", "", "0", "12-01-26"));
    EXPECT_EQ(slotList(), QList<int>({1}));
    EXPECT_FALSE(QFileInfo::exists(slotFile(2)));
    EXPECT_TRUE(w->mnuDelete->isVisible());
    EXPECT_EQ(backend().openStreamCount(), 0);

    // Arming again right away reuses the slot and captures again.
    click(w->cmdRecord);
    EXPECT_EQ(studio->recording().slot(), 2);
    QCoreApplication::processEvents(); // the end of the earlier capture arrives late
    EXPECT_TRUE(w->WaveIn().isCapturing());
}

TEST_F(LibraryWindowTest, RecordingAcrossMidnightStoresItsTrueLength)
{
    app->clock().setFixed(QDateTime(QDate(2026, 12, 5), QTime(23, 59, 50)));
    open();
    click(w->cmdRecord); // start mode Off
    feed(25 * 8000);
    advanceClock(25);
    tick();
    EXPECT_EQ(w->lblTime->text(), "00:25");
    click(w->cmdStop);
    EXPECT_EQ(recordBytes(1), rec("1", "(No Name 001 ****)", "25", "12-06-26"));
}

TEST_F(LibraryWindowTest, TheIndexGivesTheLengthOfTheFileNotTheTimeBetweenPressAndStop)
{
    // 14.8 s of sound (8000 per second) is stored as 15, rounded to the nearest second.
    app->clock().setFixed(QDateTime(QDate(2026, 12, 5), QTime(8, 7, 51, 600)));
    open();
    click(w->cmdRecord); // start mode Off
    feed(118400);
    app->clock().advance(14800);
    tick();
    EXPECT_EQ(w->lblTime->text(), "00:14"); // the elapsed time is the clock's
    click(w->cmdStop);
    EXPECT_EQ(recordBytes(1), rec("1", "(No Name 001 ****)", "15", "12-05-26"));

    // A card whose first buffer comes 1.45 s after the press (a sound server reached for the
    // first time): 80 s between press and stop, 78.55 s in the file, and the index says 79.
    click(w->cmdRecord);
    app->clock().advance(1450);
    for (int i = 0; i < 10; ++i)
        feed(62840);
    app->clock().advance(78550);
    tick();
    EXPECT_EQ(w->lblTime->text(), "01:20");
    click(w->cmdStop);
    EXPECT_EQ(readWav(slotFile(2)).samples.size(), 628400u);
    EXPECT_EQ(recordBytes(2), rec("1", "(No Name 002 ****)", "79", "12-05-26"));
}

TEST_F(LibraryWindowTest, AFullLibraryRefusesToRecord)
{
    QByteArray all;
    for (int n = 1; n <= 900; ++n)
        all += rec(n % 2 ? "1" : "2", "x");
    writeAllBytes(indexPath(), all);
    open();
    click(w->cmdRecord);
    EXPECT_EQ(app->messageText(), "Maximum Number of Sound Files is 900.");
    EXPECT_EQ(studio->recording().recordState(), 0);
    EXPECT_TRUE(w->mnuDelete->isVisible());
    EXPECT_TRUE(w->mnuHiddenPopupDelete->isEnabled());
    EXPECT_EQ(indexBytes(), all);
    EXPECT_EQ(backend().openStreamCount(), 0);
}

TEST_F(LibraryWindowTest, ClosingDuringARecordingKeepsTheTakeAndFreesTheInput)
{
    writeIndex({rec("1", "one")});
    open();
    backend().setInputSignal(sources::tone(500.0, 9000));
    click(w->cmdRecord);
    feed(10000);
    advanceClock(3);
    w->close();
    flushDeletes();
    EXPECT_EQ(studio->recording().recordState(), 0);
    EXPECT_EQ(int(studio->playback().isPlaying()), 0);
    // The take is kept as a finished entry, so no later recording can reuse its slot.
    EXPECT_EQ(recordBytes(2), rec("1", "(No Name 002 ****)", "1", "12-05-26")); // 1.25 s in the file
    EXPECT_EQ(backend().openStreamCount(), 0);
    EXPECT_EQ(readWav(slotFile(2)).samples.size(), 10000u); // closed whole

    // Closed while only armed, nothing was written: the slot is freed.
    w = app->windows().show<frmWaveFiles>(WindowName::frmWaveFiles);
    w->Timer1->stop();
    app->state().RecordStartMode = 3; // not Off: the first press only arms
    click(w->cmdRecord);
    ASSERT_EQ(studio->recording().recordState(), 1);
    ASSERT_EQ(studio->recording().slot(), 3);
    w->close();
    flushDeletes();
    EXPECT_EQ(recordBytes(3).left(1), "0");
    EXPECT_EQ(recordBytes(2).left(1), "1");

    // Closing the main menu ends the program without the window's unload; the armed slot,
    // which holds nothing, is freed as on closing the window.
    w = app->windows().show<frmWaveFiles>(WindowName::frmWaveFiles);
    click(w->cmdRecord);
    EXPECT_EQ(studio->recording().slot(), 3);
    QPointer<frmWaveFiles> library(w);
    app->windows().find(WindowName::mnuMenu)->close();
    flushDeletes();
    EXPECT_TRUE(app->isEnding());
    EXPECT_FALSE(library);
    EXPECT_EQ(recordBytes(3).left(1), "0");
}

TEST_F(LibraryWindowTest, NumberJumpDuringARecordingLeavesTheRecordingItsSlot)
{
    writeIndex({rec("1", "one"), rec("0", ""), rec("1", "three")});
    open();
    click(w->cmdRecord);
    ASSERT_EQ(studio->recording().slot(), 2);
    w->txtNumber->setText("3");
    QTest::keyClick(w->txtNumber, Qt::Key_Return);
    EXPECT_EQ(selectedSlot(), 3);
    EXPECT_EQ(w->txtName->text(), "three");
    click(w->cmdStop);
    EXPECT_EQ(recordBytes(2), rec("1", "(No Name 002 ****)", "0", "12-05-26"));
    EXPECT_EQ(recordBytes(3), rec("1", "three"));
    EXPECT_EQ(selectedSlot(), 2);
}

TEST_F(LibraryWindowTest, LevelSliderSetsTheGainLabelAndSettingsRecord)
{
    writeSettings({{1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}, {8, 0}, {9, 0}});
    open();
    auto record11 = [&] {
        const QByteArray b = readAllBytes(native("C/Tamblor/MyComp.ini"));
        return b.size() == 22 ? qFromLittleEndian<int16_t>(b.constData() + 20) : int16_t(-1);
    };
    w->Slider->setPosition(8192);
    EXPECT_EQ(w->Label3->text(), "-6.0 dB");
    EXPECT_EQ(w->WaveIn().gain(), 8192);
    EXPECT_EQ(record11(), 8192);
    // The top of the slider is 32768, which the 16-bit record stores as 32767.
    w->Slider->setPosition(32768);
    EXPECT_EQ(w->Label3->text(), "+6.0 dB");
    EXPECT_EQ(w->WaveIn().gain(), 32768);
    EXPECT_EQ(record11(), 32767);
    QTest::mouseDClick(w->Label3, Qt::LeftButton);
    EXPECT_EQ(w->Slider->position(), 16384);
    EXPECT_EQ(w->Label3->text(), "0.0 dB");
    EXPECT_EQ(record11(), 16384);
    // The operator's own moves store too, and the next load starts from the stored level.
    w->Slider->setFocus();
    QTest::keyClick(w->Slider, Qt::Key_Down);
    EXPECT_LT(record11(), 16384);
    const int16_t stored = record11();
    reopen();
    EXPECT_EQ(w->Slider->position(), stored);

    // The gain reaches the file: half the level at -6 dB.
    w->Slider->setPosition(8192);
    backend().setInputSignal(sources::tone(1000.0, 16000));
    click(w->cmdRecord);
    feed(4096);
    click(w->cmdStop);
    EXPECT_NEAR(peakOf(readWav(slotFile(1)).samples), 8000, 2);
}

TEST_F(LibraryWindowTest, TimeRemainingFollowsTheFreeSpaceAtTheRecordingRate)
{
    EXPECT_EQ(frmWaveFiles::timeRemainingText(176400000, 176400), "16:40");
    EXPECT_EQ(frmWaveFiles::timeRemainingText(176400000, 88200), "33:20");
    EXPECT_EQ(frmWaveFiles::timeRemainingText(176400 * 3725LL, 176400), " 1:02:05");
    EXPECT_EQ(frmWaveFiles::timeRemainingText(-1, 176400), "00:00");

    writeSettings({{3, 3}, {5, 1}}); // 44100 stereo: 176400 bytes a second
    open();
    EXPECT_EQ(w->Label1->text(), "");
    tick();
    ASSERT_TRUE(w->Label1->text().startsWith("Time remaining: "));
    QString text = w->Label1->text().mid(16);
    const int shown = timeTextToSeconds(text);
    const double expected = double(app->drives().freeBytes('C')) / 176400.0;
    EXPECT_NEAR(shown, expected, 60); // the disk is shared: allow for others writing meanwhile
}

TEST_F(LibraryWindowTest, ARecordingCardThatCannotOpenLeavesNothingArmed)
{
    writeSettings({{2, 5}}); // a recording card that does not exist
    writeIndex({rec("1", "one")});
    open();
    click(w->cmdRecord);
    EXPECT_EQ(app->messageText(), "68 Device unavailable");
    EXPECT_EQ(studio->recording().recordState(), 0);
    EXPECT_EQ(w->cmdRecord->text(), "&Record");
    EXPECT_EQ(recordBytes(2).left(1), "0");
    EXPECT_TRUE(w->mnuDelete->isVisible());
    EXPECT_TRUE(w->TrackBar->isVisible());
    EXPECT_EQ(backend().openStreamCount(), 0);
}

TEST_F(LibraryWindowTest, TimeRemainingUsesTheRateBeingRecorded)
{
    open(); // a first start: 8000 per second mono, 16000 bytes a second
    tick();
    QString text = w->Label1->text().mid(16);
    const int shown = timeTextToSeconds(text);
    EXPECT_NEAR(shown, double(app->drives().freeBytes('C')) / 16000.0, 600);
    EXPECT_GT(shown, int(double(app->drives().freeBytes('C')) / 176400.0) * 5);
}
