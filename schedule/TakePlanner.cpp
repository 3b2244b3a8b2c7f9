#include "schedule/TakePlanner.h"
#include <QDateTime>
#include <algorithm>
#include <cstdlib>

namespace tamblor::schedule {

using EventTiming::startsBetween;

namespace {

QString timeText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString("HH:mm:ss");
}

TakePlanner::Action record(const TakePlanner::Take& take, RunResult result, const QString& detail)
{
    TakePlanner::Action a;
    a.what = TakePlanner::Do::Record;
    a.take = take;
    a.result = result;
    a.detail = detail;
    return a;
}

TakePlanner::Action act(TakePlanner::Do what, const TakePlanner::Take& take)
{
    TakePlanner::Action a;
    a.what = what;
    a.take = take;
    return a;
}

} // namespace

bool TakePlanner::known(qint64 eventId, qint64 startMs, const Situation& s, const HasRun& hasRun) const
{
    if (s.underWay && s.underWay->take.event.id == eventId && s.underWay->take.occurrence.startMs == startMs)
        return true;
    for (const Take& t : waiting_)
        if (t.event.id == eventId && t.occurrence.startMs == startMs)
            return true;
    return hasRun(eventId, startMs);
}

std::vector<TakePlanner::Take> TakePlanner::unknownStarts(qint64 afterMs, qint64 untilMs, const Situation& s,
                                                          const HasRun& hasRun, std::optional<qint64> only) const
{
    std::vector<Take> found;
    for (const RecordEvent& e : events_)
        if (e.enabled && (!only || e.id == *only))
            for (const Occurrence& o : startsBetween(e, afterMs, untilMs))
                if (!known(e.id, o.startMs, s, hasRun))
                    found.push_back({e, o, false});
    return found;
}

std::vector<TakePlanner::Action> TakePlanner::start(Reading now, std::optional<qint64> heartbeatMs, const Situation& s,
                                                    const HasRun& hasRun)
{
    waiting_.clear();
    last_ = now;
    const qint64 t = now.wallMs;
    std::vector<Action> actions;
    for (const RecordEvent& e : events_) {
        if (!e.enabled)
            continue;
        std::vector<Occurrence> found;
        if (heartbeatMs) {
            found = startsBetween(e, std::max<qint64>(*heartbeatMs, e.changedAtMs), t);
        } else if (auto o = EventTiming::underWayAt(e, t); o && o->startMs > e.changedAtMs) {
            found.push_back(*o);
        }
        for (const Occurrence& o : found) {
            if (known(e.id, o.startMs, s, hasRun))
                continue;
            if (o.startMs <= t && t < o.endMs && o.endMs - t >= LateMinimumMs)
                waiting_.push_back({e, o, true});
            else
                actions.push_back(record({e, o, false}, RunResult::Missed,
                                         "The program was not running at " + timeText(o.startMs) +
                                             " (last seen running at " +
                                             (heartbeatMs ? timeText(*heartbeatMs) : QString("?")) + ")."));
        }
    }
    plannedUntil_ = t;
    started_ = true;
    return actions;
}

TakePlanner::StepPlan TakePlanner::readClock(Reading now, const Situation& s, const HasRun& hasRun)
{
    const qint64 drift = (now.wallMs - last_.wallMs) - (now.steadyMs - last_.steadyMs);
    last_ = now;
    StepPlan plan;
    if (std::llabs(drift) <= StepMs)
        return plan;
    const qint64 t = now.wallMs;
    if (drift > 0) {
        plan.step = ClockStep::Forward;
        const QString why = "The clock was put forward past its start.";
        if (s.underWay && !s.underWay->writing && s.underWay->take.occurrence.startMs < t - TickToleranceMs) {
            plan.actions.push_back(act(Do::Cancel, s.underWay->take));
            plan.actions.push_back(record(s.underWay->take, RunResult::Missed, why));
        }
        for (size_t i = 0; i < waiting_.size();) {
            const Take w = waiting_[i];
            if (!w.late && w.occurrence.startMs < t - TickToleranceMs) {
                waiting_.erase(waiting_.begin() + ptrdiff_t(i));
                plan.actions.push_back(record(w, RunResult::Missed, why));
            } else {
                ++i;
            }
        }
        // What was planned already (the take let go, those taken out of waiting) starts before
        // plannedUntil_, so none of it is found here a second time.
        for (const Take& w : unknownStarts(plannedUntil_, t, s, hasRun))
            plan.actions.push_back(record(w, RunResult::Missed, why));
        plannedUntil_ = std::max(plannedUntil_, t);
    } else {
        plan.step = ClockStep::Back;
        // An input opened for a start that is now further off waits for it again.
        if (s.underWay && !s.underWay->writing)
            plan.actions.push_back(act(Do::Cancel, s.underWay->take));
        plannedUntil_ = t;
    }
    return plan;
}

std::optional<TakePlanner::Action> TakePlanner::forTakeUnderWay(Reading now, const UnderWay& take)
{
    const Occurrence& o = take.take.occurrence;
    if (take.writing) {
        // By the steady clock: a step of the wall clock neither cuts nor stretches a take.
        const qint64 length = o.endMs - take.writingFromMs;
        if (now.steadyMs - take.writingSinceSteadyMs > length + OverrunMs)
            return act(Do::Stop, take.take);
        return std::nullopt;
    }
    if (now.wallMs >= o.startMs)
        return act(Do::Start, take.take);
    return std::nullopt;
}

TakePlanner::Action TakePlanner::opening(const Take& given, qint64 nowMs)
{
    Take take = given;
    const Occurrence& o = take.occurrence;
    take.late = take.late || nowMs > o.startMs + TickToleranceMs;
    if (take.late && o.endMs - nowMs < LateMinimumMs)
        return record(take, RunResult::Missed, "The program came to its start too late to record it.");
    Action a = act(Do::Open, take);
    a.startNow = take.late || nowMs >= o.startMs;
    return a;
}

std::vector<TakePlanner::Action> TakePlanner::serve(qint64 nowMs, const Situation& s, const HasRun& hasRun)
{
    const qint64 until = nowMs + OpenLeadMs;
    if (until > plannedUntil_) {
        for (const Take& t : unknownStarts(plannedUntil_, until, s, hasRun))
            waiting_.push_back(t);
        plannedUntil_ = until;
        std::stable_sort(waiting_.begin(), waiting_.end(),
                         [](const Take& a, const Take& b) { return a.occurrence.startMs < b.occurrence.startMs; });
    }

    std::vector<Action> actions;
    for (size_t i = 0; i < waiting_.size();) {
        const Take t = waiting_[i];
        if (!s.underWay && s.inputFree) {
            waiting_.erase(waiting_.begin() + ptrdiff_t(i));
            actions.push_back(opening(t, nowMs));
            if (actions.back().what == Do::Open)
                return actions;
            continue;
        }
        // It starts where the take under way ends: it follows on once that one is done.
        if (!t.late && s.underWay && s.underWay->writing && s.underWay->take.occurrence.endMs <= t.occurrence.startMs) {
            ++i;
            continue;
        }
        if (t.late || t.occurrence.startMs <= nowMs) {
            waiting_.erase(waiting_.begin() + ptrdiff_t(i));
            const QString detail =
                s.underWay ? "The input was taken by the event \"" + s.underWay->take.event.name + "\"."
                           : QString("A take by hand was under way on the input at the start; it was not interrupted.");
            actions.push_back(record(t, RunResult::DeviceBusy, detail));
            continue;
        }
        ++i;
    }
    return actions;
}

std::pair<RunResult, QString> TakePlanner::resultInFull(const Take& take, qint64 firstSampleMs)
{
    if (take.occurrence.moved)
        return {RunResult::LateStart, "Its time did not exist that day (the clocks went forward); it started at " +
                                          timeText(take.occurrence.startMs) + "."};
    if (take.late)
        return {RunResult::LateStart,
                "The program came up during the event's time; the rest from " + timeText(firstSampleMs) + " was recorded."};
    return {RunResult::OK, QString()};
}

std::optional<TakePlanner::Take> TakePlanner::following(const UnderWay& take) const
{
    for (const Take& t : waiting_)
        if (!t.late && t.occurrence.startMs == take.take.occurrence.endMs)
            return t;
    return std::nullopt;
}

void TakePlanner::eventChanged(qint64 eventId, qint64 nowMs, const Situation& s, const HasRun& hasRun)
{
    std::erase_if(waiting_, [eventId](const Take& t) { return t.event.id == eventId && !t.late; });
    if (started_)
        for (const Take& t : unknownStarts(nowMs, plannedUntil_, s, hasRun, eventId))
            waiting_.push_back(t);
}

void TakePlanner::eventRemoved(qint64 eventId)
{
    std::erase_if(waiting_, [eventId](const Take& t) { return t.event.id == eventId; });
}

std::optional<EventTiming::EventStart> TakePlanner::next(qint64 nowMs) const
{
    return EventTiming::soonestStart(events_, nowMs);
}

} // namespace tamblor::schedule
