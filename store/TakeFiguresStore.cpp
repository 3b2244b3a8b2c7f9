#include "store/TakeFiguresStore.h"
#include "store/ProgramDatabase.h"
#include <QFileInfo>

namespace tamblor::store {

TakeFiguresStore::TakeFiguresStore(ProgramDatabase& database, QObject* parent) : QObject(parent), database_(database)
{
}

namespace {

// A row's columns after its id, in the order bindFigures binds them (?1..?14) and figuresAt
// reads them (after the id).
const QStringList& columns()
{
    static const QStringList list{"slot",       "file_size",       "file_mtime",         "frames",
                                  "sample_rate", "channels",       "peak_dbfs",          "integrated_lufs",
                                  "lra_lu",     "true_peak_dbtp",  "longest_silence_s",  "silence_below_dbfs",
                                  "clipped_runs", "measured_at"};
    return list;
}

void bindFigures(Statement& s, const TakeFigures& f)
{
    if (f.slot > 0)
        s.bind(1, f.slot);
    else
        s.bindNull(1);
    s.bind(2, f.fileSize).bind(3, f.fileMtimeMs).bind(4, f.frames).bind(5, f.sampleRate).bind(6, f.channels);
    s.bind(7, f.peakDbfs).bind(8, f.integratedLufs).bind(9, f.lraLu).bind(10, f.truePeakDbtp);
    s.bind(11, f.longestSilenceS).bind(12, f.silenceBelowDbfs).bind(13, f.clippedRuns).bind(14, f.measuredAtMs);
}

} // namespace

QString figuresColumns(const QString& prefix)
{
    QStringList named;
    for (const QString& c : columns())
        named << prefix + c;
    return named.join(", ");
}

std::optional<TakeFigures> figuresAt(const Statement& s, int first)
{
    if (s.isNull(first))
        return std::nullopt;
    TakeFigures f;
    int c = first;
    f.id = s.int64At(c++);
    f.slot = s.isNull(c) ? 0 : s.intAt(c);
    ++c;
    f.fileSize = s.int64At(c++);
    f.fileMtimeMs = s.int64At(c++);
    f.frames = s.optionalInt64At(c++);
    f.sampleRate = s.optionalIntAt(c++);
    f.channels = s.optionalIntAt(c++);
    f.peakDbfs = s.optionalDoubleAt(c++);
    f.integratedLufs = s.optionalDoubleAt(c++);
    f.lraLu = s.optionalDoubleAt(c++);
    f.truePeakDbtp = s.optionalDoubleAt(c++);
    f.longestSilenceS = s.optionalDoubleAt(c++);
    f.silenceBelowDbfs = s.optionalDoubleAt(c++);
    f.clippedRuns = s.optionalInt64At(c++);
    f.measuredAtMs = s.int64At(c++);
    return f;
}

int64_t TakeFiguresStore::insert(const TakeFigures& f)
{
    auto& db = database_.connection();
    Statement s = db.prepare(insertSql("take_figures", columns()));
    bindFigures(s, f);
    s.run();
    return db.lastInsertId();
}

int64_t TakeFiguresStore::store(const TakeFigures& f)
{
    auto& db = database_.connection();
    int64_t id = f.id;
    if (id == 0 && f.slot > 0) {
        if (const auto held = find(f.slot))
            id = held->id;
    }
    Transaction t(db);
    if (id == 0) {
        id = insert(f);
    } else {
        Statement s = db.prepare(updateSql("take_figures", columns(), "id"));
        bindFigures(s, f);
        s.bind(int(columns().size()) + 1, id);
        s.run();
    }
    t.commit();
    emit figuresChanged(f.slot);
    return id;
}

int64_t TakeFiguresStore::storeNewTake(const TakeFigures& f)
{
    auto& db = database_.connection();
    Transaction t(db);
    if (f.slot > 0)
        letGo(f.slot);
    TakeFigures added = f;
    added.id = 0;
    const int64_t id = insert(added);
    t.commit();
    emit figuresChanged(f.slot);
    return id;
}

std::optional<TakeFigures> TakeFiguresStore::find(int slot) const
{
    if (!database_.isOpen() || slot <= 0)
        return std::nullopt;
    Statement s = database_.connection().prepare(
        QString("SELECT id, %1 FROM take_figures WHERE slot = ?1").arg(figuresColumns()));
    s.bind(1, slot);
    if (!s.step())
        return std::nullopt;
    return figuresAt(s, 0);
}

std::optional<TakeFigures> TakeFiguresStore::byId(int64_t id) const
{
    if (!database_.isOpen())
        return std::nullopt;
    Statement s = database_.connection().prepare(
        QString("SELECT id, %1 FROM take_figures WHERE id = ?1").arg(figuresColumns()));
    s.bind(1, id);
    if (!s.step())
        return std::nullopt;
    return figuresAt(s, 0);
}

std::optional<TakeFiguresStore::FileKey> TakeFiguresStore::keyOf(const QString& nativePath)
{
    const QFileInfo info(nativePath);
    if (!info.exists())
        return std::nullopt;
    return FileKey{info.size(), info.lastModified().toMSecsSinceEpoch()};
}

std::optional<TakeFigures> TakeFiguresStore::current(int slot, const QString& nativePath) const
{
    auto f = find(slot);
    const auto key = keyOf(nativePath);
    if (!f || !key || !f->measuredFrom(key->size, key->mtimeMs))
        return std::nullopt;
    return f;
}

void TakeFiguresStore::letGo(int slot)
{
    auto& db = database_.connection();
    Statement dropped = db.prepare("DELETE FROM take_figures WHERE slot = ?1 AND NOT EXISTS "
                                   "(SELECT 1 FROM runs WHERE runs.figures_id = take_figures.id)");
    dropped.bind(1, slot);
    dropped.run();
    Statement kept = db.prepare("UPDATE take_figures SET slot = NULL WHERE slot = ?1");
    kept.bind(1, slot);
    kept.run();
}

void TakeFiguresStore::remove(int slot)
{
    if (!database_.isOpen())
        return;
    Transaction t(database_.connection());
    letGo(slot);
    t.commit();
    emit figuresChanged(slot);
}

} // namespace tamblor::store
