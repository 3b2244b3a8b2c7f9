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

// The figures of a take become one row per take that the runs refer to, instead of one row per
// slot beside a copy of five of them in each run. Every run with figures gets a row of its own
// (with the run's id as the row's, so that the run can find it; its file is not known: key 0,
// and it is in no slot). The rows of the slots follow with their figures; a figure left out of
// such a row because it was minus infinity (digital silence, whose longest silence was kept)
// is minus infinity again. Then the runs drop their copies.
const char* const Version2 = R"sql(
CREATE TABLE take_figures_per_take (
    id                 INTEGER PRIMARY KEY,
    slot               INTEGER,                     -- the slot holding the take now; NULL once none does
    file_size          INTEGER NOT NULL DEFAULT 0,  -- the file the figures were measured from
    file_mtime         INTEGER NOT NULL DEFAULT 0,
    frames             INTEGER,
    sample_rate        INTEGER,
    channels           INTEGER,
    peak_dbfs          REAL,                        -- -Inf for digital silence
    integrated_lufs    REAL,                        -- -Inf for digital silence
    lra_lu             REAL,
    true_peak_dbtp     REAL,                        -- -Inf for digital silence
    longest_silence_s  REAL,
    silence_below_dbfs REAL,                        -- the threshold of longest_silence_s
    clipped_runs       INTEGER,
    measured_at        INTEGER NOT NULL
);
INSERT INTO take_figures_per_take (id, peak_dbfs, integrated_lufs, lra_lu, true_peak_dbtp, longest_silence_s,
                                   silence_below_dbfs, measured_at)
    SELECT id, peak_dbfs, integrated_lufs, lra_lu, true_peak_dbtp, longest_silence_s, -50.0, recorded_at
    FROM runs
    WHERE peak_dbfs IS NOT NULL OR integrated_lufs IS NOT NULL OR lra_lu IS NOT NULL OR true_peak_dbtp IS NOT NULL
       OR longest_silence_s IS NOT NULL
    ORDER BY id;
INSERT INTO take_figures_per_take (slot, file_size, file_mtime, peak_dbfs, integrated_lufs, lra_lu, true_peak_dbtp,
                                   longest_silence_s, measured_at)
    SELECT slot, file_size, file_mtime,
           CASE WHEN peak_dbfs IS NULL AND longest_silence_s IS NOT NULL THEN -9e999 ELSE peak_dbfs END,
           CASE WHEN integrated_lufs IS NULL AND longest_silence_s IS NOT NULL THEN -9e999 ELSE integrated_lufs END,
           CASE WHEN lra_lu IS NULL AND longest_silence_s IS NOT NULL THEN 0.0 ELSE lra_lu END,
           CASE WHEN true_peak_dbtp IS NULL AND longest_silence_s IS NOT NULL THEN -9e999 ELSE true_peak_dbtp END,
           longest_silence_s, measured_at
    FROM take_figures
    ORDER BY slot;
DROP TABLE take_figures;
ALTER TABLE take_figures_per_take RENAME TO take_figures;
CREATE UNIQUE INDEX take_figures_slot ON take_figures(slot) WHERE slot IS NOT NULL;
ALTER TABLE runs ADD COLUMN figures_id INTEGER REFERENCES take_figures(id) ON DELETE SET NULL;
UPDATE runs SET figures_id = id WHERE id IN (SELECT id FROM take_figures WHERE slot IS NULL);
ALTER TABLE runs DROP COLUMN peak_dbfs;
ALTER TABLE runs DROP COLUMN integrated_lufs;
ALTER TABLE runs DROP COLUMN lra_lu;
ALTER TABLE runs DROP COLUMN true_peak_dbtp;
ALTER TABLE runs DROP COLUMN longest_silence_s;
)sql";

// An event's input is kept by the name of its card as well as by its number, so that a card
// found under another number is still the one recorded from; a run keeps the time its first
// sample was measured at beside the time it was planned to start from.
const char* const Version3 = R"sql(
ALTER TABLE events ADD COLUMN input_device_name TEXT;  -- NULL: the number alone
ALTER TABLE runs ADD COLUMN first_sample_measured INTEGER;
)sql";

// Every edge of a remote line (a contact closed or opened, a pulse too short to count) with what
// the program did about it.
const char* const Version4 = R"sql(
CREATE TABLE line_events (
    id        INTEGER PRIMARY KEY,
    at_ms     INTEGER NOT NULL,   -- when the line changed
    port      TEXT    NOT NULL,   -- '/dev/ttyUSB0', '/dev/parport0'
    line      TEXT    NOT NULL,   -- 'DSR', 'pin 12'
    function  TEXT    NOT NULL,   -- 'Record', 'Stop', 'Play'
    edge      TEXT    NOT NULL,   -- 'closed', 'opened', 'ignored'
    pulse_ms  REAL,               -- an ignored pulse's length
    action    TEXT    NOT NULL    -- what the program did, in words
);
CREATE INDEX line_events_time ON line_events(at_ms);
)sql";

// The web server's access tokens (only the SHA-256 of each, as 64 hexadecimal digits, is kept:
// the token itself is shown once when it is made) and the audit of what was done through it:
// every operator action and every download, with the token's name and the client's address.
const char* const Version5 = R"sql(
CREATE TABLE web_tokens (
    id          INTEGER PRIMARY KEY,
    name        TEXT    NOT NULL,
    role        TEXT    NOT NULL CHECK (role IN ('viewer', 'operator')),
    hash        TEXT    NOT NULL UNIQUE,            -- SHA-256 of the token, lower-case hex
    created_at  INTEGER NOT NULL,
    expires_at  INTEGER NOT NULL,
    revoked     INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE web_audit (
    id          INTEGER PRIMARY KEY,
    at          INTEGER NOT NULL,
    token_name  TEXT    NOT NULL,
    address     TEXT    NOT NULL,
    action      TEXT    NOT NULL,
    detail      TEXT    NOT NULL DEFAULT ''
);
)sql";

} // namespace

const QStringList& migrations()
{
    static const QStringList steps{QString::fromUtf8(Version1), QString::fromUtf8(Version2), QString::fromUtf8(Version3),
                                   QString::fromUtf8(Version4), QString::fromUtf8(Version5)};
    return steps;
}

int currentVersion()
{
    return static_cast<int>(migrations().size());
}

void migrate(SqliteConnection& connection)
{
    migrate(connection, migrations());
}

void migrate(SqliteConnection& connection, const QStringList& steps)
{
    const int from = static_cast<int>(connection.queryInt("PRAGMA user_version"));
    for (int version = from; version < int(steps.size()); ++version) {
        Transaction t(connection);
        connection.exec(steps.at(version));
        connection.exec(QString("PRAGMA user_version = %1").arg(version + 1));
        t.commit();
    }
}

} // namespace tamblor::store::Schema
