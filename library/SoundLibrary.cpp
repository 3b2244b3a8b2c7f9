#include "library/SoundLibrary.h"
#include "core/Core.h"
#include "platform/CodePage.h"
#include "platform/Failure.h"
#include "platform/RecordFile.h"
#include <QFile>
#include <QPointer>

namespace tamblor {

SoundLibrary::SoundLibrary(Core& app, QObject* parent) : QObject(parent), app_(app)
{
    app_.addStartStep([self = QPointer<SoundLibrary>(this)] {
        if (self)
            self->open();
    });
    connect(&app_, &Core::programEnded, this, &SoundLibrary::close);
    retry_.setInterval(1000);
    connect(&retry_, &QTimer::timeout, this, [this] {
        try {
            retryPending();
        } catch (...) {
            // Tried again at the next second; the failure was reported when it first happened.
        }
    });
}

SoundLibrary::~SoundLibrary() = default;

QString SoundLibrary::indexPath() const { return app_.drives().toNative(LibraryLayout::IndexDosPath); }

void SoundLibrary::open()
{
    auto file = std::make_unique<RecordFile>(indexPath(), IndexRecord::Size);
    file->open();
    index_ = std::move(file);
    known_.clear();
    QByteArray bytes;
    for (int32_t slot = 1; index_->read(slot, bytes); ++slot)
        known_.push_back(bytes);
}

void SoundLibrary::refresh()
{
    if (!index_)
        throw Failure(Failure::BadFileNameOrNumber);
    QByteArray bytes;
    for (int32_t slot = 1; index_->read(slot, bytes); ++slot) {
        if (size_t(slot) > known_.size())
            known_.resize(slot);
        if (known_[slot - 1] == bytes)
            continue;
        known_[slot - 1] = bytes;
        emit slotChanged(slot);
    }
}

void SoundLibrary::close() { index_.reset(); }

bool SoundLibrary::isOpen() const { return index_ && index_->isOpen(); }

std::optional<IndexRecord> SoundLibrary::read(int32_t slot) const
{
    if (!index_)
        throw Failure(Failure::BadFileNameOrNumber);
    QByteArray bytes;
    if (!index_->read(slot, bytes))
        return std::nullopt;
    return IndexRecord::fromBytes(bytes);
}

IndexRecord SoundLibrary::record(int32_t slot) const { return read(slot).value_or(IndexRecord()); }

int32_t SoundLibrary::slotCount() const
{
    if (!index_)
        throw Failure(Failure::BadFileNameOrNumber);
    return int32_t(index_->recordCount());
}

void SoundLibrary::write(int32_t slot, const IndexRecord& record)
{
    if (!index_)
        throw Failure(Failure::BadFileNameOrNumber);
    QByteArray before;
    const bool existed = index_->read(slot, before);
    const QByteArray bytes = record.toBytes();
    index_->write(slot, bytes);
    if (size_t(slot) > known_.size())
        known_.resize(slot);
    known_[slot - 1] = bytes;
    if (pending_.erase(slot) != 0 && pending_.empty())
        retry_.stop();
    if (!existed || before != bytes)
        emit slotChanged(slot);
}

void SoundLibrary::writeWhenPossible(int32_t slot, const IndexRecord& record)
{
    pending_[slot] = record;
    if (!retry_.isActive())
        retry_.start();
}

bool SoundLibrary::retryPending()
{
    if (!isOpen())
        return pending_.empty();
    const auto waiting = pending_;
    for (const auto& [slot, record] : waiting) {
        try {
            write(slot, record);
        } catch (const Failure&) {
            return false;
        }
    }
    return pending_.empty();
}

QString SoundLibrary::indexFailureText(const Failure& failure)
{
    return failure.text() + " (file index " + LibraryLayout::IndexDosPath + ")";
}

int32_t SoundLibrary::firstFreeSlot() const
{
    int32_t slot = 1;
    while (const auto r = read(slot)) {
        if (r->isFree())
            break;
        ++slot;
    }
    return slot;
}

int32_t SoundLibrary::reserveFreeSlot()
{
    const int32_t slot = firstFreeSlot();
    if (slot > MaxSlots)
        return 0;
    // A slot past the end starts from the last record of the index: its length and date stay
    // in the reserved record, as they always have.
    IndexRecord r = read(slot).value_or(slot > 1 ? record(slot - 1) : IndexRecord());
    r.Status = SlotStatus::Reserved;
    r.setSoundName(QString());
    write(slot, r);
    try {
        removeSoundFile(slot);
    } catch (const Failure&) {
        try {
            release(slot);
        } catch (const Failure&) {
            // The first failure is the one reported.
        }
        throw;
    }
    return slot;
}

void SoundLibrary::complete(int32_t slot, int32_t seconds, const QDate& day)
{
    write(slot, completedRecord(slot, seconds, day));
}

IndexRecord SoundLibrary::completedRecord(int32_t slot, int32_t seconds, const QDate& day)
{
    IndexRecord r;
    r.Status = SlotStatus::Used;
    r.setLengthText(QString::number(seconds));
    r.setSoundName(LibraryLayout::defaultName(slot));
    r.setRecordDate(LibraryLayout::recordDateText(day));
    return r;
}

void SoundLibrary::release(int32_t slot)
{
    IndexRecord r = record(slot);
    r.Status = SlotStatus::Free;
    write(slot, r);
}

void SoundLibrary::rename(int32_t slot, const QString& name)
{
    IndexRecord r = record(slot);
    r.setSoundName(codepage::toUpper(name));
    write(slot, r);
}

void SoundLibrary::retime(int32_t slot, int32_t seconds)
{
    IndexRecord r = record(slot);
    r.setLengthText(QString::number(seconds));
    write(slot, r);
}

void SoundLibrary::removeSoundFile(int32_t slot)
{
    // Open for writing (creating it when missing) and delete: the removal never fails for lack
    // of a file.
    const QString native = slotFileNative(slot);
    {
        QFile f(native);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
            throw Failure(Failure::PathFileAccessError);
    }
    if (!QFile::remove(native))
        throw Failure(Failure::PermissionDenied);
}

QString SoundLibrary::slotFilePath(int32_t slot) const
{
    return LibraryLayout::slotFilePath(app_.state().DriveLetter, slot);
}

QString SoundLibrary::slotFileNative(int32_t slot) const { return app_.drives().toNative(slotFilePath(slot)); }

QString SoundLibrary::soundFolderFilePath(const QString& fileName) const
{
    return LibraryLayout::soundFolder(app_.state().DriveLetter) + "\\" + fileName;
}

QString SoundLibrary::soundFolderFileNative(const QString& fileName) const
{
    return app_.drives().toNative(soundFolderFilePath(fileName));
}

QString SoundLibrary::soundFolderNative() const
{
    return app_.drives().toNative(LibraryLayout::soundFolder(app_.state().DriveLetter));
}

} // namespace tamblor
