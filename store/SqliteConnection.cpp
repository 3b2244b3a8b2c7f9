#include "store/SqliteConnection.h"
#include <QByteArray>
#include <sqlite3.h>

namespace tamblor::store {

namespace {

// How long a writer waits for another connection's write (the take figures are written from a
// worker) before the statement fails.
constexpr int BusyTimeoutMs = 5000;
// A reader on the user-interface thread (another program's database, read-only) waits no longer.
constexpr int ReadOnlyBusyTimeoutMs = 50;

int failureNumber(int code)
{
    switch (code & 0xff) {
    case SQLITE_FULL: return Failure::DiskFull;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return Failure::PermissionDenied;
    case SQLITE_CANTOPEN: return Failure::PathFileAccessError;
    case SQLITE_NOMEM: return Failure::OutOfMemory;
    default: return Failure::DeviceIOError;
    }
}

} // namespace

Failure SqliteConnection::failureOf(sqlite3* db, int code, const QString& what)
{
    const char* reason = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    const int number = failureNumber(code);
    return Failure(number, Failure::describe(number) + " (database: " + what + ": " + QString::fromUtf8(reason) + ")");
}

Statement::Statement(sqlite3* db, const QString& sql) : db_(db)
{
    const QByteArray text = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(db_, text.constData(), static_cast<int>(text.size()), &stmt_, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        throw SqliteConnection::failureOf(db_, rc, "prepare");
    }
}

Statement::~Statement()
{
    sqlite3_finalize(stmt_);
}

Statement::Statement(Statement&& other) noexcept : db_(other.db_), stmt_(other.stmt_)
{
    other.stmt_ = nullptr;
}

namespace {
void check(sqlite3* db, int rc, const char* what)
{
    if (rc != SQLITE_OK)
        throw SqliteConnection::failureOf(db, rc, what);
}
} // namespace

Statement& Statement::bindInt64(int index, int64_t value)
{
    check(db_, sqlite3_bind_int64(stmt_, index, value), "bind");
    return *this;
}

Statement& Statement::bind(int index, double value)
{
    check(db_, sqlite3_bind_double(stmt_, index, value), "bind");
    return *this;
}

Statement& Statement::bind(int index, const QString& value)
{
    const QByteArray text = value.toUtf8();
    check(db_, sqlite3_bind_text(stmt_, index, text.constData(), static_cast<int>(text.size()), SQLITE_TRANSIENT), "bind");
    return *this;
}

Statement& Statement::bindNull(int index)
{
    check(db_, sqlite3_bind_null(stmt_, index), "bind");
    return *this;
}

bool Statement::step()
{
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    throw SqliteConnection::failureOf(db_, rc, "step");
}

void Statement::run()
{
    while (step()) {
    }
    reset();
}

void Statement::reset()
{
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

int64_t Statement::int64At(int column) const
{
    return sqlite3_column_int64(stmt_, column);
}

double Statement::doubleAt(int column) const
{
    return sqlite3_column_double(stmt_, column);
}

QString Statement::textAt(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(stmt_, column)) : QString();
}

std::optional<int64_t> Statement::optionalInt64At(int column) const
{
    if (isNull(column))
        return std::nullopt;
    return int64At(column);
}

std::optional<int> Statement::optionalIntAt(int column) const
{
    if (isNull(column))
        return std::nullopt;
    return intAt(column);
}

std::optional<double> Statement::optionalDoubleAt(int column) const
{
    if (isNull(column))
        return std::nullopt;
    return doubleAt(column);
}

SqliteConnection::SqliteConnection(const QString& nativePath, Access access)
{
    const QByteArray path = nativePath.toUtf8();
    const int mode = access == Access::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    const int rc = sqlite3_open_v2(path.constData(), &db_, mode | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        Failure f = failureOf(db_, rc, "open");
        sqlite3_close(db_);
        db_ = nullptr;
        throw f;
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, access == Access::ReadOnly ? ReadOnlyBusyTimeoutMs : BusyTimeoutMs);
}

SqliteConnection::~SqliteConnection()
{
    sqlite3_close_v2(db_);
}

void SqliteConnection::exec(const QString& sql)
{
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const QString reason = message ? QString::fromUtf8(message) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_free(message);
        const int number = failureNumber(rc);
        throw Failure(number, Failure::describe(number) + " (database: " + reason + ")");
    }
}

int64_t SqliteConnection::queryInt(const QString& sql)
{
    Statement s = prepare(sql);
    return s.step() ? s.int64At(0) : 0;
}

QString SqliteConnection::queryText(const QString& sql)
{
    Statement s = prepare(sql);
    return s.step() ? s.textAt(0) : QString();
}

int64_t SqliteConnection::lastInsertId() const
{
    return sqlite3_last_insert_rowid(db_);
}

Transaction::Transaction(SqliteConnection& connection) : connection_(connection)
{
    connection_.exec("BEGIN IMMEDIATE");
}

Transaction::~Transaction()
{
    if (!done_) {
        try {
            connection_.exec("ROLLBACK");
        } catch (const Failure&) {
            // The transaction is already gone (SQLite rolls back itself on some failures).
        }
    }
}

void Transaction::commit()
{
    connection_.exec("COMMIT");
    done_ = true;
}

QString insertSql(const QString& table, const QStringList& columns)
{
    QStringList parameters;
    for (qsizetype i = 1; i <= columns.size(); ++i)
        parameters << QString("?%1").arg(i);
    return QString("INSERT INTO %1 (%2) VALUES (%3)").arg(table, columns.join(", "), parameters.join(", "));
}

QString updateSql(const QString& table, const QStringList& columns, const QString& key)
{
    QStringList assignments;
    for (qsizetype i = 0; i < columns.size(); ++i)
        assignments << QString("%1 = ?%2").arg(columns[i]).arg(i + 1);
    return QString("UPDATE %1 SET %2 WHERE %3 = ?%4").arg(table, assignments.join(", "), key).arg(columns.size() + 1);
}

QString upsertSql(const QString& table, const QStringList& columns, const QString& key)
{
    QStringList assignments;
    for (const QString& column : columns)
        if (column != key)
            assignments << QString("%1 = excluded.%1").arg(column);
    return insertSql(table, columns) + QString(" ON CONFLICT(%1) DO UPDATE SET %2").arg(key, assignments.join(", "));
}

} // namespace tamblor::store
