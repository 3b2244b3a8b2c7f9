#include "store/Schema.h"
#include "store/SqliteConnection.h"

namespace tamblor::store::Schema {

namespace {

// Times are milliseconds since 1970 (UTC); times of day are seconds after local midnight.
const char* const Version1 = R"sql(
CREATE TABLE events (
    id              INTEGER PRIMARY KEY,
    name            TEXT    NOT NULL,
    start_s         INTEGER NOT NULL,            -- time of day of the start
    weekdays        INTEGER NOT NULL DEFAULT 0,  -- bit 0 Monday .. bit 6 Sunday
    on_date         TEXT,                        -- 'yyyy-MM-dd' of a one-shot event, else NULL
    end_kind        INTEGER NOT NULL DEFAULT 0,  -- 0 by length, 1 at a time of day
    length_s        INTEGER NOT NULL DEFAULT 0,
    end_s           INTEGER NOT NULL DEFAULT 0,
    input_device    INTEGER,                     -- NULL: as the preferences
    input_format    INTEGER,
    input_channels  INTEGER,
    destination     INTEGER NOT NULL DEFAULT 0,  -- 0 first free slot, 1 one fixed slot
    name_template   TEXT    NOT NULL DEFAULT '{name}',
    fixed_slot      INTEGER,
    after_action    INTEGER NOT NULL DEFAULT 0,  -- 0 nothing, 1 peak, 2 loudness normalize
    target          REAL,                        -- dBFS (peak) or LUFS (loudness)
    ceiling         REAL,                        -- true-peak ceiling, dBTP
    enabled         INTEGER NOT NULL DEFAULT 1,
    changed_at      INTEGER NOT NULL
);
CREATE TABLE runs (
    id                INTEGER PRIMARY KEY,
    event_id          INTEGER REFERENCES events(id) ON DELETE SET NULL,
    event_name        TEXT    NOT NULL,
    scheduled_start   INTEGER NOT NULL,
    first_sample_at   INTEGER,
    length_frames     INTEGER NOT NULL DEFAULT 0,
    sample_rate       INTEGER NOT NULL DEFAULT 0,
    slot              INTEGER NOT NULL DEFAULT 0,
    result            TEXT,                       -- NULL while the take is under way
    peak_dbfs         REAL,
    integrated_lufs   REAL,
    lra_lu            REAL,
    true_peak_dbtp    REAL,
    longest_silence_s REAL,
    detail            TEXT    NOT NULL DEFAULT '',
    seen              INTEGER NOT NULL DEFAULT 0,
    recorded_at       INTEGER NOT NULL
);
CREATE UNIQUE INDEX runs_occurrence ON runs(event_id, scheduled_start);
CREATE INDEX runs_unseen ON runs(seen) WHERE seen = 0;
CREATE TABLE take_figures (
    slot              INTEGER PRIMARY KEY,
    file_size         INTEGER NOT NULL,
    file_mtime        INTEGER NOT NULL,
    peak_dbfs         REAL,
    integrated_lufs   REAL,
    lra_lu            REAL,
    true_peak_dbtp    REAL,
    longest_silence_s REAL,
    measured_at       INTEGER NOT NULL
);
CREATE TABLE program_state (
    key   TEXT PRIMARY KEY,
    value TEXT NOT NULL
);
)sql";

} // namespace

const QStringList& migrations()
{
    static const QStringList steps{QString::fromUtf8(Version1)};
    return steps;
}

int currentVersion()
{
    return static_cast<int>(migrations().size());
}

void migrate(SqliteConnection& connection)
{
    const int from = static_cast<int>(connection.queryInt("PRAGMA user_version"));
    for (int version = from; version < currentVersion(); ++version) {
        Transaction t(connection);
        connection.exec(migrations().at(version));
        connection.exec(QString("PRAGMA user_version = %1").arg(version + 1));
        t.commit();
    }
}

} // namespace tamblor::store::Schema
