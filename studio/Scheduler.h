#pragma once
// Runs the takes of the record events: nobody at the window. Ticked by the studio's clock and
// driven by the program's clock (Core::clock()), so tests step a schedule over days in seconds.
//
// When each take happens is decided by the planner (schedule::TakePlanner): opening, starting,
// late and missed occurrences, steps of the clock. This runner carries its decisions out on
// the recording session and keeps the record: it opens the input OpenLeadMs before the start,
// works out the input frame due at the start from how far the input has delivered at each tick
// of the lead (the freshest delivery counts), and starts writing with exactly that frame, from
// the input's pre-roll; a take holds exactly the frames of its planned length. Every occurrence
// gets exactly one run in the database with its result:
// - OK; LateStart (the program came up inside the event's time with at least a minute left, or
//   the start time did not exist that day: the rest is recorded at once);
// - Short (the input failed or the program ended during the take); DiskFull (too little room
//   before the start, or the disk filled during the take: what was written is kept);
// - Silent and Clipped, from reading the finished take back on a worker (TakeReading), as it
//   was recorded;
// - DeviceBusy (the input was taken at the start: a take by hand is never interrupted);
// - Interrupted (the program died during the take: found at the next start, the take completed
//   with what its file holds); Missed (the program was not running, the machine slept or the
//   clock was put past the start: found from the heartbeat, one run per event and day).
// A fixed-slot event records into its slot's working file beside the library (WorkingTakes),
// never into a free slot, so it records in a full library too; only a take found OK replaces
// the fixed slot's file with it (through the safe replace), so a failed run leaves the old take
// in place. A take that does not replace its slot is kept where a take of a free slot would be:
// in the first free slot, or beside the library when none is free; the run says where. A working
// file found at the next start (the program died or ended during the take) is kept the same way
// and reported, never deleted while it holds audio.
//
// The figures of a take are stored once, as a row of its own that the run refers to, and they
// describe the file as it is in the end: one reading when nothing is done after recording; when
// the take is normalized after recording, the reading that judged it is followed by one of the
// normalized file, and that second one is stored. The slot they are stored for is the one that
// holds the take in the end (the fixed slot, when the take replaced its file). While a take is
// under way or being read back, its slots are the runner's (holds()): the measurer leaves them.
#include "core/Notices.h"
#include "studio/TakeReading.h"
#include "schedule/EventTiming.h"
#include "schedule/RecordEvent.h"
#include "schedule/RecordRun.h"
#include "schedule/TakePlanner.h"
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace tamblor {

class Core;
class DeviceChoice;
class RecordingSession;
class SoundLibrary;
namespace jobs {
class Job;
}
namespace schedule {
class EventStore;
class RunStore;
} // namespace schedule
namespace store {
class ProgramDatabase;
class TakeFiguresStore;
} // namespace store

class Scheduler : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 OpenLeadMs = schedule::TakePlanner::OpenLeadMs;
    // How often the program notes in its database that it is running (missed starts are found
    // from the last note).
    static constexpr qint64 HeartbeatMs = 10000;
    static constexpr qint64 DiskReserveBytes = 64LL * 1024 * 1024;
    static constexpr const char* HeartbeatKey = "scheduler.heartbeat";

    Scheduler(Core& app, SoundLibrary& library, RecordingSession& recording, store::ProgramDatabase& database,
              schedule::EventStore& events, schedule::RunStore& runs, store::TakeFiguresStore& figures,
              DeviceChoice& devices, QObject* parent = nullptr);
    ~Scheduler() override;

    // One step: clock steps, heartbeat, then what the planner decides for the take under way
    // and the waiting ones. The studio's clock calls it; tests turn that off and call it.
    void tick();

    // The next start of an enabled event after now (none while the database is closed).
    std::optional<schedule::EventTiming::EventStart> next() const;
    // The event whose take is under way (opening or writing).
    std::optional<schedule::RecordEvent> recording() const;
    // "Record now": a run of the event starting at once for its planned length. False when the
    // input is taken or the event is unknown (the reason is shown).
    bool recordNow(qint64 eventId);

    // Waits for the reading back of finished takes and applies their results (tests; the end).
    void finishChecks();
    bool checking() const { return !checks_.empty(); }
    // Whether a slot is the runner's now: its take is being written or read back, or it is the
    // fixed slot such a take may replace.
    bool holds(int slot) const;

    // The free bytes of the folder of a native path; tests replace it.
    void setFreeSpace(std::function<qint64(const QString&)> freeSpace) { freeSpace_ = std::move(freeSpace); }

    // True while the run of this event's occurrence waits to be stored again (the database
    // could not be written when its take began or ended).
    bool runWaitsToBeStored(qint64 eventId, qint64 scheduledStartMs) const;
    bool runWaitsToBeStored(const schedule::RecordRun& run) const
    {
        return runWaitsToBeStored(run.eventId.value_or(0), run.scheduledStartMs);
    }

    // Start and length precision of the last take, in frames.
    struct Timing {
        quint64 dueSample = 0;   // the input sample due at the start, as worked out
        quint64 firstSample = 0; // the input sample the file begins with
        int channels = 0;
        qint64 framesAsked = 0;
        qint64 framesWritten = 0;
    };
    const std::optional<Timing>& lastTiming() const { return lastTiming_; }

signals:
    // The next start or the take under way changed.
    void changed();

private:
    // Results found together (at start-up, at a clock step) go to the message window as one
    // text, since it keeps only its last.
    void tellGathered();
    bool gathering_ = false;
    QStringList gathered_;

    using Take = schedule::TakePlanner::Take;
    using Action = schedule::TakePlanner::Action;
    // The input of a take as it is opened: device, format index and channel mode.
    struct Input {
        int device = 0;
        int format = 0;
        int channels = 0;
        bool operator==(const Input&) const = default;
    };
    // A take ended with its length on an input left running: the next take on the same input
    // that starts at its end begins with the sample after its last.
    struct FollowOn {
        Input input;
        qint64 endMs = 0;
        quint64 nextSample = 0;
    };
    struct Active {
        Take take;
        Input input;
        bool writing = false;
        qint64 writingSinceSteadyMs = 0;
        qint64 fromMs = 0;
        quint64 dueAsWorkedOut = 0;
        quint64 openedAt = 0; // input samples delivered when it opened
        int channels = 2;
        int rate = 44100;
        std::optional<quint64> due;
        qint64 framesAsked = 0;
        QString name;
        schedule::RecordRun run;
    };

    Input inputOf(const schedule::RecordEvent& event) const;
    schedule::TakePlanner::UnderWay underWay() const;
    // Readies the end of the writing take for the one that follows it, if any.
    void prepareFollowOn(qint64 now);
    void recover();
    void reloadEvents();
    // What the planner is told of the take under way and the input.
    schedule::TakePlanner::Situation situation() const;
    schedule::TakePlanner::HasRun hasRun() const;
    void carryOut(const std::vector<Action>& actions, qint64 now);
    void carryOut(const Action& action, qint64 now);
    void beat(qint64 now);
    // The input frame due at the start, from how far the input has delivered by now.
    void measureDue(qint64 now);
    // The time of the take's first written sample: `now` less what the input delivered after
    // it; none before the writer has it.
    std::optional<qint64> measuredFirstSample(const Active& a, qint64 now);
    // The card an event records from: its number, or the number its kept name has now; none
    // when the card of that name is not there.
    std::optional<int> deviceOf(const schedule::RecordEvent& event) const;
    void begin(const Take& take, bool startNow, qint64 now);
    void startWriting(qint64 now);
    void sessionEnded();
    void cancelOpening();
    // Reads the take in `path` (that of run.slot, or a working file) back on a worker. With
    // `replaces`, a fixed slot, the take is a working file that replaces that slot's file when it
    // is usable; `name` is the take's name in the index.
    void check(schedule::RecordRun run, const schedule::RecordEvent& event, const QString& path, int replaces = 0,
               const QString& name = {});
    // `asRecorded` judges the take; `figures` (of the file as it is in the end, with its key)
    // are stored for it. `replaced`: the working take is the fixed slot's file now; otherwise
    // a working take (`replaces` > 0) is kept, and `replaceFailure` says why it did not
    // replace the slot when it should have.
    void applyCheck(schedule::RecordRun run, const TakeReading& asRecorded, store::TakeFigures figures, int replaces,
                    bool replaced, const QString& name, const QString& replaceFailure);
    // A working take that does not replace its fixed slot, kept (WorkingTakes::keep): the slot
    // that holds it now (0: a file of its own, or left where it was when it cannot be moved),
    // its native path, and where it is as the run says it ("in slot 12").
    struct Kept {
        int slot = 0;
        QString native;
        QString where;
    };
    Kept keepWorkingTake(int fixedSlot, qint64 frames, int rate, const QDate& day, const QString& name);
    // A working file that belongs to no take under way (left by a program that ended during
    // the take): kept and reported, or removed when it holds no audio.
    void keepLeftOver(int fixedSlot);
    // A run under way at the last end whose take is in its fixed slot's working file
    // (run.slot): Interrupted, its take kept as keepWorkingTake keeps it, and read back.
    void recoverWorkingTake(schedule::RecordRun run);
    void recordResult(const schedule::RecordEvent& event, const schedule::Occurrence& o, schedule::RunResult result,
                      const QString& detail);
    void saveRun(schedule::RecordRun& run);
    // Stores the runs that could not be stored before, as far as the database takes them now.
    void storeWaitingRuns();
    // Events that cannot run as stored are refused, once per event and problem, with a notice.
    void refuseImpossible(const std::vector<schedule::RecordEvent>& events);
    QString takeName(const schedule::RecordEvent& event, const schedule::Occurrence& o) const;
    qint64 nowMs() const;
    // Tells the operator (through the program's notices).
    void tell(const QString& text, Notice::Severity severity = Notice::Severity::Warning);

    Core& app_;
    SoundLibrary& library_;
    RecordingSession& recording_;
    store::ProgramDatabase& database_;
    schedule::EventStore& events_;
    schedule::RunStore& runs_;
    store::TakeFiguresStore& figures_;
    DeviceChoice& devices_;
    std::function<qint64(const QString&)> freeSpace_;

    schedule::TakePlanner planner_;
    std::optional<Active> active_;
    std::optional<FollowOn> followOn_;
    // Runs that the database refused, the newest state of each, stored again at each tick.
    std::vector<schedule::RecordRun> unsaved_;
    std::map<qint64, QString> refused_;
    // The ids of runs appended during this run of the program, by event and scheduled start: a
    // later state of a run first kept unstored finds its row.
    std::map<std::pair<qint64, qint64>, qint64> storedIds_; // event id: the problem it was refused for
    bool cancelling_ = false;
    qint64 lastBeat_ = 0;
    struct Check {
        std::unique_ptr<jobs::Job> job;
        int slot = 0;   // the take read back
        int target = 0; // the fixed slot it may replace (0: none)
    };
    std::vector<Check> checks_;
    std::optional<Timing> lastTiming_;
};

} // namespace tamblor
