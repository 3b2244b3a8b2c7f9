#include "library/SlotIndex.h"
#include "app/Application.h"
#include "platform/CodePage.h"
#include "platform/Failure.h"
#include <QFile>

namespace tamblor {

SlotIndex::SlotIndex(Application& app) : state_(app.state()), drives_(app.drives()) {}

bool SlotIndex::read(int32_t n)
{
    if (!state_.IndexFile)
        throw Failure(Failure::BadFileNameOrNumber);
    QByteArray bytes;
    if (!state_.IndexFile->read(n, bytes))
        return false;
    state_.IndexRecord = IndexRecord::fromBytes(bytes);
    return true;
}

void SlotIndex::write(int32_t n)
{
    if (!state_.IndexFile)
        throw Failure(Failure::BadFileNameOrNumber);
    state_.IndexFile->write(n, state_.IndexRecord.toBytes());
}

bool SlotIndex::chooseFreeSlot()
{
    state_.CurrentSlot = 1;
    while (read(state_.CurrentSlot)) {
        if (!state_.IndexRecord.isUsed() && !state_.IndexRecord.isReserved())
            break;
        ++state_.CurrentSlot;
    }
    return state_.CurrentSlot <= MaxSlots;
}

void SlotIndex::reserveCurrentSlot()
{
    state_.IndexRecord.setStatus("2");
    state_.IndexRecord.setSoundName(QString());
    write(state_.CurrentSlot);
    removeSoundFile(state_.CurrentSlot);
}

void SlotIndex::removeSoundFile(int32_t slot)
{
    // Open for writing (creating it when missing) and delete: the removal never fails for lack
    // of a file.
    const QString native = drives_.toNative(slotFilePath(slot));
    {
        QFile f(native);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
            throw Failure(Failure::PathFileAccessError);
    }
    if (!QFile::remove(native))
        throw Failure(Failure::PermissionDenied);
}

void SlotIndex::completeCurrentSlot(int32_t startSeconds, int32_t nowSeconds, const QDate& today)
{
    int32_t seconds = nowSeconds - startSeconds;
    if (seconds < 0)
        seconds += 86400; // midnight passed
    completeSlot(state_.CurrentSlot, seconds, today);
}

void SlotIndex::completeSlot(int32_t slot, int32_t seconds, const QDate& day)
{
    state_.Seconds = seconds;
    state_.IndexRecord.setLengthText(QString::number(seconds));
    state_.IndexRecord.setStatus("1");
    state_.IndexRecord.setSoundName(defaultName(slot));
    state_.IndexRecord.setRecordDate(recordDateText(day));
    write(slot);
}

void SlotIndex::release(int32_t slot)
{
    state_.IndexRecord.setStatus("0");
    write(slot);
}

void SlotIndex::rename(int32_t slot, const QString& name)
{
    read(slot);
    state_.IndexRecord.setSoundName(codepage::toUpper(name));
    write(slot);
}

void SlotIndex::retime(int32_t slot, const QString& lengthText)
{
    read(slot);
    state_.IndexRecord.setLengthText(lengthText);
    write(slot);
}

QString SlotIndex::slotFilePath(int32_t slot) const
{
    return state_.DriveLetter + ":\\Tamblor\\SF" + QString::asprintf("%04d", int(slot)) + ".wav";
}

QString SlotIndex::defaultName(int32_t slot)
{
    return "(No Name " + QString::asprintf("%03d", int(slot)) + " **" + "**)";
}

QString SlotIndex::recordDateText(const QDate& today)
{
    // The year is always its last two digits, whatever the order of the locale's short date.
    return QString::asprintf("%02d-%02d-%02d", today.month(), today.day(), today.year() % 100);
}

} // namespace tamblor
