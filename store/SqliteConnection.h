#pragma once
// A thin owner of one SQLite connection and its prepared statements. Every failure of the
// library becomes the program's Failure (a full disk "61 Disk full", a refused file
// "70 Permission denied", anything else "57 Device I/O error"), its description naming
// SQLite's own reason.
//
// The connection is opened serialized, so one connection may be used from more than one
// thread; a statement belongs to the thread that prepared it.
#include "platform/Failure.h"
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <type_traits>

struct sqlite3;
struct sqlite3_stmt;

namespace tamblor::store {

class Statement {
public:
    Statement(sqlite3* db, const QString& sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&&) = delete;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Parameters are numbered from 1, as in "?1".
    // Whole numbers of any width (and bool as 0 or 1).
    template <class T>
        requires std::is_integral_v<T>
    Statement& bind(int index, T value)
    {
        return bindInt64(index, static_cast<int64_t>(value));
    }
    Statement& bind(int index, double value);
    Statement& bind(int index, const QString& value);
    Statement& bindNull(int index);
    template <class T> Statement& bind(int index, const std::optional<T>& value)
    {
        return value ? bind(index, *value) : bindNull(index);
    }

    // The next row: true while there is one. Throws Failure.
    bool step();
    // Runs a statement that returns no rows. Throws Failure.
    void run();
    // Ready to run again with new parameters.
    void reset();

    // Columns are numbered from 0.
    bool isNull(int column) const;
    int64_t int64At(int column) const;
    int intAt(int column) const { return static_cast<int>(int64At(column)); }
    double doubleAt(int column) const;
    QString textAt(int column) const;
    std::optional<int64_t> optionalInt64At(int column) const;
    std::optional<int> optionalIntAt(int column) const;
    std::optional<double> optionalDoubleAt(int column) const;

private:
    Statement& bindInt64(int index, int64_t value);

    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

class SqliteConnection {
public:
    enum class Access {
        ReadWrite, // created when missing
        ReadOnly,  // never created or written; SQLite's shared-memory index beside a WAL file aside
    };
    // Opens the database at a native path. Throws Failure.
    explicit SqliteConnection(const QString& nativePath, Access access = Access::ReadWrite);
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    // Runs one or more statements that return no rows. Throws Failure.
    void exec(const QString& sql);
    Statement prepare(const QString& sql) { return Statement(db_, sql); }
    // The single value of a query's first row (0 when there is none).
    int64_t queryInt(const QString& sql);
    QString queryText(const QString& sql);
    int64_t lastInsertId() const;

    // The failure for the connection's last error, `what` naming the step that failed.
    static Failure failureOf(sqlite3* db, int code, const QString& what);

private:
    sqlite3* db_ = nullptr;
};

// The statements that write a row, made from one list of its columns, so that the columns and
// their parameters cannot drift apart: the columns are bound as ?1..?n in the order listed.
//   INSERT INTO table (a, b) VALUES (?1, ?2)
QString insertSql(const QString& table, const QStringList& columns);
//   UPDATE table SET a = ?1, b = ?2 WHERE key = ?3 (the key bound last, as ?n+1)
QString updateSql(const QString& table, const QStringList& columns, const QString& key);
//   INSERT ... and, where a row with the same `key` (one of the columns) is there, its other
//   columns replaced: ON CONFLICT(key) DO UPDATE SET a = excluded.a, ...
QString upsertSql(const QString& table, const QStringList& columns, const QString& key);

// BEGIN IMMEDIATE ... COMMIT; rolled back when it goes out of scope uncommitted.
class Transaction {
public:
    explicit Transaction(SqliteConnection& connection);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    SqliteConnection& connection_;
    bool done_ = false;
};

} // namespace tamblor::store
