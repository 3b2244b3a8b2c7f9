// Record events run by the studio's scheduler with nobody at a window, on the core alone: the
// real take on the virtual card in stepped time (50 ms of clock and of input per step, long
// quiet stretches skipped), in the time zone of London. Every result comes from its cause; the
// takes are checked frame by frame in their files.
#include "StudioFixture.h"
#include "audio/devices/InputDevice.h"
#include "core/ProgramSettings.h"
#include "studio/TakeReading.h"
#include "tests/audio/devices/SignalMeasure.h"
#include <QFileInfo>
#include <QTimeZone>
#include <cmath>
#include <csignal>
#include <sys/resource.h>

using namespace tamblor;
using namespace tamblor::audio;
using namespace tamblor::schedule;
using RS = RecordingSession;

namespace {

class SchedulerTest : public StudioTest {
protected:
    void SetUp() override
    {
        StudioTest::SetUp();
        // 44100 stereo, start mode Off, unity gain; slot 1 in use.
        writeSettings({{3, 3}, {5, 1}, {6, 0}, {11, 16384}});
        writeIndex({rec("1", "ONE", "5")});
    }
    static QByteArray rec(const char* status, const QString& name, const QString& length = "0",
                          const QString& date = "12-01-26")
    {
        return indexRecordBytes(status, name, length, date);
    }
    // A program ended and started again at a local time (the database and index stay).
    void restartAt(const QDateTime& t)
    {
        restart();
        startAt(t);
    }
    // The frames of a slot's file.
    measure::WavContents wav(int slot) { return measure::readWav(slotFile(slot)); }
};

} // namespace

TEST_F(SchedulerTest, AWeekdayEventRecordsAnExactTakeFromTheFrameDueAtItsStartIntoTheFirstFreeSlot)
{
    startAt(local(2026, 12, 7, 16, 58)); // a Monday
    backend().setInputSignal(sources::counter());
    RecordEvent news = event("NEWS", QTime(17, 0), 120, RecordEvent::Weekdays);
    news.nameTemplate = "{name} {time} {date}";
    const qint64 id = add(news);
    ASSERT_TRUE(scheduler().next());
    EXPECT_EQ(scheduler().next()->occurrence.startMs, ms(local(2026, 12, 7, 17, 0)));

    // The input opens two seconds before the start, and nothing is written yet.
    runUntil(ms(local(2026, 12, 7, 16, 59, 57)));
    EXPECT_EQ(take().state(), RS::State::Idle);
    runUntil(ms(local(2026, 12, 7, 16, 59, 58)) + 50);
    EXPECT_EQ(take().state(), RS::State::Armed);
    ASSERT_TRUE(scheduler().recording());
    EXPECT_EQ(scheduler().recording()->name, "NEWS");
    EXPECT_TRUE(runsOf(id).empty());

    runUntil(ms(local(2026, 12, 7, 17, 0, 1)));
    EXPECT_EQ(take().state(), RS::State::Writing);
    ASSERT_EQ(runsOf(id).size(), 1u);
    EXPECT_TRUE(runsOf(id)[0].underWay());
    runUntil(ms(local(2026, 12, 7, 17, 3)));
    EXPECT_EQ(take().state(), RS::State::Idle);
    EXPECT_FALSE(scheduler().recording());

    const auto runs = runsOf(id);
    ASSERT_EQ(runs.size(), 1u);
    const RecordRun& run = runs[0];
    EXPECT_EQ(run.result, RunResult::OK) << run.detail.toStdString();
    EXPECT_EQ(run.slot, 2);
    EXPECT_EQ(run.lengthFrames, 120 * 44100);
    EXPECT_EQ(run.sampleRate, 44100);
    EXPECT_EQ(run.scheduledStartMs, ms(local(2026, 12, 7, 17, 0)));
    EXPECT_EQ(run.firstSampleMs, run.scheduledStartMs);
    EXPECT_FALSE(run.needsAttention());
    ASSERT_TRUE(run.peakDbfs());
    EXPECT_GT(*run.peakDbfs(), -0.01);
    EXPECT_EQ(recordBytes(2), rec("1", "NEWS 17:00 07.12", "120", "12-07-26"));

    // The file holds exactly the planned frames, the first being the one due at 17:00: two
    // seconds (88200 frames) after the input opened, as the counter signal numbers them.
    const auto take = wav(2);
    ASSERT_EQ(take.channels, 2);
    ASSERT_EQ(take.samples.size(), size_t(2 * 120 * 44100));
    EXPECT_EQ(take.samples[0], int16_t(88200 % 32768));
    EXPECT_EQ(take.samples[1], int16_t(-(88200 % 32768)));
    const int64_t last = 88200 + 120 * 44100 - 1;
    EXPECT_EQ(take.samples[take.samples.size() - 2], int16_t(last % 32768));
    ASSERT_TRUE(scheduler().lastTiming());
    EXPECT_EQ(scheduler().lastTiming()->firstSample, scheduler().lastTiming()->dueSample);
    EXPECT_EQ(scheduler().lastTiming()->framesWritten, 120 * 44100);
}

TEST_F(SchedulerTest, AFixedSlotIsReplacedOnlyByATakeFoundOKOverTwoDays)
{
    // Slot 5 holds the old spot; its file stays byte for byte until a new take is OK.
    writeIndex({rec("1", "ONE", "5"), rec("0", ""), rec("0", ""), rec("0", ""), rec("1", "SPOT OLD", "3")});
    measure::writeWav(slotFile(5), 44100, 2, std::vector<int16_t>(2 * 3 * 44100, 1234));
    const QByteArray old = readAllBytes(slotFile(5));
    startAt(local(2026, 12, 7, 16, 50));
    // The old spot's figures, as the library measured them.
    studio->measurer().request(5);
    studio->measurer().finishAll();
    const auto oldFigures = studio->figures().current(5, slotFile(5));
    ASSERT_TRUE(oldFigures);
    EXPECT_NEAR(*oldFigures->peakDbfs, 20 * std::log10(1234.0 / 32768.0), 0.01);
    RecordEvent spot = event("SPOT", QTime(16, 55), 60);
    spot.destination = Destination::FixedSlot;
    spot.fixedSlot = 5;
    const qint64 id = add(spot);

    // Day one: the line is silent. The run says so, and the old take stays in slot 5.
    backend().setInputSignal(sources::silence());
    runUntil(ms(local(2026, 12, 7, 17, 0)));
    auto runs = runsOf(id);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].result, RunResult::Silent);
    EXPECT_TRUE(runs[0].needsAttention());
    EXPECT_EQ(runs[0].slot, 2);
    EXPECT_TRUE(runs[0].detail.contains("Slot 5 keeps its take; this one is in slot 2.")) << runs[0].detail.toStdString();
    EXPECT_EQ(readAllBytes(slotFile(5)), old);
    EXPECT_EQ(recordBytes(5), rec("1", "SPOT OLD", "3"));
    EXPECT_TRUE(lastTold().contains("Silent")) << lastTold().toStdString();
    // The silent take's figures are slot 2's, and slot 5 keeps its own.
    ASSERT_TRUE(runs[0].figures);
    EXPECT_TRUE(std::isinf(*runs[0].peakDbfs()));
    EXPECT_EQ(studio->figures().current(2, slotFile(2))->id, runs[0].figuresId);
    EXPECT_EQ(studio->figures().current(5, slotFile(5)), oldFigures);

    // Day two: a tone. The new take replaces slot 5's file and entry; no free slot was taken for it.
    backend().setInputSignal(sources::tone(1000.0, 8000));
    runUntil(ms(local(2026, 12, 8, 17, 0)));
    runs = runsOf(id);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].result, RunResult::OK) << runs[0].detail.toStdString();
    EXPECT_EQ(runs[0].slot, 5);
    EXPECT_EQ(runs[0].lengthFrames, 60 * 44100);
    EXPECT_EQ(recordBytes(5), rec("1", "SPOT", "60", "12-08-26"));
    EXPECT_EQ(wav(5).samples.size(), size_t(2 * 60 * 44100));
    EXPECT_EQ(studio->library().read(3)->Status, SlotStatus::Free);
    EXPECT_FALSE(QFileInfo::exists(slotFile(3)));
    // Slot 5 has the new take's figures, current for its file, and the run refers to them; the
    // old spot's are gone with it, and the free slot has none.
    const auto newFigures = studio->figures().current(5, slotFile(5));
    ASSERT_TRUE(newFigures);
    EXPECT_EQ(newFigures->id, runs[0].figuresId);
    EXPECT_NE(newFigures->id, oldFigures->id);
    EXPECT_NEAR(*newFigures->peakDbfs, 20 * std::log10(8000.0 / 32768.0), 0.1);
    EXPECT_EQ(newFigures->frames, 60 * 44100);
    EXPECT_FALSE(studio->figures().byId(oldFigures->id));
    EXPECT_FALSE(studio->figures().find(3));
    // Day one's silent take is still where the run said.
    EXPECT_EQ(studio->library().read(2)->Status, SlotStatus::Used);
    EXPECT_EQ(runsOf(id)[1].slot, 2);

    // Day three: the input fails 20 s in. The short take is kept beside slot 5, which keeps day
    // two's take, and the run says so once.
    const QByteArray dayTwo = readAllBytes(slotFile(5));
    runUntil(ms(local(2026, 12, 9, 16, 55, 20)));
    backend().failInput();
    runUntil(ms(local(2026, 12, 9, 17, 0)));
    runs = runsOf(id);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].result, RunResult::Short) << runs[0].detail.toStdString();
    EXPECT_NE(runs[0].slot, 5);
    EXPECT_EQ(runs[0].detail.count("keeps its take"), 1) << runs[0].detail.toStdString();
    EXPECT_TRUE(runs[0].detail.endsWith(QString("Slot 5 keeps its take; this one is in slot %1.").arg(runs[0].slot)))
        << runs[0].detail.toStdString();
    EXPECT_EQ(readAllBytes(slotFile(5)), dayTwo);
}

TEST_F(SchedulerTest, ClippedSilentShortAndDeviceBusyEachComeFromTheirCause)
{
    startAt(local(2026, 12, 7, 9, 58));
    const qint64 loud = add(event("LOUD", QTime(10, 0), 10));
    const qint64 lost = add(event("LOST", QTime(11, 0), 60));
    const qint64 busy = add(event("BUSY", QTime(12, 0), 30));
    const qint64 quiet = add(event("QUIET", QTime(13, 0), 10));

    // Twice the gain on a loud tone: full-scale samples.
    backend().setInputSignal(sources::tone(1000.0, 30000));
    take().input().setGain(2 * InputDevice::UnityGain);
    runUntil(ms(local(2026, 12, 7, 10, 1)));
    ASSERT_EQ(runsOf(loud).size(), 1u);
    EXPECT_EQ(runsOf(loud)[0].result, RunResult::Clipped) << runsOf(loud)[0].detail.toStdString();
    EXPECT_EQ(runsOf(loud)[0].lengthFrames, 10 * 44100);
    take().input().setGain(InputDevice::UnityGain);

    // The input fails 20 s into the take: Short, with what was recorded kept.
    backend().setInputSignal(sources::tone(1000.0, 8000));
    runUntil(ms(local(2026, 12, 7, 11, 0, 20)));
    ASSERT_EQ(take().state(), RS::State::Writing);
    backend().failInput();
    runUntil(ms(local(2026, 12, 7, 11, 5)));
    ASSERT_EQ(runsOf(lost).size(), 1u);
    const RecordRun shortRun = runsOf(lost)[0];
    EXPECT_EQ(shortRun.result, RunResult::Short) << shortRun.detail.toStdString();
    EXPECT_NEAR(double(shortRun.lengthFrames), 20.0 * 44100, 44100.0 * 0.1);
    EXPECT_EQ(wav(shortRun.slot).samples.size(), size_t(2 * shortRun.lengthFrames));
    EXPECT_TRUE(shortRun.detail.startsWith("The input failed during the take. The 20."));
    EXPECT_TRUE(shortRun.detail.endsWith(QString(" s recorded were kept in slot %1.").arg(shortRun.slot)))
        << shortRun.detail.toStdString();

    // A take by hand is under way at noon: the event does not interrupt it.
    backend().setInputSignal(sources::tone(1000.0, 8000));
    runUntil(ms(local(2026, 12, 7, 11, 59)));
    take().applySettings();
    take().handle(RS::Event::Press);
    ASSERT_EQ(take().state(), RS::State::Writing);
    const int handSlot = take().slot();
    runUntil(ms(local(2026, 12, 7, 12, 1)));
    EXPECT_EQ(take().state(), RS::State::Writing);
    EXPECT_EQ(take().slot(), handSlot);
    ASSERT_EQ(runsOf(busy).size(), 1u);
    EXPECT_EQ(runsOf(busy)[0].result, RunResult::DeviceBusy);
    EXPECT_EQ(runsOf(busy)[0].slot, 0);
    EXPECT_TRUE(runsOf(busy)[0].detail.contains("take by hand"));
    take().handle(RS::Event::Stop);
    EXPECT_EQ(wav(handSlot).samples.size(), size_t(2 * 120 * 44100));

    // Nothing above -50 dBFS (a tone at -60 dBFS): Silent.
    backend().setInputSignal(sources::tone(1000.0, 33));
    runUntil(ms(local(2026, 12, 7, 13, 1)));
    ASSERT_EQ(runsOf(quiet).size(), 1u);
    EXPECT_EQ(runsOf(quiet)[0].result, RunResult::Silent);
    ASSERT_TRUE(runsOf(quiet)[0].peakDbfs());
    EXPECT_LT(*runsOf(quiet)[0].peakDbfs(), -50.0);

    // Every result but OK waits for the operator.
    EXPECT_EQ(studio->runs().unseen().size(), 4u);
}

TEST_F(SchedulerTest, TooLittleRoomRefusesTheTakeAndAFullDiskDuringItKeepsWhatWasWritten)
{
    startAt(local(2026, 12, 7, 9, 58));
    const qint64 first = add(event("FIRST", QTime(10, 0), 120));
    const qint64 second = add(event("SECOND", QTime(11, 0), 120));
    backend().setInputSignal(sources::tone(1000.0, 8000));

    // 120 s of 44100 stereo is 21168000 bytes: with 64 MiB kept free, 80 MiB are too little.
    scheduler().setFreeSpace([](const QString&) { return qint64(80) * 1024 * 1024; });
    runUntil(ms(local(2026, 12, 7, 10, 3)));
    ASSERT_EQ(runsOf(first).size(), 1u);
    EXPECT_EQ(runsOf(first)[0].result, RunResult::DiskFull);
    EXPECT_EQ(runsOf(first)[0].slot, 0);
    EXPECT_TRUE(!studio->library().read(2) || studio->library().read(2)->Status == SlotStatus::Free);
    EXPECT_FALSE(QFileInfo::exists(slotFile(2)));
    EXPECT_TRUE(runsOf(first)[0].detail.startsWith("Only 80 MB are free")) << runsOf(first)[0].detail.toStdString();

    // Enough room by the count, but the disk fills 8 MiB into the file (a limit on the size of
    // files this process writes; the database stays well below it).
    scheduler().setFreeSpace([](const QString&) { return qint64(1) << 40; });
    runUntil(ms(local(2026, 12, 7, 10, 59, 59)));
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 8 << 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    runUntil(ms(local(2026, 12, 7, 11, 1)));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    runUntil(ms(local(2026, 12, 7, 11, 3)));
    ASSERT_EQ(runsOf(second).size(), 1u);
    const RecordRun run = runsOf(second)[0];
    EXPECT_EQ(run.result, RunResult::DiskFull) << run.detail.toStdString();
    EXPECT_GT(run.lengthFrames, 0);
    EXPECT_LT(run.lengthFrames, (8 << 20) / 4);
    EXPECT_TRUE(run.detail.startsWith("The disk filled during the take.")) << run.detail.toStdString();
    EXPECT_EQ(run.slot, 2);
    EXPECT_EQ(wav(2).samples.size(), size_t(2 * run.lengthFrames));
    EXPECT_EQ(studio->library().read(2)->Status, SlotStatus::Used);
}

TEST_F(SchedulerTest, DowntimeGivesOneMissedRunPerDayAndAStartInsideTheEventRecordsTheRestAsLateStart)
{
    startAt(local(2026, 12, 7, 16, 0)); // Monday
    const qint64 id = add(event("NEWS", QTime(17, 0), 120, RecordEvent::Weekdays));
    backend().setInputSignal(sources::tone(1000.0, 8000));
    runUntil(ms(local(2026, 12, 7, 16, 30)));
    EXPECT_EQ(studio->database().connection().queryInt("SELECT value FROM program_state WHERE key = 'scheduler.heartbeat'"),
              ms(local(2026, 12, 7, 16, 30)));

    // Down from Monday 16:30 to Tuesday 17:30: Monday's and Tuesday's news are missed, once each.
    restartAt(local(2026, 12, 8, 17, 30));
    auto runs = runsOf(id);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].result, RunResult::Missed);
    EXPECT_EQ(runs[0].scheduledStartMs, ms(local(2026, 12, 8, 17, 0)));
    EXPECT_EQ(runs[1].result, RunResult::Missed);
    EXPECT_EQ(runs[1].scheduledStartMs, ms(local(2026, 12, 7, 17, 0)));
    EXPECT_TRUE(runs[0].detail.contains("not running")) << runs[0].detail.toStdString();
    // Both are told in one message: the message window keeps only its last text.
    EXPECT_EQ(lastTold().count(": Missed. "), 2) << lastTold().toStdString();
    EXPECT_EQ(told.filter(": Missed. ").size(), 1) << told.join("\n").toStdString();
    EXPECT_EQ(take().state(), RS::State::Idle);
    // Started again at once: nothing is found twice.
    restartAt(local(2026, 12, 8, 17, 31));
    EXPECT_EQ(runsOf(id).size(), 2u);

    // Up again on Wednesday at 17:00:30, with 90 s of the news left: those are recorded.
    restartAt(local(2026, 12, 9, 17, 0, 30));
    backend().setInputSignal(sources::tone(1000.0, 8000));
    runUntil(ms(local(2026, 12, 9, 17, 5)));
    runs = runsOf(id);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].result, RunResult::LateStart) << runs[0].detail.toStdString();
    EXPECT_EQ(runs[0].firstSampleMs, ms(local(2026, 12, 9, 17, 0, 30)));
    EXPECT_EQ(runs[0].lengthFrames, 90 * 44100);
    EXPECT_EQ(wav(runs[0].slot).samples.size(), size_t(2 * 90 * 44100));

    // Up on Thursday at 17:01:30, with 30 s left: too little, missed.
    restartAt(local(2026, 12, 10, 17, 1, 30));
    runUntil(ms(local(2026, 12, 10, 17, 5)));
    runs = runsOf(id);
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0].result, RunResult::Missed);
}

TEST_F(SchedulerTest, ATakeUnderWayWhenTheProgramDiedIsFoundInterruptedAndCompletedWithWhatItHolds)
{
    startAt(local(2026, 12, 7, 9, 58));
    RecordEvent e = event("FEED", QTime(10, 0), 120);
    const qint64 id = add(e);
    backend().setInputSignal(sources::tone(1000.0, 8000));
    runUntil(ms(local(2026, 12, 7, 10, 0, 30)));
    ASSERT_EQ(take().state(), RS::State::Writing);
    ASSERT_EQ(take().slot(), 2);

    // Killed: no end of the program, and the slot left reserved as a killed program leaves it.
    studio.reset();
    QByteArray bytes = indexBytes();
    bytes[39] = '2';
    writeAllBytes(indexPath(), bytes);
    const qint64 held = qint64(wav(2).samples.size() / 2);
    ASSERT_GT(held, 29 * 44100);
    newCore();
    newStudio();
    startAt(local(2026, 12, 7, 10, 5));

    const auto runs = runsOf(id);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].result, RunResult::Interrupted);
    EXPECT_EQ(runs[0].lengthFrames, held);
    EXPECT_EQ(runs[0].slot, 2);
    EXPECT_TRUE(runs[0].detail.contains("slot 2")) << runs[0].detail.toStdString();
    EXPECT_EQ(recordBytes(2), rec("1", "FEED", "30", "12-07-26"));
    // Read back as any take: its figures are in the run.
    scheduler().finishChecks();
    const auto read = runsOf(id).at(0);
    EXPECT_EQ(read.result, RunResult::Interrupted);
    ASSERT_TRUE(read.peakDbfs());
    EXPECT_NEAR(*read.peakDbfs(), 20 * std::log10(8000.0 / 32768.0), 0.1);
    // The same figures are the slot's: one row, which the run refers to.
    ASSERT_TRUE(studio->figures().current(2, slotFile(2)));
    EXPECT_EQ(studio->figures().current(2, slotFile(2))->id, read.figuresId);
}

TEST_F(SchedulerTest, OnTheChangeDaysOfLondonTimeATwiceOccurringStartRunsOnceAndAMissingOneRunsAtTheChange)
{
    // 25 October 2026: 01:30 happens twice (BST, then GMT).
    startAt(local(2026, 10, 25, 0, 30));
    const qint64 autumn = add(event("NIGHT", QTime(1, 30), 60));
    backend().setInputSignal(sources::tone(1000.0, 8000));
    runUntil(ms(local(2026, 10, 25, 3, 0)));
    auto runs = runsOf(autumn);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].result, RunResult::OK);
    EXPECT_EQ(runs[0].scheduledStartMs, QDateTime(QDate(2026, 10, 25), QTime(0, 30), QTimeZone::utc()).toMSecsSinceEpoch());
    EXPECT_EQ(runs[0].lengthFrames, 60 * 44100);
    studio->events().remove(autumn);

    // 29 March 2027: 01:30 does not exist; the take starts at 02:00 and says so.
    restartAt(local(2027, 3, 28, 0, 30));
    const qint64 spring = add(event("NIGHT", QTime(1, 30), 60));
    backend().setInputSignal(sources::tone(1000.0, 8000));
    runUntil(ms(local(2027, 3, 28, 3, 0)));
    runs = runsOf(spring);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].result, RunResult::LateStart) << runs[0].detail.toStdString();
    EXPECT_EQ(runs[0].scheduledStartMs, QDateTime(QDate(2027, 3, 28), QTime(1, 0), QTimeZone::utc()).toMSecsSinceEpoch());
    EXPECT_EQ(runs[0].firstSampleMs, runs[0].scheduledStartMs);
    EXPECT_EQ(runs[0].lengthFrames, 60 * 44100);
    EXPECT_TRUE(runs[0].detail.contains("did not exist")) << runs[0].detail.toStdString();
}

TEST_F(SchedulerTest, AClockStepPastAStartGivesMissedAndAStepBackWaitsForTheStartAgain)
{
    startAt(local(2026, 12, 7, 9, 0));
    const qint64 ten = add(event("TEN", QTime(10, 0), 60));
    const qint64 eleven = add(event("ELEVEN", QTime(11, 0), 60));
    const qint64 quarter = add(event("QUARTER", QTime(10, 15), 60));
    backend().setInputSignal(sources::counter());
    runUntil(ms(local(2026, 12, 7, 9, 58)));

    // NTP puts the clock forward from 09:58 to 10:30: ten and a quarter past were stepped over,
    // and both are told in one message.
    const qsizetype toldBefore = told.size();
    core->clock().setFixed(local(2026, 12, 7, 10, 30));
    runUntil(ms(local(2026, 12, 7, 10, 31)));
    ASSERT_EQ(runsOf(ten).size(), 1u);
    EXPECT_EQ(runsOf(ten)[0].result, RunResult::Missed);
    EXPECT_EQ(runsOf(ten)[0].slot, 0);
    EXPECT_TRUE(runsOf(ten)[0].detail.contains("clock was put forward")) << runsOf(ten)[0].detail.toStdString();
    ASSERT_EQ(runsOf(quarter).size(), 1u);
    EXPECT_EQ(runsOf(quarter)[0].result, RunResult::Missed);
    ASSERT_EQ(told.size(), toldBefore + 1) << told.join("\n").toStdString();
    EXPECT_EQ(lastTold().count(": Missed. "), 2) << lastTold().toStdString();
    EXPECT_TRUE(!studio->library().read(2) || studio->library().read(2)->Status == SlotStatus::Free);

    // While the input is open for eleven, the clock is put back half an hour: the input is let
    // go, and the take starts at eleven by the new time, exactly.
    runUntil(ms(local(2026, 12, 7, 10, 59, 59)));
    ASSERT_EQ(take().state(), RS::State::Armed);
    core->clock().setFixed(local(2026, 12, 7, 10, 30));
    runUntil(ms(local(2026, 12, 7, 10, 30, 1)));
    EXPECT_EQ(take().state(), RS::State::Idle);
    EXPECT_TRUE(runsOf(eleven).empty());
    runUntil(ms(local(2026, 12, 7, 11, 2)));
    ASSERT_EQ(runsOf(eleven).size(), 1u);
    EXPECT_EQ(runsOf(eleven)[0].result, RunResult::OK);
    EXPECT_EQ(runsOf(eleven)[0].lengthFrames, 60 * 44100);
    EXPECT_EQ(scheduler().lastTiming()->firstSample, scheduler().lastTiming()->dueSample);
}

TEST_F(SchedulerTest, RecordNowRunsTheEventAtOnceForItsPlannedLengthAndIsRefusedWhileTheInputIsTaken)
{
    startAt(local(2026, 12, 7, 14, 0));
    const qint64 id = add(event("NOW", QTime(20, 0), 30));
    backend().setInputSignal(sources::tone(1000.0, 8000));
    EXPECT_FALSE(scheduler().recordNow(id + 100)) << "an unknown event";

    ASSERT_TRUE(scheduler().recordNow(id));
    EXPECT_EQ(take().state(), RS::State::Writing);
    ASSERT_TRUE(scheduler().recording());
    EXPECT_EQ(scheduler().recording()->id, id);
    // A second "Record now" while the input is taken is refused and says why.
    EXPECT_FALSE(scheduler().recordNow(id));
    EXPECT_TRUE(lastTold().contains("the input is taken")) << lastTold().toStdString();

    runUntil(now() + 35000);
    const auto runs = runsOf(id);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].result, RunResult::OK) << runs[0].detail.toStdString();
    EXPECT_EQ(runs[0].scheduledStartMs, ms(local(2026, 12, 7, 14, 0)));
    EXPECT_EQ(runs[0].firstSampleMs, runs[0].scheduledStartMs);
    EXPECT_EQ(runs[0].lengthFrames, 30 * 44100);
    EXPECT_EQ(recordBytes(2), rec("1", "NOW", "30", "12-07-26"));

    // A take by hand holds the input: refused as well, and the take by hand goes on.
    take().applySettings();
    take().handle(RS::Event::Press);
    ASSERT_EQ(take().state(), RS::State::Writing);
    EXPECT_FALSE(scheduler().recordNow(id));
    EXPECT_EQ(take().state(), RS::State::Writing);
    EXPECT_FALSE(scheduler().recording());
    take().handle(RS::Event::Stop);
}

TEST_F(SchedulerTest, AfterRecordingATakeIsPeakOrLoudnessNormalizedInPlace)
{
    startAt(local(2026, 12, 7, 9, 58));
    RecordEvent peak = event("PEAK", QTime(10, 0), 10);
    peak.after = AfterRecording::PeakNormalize;
    peak.peakPercent = 100;
    const qint64 peakId = add(peak);
    RecordEvent loud = event("LOUD", QTime(10, 1), 10);
    loud.after = AfterRecording::LoudnessNormalize;
    loud.loudnessLufs = -23.0;
    loud.ceilingDbtp = -1.0;
    const qint64 loudId = add(loud);
    backend().setInputSignal(sources::tone(1000.0, 4000)); // about -18 dBFS
    runUntil(ms(local(2026, 12, 7, 10, 3)));

    const RecordRun p = runsOf(peakId).at(0);
    EXPECT_EQ(p.result, RunResult::OK);
    EXPECT_TRUE(p.detail.startsWith("Peak normalized to 100 % (")) << p.detail.toStdString();
    const TakeReading afterPeak = *TakeReading::of(slotFile(p.slot));
    EXPECT_NEAR(afterPeak.peakDbfs, 0.0, 0.05);
    EXPECT_EQ(afterPeak.frames, 10 * 44100);
    // The figures kept are those of the file as it is on the disk: taken after the normalize,
    // current for the file, the slot's and the run's one row.
    ASSERT_TRUE(p.peakDbfs());
    EXPECT_NEAR(*p.peakDbfs(), 0.0, 0.05);
    ASSERT_TRUE(studio->figures().current(p.slot, slotFile(p.slot)));
    EXPECT_EQ(studio->figures().current(p.slot, slotFile(p.slot))->id, p.figuresId);

    const RecordRun l = runsOf(loudId).at(0);
    EXPECT_EQ(l.result, RunResult::OK);
    EXPECT_TRUE(l.detail.startsWith("Loudness normalized to -23 LUFS (")) << l.detail.toStdString();
    EXPECT_NEAR(TakeReading::of(slotFile(l.slot))->integratedLufs, -23.0, 0.1);
    ASSERT_TRUE(l.figures && l.figures->integratedLufs);
    EXPECT_NEAR(*l.figures->integratedLufs, -23.0, 0.1);
}

TEST_F(SchedulerTest, AFinishedTakeIsReadOnceAndASecondTimeOnlyWhenItWasNormalizedAfterRecording)
{
    startAt(local(2026, 12, 7, 9, 58));
    const qint64 plainId = add(event("PLAIN", QTime(10, 0), 10));
    RecordEvent loud = event("LOUD", QTime(10, 1), 10);
    loud.after = AfterRecording::LoudnessNormalize;
    loud.loudnessLufs = -23.0;
    loud.ceilingDbtp = -1.0;
    const qint64 loudId = add(loud);
    backend().setInputSignal(sources::tone(1000.0, 4000));
    // The takes go to slots 2 and 3; what was read of those files before does not count.
    const int plainBefore = TakeReading::passesOver(slotFile(2));
    const int loudBefore = TakeReading::passesOver(slotFile(3));
    runUntil(ms(local(2026, 12, 7, 10, 3)));
    studio->measurer().finishAll();

    const RecordRun plain = runsOf(plainId).at(0);
    const RecordRun normalized = runsOf(loudId).at(0);
    ASSERT_EQ(plain.slot, 2);
    ASSERT_EQ(normalized.slot, 3);
    EXPECT_EQ(plain.result, RunResult::OK) << plain.detail.toStdString();
    EXPECT_EQ(normalized.result, RunResult::OK) << normalized.detail.toStdString();
    // One reading of the plain take, for the verdict and the figures alike; the measurer did not
    // read it again at its end.
    EXPECT_EQ(TakeReading::passesOver(slotFile(2)), plainBefore + 1);
    // The normalized take: the reading that judged it as recorded, and one of the file as it
    // stays after the normalize.
    EXPECT_EQ(TakeReading::passesOver(slotFile(3)), loudBefore + 2);

    // The figures are current for the files, so a look from the library reads nothing more.
    for (const RecordRun& r : {plain, normalized}) {
        ASSERT_TRUE(r.figures) << r.eventName.toStdString();
        const auto stored = studio->figures().current(r.slot, slotFile(r.slot));
        ASSERT_TRUE(stored) << r.eventName.toStdString();
        EXPECT_EQ(stored->id, r.figuresId);
        EXPECT_EQ(stored->frames, 10 * 44100);
        EXPECT_EQ(stored->sampleRate, 44100);
        EXPECT_EQ(stored->channels, 2);
        EXPECT_EQ(stored->clippedRuns, 0);
        // The longest silence at the preferences' threshold.
        EXPECT_EQ(stored->silenceBelowDbfs, ProgramSettings(core->drives()).loudness().silenceThresholdDbfs);
        studio->measurer().request(r.slot);
        EXPECT_FALSE(studio->measurer().isPending(r.slot));
    }
    EXPECT_EQ(TakeReading::passesOver(slotFile(2)), plainBefore + 1);
    EXPECT_NEAR(*normalized.figures->integratedLufs, -23.0, 0.1);
    EXPECT_NEAR(*plain.figures->peakDbfs, 20 * std::log10(4000.0 / 32768.0), 0.1);
}
