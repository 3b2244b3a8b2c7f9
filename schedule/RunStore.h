#pragma once
// The runs of the record events in the program's database: one row per occurrence (a second
// one for the same event and scheduled start is refused by the database), appended when the
// run begins or is found, updated when it ends, marked seen by the operator.
#include "platform/Failure.h"
#include "schedule/RecordRun.h"
#include <QObject>
#include <optional>
#include <vector>

namespace tamblor {
class Clock;
}
namespace tamblor::store {
class ProgramDatabase;
}

namespace tamblor::schedule {

class RunStore : public QObject {
    Q_OBJECT
public:
    RunStore(store::ProgramDatabase& database, Clock& clock, QObject* parent = nullptr);

    // Stores a new run and returns its id (also set in `run`). Throws Failure, also for a second
    // run of the same occurrence.
    qint64 append(RecordRun& run);
    // Stores every field of the run under its id. Throws Failure.
    void update(const RecordRun& run);
    std::optional<RecordRun> find(qint64 id) const;
    // True when the occurrence already has its run.
    bool hasRun(qint64 eventId, qint64 scheduledStartMs) const;
    // The newest first; of one event, or of all when none is given.
    std::vector<RecordRun> list(std::optional<qint64> eventId = std::nullopt, int limit = 1000) const;
    std::optional<RecordRun> last(qint64 eventId) const;
    // The runs planned from `fromMs` up to (not including) `toMs`, the oldest first (a history).
    std::vector<RecordRun> between(qint64 fromMs, qint64 toMs) const;
    // Runs whose take was under way when the program last ended (no result yet).
    std::vector<RecordRun> underWay() const;
    // Results other than OK that the operator has not seen yet, the newest first.
    std::vector<RecordRun> unseen() const;

    void markSeen(qint64 id);
    void markAllSeen();

    // While set, append() and update() throw this failure as a database on a full drive would
    // (tests; there is no other way to fill drive C under a running take on demand).
    void failWritesWith(std::optional<Failure> failure) { failWrites_ = std::move(failure); }

signals:
    // Appended, updated or marked seen.
    void runChanged(qint64 id);

private:
    // The run as it can be stored: a run outlives its event, so one whose event was deleted
    // (while its take was under way, or before a result found later) keeps its name and
    // refers to no event.
    RecordRun withEventKept(RecordRun run) const;
    std::vector<RecordRun> query(const QString& where, const std::optional<qint64>& key, int limit) const;

    void checkWritable() const;

    store::ProgramDatabase& database_;
    Clock& clock_;
    std::optional<Failure> failWrites_;
};

} // namespace tamblor::schedule
