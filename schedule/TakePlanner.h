#pragma once
// Decides when the takes of the record events happen; the take runner of the studio carries
// its decisions out. Pure computation on values: it reads no device, no file and no database.
// The runner hands it the events, whether an occurrence already has its run, the take under way
// and whether the input is free, and the wall and steady clocks at each tick; it answers with
// actions.
//
// - An occurrence of an enabled event opens its input OpenLeadMs before its start and starts
//   writing at its start (a start seen up to TickToleranceMs late by a busy tick still counts
//   as on time).
// - Late: the program came up inside an event's time with at least LateMinimumMs left (or
//   reached a start that late): the rest is recorded at once. With less left it is missed.
// - Missed while the program was not running: every start after the last heartbeat (and after
//   the event was last stored) up to now, one run per event and day.
// - A step of the wall clock against the steady clock of more than StepMs is a clock step (NTP,
//   the operator, a machine that slept). Forward: every start stepped over is missed, the input
//   opened for one of them let go. Back: an input opened but not yet writing is let go and its
//   start waited for again by the new time; what already has its run is never planned twice.
//   A take already writing is never cut or stretched by a step: it ends when its frames are in.
// - A take starting where the take under way ends follows it on: it waits for that take to
//   end (its last frames may still be on their way) instead of finding the input busy.
// - A take still writing OverrunMs longer than its length by the steady clock (an input that
//   neither delivers its frames nor is found lost) is stopped.
//
// Each tick the runner asks in this order: readClock(), then forTakeUnderWay() for its take,
// then serve() until the list it returns no longer ends with an Open, so that an Open the runner
// could not carry out leaves the input to the next waiting occurrence within the same tick.
#include "schedule/EventTiming.h"
#include "schedule/RecordEvent.h"
#include "schedule/RecordRun.h"
#include <QString>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace tamblor::schedule {

class TakePlanner {
public:
    static constexpr qint64 OpenLeadMs = 2000;
    // A difference between the wall clock and the steady clock larger than this is a step.
    static constexpr qint64 StepMs = 2000;
    // A late occurrence still records when at least this much of it is left.
    static constexpr qint64 LateMinimumMs = 60000;
    // A start seen this late by a tick (a busy program) still counts as on time.
    static constexpr qint64 TickToleranceMs = 1000;
    // A take still writing this long after its end is stopped.
    static constexpr qint64 OverrunMs = 10000;

    // One occurrence of an event as a take: the event as it was planned, and whether it came up
    // inside its time (then the rest is recorded at once).
    struct Take {
        RecordEvent event;
        Occurrence occurrence;
        bool late = false;
        bool operator==(const Take&) const = default;
    };
    // The runner's take: its input is open, and it may be writing.
    struct UnderWay {
        Take take;
        bool writing = false;
        // While writing: the steady clock when writing began, and the wall time its first
        // frame stands for (the take's start, or later for a late one).
        qint64 writingSinceSteadyMs = 0;
        qint64 writingFromMs = 0;
    };
    // What the runner holds at the moment of asking.
    struct Situation {
        std::optional<UnderWay> underWay;
        // No take holds the input (a take by hand is not "under way" here, but holds it).
        bool inputFree = true;
    };
    // Both clocks read at once: the wall clock (ms since 1970, UTC) and one that never jumps.
    struct Reading {
        qint64 wallMs = 0;
        qint64 steadyMs = 0;
    };
    // True when the occurrence of the event starting then has its run already.
    using HasRun = std::function<bool(qint64 eventId, qint64 scheduledStartMs)>;

    enum class Do {
        Open,   // open the input for the take; with startNow, start writing at once
        Start,  // the take under way starts writing
        Stop,   // the take under way has run far past its end: stop it
        Cancel, // let go the input opened for the take under way (not writing yet)
        Record, // store the take's run with a result and detail; nothing is recorded
    };
    struct Action {
        Do what = Do::Record;
        Take take;
        bool startNow = false;          // Open
        RunResult result = RunResult::OK; // Record
        QString detail;                 // Record
        bool operator==(const Action&) const = default;
    };

    enum class ClockStep { None, Forward, Back };
    struct StepPlan {
        ClockStep step = ClockStep::None;
        std::vector<Action> actions; // told together: one message for the lot
    };

    // The events as stored (disabled ones included; they are never planned).
    void setEvents(std::vector<RecordEvent> events) { events_ = std::move(events); }
    const std::vector<RecordEvent>& events() const { return events_; }

    // The program came up (its database opened) at `now`, last seen running at `heartbeatMs`
    // (none when it never ran with this database). What started meanwhile: recorded late when
    // under way with enough left, else missed. Forgets whatever was waiting before.
    std::vector<Action> start(Reading now, std::optional<qint64> heartbeatMs, const Situation& s, const HasRun& hasRun);
    bool started() const { return started_; }

    // The clocks at a tick, against those of the last tick (or of start()): a step and what it
    // decides. The reading is kept for the next tick.
    StepPlan readClock(Reading now, const Situation& s, const HasRun& hasRun);
    // Start (its start has come) or Stop (writing far longer than its length, by the steady
    // clock) for the take under way, if either.
    static std::optional<Action> forTakeUnderWay(Reading now, const UnderWay& take);
    // The waiting take that starts where the take under way ends, if any.
    std::optional<Take> following(const UnderWay& take) const;
    // Takes in the next OpenLeadMs join the waiting ones; then, in start order: the first is
    // opened when the input is free (the list ends there), those whose start has come while the
    // input is held find it busy, the others wait.
    std::vector<Action> serve(qint64 nowMs, const Situation& s, const HasRun& hasRun);

    // Opening a take at `nowMs` (also "record now"): Open, or a Record of Missed when it came to
    // its start too late to record enough of it.
    static Action opening(const Take& take, qint64 nowMs);
    // The result of a take that recorded its whole planned length from `firstSampleMs`: OK, or
    // LateStart when its time did not exist that day or it came up late, with the detail.
    static std::pair<RunResult, QString> resultInFull(const Take& take, qint64 firstSampleMs);

    // An event was stored anew (the events set already): what waited for its start is planned
    // again by the new times, up to as far as was looked ahead; a late take keeps waiting.
    void eventChanged(qint64 eventId, qint64 nowMs, const Situation& s, const HasRun& hasRun);
    // An event was deleted: nothing of it waits any more.
    void eventRemoved(qint64 eventId);

    // The next start of an enabled event at or after `nowMs`.
    std::optional<EventTiming::EventStart> next(qint64 nowMs) const;
    // The takes waiting for their start (or for the input, when late), in start order.
    const std::vector<Take>& waiting() const { return waiting_; }

private:
    bool known(qint64 eventId, qint64 startMs, const Situation& s, const HasRun& hasRun) const;
    // The starts after `afterMs` up to `untilMs` of the enabled events (of event `only` alone
    // when given) that have no run yet and are neither waiting nor under way.
    std::vector<Take> unknownStarts(qint64 afterMs, qint64 untilMs, const Situation& s, const HasRun& hasRun,
                                    std::optional<qint64> only = {}) const;

    std::vector<RecordEvent> events_;
    std::vector<Take> waiting_;
    bool started_ = false;
    // Starts up to here have been planned (they wait, are under way or have their run).
    qint64 plannedUntil_ = 0;
    Reading last_;
};

} // namespace tamblor::schedule
