#include "store/TakeFiguresStore.h"
#include "store/ProgramDatabase.h"
#include <QFileInfo>

namespace tamblor::store {

TakeFiguresStore::TakeFiguresStore(ProgramDatabase& database, QObject* parent) : QObject(parent), database_(database)
{
}

namespace {

// A slot's columns, in the order store() binds them (?1..?9) and find() reads them (0..8).
const QStringList& columns()
{
    static const QStringList list{"slot", "file_size", "file_mtime", "peak_dbfs", "integrated_lufs", "lra_lu",
                                  "true_peak_dbtp", "longest_silence_s", "measured_at"};
    return list;
}

} // namespace

void TakeFiguresStore::store(const TakeFigures& f)
{
    Statement s = database_.connection().prepare(upsertSql("take_figures", columns(), "slot"));
    s.bind(1, f.slot).bind(2, f.fileSize).bind(3, f.fileMtimeMs);
    s.bind(4, f.peakDbfs).bind(5, f.integratedLufs).bind(6, f.lraLu).bind(7, f.truePeakDbtp);
    s.bind(8, f.longestSilenceS).bind(9, f.measuredAtMs);
    s.run();
    emit figuresChanged(f.slot);
}

std::optional<TakeFigures> TakeFiguresStore::find(int slot) const
{
    if (!database_.isOpen())
        return std::nullopt;
    Statement s = database_.connection().prepare(
        QString("SELECT %1 FROM take_figures WHERE slot = ?1").arg(columns().join(", ")));
    s.bind(1, slot);
    if (!s.step())
        return std::nullopt;
    TakeFigures f;
    f.slot = s.intAt(0);
    f.fileSize = s.int64At(1);
    f.fileMtimeMs = s.int64At(2);
    f.peakDbfs = s.optionalDoubleAt(3);
    f.integratedLufs = s.optionalDoubleAt(4);
    f.lraLu = s.optionalDoubleAt(5);
    f.truePeakDbtp = s.optionalDoubleAt(6);
    f.longestSilenceS = s.optionalDoubleAt(7);
    f.measuredAtMs = s.int64At(8);
    return f;
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

void TakeFiguresStore::remove(int slot)
{
    if (!database_.isOpen())
        return;
    Statement s = database_.connection().prepare("DELETE FROM take_figures WHERE slot = ?1");
    s.bind(1, slot);
    s.run();
    emit figuresChanged(slot);
}

} // namespace tamblor::store
