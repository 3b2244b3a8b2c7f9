// Edges a real week brings to takes on a clock, on the core alone: a press at the desk while an
// event holds the input, a take across midnight, an event deleted while it records.
#include "StudioFixture.h"
#include "tests/audio/devices/SignalMeasure.h"
#include <QFileInfo>

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
