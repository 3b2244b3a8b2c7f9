#pragma once
// The figures of the takes (see TakeFigures), one row per take in the program's database. A row
// holds the slot its take is in and the size and modification time of the file it was measured
// from: figures whose file has changed since (a normalize, a cut) are stale, and current() does
// not return them. A slot that loses its take (freed, reserved for a new one, given another
// take) lets go of the row: the row stays as long as a run refers to it, so a run keeps its
// take's figures after the slot has moved on.
//
// May be used from a worker thread (the connection is serialized); figuresChanged is then
// delivered to receivers in their own thread.
#include "store/TakeFigures.h"
#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>

namespace tamblor::store {

class ProgramDatabase;
class Statement;

// The columns of a row (after its id) in the order figuresAt() reads them, for a query that
// joins them ("f.slot, f.file_size, ..." with a prefix).
QString figuresColumns(const QString& prefix = {});
// The row whose id is in column `first` and its columns (as figuresColumns) after it; nothing
// when the id is NULL (a run without figures).
std::optional<TakeFigures> figuresAt(const Statement& s, int first);

class TakeFiguresStore : public QObject {
    Q_OBJECT
public:
    explicit TakeFiguresStore(ProgramDatabase& database, QObject* parent = nullptr);

    // The take in figures.slot measured again (or for the first time): replaces the slot's row
    // in place, so the runs that refer to it follow the take, or adds one. Returns the row's id.
    // Throws Failure (also when closed).
    int64_t store(const TakeFigures& figures);
    // A new take in figures.slot: the slot lets go of the row of the take it held, and the new
    // take gets a row of its own. Returns its id. Throws Failure (also when closed).
    int64_t storeNewTake(const TakeFigures& figures);
    // The figures of the take in a slot, whatever file they were measured from; nothing while
    // the database is closed.
    std::optional<TakeFigures> find(int slot) const;
    // A row by its id (a run's reference); nothing while closed.
    std::optional<TakeFigures> byId(int64_t id) const;
    // The figures of a slot if they were measured from the file as it is now (its native path);
    // nothing when the file is missing or has changed since.
    std::optional<TakeFigures> current(int slot, const QString& nativePath) const;
    // The slot no longer holds its take (freed, reserved for a new one): its row is let go,
    // and dropped unless a run refers to it. Nothing happens while closed.
    void remove(int slot);

    // The size and modification time of a file as the figures record them (nothing if missing).
    struct FileKey {
        int64_t size = 0;
        int64_t mtimeMs = 0;
    };
    static std::optional<FileKey> keyOf(const QString& nativePath);

signals:
    void figuresChanged(int slot);

private:
    void letGo(int slot);
    int64_t insert(const TakeFigures& figures);

    ProgramDatabase& database_;
};

} // namespace tamblor::store
