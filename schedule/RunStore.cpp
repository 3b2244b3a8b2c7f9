#include "schedule/RunStore.h"
#include "platform/Clock.h"
#include "store/ProgramDatabase.h"
#include "store/TakeFiguresStore.h"

namespace tamblor::schedule {

using store::Statement;

namespace {

// A run's columns after its id, in the order bindFields binds them (?1..?13) and runOf reads
// them (1..13, after the id in 0); the figures of its take follow, joined (14 on).
const QStringList& fields()
{
    static const QStringList list{"event_id", "event_name", "scheduled_start", "first_sample_at", "length_frames",
                                  "sample_rate", "slot", "result", "figures_id", "detail", "seen", "recorded_at",
                                  "first_sample_measured"};
    return list;
}

constexpr int FiguresColumn = 14;

QString columns()
{
    QStringList named{"runs.id"};
    for (const QString& f : fields())
        named << "runs." + f;
    return named.join(", ") + ", f.id, " + store::figuresColumns("f.");
}

RecordRun runOf(const Statement& s)
{
    RecordRun r;
    r.id = s.int64At(0);
    r.eventId = s.optionalInt64At(1);
    r.eventName = s.textAt(2);
    r.scheduledStartMs = s.int64At(3);
    r.firstSampleMs = s.optionalInt64At(4);
    r.lengthFrames = s.int64At(5);
    r.sampleRate = s.intAt(6);
    r.slot = s.intAt(7);
    r.result = s.isNull(8) ? std::nullopt : resultFromText(s.textAt(8));
    r.figuresId = s.optionalInt64At(9);
    r.detail = s.textAt(10);
    r.seen = s.int64At(11) != 0;
    r.recordedAtMs = s.int64At(12);
    r.measuredFirstSampleMs = s.optionalInt64At(13);
    r.figures = store::figuresAt(s, FiguresColumn);
    return r;
}

// ?1..?13 in the order of fields().
void bindFields(Statement& s, const RecordRun& r)
{
    s.bind(1, r.eventId);
    s.bind(2, r.eventName);
    s.bind(3, int64_t(r.scheduledStartMs));
    s.bind(4, r.firstSampleMs);
    s.bind(5, r.lengthFrames);
    s.bind(6, r.sampleRate);
    s.bind(7, r.slot);
    if (r.result)
        s.bind(8, resultText(*r.result));
    else
        s.bindNull(8);
    s.bind(9, r.figuresId);
    s.bind(10, r.detail);
    s.bind(11, r.seen);
    s.bind(12, int64_t(r.recordedAtMs));
    s.bind(13, r.measuredFirstSampleMs);
}

} // namespace

RunStore::RunStore(store::ProgramDatabase& database, Clock& clock, QObject* parent)
    : QObject(parent), database_(database), clock_(clock)
{
}

void RunStore::checkWritable() const
{
    if (failWrites_)
        throw *failWrites_;
}

qint64 RunStore::append(RecordRun& run)
{
    checkWritable();
    auto& db = database_.connection();
    run.recordedAtMs = clock_.now().toMSecsSinceEpoch();
    Statement s = db.prepare(store::insertSql("runs", fields()));
    bindFields(s, withEventKept(run));
    s.run();
    run.id = db.lastInsertId();
    emit runChanged(run.id);
    return run.id;
}

void RunStore::update(const RecordRun& run)
{
    checkWritable();
    Statement s = database_.connection().prepare(store::updateSql("runs", fields(), "id"));
    bindFields(s, withEventKept(run));
    s.bind(int(fields().size()) + 1, int64_t(run.id));
    s.run();
    emit runChanged(run.id);
}

RecordRun RunStore::withEventKept(RecordRun run) const
{
    if (run.eventId) {
        Statement s = database_.connection().prepare("SELECT 1 FROM events WHERE id = ?1");
        s.bind(1, int64_t(*run.eventId));
        if (!s.step())
            run.eventId.reset();
    }
    return run;
}

std::vector<RecordRun> RunStore::query(const QString& where, const std::optional<qint64>& key, int limit) const
{
    std::vector<RecordRun> runs;
    if (!database_.isOpen())
        return runs;
    Statement s = database_.connection().prepare(
        QString("SELECT %1 FROM runs LEFT JOIN take_figures f ON f.id = runs.figures_id %2 "
                "ORDER BY runs.scheduled_start DESC, runs.id DESC LIMIT %3").arg(columns(), where).arg(limit));
    if (key)
        s.bind(1, int64_t(*key));
    while (s.step())
        runs.push_back(runOf(s));
    return runs;
}

std::optional<RecordRun> RunStore::find(qint64 id) const
{
    auto runs = query("WHERE runs.id = ?1", id, 1);
    if (runs.empty())
        return std::nullopt;
    return runs.front();
}

bool RunStore::hasRun(qint64 eventId, qint64 scheduledStartMs) const
{
    if (!database_.isOpen())
        return false;
    Statement s = database_.connection().prepare("SELECT 1 FROM runs WHERE event_id = ?1 AND scheduled_start = ?2");
    s.bind(1, int64_t(eventId)).bind(2, int64_t(scheduledStartMs));
    return s.step();
}

std::vector<RecordRun> RunStore::list(std::optional<qint64> eventId, int limit) const
{
    return eventId ? query("WHERE runs.event_id = ?1", eventId, limit) : query(QString(), std::nullopt, limit);
}

std::optional<RecordRun> RunStore::last(qint64 eventId) const
{
    auto runs = query("WHERE runs.event_id = ?1", eventId, 1);
    if (runs.empty())
        return std::nullopt;
    return runs.front();
}

std::vector<RecordRun> RunStore::between(qint64 fromMs, qint64 toMs) const
{
    std::vector<RecordRun> runs;
    if (!database_.isOpen())
        return runs;
    Statement s = database_.connection().prepare(
        QString("SELECT %1 FROM runs LEFT JOIN take_figures f ON f.id = runs.figures_id "
                "WHERE runs.scheduled_start >= ?1 AND runs.scheduled_start < ?2 "
                "ORDER BY runs.scheduled_start, runs.id").arg(columns()));
    s.bind(1, int64_t(fromMs)).bind(2, int64_t(toMs));
    while (s.step())
        runs.push_back(runOf(s));
    return runs;
}

std::vector<RecordRun> RunStore::underWay() const
{
    return query("WHERE runs.result IS NULL", std::nullopt, 1000);
}

std::vector<RecordRun> RunStore::unseen() const
{
    return query("WHERE runs.seen = 0 AND runs.result IS NOT NULL AND runs.result <> 'OK'", std::nullopt, 1000);
}

void RunStore::markSeen(qint64 id)
{
    Statement s = database_.connection().prepare("UPDATE runs SET seen = 1 WHERE id = ?1 AND seen = 0");
    s.bind(1, int64_t(id));
    s.run();
    emit runChanged(id);
}

void RunStore::markAllSeen()
{
    const auto runs = unseen();
    if (runs.empty())
        return;
    database_.connection().exec("UPDATE runs SET seen = 1 WHERE seen = 0 AND result IS NOT NULL AND result <> 'OK'");
    for (const auto& r : runs)
        emit runChanged(r.id);
}

} // namespace tamblor::schedule
