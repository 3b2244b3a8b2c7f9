#include "schedule/EventStore.h"
#include "schedule/RunStore.h"
#include "store/ProgramDatabase.h"
#include "store/TakeFiguresStore.h"
#include "tests/support/CoreFixture.h"
#include <QSignalSpy>

using namespace tamblor;
using namespace tamblor::schedule;

class EventStoreTest : public CoreTest {
protected:
    void SetUp() override
    {
        CoreTest::SetUp();
        core->clock().setFixed(QDateTime(QDate(2026, 12, 7), QTime(8, 7, 51)));
        db = std::make_unique<store::ProgramDatabase>(*core);
        db->open();
        ASSERT_TRUE(db->isOpen());
        events = std::make_unique<EventStore>(*db, core->clock());
        runs = std::make_unique<RunStore>(*db, core->clock());
    }
    void TearDown() override
    {
        runs.reset();
        events.reset();
        db.reset();
        CoreTest::TearDown();
    }
    static RecordEvent news()
    {
        RecordEvent e;
        e.name = "NEWS";
        e.start = QTime(17, 0);
        e.weekdays = RecordEvent::Weekdays;
        e.lengthSeconds = 120;
        e.nameTemplate = "{name} {time} {date}";
        return e;
    }
    static RecordRun runOf(qint64 eventId, qint64 start, std::optional<RunResult> result)
    {
        RecordRun r;
        r.eventId = eventId;
        r.eventName = "NEWS";
        r.scheduledStartMs = start;
        r.result = result;
        return r;
    }
    std::unique_ptr<store::ProgramDatabase> db;
    std::unique_ptr<EventStore> events;
    std::unique_ptr<RunStore> runs;
};

TEST_F(EventStoreTest, EveryFieldOfAnEventComesBackAsStoredAndChangesAreAnnounced)
{
    QSignalSpy changed(events.get(), &EventStore::eventChanged);
    QSignalSpy removed(events.get(), &EventStore::eventRemoved);

    RecordEvent weekly = news();
    const qint64 id = events->add(weekly);
    EXPECT_GT(id, 0);
    EXPECT_EQ(weekly.id, id);
    EXPECT_EQ(weekly.changedAtMs, core->clock().now().toMSecsSinceEpoch());
    EXPECT_EQ(events->find(id), weekly);

    RecordEvent once;
    once.name = "Sponsor spot";
    once.start = QTime(16, 55, 30);
    once.date = QDate(2026, 12, 24);
    once.endKind = EndKind::TimeOfDay;
    once.end = QTime(1, 5, 0);
    once.device = 2;
    once.format = 5;
    once.channels = 1;
    once.destination = Destination::FixedSlot;
    once.fixedSlot = 900;
    once.after = AfterRecording::LoudnessNormalize;
    once.loudnessLufs = -16.5;
    once.ceilingDbtp = -2;
    once.enabled = false;
    events->add(once);
    EXPECT_EQ(events->find(once.id), once);
    EXPECT_TRUE(once.isOneShot());
    EXPECT_EQ(once.plannedSeconds(), 8 * 3600 + 9 * 60 + 30); // the end is on the next day

    RecordEvent peak = news();
    peak.name = "Weather";
    peak.start = QTime(6, 10);
    peak.weekdays = RecordEvent::EveryDay;
    peak.after = AfterRecording::PeakNormalize;
    peak.peakPercent = 90;
    events->add(peak);
    EXPECT_EQ(events->find(peak.id), peak);

    // Listed by time of day.
    const auto all = events->all();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].name, "Weather");
    EXPECT_EQ(all[1].name, "Sponsor spot");
    EXPECT_EQ(all[2].name, "NEWS");

    core->clock().advance(60000);
    weekly.start = QTime(18, 0);
    weekly.device.reset();
    events->update(weekly);
    EXPECT_EQ(events->find(id), weekly);
    EXPECT_EQ(events->find(id)->changedAtMs, core->clock().now().toMSecsSinceEpoch());
    events->setEnabled(id, false);
    EXPECT_FALSE(events->find(id)->enabled);

    events->remove(peak.id);
    EXPECT_FALSE(events->find(peak.id));
    EXPECT_EQ(changed.count(), 5);
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.at(0).at(0).toLongLong(), peak.id);

    // The events are there after the program starts again.
    runs.reset();
    events.reset();
    db->close();
    db->open();
    events = std::make_unique<EventStore>(*db, core->clock());
    EXPECT_EQ(events->all().size(), 2u);
    EXPECT_EQ(events->find(once.id), once);
}

TEST_F(EventStoreTest, RunsAreOnePerOccurrenceKeptAfterTheirEventAndUnseenUntilMarked)
{
    RecordEvent e = news();
    events->add(e);
    QSignalSpy changed(runs.get(), &RunStore::runChanged);

    RecordRun under = runOf(e.id, 1000, std::nullopt);
    under.slot = 7;
    under.firstSampleMs = 1001;
    runs->append(under);
    EXPECT_TRUE(under.underWay());
    EXPECT_EQ(runs->underWay().size(), 1u);
    EXPECT_TRUE(runs->hasRun(e.id, 1000));
    EXPECT_FALSE(runs->hasRun(e.id, 2000));
    // A second run of one occurrence is refused.
    RecordRun twice = runOf(e.id, 1000, RunResult::Missed);
    EXPECT_THROW(runs->append(twice), Failure);

    under.result = RunResult::Clipped;
    under.lengthFrames = 5292000;
    under.sampleRate = 44100;
    under.detail = "full-scale samples";
    // The run refers to its take's figures, and reads them with it.
    store::TakeFiguresStore figures(*db);
    store::TakeFigures taken;
    taken.slot = 4;
    taken.peakDbfs = 0.0;
    taken.clippedRuns = 12;
    taken.id = figures.store(taken);
    under.figuresId = taken.id;
    runs->update(under);
    const auto found = runs->find(under.id);
    ASSERT_TRUE(found);
    ASSERT_TRUE(found->figures);
    EXPECT_EQ(*found->figures, taken);
    EXPECT_EQ(found->peakDbfs(), 0.0);
    under.figures = taken;
    EXPECT_EQ(found, under);
    EXPECT_TRUE(runs->underWay().empty());

    RecordRun ok = runOf(e.id, 3000, RunResult::OK);
    runs->append(ok);
    RecordRun missed = runOf(e.id, 2000, RunResult::Missed);
    runs->append(missed);

    // Newest scheduled start first; an OK result never waits for the operator.
    const auto all = runs->list();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].id, ok.id);
    EXPECT_EQ(all[1].id, missed.id);
    EXPECT_EQ(all[2].id, under.id);
    EXPECT_EQ(runs->last(e.id)->id, ok.id);
    auto unseen = runs->unseen();
    ASSERT_EQ(unseen.size(), 2u);
    EXPECT_TRUE(unseen[0].needsAttention());
    runs->markSeen(missed.id);
    unseen = runs->unseen();
    ASSERT_EQ(unseen.size(), 1u);
    EXPECT_EQ(unseen[0].id, under.id);
    runs->markAllSeen();
    EXPECT_TRUE(runs->unseen().empty());
    EXPECT_TRUE(runs->find(under.id)->seen);
    EXPECT_EQ(changed.count(), 6);

    // Deleting the event keeps its history under its name.
    events->remove(e.id);
    const auto kept = runs->list();
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_FALSE(kept[0].eventId);
    EXPECT_EQ(kept[0].eventName, "NEWS");
}

TEST_F(EventStoreTest, ARunWhoseEventWasDeletedDuringItsTakeIsStoredWithItsResult)
{
    RecordEvent e = news();
    events->add(e);
    RecordRun run = runOf(e.id, 1000, std::nullopt);
    runs->append(run);
    events->remove(e.id); // while the take is under way: the run still names the event

    run.result = RunResult::OK;
    run.lengthFrames = 30 * 44100;
    EXPECT_NO_THROW(runs->update(run));
    const auto stored = runs->find(run.id);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->result, RunResult::OK);
    EXPECT_FALSE(stored->eventId);
    EXPECT_EQ(stored->eventName, "NEWS");
    EXPECT_TRUE(runs->underWay().empty()) << "never found under way, so never called Interrupted";

    // A run first written after its event went (a result found later) is kept too.
    RecordRun late = runOf(e.id, 2000, RunResult::Missed);
    EXPECT_NO_THROW(runs->append(late));
    EXPECT_FALSE(runs->find(late.id)->eventId);
}

TEST_F(EventStoreTest, AClosedDatabaseListsNothingAndRefusesWrites)
{
    db->close();
    EXPECT_TRUE(events->all().empty());
    EXPECT_TRUE(runs->list().empty());
    EXPECT_FALSE(runs->hasRun(1, 1));
    RecordEvent e = news();
    EXPECT_THROW(events->add(e), Failure);
}

TEST_F(EventStoreTest, AnEventsCardNameAndARunsMeasuredFirstSampleComeBackAndAPeriodListsItsRunsOldestFirst)
{
    RecordEvent e = news();
    e.device = 2;
    e.deviceName = "USB Audio Line In";
    e.format = 3;
    e.channels = 1;
    events->add(e);
    EXPECT_EQ(events->find(e.id)->deviceName, "USB Audio Line In");
    // A name without a card chosen is not kept: the event records from the preferences' card.
    RecordEvent plain = news();
    plain.name = "PLAIN";
    plain.deviceName = "stale";
    events->add(plain);
    EXPECT_EQ(events->find(plain.id)->deviceName, "");

    const qint64 day = QDateTime(QDate(2026, 12, 7), QTime(0, 0)).toMSecsSinceEpoch();
    const qint64 hour = 3600 * 1000;
    RecordRun measured = runOf(e.id, day + 17 * hour, RunResult::OK);
    measured.firstSampleMs = measured.scheduledStartMs;
    measured.measuredFirstSampleMs = measured.scheduledStartMs - 3;
    runs->append(measured);
    RecordRun before = runOf(e.id, day - 7 * hour, RunResult::Missed);
    runs->append(before);
    RecordRun after = runOf(e.id, day + 24 * hour, RunResult::OK);
    runs->append(after);
    EXPECT_EQ(runs->find(measured.id)->measuredFirstSampleMs, measured.scheduledStartMs - 3);
    EXPECT_EQ(runs->find(before.id)->measuredFirstSampleMs, std::nullopt);

    std::vector<qint64> ids;
    for (const RecordRun& r : runs->between(day - 24 * hour, day + 24 * hour))
        ids.push_back(r.id);
    EXPECT_EQ(ids, (std::vector<qint64>{before.id, measured.id})) << "the end of the period is not in it";
}
