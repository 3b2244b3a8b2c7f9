// The take planner over simulated days and years in the time zone of London, on the program's
// clock fixed and moved by the test: the clock jumps from one moment that matters to the next
// (an opening, a start, an end), so years take a moment. A small runner stands in for the
// studio's: it carries the actions out, keeps the runs (a second run of one occurrence fails the
// test) and ends a take once its planned length has gone by on the steady clock, as the input's
// frames do.
#include "platform/Clock.h"
#include "schedule/TakePlanner.h"
#include <QDateTime>
#include <QTimeZone>
#include "tests/support/LondonTime.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <map>
#include <set>
#include <string>

using namespace tamblor;
using namespace tamblor::schedule;
using Do = TakePlanner::Do;

namespace {

class TakePlannerTest : public ::testing::Test {
protected:
    LondonTime london_;

    struct Run {
        qint64 eventId = 0;
        qint64 startMs = 0;
        std::optional<RunResult> result; // none while writing
        QString detail;
        std::optional<qint64> firstSampleMs;
    };

    static qint64 local(int y, int mo, int d, int h, int mi, int s = 0)
    {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s)).toMSecsSinceEpoch();
    }
    static qint64 utc(int y, int mo, int d, int h, int mi, int s = 0)
    {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc()).toMSecsSinceEpoch();
    }
    static QDate dayOf(qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms).date(); }
    qint64 now() const { return clock.now().toMSecsSinceEpoch(); }

    static RecordEvent event(const QString& name, QTime start, int lengthSeconds, int weekdays = RecordEvent::EveryDay)
    {
        RecordEvent e;
        e.name = name;
        e.start = start;
        e.weekdays = weekdays;
        e.lengthSeconds = lengthSeconds;
        return e;
    }
    qint64 add(RecordEvent e)
    {
        e.id = qint64(events.size()) + 1;
        events.push_back(e);
        planner.setEvents(events);
        return e.id;
    }

    TakePlanner::Situation situation() const { return {underWay, !underWay && !handTake}; }
    TakePlanner::HasRun hasRun() const
    {
        return [this](qint64 id, qint64 startMs) { return runs.count({id, startMs}) > 0; };
    }

    // The program comes up at `t`, last seen running at `heartbeat`.
    void startAt(qint64 t, std::optional<qint64> heartbeat)
    {
        clock.setFixed(QDateTime::fromMSecsSinceEpoch(t));
        carryOut(planner.start({now(), clock.steadyMs()}, heartbeat, situation(), hasRun()));
    }
    // One tick, asked as the studio's runner asks: the session first (a take ends when its
    // length has gone by), then the clock, the take under way and the waiting ones.
    void tick()
    {
        if (underWay && underWay->writing && clock.steadyMs() - writingSince_ >= writingFor_)
            finish(std::nullopt);
        const TakePlanner::StepPlan step = planner.readClock({now(), clock.steadyMs()}, situation(), hasRun());
        if (step.step != TakePlanner::ClockStep::None)
            steps.push_back(step.step);
        carryOut(step.actions);
        if (underWay)
            if (const auto a = TakePlanner::forTakeUnderWay({now(), clock.steadyMs()}, *underWay))
                carryOut({*a});
        std::vector<TakePlanner::Action> actions;
        do {
            actions = planner.serve(now(), situation(), hasRun());
            carryOut(actions);
        } while (!actions.empty() && actions.back().what == Do::Open);
    }
    // Jumps from one moment that matters to the next until `until`, ticking at each.
    void runUntil(qint64 until)
    {
        tick();
        while (now() < until) {
            qint64 target = until;
            const auto consider = [&](qint64 t) {
                if (t > now() && t < target)
                    target = t;
            };
            if (const auto next = planner.next(now() + 1)) {
                consider(next->occurrence.startMs - TakePlanner::OpenLeadMs);
                consider(next->occurrence.startMs);
            }
            if (underWay) {
                consider(underWay->take.occurrence.startMs);
                if (underWay->writing)
                    consider(now() + (writingFor_ - (clock.steadyMs() - writingSince_)));
            }
            clock.advance(target - now());
            tick();
        }
    }

    void carryOut(const std::vector<TakePlanner::Action>& actions)
    {
        for (const TakePlanner::Action& a : actions) {
            log.push_back(a);
            switch (a.what) {
            case Do::Open:
                ASSERT_FALSE(underWay) << "opened while a take is under way";
                ASSERT_FALSE(handTake) << "opened while a take by hand holds the input";
                if (refuseOpens > 0) {
                    --refuseOpens;
                    store(a.take, RunResult::DiskFull, "refused by the runner");
                    break;
                }
                underWay = TakePlanner::UnderWay{a.take, false};
                if (a.startNow)
                    startWriting();
                break;
            case Do::Start:
                ASSERT_TRUE(underWay && !underWay->writing);
                ASSERT_EQ(a.take, underWay->take);
                startWriting();
                break;
            case Do::Stop:
                ASSERT_TRUE(underWay && underWay->writing);
                finish(RunResult::Short);
                break;
            case Do::Cancel:
                ASSERT_TRUE(underWay && !underWay->writing);
                underWay.reset();
                break;
            case Do::Record:
                store(a.take, a.result, a.detail);
                break;
            }
        }
    }
    void startWriting()
    {
        const TakePlanner::Take& t = underWay->take;
        const qint64 from = t.late ? now() : t.occurrence.startMs;
        underWay->writing = true;
        underWay->writingSinceSteadyMs = clock.steadyMs();
        underWay->writingFromMs = from;
        writingSince_ = clock.steadyMs();
        writingFor_ = t.occurrence.endMs - from;
        Run r{t.event.id, t.occurrence.startMs, std::nullopt, QString(), from};
        append(r);
    }
    // The take under way ends: in full, or with the result given.
    void finish(std::optional<RunResult> result)
    {
        const TakePlanner::Take t = underWay->take;
        underWay.reset();
        Run& r = runs.at({t.event.id, t.occurrence.startMs});
        if (result) {
            r.result = result;
        } else {
            const auto [full, detail] = TakePlanner::resultInFull(t, *r.firstSampleMs);
            r.result = full;
            r.detail = detail;
        }
    }
    void store(const TakePlanner::Take& t, RunResult result, const QString& detail)
    {
        append(Run{t.event.id, t.occurrence.startMs, result, detail, std::nullopt});
    }
    void append(const Run& r)
    {
        const bool fresh = runs.emplace(std::pair{r.eventId, r.startMs}, r).second;
        EXPECT_TRUE(fresh) << "a second run of event " << r.eventId << " at "
                           << QDateTime::fromMSecsSinceEpoch(r.startMs).toString(Qt::ISODate).toStdString();
    }
    std::vector<Run> runsOf(qint64 eventId) const
    {
        std::vector<Run> out;
        for (const auto& [key, r] : runs)
            if (key.first == eventId)
                out.push_back(r);
        return out;
    }
    int count(Do what) const
    {
        return int(std::count_if(log.begin(), log.end(), [what](const TakePlanner::Action& a) { return a.what == what; }));
    }

    Clock clock;
    TakePlanner planner;
    std::vector<RecordEvent> events;
    std::map<std::pair<qint64, qint64>, Run> runs; // by event and scheduled start, in start order
    std::vector<TakePlanner::Action> log;
    std::vector<TakePlanner::ClockStep> steps;
    std::optional<TakePlanner::UnderWay> underWay;
    bool handTake = false;
    int refuseOpens = 0; // the runner cannot open the input this many times (no room, say)

private:
    qint64 writingSince_ = 0;
    qint64 writingFor_ = 0;
};

} // namespace

TEST_F(TakePlannerTest, ADailyEventOverTwoYearsRunsOncePerDayThroughBothChangesOfTheClocks)
{
    const qint64 night = add(event("NIGHT", QTime(1, 30), 60));
    startAt(local(2026, 1, 1, 0, 0), local(2026, 1, 1, 0, 0));
    runUntil(local(2028, 1, 1, 0, 0));

    const std::vector<Run> all = runsOf(night);
    ASSERT_EQ(all.size(), 365u + 365u);
    EXPECT_TRUE(steps.empty()) << "a change of the clocks is no step of the clock";
    EXPECT_EQ(count(Do::Open), 730);
    EXPECT_EQ(count(Do::Cancel), 0);
    std::set<QDate> days;
    for (const Run& r : all) {
        days.insert(dayOf(r.startMs));
        const QDate d = dayOf(r.startMs);
        ASSERT_TRUE(r.result) << d.toString(Qt::ISODate).toStdString();
        const bool spring = d == QDate(2026, 3, 29) || d == QDate(2027, 3, 28);
        if (spring) {
            // 01:30 does not exist: the take starts at the change (02:00 BST, 01:00 UTC) and says so.
            EXPECT_EQ(*r.result, RunResult::LateStart);
            EXPECT_EQ(r.startMs, utc(d.year(), d.month(), d.day(), 1, 0));
            EXPECT_EQ(r.firstSampleMs, r.startMs);
            EXPECT_TRUE(r.detail.contains("did not exist")) << r.detail.toStdString();
        } else {
            EXPECT_EQ(*r.result, RunResult::OK) << d.toString(Qt::ISODate).toStdString() << " " << r.detail.toStdString();
            EXPECT_EQ(QDateTime::fromMSecsSinceEpoch(r.startMs).time(), QTime(1, 30));
        }
    }
    EXPECT_EQ(days.size(), 730u) << "one run per day";
    // 01:30 happens twice on the autumn days: the take is at the first (BST), never at the second.
    for (const QDate d : {QDate(2026, 10, 25), QDate(2027, 10, 31)}) {
        EXPECT_EQ(runs.count({night, utc(d.year(), d.month(), d.day(), 0, 30)}), 1u);
        EXPECT_EQ(runs.count({night, utc(d.year(), d.month(), d.day(), 1, 30)}), 0u);
    }
}

TEST_F(TakePlannerTest, WeeklyEventsOverThreeYearsArePlannedExactlyOncePerOccurrence)
{
    // Sunday night, when the clocks change, and an hour on Monday and Friday evenings.
    const qint64 sunday = add(event("SUNDAY", QTime(1, 30), 600, RecordEvent::weekdayBit(7)));
    const qint64 evening = add(event("EVENING", QTime(17, 0), 3600, RecordEvent::weekdayBit(1) | RecordEvent::weekdayBit(5)));
    startAt(local(2026, 1, 1, 0, 0), local(2026, 1, 1, 0, 0));
    runUntil(local(2029, 1, 1, 0, 0));

    int sundays = 0;
    int evenings = 0;
    for (QDate d(2026, 1, 1); d < QDate(2029, 1, 1); d = d.addDays(1)) {
        sundays += d.dayOfWeek() == 7;
        evenings += d.dayOfWeek() == 1 || d.dayOfWeek() == 5;
    }
    ASSERT_EQ(runsOf(sunday).size(), size_t(sundays));
    ASSERT_EQ(runsOf(evening).size(), size_t(evenings));
    EXPECT_EQ(count(Do::Open), sundays + evenings) << "each opened once";
    int late = 0;
    for (const Run& r : runsOf(sunday)) {
        EXPECT_EQ(dayOf(r.startMs).dayOfWeek(), 7);
        ASSERT_TRUE(r.result);
        late += *r.result == RunResult::LateStart;
    }
    EXPECT_EQ(late, 3) << "the three Sundays the clocks went forward";
    for (const Run& r : runsOf(evening)) {
        ASSERT_TRUE(r.result);
        EXPECT_EQ(*r.result, RunResult::OK);
        EXPECT_EQ(QDateTime::fromMSecsSinceEpoch(r.startMs).time(), QTime(17, 0));
    }
}

TEST_F(TakePlannerTest, DaysOffGiveOneMissedRunPerEventAndDayAndAStartInsideAnEventRecordsTheRest)
{
    const qint64 morning = add(event("MORNING", QTime(9, 0), 3600));
    const qint64 news = add(event("NEWS", QTime(17, 0), 120, RecordEvent::Weekdays));
    RecordEvent changed = event("CHANGED", QTime(12, 0), 60);
    changed.changedAtMs = local(2026, 12, 9, 8, 0); // stored anew on Wednesday morning
    const qint64 later = add(changed);
    RecordEvent off = event("OFF", QTime(10, 0), 60);
    off.enabled = false;
    const qint64 disabled = add(off);

    // Last seen running on Saturday 5 December at 08:00, up again on Friday the 11th at 09:30.
    startAt(local(2026, 12, 11, 9, 30), local(2026, 12, 5, 8, 0));
    // The morning from Saturday to Thursday (6 days), the news Monday to Thursday (4), the
    // changed event Wednesday and Thursday only (2); none of the disabled one.
    EXPECT_EQ(runsOf(morning).size(), 6u);
    EXPECT_EQ(runsOf(news).size(), 4u);
    EXPECT_EQ(runsOf(later).size(), 2u);
    EXPECT_TRUE(runsOf(disabled).empty());
    std::set<std::pair<qint64, QDate>> perDay;
    for (const auto& [key, r] : runs) {
        ASSERT_TRUE(r.result);
        EXPECT_EQ(*r.result, RunResult::Missed);
        perDay.insert({key.first, dayOf(key.second)});
    }
    EXPECT_EQ(perDay.size(), runs.size()) << "one run per event and day";
    EXPECT_EQ(runsOf(news).front().detail, "The program was not running at 17:00:00 (last seen running at 08:00:00).");
    EXPECT_EQ(runsOf(later).front().startMs, local(2026, 12, 9, 12, 0));

    // Friday's morning is under way with half an hour left: it waits for the input, late, and
    // records from now to its end.
    ASSERT_EQ(planner.waiting().size(), 1u);
    EXPECT_TRUE(planner.waiting()[0].late);
    runUntil(local(2026, 12, 11, 10, 30));
    const Run friday = runsOf(morning).back();
    EXPECT_EQ(friday.startMs, local(2026, 12, 11, 9, 0));
    EXPECT_EQ(friday.result, RunResult::LateStart);
    EXPECT_EQ(friday.firstSampleMs, local(2026, 12, 11, 9, 30));
    EXPECT_EQ(friday.detail, "The program came up during the event's time; the rest from 09:30:00 was recorded.");

    // Started again at once by a new program: nothing is found twice.
    const size_t before = runs.size();
    planner = TakePlanner();
    planner.setEvents(events);
    startAt(now(), local(2026, 12, 5, 8, 0));
    EXPECT_EQ(runs.size(), before);
    EXPECT_TRUE(planner.waiting().empty());

    // Up at 17:01:30 after a minute off: with 30 s of the news left, it is missed, not begun.
    startAt(local(2026, 12, 11, 17, 1, 30), local(2026, 12, 11, 16, 59));
    EXPECT_EQ(runsOf(news).back().result, RunResult::Missed);
    EXPECT_TRUE(planner.waiting().empty());
}

TEST_F(TakePlannerTest, OffOverTheNightTheClocksGoForwardOrWithNoHeartbeatAtAll)
{
    const qint64 night = add(event("NIGHT", QTime(1, 30), 60));
    const qint64 noon = add(event("NOON", QTime(12, 0), 3600));

    // Off from Saturday noon to Monday 12:30, over the night 01:30 did not exist: Sunday's
    // take (due at the change) is missed once, like Monday's; Monday's noon records the rest.
    startAt(local(2027, 3, 29, 12, 30), local(2027, 3, 27, 12, 30));
    const std::vector<Run> nights = runsOf(night);
    ASSERT_EQ(nights.size(), 2u);
    EXPECT_EQ(nights[0].startMs, utc(2027, 3, 28, 1, 0));
    EXPECT_EQ(nights[1].startMs, local(2027, 3, 29, 1, 30));
    EXPECT_EQ(nights[0].result, RunResult::Missed);
    EXPECT_EQ(runsOf(noon).size(), 1u) << "Sunday's noon; Monday's waits";
    ASSERT_EQ(planner.waiting().size(), 1u);
    EXPECT_EQ(planner.waiting()[0].occurrence.startMs, local(2027, 3, 29, 12, 0));

    // A program that never ran with this database knows only what is under way now.
    runs.clear();
    planner = TakePlanner();
    planner.setEvents(events);
    startAt(local(2027, 4, 5, 12, 59, 30), std::nullopt);
    EXPECT_TRUE(runsOf(night).empty());
    ASSERT_EQ(runsOf(noon).size(), 1u);
    EXPECT_EQ(runsOf(noon)[0].result, RunResult::Missed);
    EXPECT_TRUE(runsOf(noon)[0].detail.endsWith("(last seen running at ?).")) << runsOf(noon)[0].detail.toStdString();
}

TEST_F(TakePlannerTest, ClockStepsForwardMissWhatTheySkipAndStepsBackWaitForTheStartAgain)
{
    const qint64 ten = add(event("TEN", QTime(10, 0), 60));
    const qint64 eleven = add(event("ELEVEN", QTime(11, 0), 60));
    const qint64 twelve = add(event("TWELVE", QTime(12, 0), 60));
    const qint64 one = add(event("ONE", QTime(13, 0), 60));
    startAt(local(2026, 12, 7, 9, 0), local(2026, 12, 7, 8, 59));
    runUntil(local(2026, 12, 7, 9, 58));

    // Put forward from 09:58 to 10:30 (or the machine slept): ten o'clock was stepped over.
    clock.setFixed(QDateTime::fromMSecsSinceEpoch(local(2026, 12, 7, 10, 30)));
    tick();
    ASSERT_EQ(steps, std::vector{TakePlanner::ClockStep::Forward});
    ASSERT_EQ(runsOf(ten).size(), 1u);
    EXPECT_EQ(runsOf(ten)[0].result, RunResult::Missed);
    EXPECT_EQ(runsOf(ten)[0].detail, "The clock was put forward past its start.");
    EXPECT_EQ(count(Do::Open), 0);

    // Put back half an hour while the input is open for eleven: it is let go, and opened again
    // by the new time.
    runUntil(local(2026, 12, 7, 10, 59, 59));
    ASSERT_TRUE(underWay);
    EXPECT_FALSE(underWay->writing);
    clock.setFixed(QDateTime::fromMSecsSinceEpoch(local(2026, 12, 7, 10, 30)));
    tick();
    EXPECT_EQ(steps.back(), TakePlanner::ClockStep::Back);
    EXPECT_FALSE(underWay);
    EXPECT_EQ(count(Do::Cancel), 1);
    EXPECT_TRUE(runsOf(eleven).empty());
    runUntil(local(2026, 12, 7, 11, 2));
    ASSERT_EQ(runsOf(eleven).size(), 1u);
    EXPECT_EQ(runsOf(eleven)[0].result, RunResult::OK);
    EXPECT_EQ(count(Do::Open), 2);

    // Put forward six minutes while twelve writes: the take goes on by its frames to its full
    // length; a clock far past its end does not stop it.
    runUntil(local(2026, 12, 7, 12, 0, 30));
    ASSERT_TRUE(underWay && underWay->writing);
    clock.setFixed(QDateTime::fromMSecsSinceEpoch(local(2026, 12, 7, 12, 6, 30)));
    tick();
    EXPECT_EQ(count(Do::Cancel), 1) << "a take writing is never let go";
    EXPECT_EQ(count(Do::Stop), 0);
    EXPECT_TRUE(underWay && underWay->writing);
    runUntil(local(2026, 12, 7, 12, 8));
    EXPECT_EQ(count(Do::Stop), 0);
    ASSERT_EQ(runsOf(twelve).size(), 1u);
    EXPECT_EQ(runsOf(twelve)[0].result, RunResult::OK);

    // Put back half an hour while one writes: it ends by its frames, once, and is not planned
    // again when one o'clock comes round a second time.
    runUntil(local(2026, 12, 7, 13, 0, 30));
    ASSERT_TRUE(underWay && underWay->writing);
    clock.setFixed(QDateTime::fromMSecsSinceEpoch(local(2026, 12, 7, 12, 30, 30)));
    runUntil(local(2026, 12, 7, 13, 5));
    ASSERT_EQ(runsOf(one).size(), 1u);
    EXPECT_EQ(runsOf(one)[0].result, RunResult::OK);
    EXPECT_EQ(count(Do::Open), 4);

    // Put forward past the start of a take whose input is open, and of one waiting behind a
    // take by hand: both missed, the input let go, neither begun late.
    const qint64 two = add(event("TWO", QTime(14, 0), 3600));
    runUntil(local(2026, 12, 7, 13, 59, 59));
    ASSERT_TRUE(underWay && !underWay->writing);
    clock.setFixed(QDateTime::fromMSecsSinceEpoch(local(2026, 12, 7, 14, 30)));
    tick();
    EXPECT_FALSE(underWay);
    EXPECT_EQ(count(Do::Cancel), 2);
    ASSERT_EQ(runsOf(two).size(), 1u);
    EXPECT_EQ(runsOf(two)[0].result, RunResult::Missed);
    const qint64 three = add(event("THREE", QTime(15, 0), 3600));
    handTake = true;
    runUntil(local(2026, 12, 7, 14, 59, 59));
    ASSERT_EQ(planner.waiting().size(), 1u);
    clock.setFixed(QDateTime::fromMSecsSinceEpoch(local(2026, 12, 7, 15, 30)));
    handTake = false;
    tick();
    ASSERT_EQ(runsOf(three).size(), 1u);
    EXPECT_EQ(runsOf(three)[0].result, RunResult::Missed);
    EXPECT_EQ(runsOf(three)[0].detail, "The clock was put forward past its start.");
    EXPECT_FALSE(underWay);

    // Small differences between the clocks (a slow tick) are no step.
    const size_t stepsSoFar = steps.size();
    clock.setFixed(QDateTime::fromMSecsSinceEpoch(now() + 1500));
    tick();
    EXPECT_EQ(steps.size(), stepsSoFar);
}

TEST_F(TakePlannerTest, TheInputGoesToTheFirstTakeThatCanOpenAndTheOthersDueFindItTaken)
{
    const qint64 a = add(event("A", QTime(10, 0), 120));
    const qint64 b = add(event("B", QTime(10, 0), 120));
    const qint64 c = add(event("C", QTime(10, 0), 120));
    startAt(local(2026, 12, 7, 9, 59), local(2026, 12, 7, 9, 58));

    // The runner cannot open A (no room, say): B gets the input in the same tick; C, due at the
    // same start, finds it taken by B once its start comes.
    refuseOpens = 1;
    runUntil(local(2026, 12, 7, 9, 59, 58));
    ASSERT_EQ(runsOf(a).size(), 1u);
    EXPECT_EQ(runsOf(a)[0].result, RunResult::DiskFull);
    ASSERT_TRUE(underWay);
    EXPECT_EQ(underWay->take.event.id, b);
    EXPECT_TRUE(runsOf(c).empty()) << "C waits for its start";
    runUntil(local(2026, 12, 7, 10, 5));
    EXPECT_EQ(runsOf(b)[0].result, RunResult::OK);
    ASSERT_EQ(runsOf(c).size(), 1u);
    EXPECT_EQ(runsOf(c)[0].result, RunResult::DeviceBusy);
    EXPECT_EQ(runsOf(c)[0].detail, "The input was taken by the event \"B\".");

    // A take by hand holds the input at eleven: never interrupted; the event finds the input busy.
    const qint64 d = add(event("D", QTime(11, 0), 120));
    handTake = true;
    runUntil(local(2026, 12, 7, 11, 1));
    ASSERT_EQ(runsOf(d).size(), 1u);
    EXPECT_EQ(runsOf(d)[0].result, RunResult::DeviceBusy);
    EXPECT_TRUE(runsOf(d)[0].detail.contains("take by hand")) << runsOf(d)[0].detail.toStdString();
    handTake = false;

    // A tick that comes late: more than a second after its start it records the rest as late;
    // with less than a minute left it is missed.
    const qint64 e = add(event("E", QTime(12, 0), 600));
    const qint64 f = add(event("F", QTime(13, 0), 45));
    runUntil(local(2026, 12, 7, 11, 59, 57));
    clock.advance(3500); // 12:00:00.5, the input not yet open
    tick();
    EXPECT_EQ(runsOf(e).at(0).firstSampleMs, local(2026, 12, 7, 12, 0)) << "within a second still on time";
    runUntil(local(2026, 12, 7, 12, 59, 57));
    clock.advance(5000); // 13:00:02
    tick();
    ASSERT_EQ(runsOf(f).size(), 1u);
    EXPECT_EQ(runsOf(f)[0].result, RunResult::Missed);
    EXPECT_EQ(runsOf(f)[0].detail, "The program came to its start too late to record it.");
    const TakePlanner::Take g{event("G", QTime(14, 0), 600), {QDate(2026, 12, 7), local(2026, 12, 7, 14, 0),
                                                             local(2026, 12, 7, 14, 10), false}, false};
    const TakePlanner::Action late = TakePlanner::opening(g, local(2026, 12, 7, 14, 0, 2));
    EXPECT_EQ(late.what, Do::Open);
    EXPECT_TRUE(late.take.late);
    EXPECT_TRUE(late.startNow);
    const TakePlanner::Action early = TakePlanner::opening(g, local(2026, 12, 7, 13, 59, 58));
    EXPECT_EQ(early.what, Do::Open);
    EXPECT_FALSE(early.take.late);
    EXPECT_FALSE(early.startNow);
}

TEST_F(TakePlannerTest, AnEventStoredAnewIsPlannedByItsNewTimesAndADeletedOneNoMore)
{
    const qint64 id = add(event("NEWS", QTime(10, 0), 60));
    const qint64 other = add(event("OTHER", QTime(10, 0), 60));
    startAt(local(2026, 12, 7, 9, 0), local(2026, 12, 7, 8, 59));
    // A take by hand holds the input, so both wait within the lead.
    handTake = true;
    runUntil(local(2026, 12, 7, 9, 59, 59));
    ASSERT_EQ(planner.waiting().size(), 2u);

    // NEWS moved to 10:30, OTHER deleted: nothing of either waits for ten o'clock.
    events[size_t(id - 1)].start = QTime(10, 30);
    events.erase(events.begin() + 1);
    planner.setEvents(events);
    planner.eventChanged(id, now(), situation(), hasRun());
    planner.eventRemoved(other);
    EXPECT_TRUE(planner.waiting().empty());
    handTake = false;
    runUntil(local(2026, 12, 7, 10, 35));
    EXPECT_TRUE(runsOf(other).empty());
    ASSERT_EQ(runsOf(id).size(), 1u);
    EXPECT_EQ(runsOf(id)[0].startMs, local(2026, 12, 7, 10, 30));
    EXPECT_EQ(runsOf(id)[0].result, RunResult::OK);

    // Stored anew within the lead of its new start: found again at once, waiting.
    handTake = true;
    events[0].start = QTime(11, 0);
    planner.setEvents(events);
    runUntil(local(2026, 12, 7, 10, 59, 59));
    ASSERT_EQ(planner.waiting().size(), 1u);
    planner.eventChanged(id, now(), situation(), hasRun());
    ASSERT_EQ(planner.waiting().size(), 1u);
    EXPECT_EQ(planner.waiting()[0].occurrence.startMs, local(2026, 12, 7, 11, 0));
}
