// Edges a real week brings to takes on a clock, on the core alone: a press at the desk while an
// event holds the input, a take across midnight, an event deleted while it records.
#include "StudioFixture.h"
#include "tests/audio/devices/SignalMeasure.h"
#include "platform/Failure.h"
#include <QFileInfo>
#include <csignal>
#include <sys/resource.h>

using namespace tamblor;
using namespace tamblor::audio;
using namespace tamblor::schedule;
using RS = RecordingSession;

class SchedulerEdgeTest : public StudioTest {
protected:
    void SetUp() override
    {
        StudioTest::SetUp();
        // 44100 stereo, start mode Off, unity gain; slot 1 in use.
        writeSettings({{3, 3}, {5, 1}, {6, 0}, {11, 16384}});
        writeIndex({indexRecordBytes("1", "ONE", "5", "12-01-26")});
    }
    // The index record of a slot as bytes.
    QByteArray indexRecord(int slot) const
    {
        return readAllBytes(native("C/Tamblor/Schedule.dat")).mid(39 * (slot - 1), 39);
    }
};

TEST_F(SchedulerEdgeTest, ARecordPressWhileAnEventHoldsTheInputIsRefusedNamingTheEventAndItsEnd)
{
    startAt(local(2026, 12, 7, 16, 58));
    backend().setInputSignal(sources::counter());
    const qint64 id = add(event("NEWS", QTime(17, 0), 10));

    runUntil(ms(local(2026, 12, 7, 16, 59, 59)));
    ASSERT_EQ(take().state(), RS::State::Armed) << "in the lead";
    take().handle(RS::Event::Press);
    EXPECT_EQ(take().state(), RS::State::Armed);
    EXPECT_EQ(lastTold(), "Record cannot start now: the record event \"NEWS\" holds the input until 17:00:10.");

    runUntil(ms(local(2026, 12, 7, 17, 0, 5)));
    ASSERT_EQ(take().state(), RS::State::Writing);
    told.clear();
    take().handle(RS::Event::Press);
    EXPECT_EQ(take().state(), RS::State::Writing) << "the elapsed time goes on";
    EXPECT_TRUE(lastTold().contains("\"NEWS\""));

    runUntil(ms(local(2026, 12, 7, 17, 0, 12)));
    const std::vector<RecordRun> runs = runsOf(id);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].result, RunResult::OK);
    EXPECT_EQ(runs[0].lengthFrames, 10 * 44100);
}

TEST_F(SchedulerEdgeTest, ATakeAcrossMidnightIsDatedByItsStart)
{
    startAt(local(2026, 12, 7, 23, 58));
    backend().setInputSignal(sources::tone(1000, 8000));
    const qint64 id = add(event("LATE", QTime(23, 59, 50), 20));
    runUntil(ms(local(2026, 12, 8, 0, 0, 15)));
    const std::vector<RecordRun> runs = runsOf(id);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].result, RunResult::OK);
    ASSERT_EQ(runs[0].slot, 2);
    EXPECT_EQ(indexRecord(2).mid(31, 8), "12-07-26") << indexRecord(2).toStdString();
}

TEST_F(SchedulerEdgeTest, AnEventDeletedWhileItRecordsKeepsItsRunWithItsResult)
{
    startAt(local(2026, 12, 7, 16, 58));
    backend().setInputSignal(sources::tone(1000, 8000));
    const qint64 id = add(event("NEWS", QTime(17, 0), 10));
    runUntil(ms(local(2026, 12, 7, 17, 0, 5)));
    ASSERT_EQ(take().state(), RS::State::Writing);
    studio->events().remove(id);
    runUntil(ms(local(2026, 12, 7, 17, 0, 12)));
    EXPECT_EQ(take().state(), RS::State::Idle);

    auto all = studio->runs().list();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].result, RunResult::OK) << all[0].detail.toStdString();
    EXPECT_EQ(all[0].eventName, "NEWS");
    EXPECT_EQ(all[0].lengthFrames, 10 * 44100);

    // The next start finds nothing under way: the take is not called Interrupted.
    restart();
    startAt(local(2026, 12, 7, 17, 5));
    all = studio->runs().list();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].result, RunResult::OK);
}

TEST_F(SchedulerEdgeTest, BackToBackTakesFollowOnWithoutAFrameLostOrTwiceAndAnotherFormatStartsOnTime)
{
    startAt(local(2026, 12, 7, 9, 58));
    backend().setInputSignal(sources::counter());
    const qint64 first = add(event("FIRST", QTime(10, 0), 60));
    const qint64 second = add(event("SECOND", QTime(10, 1), 60));
    RecordEvent mono = event("THIRD", QTime(10, 2), 60);
    mono.format = 2; // 22050
    mono.channels = 0;
    const qint64 third = add(mono);
    runUntil(ms(local(2026, 12, 7, 10, 3, 5)));

    const std::vector<RecordRun> a = runsOf(first), b = runsOf(second), c = runsOf(third);
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(a[0].result, RunResult::OK) << a[0].detail.toStdString();
    EXPECT_EQ(b[0].result, RunResult::OK) << b[0].detail.toStdString();
    EXPECT_EQ(c[0].result, RunResult::OK) << c[0].detail.toStdString();
    EXPECT_EQ(a[0].lengthFrames, 60 * 44100);
    EXPECT_EQ(b[0].lengthFrames, 60 * 44100);
    EXPECT_EQ(c[0].lengthFrames, 60 * 22050);
    EXPECT_EQ(b[0].firstSampleMs, ms(local(2026, 12, 7, 10, 1)));

    // The counter numbers the input's frames: the second file goes on where the first stopped.
    const measure::WavContents one = measure::readWav(slotFile(a[0].slot));
    const measure::WavContents two = measure::readWav(slotFile(b[0].slot));
    ASSERT_EQ(one.samples.size(), size_t(2 * 60 * 44100));
    ASSERT_EQ(two.samples.size(), size_t(2 * 60 * 44100));
    const int lastOfOne = one.samples[one.samples.size() - 2];
    EXPECT_EQ(int16_t((lastOfOne + 1) % 32768), two.samples[0]) << lastOfOne << " then " << two.samples[0];
    EXPECT_EQ(int16_t((two.samples[0] + 60 * 44100 - 1) % 32768), two.samples[two.samples.size() - 2]);

    // The third, in another format, opens the input again at its start: its first frame is
    // within 20 ms of the one due then.
    ASSERT_TRUE(scheduler().lastTiming());
    const auto& t = *scheduler().lastTiming();
    EXPECT_EQ(t.channels, 1);
    EXPECT_LE(std::llabs(qint64(t.firstSample) - qint64(t.dueSample)), qint64(22050 * 20 / 1000));
    EXPECT_EQ(t.framesWritten, 60 * 22050);
    const measure::WavContents three = measure::readWav(slotFile(c[0].slot));
    EXPECT_EQ(three.channels, 1);
    EXPECT_EQ(three.samples.size(), size_t(60 * 22050));
}

TEST_F(SchedulerEdgeTest, AStepOfTheClockForwardOrBackDuringATakeLeavesItsLengthAsPlanned)
{
    startAt(local(2026, 12, 7, 10, 58));
    backend().setInputSignal(sources::tone(1000, 8000));
    const qint64 eleven = add(event("ELEVEN", QTime(11, 0), 60));
    const qint64 noon = add(event("NOON", QTime(12, 0), 60));

    // Put forward 30 s, 20 s into the take: it still holds its 60 s.
    runUntil(ms(local(2026, 12, 7, 11, 0, 20)));
    ASSERT_EQ(take().state(), RS::State::Writing);
    core->clock().setFixed(local(2026, 12, 7, 11, 0, 50));
    runUntil(ms(local(2026, 12, 7, 11, 1, 45)));
    ASSERT_EQ(runsOf(eleven).size(), 1u);
    EXPECT_EQ(runsOf(eleven)[0].result, RunResult::OK) << runsOf(eleven)[0].detail.toStdString();
    EXPECT_EQ(runsOf(eleven)[0].lengthFrames, 60 * 44100);
    EXPECT_EQ(measure::readWav(slotFile(runsOf(eleven)[0].slot)).samples.size(), size_t(2 * 60 * 44100));

    // Put back 30 s, 20 s into the take: it ends with its 60 s, not 30 s later.
    runUntil(ms(local(2026, 12, 7, 12, 0, 20)));
    ASSERT_EQ(take().state(), RS::State::Writing);
    core->clock().setFixed(local(2026, 12, 7, 11, 59, 50));
    runUntil(ms(local(2026, 12, 7, 12, 0, 31)));
    EXPECT_EQ(take().state(), RS::State::Idle);
    ASSERT_EQ(runsOf(noon).size(), 1u);
    EXPECT_EQ(runsOf(noon)[0].result, RunResult::OK) << runsOf(noon)[0].detail.toStdString();
    EXPECT_EQ(runsOf(noon)[0].lengthFrames, 60 * 44100);
    EXPECT_FALSE(scheduler().recording());
}

namespace {

// The disk fills 8 MiB into a take's file while `run` goes on (a limit on the size of files
// this process writes).
template <typename Run>
void withFileSizeLimit(Run run)
{
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 8 << 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    run();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
}

} // namespace

TEST_F(SchedulerEdgeTest, ARunTheDatabaseCannotStoreWhenTheDiskFillsIsStoredLaterWithItsTrueResult)
{
    startAt(local(2026, 12, 7, 9, 58));
    backend().setInputSignal(sources::tone(1000, 8000));
    const qint64 ten = add(event("TEN", QTime(10, 0), 120));
    const qint64 eleven = add(event("ELEVEN", QTime(11, 0), 120));

    // Drive C fills during the take: the file stops growing and the database refuses the run.
    runUntil(ms(local(2026, 12, 7, 10, 0, 20)));
    ASSERT_EQ(take().state(), RS::State::Writing);
    studio->runs().failWritesWith(Failure(Failure::DiskFull));
    withFileSizeLimit([&] { runUntil(ms(local(2026, 12, 7, 10, 1, 0))); });
    EXPECT_EQ(take().state(), RS::State::Idle);
    EXPECT_FALSE(scheduler().recording()) << "the take has ended";
    ASSERT_EQ(runsOf(ten).size(), 1u);
    EXPECT_TRUE(runsOf(ten)[0].underWay()) << "not stored yet";
    EXPECT_TRUE(scheduler().runWaitsToBeStored(runsOf(ten)[0]));
    EXPECT_TRUE(told.join("\n").contains("could not be stored")) << told.join("\n").toStdString();

    // Room again: the run is stored with what happened.
    studio->runs().failWritesWith(std::nullopt);
    runUntil(ms(local(2026, 12, 7, 10, 1, 5)));
    ASSERT_EQ(runsOf(ten).size(), 1u);
    RecordRun run = runsOf(ten)[0];
    EXPECT_EQ(run.result, RunResult::DiskFull) << run.detail.toStdString();
    EXPECT_TRUE(run.detail.startsWith("The disk filled during the take.")) << run.detail.toStdString();
    EXPECT_GT(run.lengthFrames, 0);
    EXPECT_LT(run.lengthFrames, 120 * 44100);
    EXPECT_FALSE(scheduler().runWaitsToBeStored(run));

    // The same at eleven, but the program ends before there is room: the next start finds the
    // take complete in the index and short in its file, with the drive still full.
    runUntil(ms(local(2026, 12, 7, 11, 0, 20)));
    ASSERT_EQ(take().state(), RS::State::Writing);
    studio->runs().failWritesWith(Failure(Failure::DiskFull));
    withFileSizeLimit([&] { runUntil(ms(local(2026, 12, 7, 11, 1, 0))); });
    EXPECT_FALSE(scheduler().recording());
    const int slot = take().slot();
    restart();
    scheduler().setFreeSpace([](const QString&) { return qint64(10) * 1024 * 1024; });
    startAt(local(2026, 12, 7, 11, 5));
    ASSERT_EQ(runsOf(eleven).size(), 1u);
    run = runsOf(eleven)[0];
    EXPECT_EQ(run.result, RunResult::DiskFull) << run.detail.toStdString();
    EXPECT_FALSE(run.detail.contains("program ended")) << run.detail.toStdString();
    EXPECT_EQ(run.slot, slot);
    EXPECT_EQ(run.lengthFrames, qint64(measure::readWav(slotFile(slot)).samples.size() / 2));
}

TEST_F(SchedulerEdgeTest, AStopDuringTheLeadSaysSoAndEventsThatCannotRunAreRefusedNamingTheProblem)
{
    startAt(local(2026, 12, 7, 9, 58));
    backend().setInputSignal(sources::tone(1000, 8000));
    const qint64 id = add(event("LEAD", QTime(10, 0), 30));
    runUntil(ms(local(2026, 12, 7, 9, 59, 59)));
    ASSERT_EQ(take().state(), RS::State::Armed);
    take().handle(RS::Event::Stop);
    runUntil(ms(local(2026, 12, 7, 10, 1)));
    ASSERT_EQ(runsOf(id).size(), 1u);
    EXPECT_EQ(runsOf(id)[0].result, RunResult::Short);
    EXPECT_TRUE(runsOf(id)[0].detail.contains("stopped before its start")) << runsOf(id)[0].detail.toStdString();
    EXPECT_FALSE(runsOf(id)[0].detail.contains("lost")) << runsOf(id)[0].detail.toStdString();

    // Rows that cannot run: each is told once, naming it and what is wrong, and records nothing.
    told.clear();
    const qint64 empty = add(event("EMPTY", QTime(10, 30), 0));
    const qint64 endless = add(event("ENDLESS", QTime(10, 30), RecordEvent::MaxSeconds + 1));
    RecordEvent fixed = event("FIXED", QTime(10, 30), 30);
    fixed.destination = Destination::FixedSlot;
    fixed.fixedSlot = 0;
    const qint64 noSlot = add(fixed);
    const QString all = told.join("\n");
    EXPECT_TRUE(all.contains("\"EMPTY\" cannot run") && all.contains("length of 0 seconds")) << all.toStdString();
    EXPECT_TRUE(all.contains("\"ENDLESS\" cannot run") && all.contains("longer than the 99999 seconds"))
        << all.toStdString();
    EXPECT_TRUE(all.contains("\"FIXED\" cannot run") && all.contains("fixed slot")) << all.toStdString();
    EXPECT_EQ(told.filter("\"EMPTY\"").size(), 1) << all.toStdString();
    runUntil(ms(local(2026, 12, 7, 10, 32)));
    EXPECT_TRUE(runsOf(empty).empty());
    EXPECT_TRUE(runsOf(endless).empty());
    EXPECT_TRUE(runsOf(noSlot).empty());
    EXPECT_EQ(take().state(), RS::State::Idle);
    EXPECT_TRUE(!studio->library().read(3) || studio->library().read(3)->Status == SlotStatus::Free);
}
