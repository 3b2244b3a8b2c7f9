#include "logger/LoggerStore.h"
#include "platform/Failure.h"
#include <QFileInfo>
#include <QStringList>
#include <cmath>

namespace tamblor::logger {

namespace {

// Times are milliseconds since 1970 (UTC).
const char* const Version1 = R"sql(
CREATE TABLE runs (
    id          INTEGER PRIMARY KEY,
    started_ms  INTEGER NOT NULL,
    ended_ms    INTEGER                       -- NULL: it never ended cleanly
);
CREATE TABLE segments (
    id                  INTEGER PRIMARY KEY,
    run_id              INTEGER REFERENCES runs(id),
    path                TEXT    NOT NULL,
    start_ms            INTEGER NOT NULL,     -- the wall-clock time its first frame was due
    utc_offset_s        INTEGER NOT NULL,
    boundary_ms         INTEGER NOT NULL,
    end_ms              INTEGER NOT NULL,     -- the boundary it was meant to end at
    sample_rate         INTEGER NOT NULL,
    channels            INTEGER NOT NULL,
    planned_frames      INTEGER NOT NULL,
    frames              INTEGER NOT NULL DEFAULT 0,
    result              TEXT,                 -- NULL while it is being written
    reason              TEXT    NOT NULL DEFAULT '',
    losses              TEXT    NOT NULL DEFAULT '',  -- "position:frames" in the segment, comma separated
    integrated_lufs     REAL,
    range_lu            REAL,
    true_peak_dbtp      REAL,
    max_momentary_lufs  REAL,
    max_short_term_lufs REAL,
    longest_silence_s   REAL,
    clipped_runs        INTEGER,
    ppm                 REAL,
    ppm_warning         INTEGER NOT NULL DEFAULT 0,
    clock_sync          TEXT    NOT NULL DEFAULT 'unknown',
    sha256              TEXT    NOT NULL DEFAULT '',
    deleted_ms          INTEGER,              -- the file was deleted (retention)
    checked_ms          INTEGER,              -- the file was last read again and compared
    check_problem       TEXT                  -- NULL: it was what was recorded
);
CREATE INDEX segments_start ON segments(start_ms);
CREATE TABLE gaps (
    id        INTEGER PRIMARY KEY,
    start_ms  INTEGER NOT NULL,
    end_ms    INTEGER NOT NULL,
    frames    INTEGER NOT NULL DEFAULT 0,
    cause     TEXT    NOT NULL
);
CREATE TABLE holds (
    id         INTEGER PRIMARY KEY,
    start_ms   INTEGER NOT NULL,
    end_ms     INTEGER NOT NULL,
    note       TEXT    NOT NULL DEFAULT '',
    lifted_ms  INTEGER
);
)sql";

// The second folder: every segment has a copy there too, each with its own fate. The columns
// above describe the copy in the logger's folder; `problem` says why a copy is not whole.
const char* const Version2 = R"sql(
ALTER TABLE segments ADD COLUMN problem        TEXT    NOT NULL DEFAULT '';  -- '': the copy at path is whole
ALTER TABLE segments ADD COLUMN second_path    TEXT;                         -- NULL: no second folder
ALTER TABLE segments ADD COLUMN second_frames  INTEGER NOT NULL DEFAULT 0;
ALTER TABLE segments ADD COLUMN second_sha256  TEXT    NOT NULL DEFAULT '';
ALTER TABLE segments ADD COLUMN second_problem TEXT    NOT NULL DEFAULT '';
)sql";

const QStringList SegmentColumns{"path", "start_ms", "utc_offset_s", "boundary_ms", "end_ms", "sample_rate", "channels",
                                 "planned_frames", "frames", "result", "reason", "losses", "integrated_lufs",
                                 "range_lu", "true_peak_dbtp", "max_momentary_lufs", "max_short_term_lufs",
                                 "longest_silence_s", "clipped_runs", "ppm", "ppm_warning", "clock_sync", "sha256",
                                 "problem", "second_path", "second_frames", "second_sha256", "second_problem"};

void bindRecord(store::Statement& s, const SegmentRecord& r)
{
    const SegmentFigures& f = r.figures;
    s.bind(1, r.path).bind(2, r.startMs).bind(3, r.utcOffsetSeconds).bind(4, r.boundaryMs).bind(5, r.endMs);
    s.bind(6, r.sampleRate).bind(7, r.channels).bind(8, r.plannedFrames).bind(9, r.frames);
    if (r.result)
        s.bind(10, resultText(*r.result));
    else
        s.bindNull(10);
    s.bind(11, r.reason).bind(12, lossesText(r.losses));
    s.bind(13, f.integratedLufs).bind(14, f.rangeLu).bind(15, f.truePeakDbtp).bind(16, f.maxMomentaryLufs);
    s.bind(17, f.maxShortTermLufs).bind(18, f.longestSilenceSeconds).bind(19, f.clippedRuns);
    s.bind(20, r.ppm).bind(21, std::abs(r.ppm) > PpmWarning).bind(22, r.clockSync.isEmpty() ? QString("unknown") : r.clockSync);
    s.bind(23, QString::fromLatin1(r.sha256));
    s.bind(24, r.problem);
    if (r.second.exists())
        s.bind(25, r.second.path);
    else
        s.bindNull(25);
    s.bind(26, r.second.frames).bind(27, QString::fromLatin1(r.second.sha256)).bind(28, r.second.problem);
}

} // namespace

QString lossesText(const std::vector<Loss>& losses)
{
    QStringList parts;
    for (const Loss& l : losses)
        parts << QString("%1:%2").arg(l.position).arg(l.frames);
    return parts.join(',');
}

std::vector<Loss> lossesFrom(const QString& text)
{
    std::vector<Loss> losses;
    for (const QString& part : text.split(',', Qt::SkipEmptyParts)) {
        const QStringList pf = part.split(':');
        if (pf.size() == 2)
            losses.push_back({pf[0].toLongLong(), pf[1].toLongLong()});
    }
    return losses;
}

store::DatabaseKind LoggerStore::kind()
{
    return {DosPath, ApplicationId, QStringList{QString::fromUtf8(Version1), QString::fromUtf8(Version2)}, "The logger's database",
            "the logger records without its rows", "the rows of the segments recorded so far are lost (the files stay)",
            "the Logger window and page show no coverage"};
}

LoggerStore::LoggerStore(Core& core, store::ProgramDatabase::Access access) : database_(core, kind(), access) {}

qint64 LoggerStore::beginRun(qint64 startedMs)
{
    auto& c = database_.connection();
    c.prepare("INSERT INTO runs (started_ms) VALUES (?1)").bind(1, startedMs).run();
    return c.lastInsertId();
}

void LoggerStore::endRun(qint64 id, qint64 endedMs)
{
    database_.connection().prepare("UPDATE runs SET ended_ms = ?1 WHERE id = ?2").bind(1, endedMs).bind(2, id).run();
}

std::optional<LoggerRun> LoggerStore::runBefore(qint64 id)
{
    auto s = database_.connection().prepare(
        "SELECT id, started_ms, ended_ms FROM runs WHERE ?1 = 0 OR id < ?1 ORDER BY id DESC LIMIT 1");
    s.bind(1, id);
    if (!s.step())
        return std::nullopt;
    return LoggerRun{s.int64At(0), s.int64At(1), s.optionalInt64At(2)};
}

void LoggerStore::insert(SegmentRecord& record, qint64 runId)
{
    auto& c = database_.connection();
    QStringList columns = SegmentColumns;
    columns << "run_id";
    auto s = c.prepare(store::insertSql("segments", columns));
    bindRecord(s, record);
    if (runId > 0)
        s.bind(int(columns.size()), runId);
    else
        s.bindNull(int(columns.size()));
    s.run();
    record.id = c.lastInsertId();
}

void LoggerStore::update(const SegmentRecord& record)
{
    auto s = database_.connection().prepare(store::updateSql("segments", SegmentColumns, "id"));
    bindRecord(s, record);
    s.bind(int(SegmentColumns.size()) + 1, record.id);
    s.run();
}

SegmentRecord LoggerStore::recordOf(store::Statement& s)
{
    SegmentRecord r;
    r.id = s.int64At(0);
    r.path = s.textAt(1);
    r.startMs = s.int64At(2);
    r.utcOffsetSeconds = s.intAt(3);
    r.boundaryMs = s.int64At(4);
    r.endMs = s.int64At(5);
    r.sampleRate = s.intAt(6);
    r.channels = s.intAt(7);
    r.plannedFrames = s.int64At(8);
    r.frames = s.int64At(9);
    if (!s.isNull(10))
        r.result = resultFromText(s.textAt(10));
    r.closed = r.result.has_value();
    r.reason = s.textAt(11);
    r.losses = lossesFrom(s.textAt(12));
    SegmentFigures& f = r.figures;
    f.integratedLufs = s.optionalDoubleAt(13).value_or(-HUGE_VAL);
    f.rangeLu = s.optionalDoubleAt(14).value_or(0);
    f.truePeakDbtp = s.optionalDoubleAt(15).value_or(-HUGE_VAL);
    f.maxMomentaryLufs = s.optionalDoubleAt(16).value_or(-HUGE_VAL);
    f.maxShortTermLufs = s.optionalDoubleAt(17).value_or(-HUGE_VAL);
    f.longestSilenceSeconds = s.optionalDoubleAt(18).value_or(0);
    f.clippedRuns = s.optionalInt64At(19).value_or(0);
    r.ppm = s.optionalDoubleAt(20).value_or(0);
    r.clockSync = s.textAt(22);
    r.sha256 = s.textAt(23).toLatin1();
    r.deletedMs = s.optionalInt64At(24);
    r.problem = s.textAt(25);
    if (!s.isNull(26)) {
        r.second.path = s.textAt(26);
        r.second.frames = s.int64At(27);
        r.second.sha256 = s.textAt(28).toLatin1();
        r.second.problem = s.textAt(29);
    }
    return r;
}

namespace {
const char* const SelectSegments =
    "SELECT id, path, start_ms, utc_offset_s, boundary_ms, end_ms, sample_rate, channels, planned_frames, frames, "
    "result, reason, losses, integrated_lufs, range_lu, true_peak_dbtp, max_momentary_lufs, max_short_term_lufs, "
    "longest_silence_s, clipped_runs, ppm, ppm_warning, clock_sync, sha256, deleted_ms, "
    "problem, second_path, second_frames, second_sha256, second_problem FROM segments ";
} // namespace

std::vector<SegmentRecord> LoggerStore::unclosed()
{
    auto s = database_.connection().prepare(QString(SelectSegments) + "WHERE result IS NULL ORDER BY id");
    std::vector<SegmentRecord> out;
    while (s.step())
        out.push_back(recordOf(s));
    return out;
}

std::vector<SegmentRecord> LoggerStore::keptBefore(qint64 ms)
{
    auto s = database_.connection().prepare(QString(SelectSegments) +
                                            "WHERE deleted_ms IS NULL AND start_ms < ?1 ORDER BY start_ms");
    s.bind(1, ms);
    std::vector<SegmentRecord> out;
    while (s.step())
        out.push_back(recordOf(s));
    return out;
}

std::vector<SegmentRecord> LoggerStore::segments()
{
    auto s = database_.connection().prepare(QString(SelectSegments) + "ORDER BY start_ms, id");
    std::vector<SegmentRecord> out;
    while (s.step())
        out.push_back(recordOf(s));
    return out;
}

std::vector<SegmentRecord> LoggerStore::keptBetween(qint64 fromMs, qint64 toMs)
{
    return keptBetween(database_.connection(), fromMs, toMs);
}

LoggerStore::SpanRows LoggerStore::readSpan(const QString& nativePath, qint64 fromMs, qint64 toMs)
{
    if (!QFileInfo(nativePath).isFile())
        throw Failure(Failure::FileNotFound, "the logger's database " + nativePath + " is not there");
    store::SqliteConnection c(nativePath, store::SqliteConnection::Access::ReadOnly);
    if (c.queryInt("PRAGMA application_id") != ApplicationId)
        throw Failure(Failure::BadFileName, nativePath + " is not the logger's database");
    return {keptBetween(c, fromMs, toMs), gaps(c)};
}

std::vector<SegmentRecord> LoggerStore::keptBetween(store::SqliteConnection& c, qint64 fromMs, qint64 toMs)
{
    // A segment may run past its boundary by its drift: a minute is more than any.
    auto s = c.prepare(QString(SelectSegments) +
                       "WHERE deleted_ms IS NULL AND start_ms < ?2 AND end_ms + 60000 > ?1 ORDER BY start_ms, id");
    s.bind(1, fromMs).bind(2, toMs);
    std::vector<SegmentRecord> out;
    while (s.step())
        out.push_back(recordOf(s));
    return out;
}

std::vector<SegmentRecord> LoggerStore::segmentsOverlapping(qint64 fromMs, qint64 toMs)
{
    // The end recorded is the start plus the frames; a segment not closed may reach its boundary.
    auto s = database_.connection().prepare(
        QString(SelectSegments) +
        "WHERE start_ms < ?2 AND (result IS NULL OR sample_rate <= 0 OR start_ms + (frames * 1000) / sample_rate > ?1 "
        "OR end_ms > ?1) ORDER BY start_ms, id");
    s.bind(1, fromMs).bind(2, toMs);
    std::vector<SegmentRecord> out;
    while (s.step())
        out.push_back(recordOf(s));
    return out;
}

std::vector<Gap> LoggerStore::gapsOverlapping(qint64 fromMs, qint64 toMs)
{
    auto s = database_.connection().prepare(
        "SELECT id, start_ms, end_ms, frames, cause FROM gaps WHERE start_ms < ?2 AND end_ms > ?1 ORDER BY start_ms");
    s.bind(1, fromMs).bind(2, toMs);
    std::vector<Gap> out;
    while (s.step())
        out.push_back({s.int64At(0), s.int64At(1), s.int64At(2), s.int64At(3), s.textAt(4)});
    return out;
}

std::optional<SegmentRecord> LoggerStore::lastSegment()
{
    auto s = database_.connection().prepare(QString(SelectSegments) + "ORDER BY start_ms DESC, id DESC LIMIT 1");
    if (!s.step())
        return std::nullopt;
    return recordOf(s);
}

void LoggerStore::markChecked(qint64 id, qint64 atMs, const QString& problem)
{
    auto s = database_.connection().prepare("UPDATE segments SET checked_ms = ?1, check_problem = ?2 WHERE id = ?3");
    s.bind(1, atMs);
    if (problem.isEmpty())
        s.bindNull(2);
    else
        s.bind(2, problem);
    s.bind(3, id).run();
}

std::optional<QString> LoggerStore::checkProblem(qint64 id)
{
    auto s = database_.connection().prepare("SELECT checked_ms, check_problem FROM segments WHERE id = ?1");
    s.bind(1, id);
    if (!s.step() || s.isNull(0))
        return std::nullopt;
    return s.isNull(1) ? QString() : s.textAt(1);
}

void LoggerStore::markDeleted(qint64 id, qint64 atMs)
{
    database_.connection().prepare("UPDATE segments SET deleted_ms = ?1 WHERE id = ?2").bind(1, atMs).bind(2, id).run();
}

std::optional<qint64> LoggerStore::lastRecordedEnd()
{
    auto s = database_.connection().prepare(
        "SELECT max(start_ms + (max(frames, second_frames) * 1000) / sample_rate) FROM segments WHERE sample_rate > 0");
    if (!s.step() || s.isNull(0))
        return std::nullopt;
    return s.int64At(0);
}

void LoggerStore::addGap(const Gap& gap)
{
    database_.connection()
        .prepare("INSERT INTO gaps (start_ms, end_ms, frames, cause) VALUES (?1, ?2, ?3, ?4)")
        .bind(1, gap.startMs)
        .bind(2, gap.endMs)
        .bind(3, gap.frames)
        .bind(4, gap.cause)
        .run();
}

std::vector<Gap> LoggerStore::gaps()
{
    return gaps(database_.connection());
}

std::vector<Gap> LoggerStore::gaps(store::SqliteConnection& c)
{
    auto s = c.prepare("SELECT id, start_ms, end_ms, frames, cause FROM gaps ORDER BY start_ms");
    std::vector<Gap> out;
    while (s.step())
        out.push_back({s.int64At(0), s.int64At(1), s.int64At(2), s.int64At(3), s.textAt(4)});
    return out;
}

qint64 LoggerStore::placeHold(const Hold& hold)
{
    auto& c = database_.connection();
    c.prepare("INSERT INTO holds (start_ms, end_ms, note) VALUES (?1, ?2, ?3)")
        .bind(1, hold.startMs)
        .bind(2, hold.endMs)
        .bind(3, hold.note)
        .run();
    return c.lastInsertId();
}

void LoggerStore::liftHold(qint64 id, qint64 atMs)
{
    database_.connection().prepare("UPDATE holds SET lifted_ms = ?1 WHERE id = ?2").bind(1, atMs).bind(2, id).run();
}

std::vector<Hold> LoggerStore::holds()
{
    auto s = database_.connection().prepare(
        "SELECT id, start_ms, end_ms, note FROM holds WHERE lifted_ms IS NULL ORDER BY start_ms");
    std::vector<Hold> out;
    while (s.step())
        out.push_back({s.int64At(0), s.int64At(1), s.int64At(2), s.textAt(3)});
    return out;
}

} // namespace tamblor::logger
