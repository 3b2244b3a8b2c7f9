#pragma once
// The logger's own database, "c:\Tamblor\Logger.db" beside the program's (WAL, synchronous
// writes, a schema version; a damaged file set aside and reported, as the program's own is):
// its runs, a row per segment, the spans that have no segment (between two runs, or while the
// disk was full) and the holds that keep a span from being deleted. The main program opens it
// read-only.
#include "logger/SegmentRecord.h"
#include "store/ProgramDatabase.h"
#include <QString>
#include <optional>
#include <vector>

namespace tamblor {
class Core;
}

namespace tamblor::logger {

// A span of time the logger has no recording of, and why.
struct Gap {
    qint64 id = 0;
    qint64 startMs = 0;
    qint64 endMs = 0;
    qint64 frames = 0; // at the nominal rate, when known
    QString cause;
};

struct Hold {
    qint64 id = 0;
    qint64 startMs = 0;
    qint64 endMs = 0;
    QString note;
};

struct LoggerRun {
    qint64 id = 0;
    qint64 startedMs = 0;
    std::optional<qint64> endedMs; // none: it never ended cleanly
};

class LoggerStore {
public:
    static constexpr const char* DosPath = "c:\\Tamblor\\Logger.db";
    // "TLog": marks the file as the logger's (its application_id).
    static constexpr int ApplicationId = 0x544c6f67;
    static store::DatabaseKind kind();

    // Opens with the core's start-up. The main program opens it ReadOnly: it never creates,
    // migrates, sets aside or writes the logger's file (every write throws Failure there).
    explicit LoggerStore(Core& core, store::ProgramDatabase::Access access = store::ProgramDatabase::Access::ReadWrite);
    bool isOpen() const { return database_.isOpen(); }
    store::ProgramDatabase& database() { return database_; }

    qint64 beginRun(qint64 startedMs);
    void endRun(qint64 id, qint64 endedMs);
    // The run before `id` (or the last one when `id` is 0).
    std::optional<LoggerRun> runBefore(qint64 id);

    // `runId` 0: a segment of no run (brought in from elsewhere).
    void insert(SegmentRecord& record, qint64 runId);
    void update(const SegmentRecord& record);
    // Segments not (yet) closed: written by a run that ended without closing them.
    std::vector<SegmentRecord> unclosed();
    // Segments still on disk that began before `ms`, oldest first.
    std::vector<SegmentRecord> keptBefore(qint64 ms);
    std::vector<SegmentRecord> segments();
    // Segments still on disk that may hold frames between `fromMs` and `toMs`, oldest first.
    std::vector<SegmentRecord> keptBetween(qint64 fromMs, qint64 toMs);
    // What an export of a span needs: those segments and the spans not recorded.
    struct SpanRows {
        std::vector<SegmentRecord> segments;
        std::vector<Gap> gaps;
    };
    // Read from the database at `nativePath` opened only to read (the main program never writes
    // the logger's rows). Throws Failure when it is missing or cannot be read.
    static SpanRows readSpan(const QString& nativePath, qint64 fromMs, qint64 toMs);
    // Segments and spans not recorded that overlap [fromMs, toMs), by start; a segment still
    // being written (no end known) counts from its start on.
    std::vector<SegmentRecord> segmentsOverlapping(qint64 fromMs, qint64 toMs);
    std::vector<Gap> gapsOverlapping(qint64 fromMs, qint64 toMs);
    // The segment begun last (also one still being written).
    std::optional<SegmentRecord> lastSegment();
    void markDeleted(qint64 id, qint64 atMs);
    // The daily check read the file again: `problem` empty when it was what was recorded.
    void markChecked(qint64 id, qint64 atMs, const QString& problem);
    // What the last check found (empty: nothing), none when it was never checked.
    std::optional<QString> checkProblem(qint64 id);
    // The end of the last segment recorded (its start plus its frames), when there is one.
    std::optional<qint64> lastRecordedEnd();

    void addGap(const Gap& gap);
    std::vector<Gap> gaps();

    qint64 placeHold(const Hold& hold);
    void liftHold(qint64 id, qint64 atMs);
    std::vector<Hold> holds();

private:
    static SegmentRecord recordOf(store::Statement& s);
    static std::vector<SegmentRecord> keptBetween(store::SqliteConnection& c, qint64 fromMs, qint64 toMs);
    static std::vector<Gap> gaps(store::SqliteConnection& c);
    store::ProgramDatabase database_;
};

QString lossesText(const std::vector<Loss>& losses);
std::vector<Loss> lossesFrom(const QString& text);

} // namespace tamblor::logger
