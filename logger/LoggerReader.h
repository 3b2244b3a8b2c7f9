#pragma once
// The logger as the main program sees it on its root, read-only: its database (never created,
// migrated, set aside or written: a missing file means no logger on this root), whether the
// logger runs now (its one-program-per-root lock is held: read from the lock file, never
// taken), its last segment, the days the disk still holds and the rows of a span for the
// coverage grid. Lives on the user-interface thread beside the studio.
//
// While the logger does not run, a look leaves SQLite's empty write-ahead log and its index
// (Logger.db-wal, -shm) beside the file: a connection that may not write cannot remove them,
// and removing them by hand could race the logger's start. They hold nothing; the logger's
// next run takes them over and removes them at its close.
#include "logger/LoggerCoverage.h"
#include "logger/LoggerSettings.h"
#include "logger/LoggerStore.h"
#include "logger/Retention.h"
#include <QObject>
#include <optional>

namespace tamblor {
class Core;
}

namespace tamblor::logger {

struct LoggerStatus {
    bool database = false; // Logger.db is on this root
    bool open = false;     // and could be read
    bool running = false;  // the logger holds its lock on this root now
    qint64 pid = 0;
    std::optional<SegmentRecord> lastSegment;
    SpaceForecast forecast; // of the disk the segments go to (bytesPerDay 0: no rate known)
    int retentionDays = 0;
    QString problem; // why an existing file could not be read
};

class LoggerReader : public QObject {
    Q_OBJECT
public:
    // Opens the database read-only with the core's start-up.
    explicit LoggerReader(Core& core, QObject* parent = nullptr);

    // Opens the database again when it is closed (the logger may have made it since, or let go
    // of a lock); true when it is open.
    bool refresh();
    LoggerStatus status();
    bool isRunning() const;
    // The rows of [fromMs, toMs) for the coverage (empty when the database is not open).
    CoverageRows rows(qint64 fromMs, qint64 toMs);
    // The coverage of `count` days up to `newest`, judged at the core's time now.
    LoggerCoverage coverage(const QDate& newest, int count);

    LoggerStore& store() { return store_; }
    LoggerSettings settings() const;
    qint64 nowMs() const;

private:
    Core& core_;
    LoggerStore store_;
};

} // namespace tamblor::logger
