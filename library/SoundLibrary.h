#pragma once
// The sound library: the one owner of the index Schedule.dat for the program's lifetime, and of
// the slot files it names. Reading a slot returns its record; writing takes one. Whoever
// changes a slot (a window, a take, maintenance), slotChanged() tells every window that shows
// slots. The index never shrinks; a freed slot is marked free.
//
// Made beside the application (in main, or by a test) and handed to the windows and sessions
// that need it; it opens the index as a start-up step and closes it when the program ends.
#include "library/IndexRecord.h"
#include "library/LibraryLayout.h"
#include <QDate>
#include <QObject>
#include <QString>
#include <QTimer>
#include <map>
#include <vector>
#include <cstdint>
#include <memory>
#include <optional>

namespace tamblor {

class Core;
class Failure;
class RecordFile;

class SoundLibrary : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxSlots = LibraryLayout::MaxSlots;

    explicit SoundLibrary(Core& app, QObject* parent = nullptr);
    ~SoundLibrary() override;

    // Opens "c:\Tamblor\Schedule.dat", creating it when missing; throws Failure.
    void open();
    void close();
    bool isOpen() const;
    // The native path of the index (for messages that name it).
    QString indexPath() const;

    // The record of slot n; nothing past the end of the index. Throws Failure when the index
    // is not open.
    std::optional<IndexRecord> read(int32_t slot) const;
    // The record of slot n, a free one past the end.
    IndexRecord record(int32_t slot) const;
    // Records the index holds (the highest slot number written so far).
    int32_t slotCount() const;
    // Stores the record as slot n; writing past the end extends the index with free records.
    // Emits slotChanged() when the stored bytes changed.
    void write(int32_t slot, const IndexRecord& record);

    // The lowest slot that is neither used nor reserved (the one just past the end when there
    // is none); may be above MaxSlots.
    int32_t firstFreeSlot() const;
    // Reserves the first free slot for a take ("2", blank name, the rest kept; a slot past the
    // end takes the length and date of the record before it) and removes any
    // old sound file of it; returns the slot, or 0 (nothing written) when it would be above
    // MaxSlots. When the old file cannot be removed the slot is freed again and the failure
    // passed on.
    int32_t reserveFreeSlot();
    // Completes a slot as a take of `seconds` recorded on `day`: status "1", the length, the
    // default name and the date.
    void complete(int32_t slot, int32_t seconds, const QDate& day);
    // The record complete() writes (every field of it is set).
    static IndexRecord completedRecord(int32_t slot, int32_t seconds, const QDate& day);

    // A record the index refused (made read-only, a full disk): it is written as soon as the
    // index takes it again, tried every second and by retryPending(); a later write of the
    // same slot replaces it. The failure has been reported by whoever wrote it.
    void writeWhenPossible(int32_t slot, const IndexRecord& record);
    bool isPending(int32_t slot) const { return pending_.count(slot) != 0; }
    // Writes what is pending; false while some of it is still refused.
    bool retryPending();
    // Reads the index again and announces every slot that changed since it was last read or
    // written here (another program wrote it): what a "Refresh" of a list does first.
    void refresh();

    // "70 Permission denied (file index c:\Tamblor\Schedule.dat)": a failure of the index,
    // named as the operator knows it.
    static QString indexFailureText(const Failure& failure);
    // Marks the slot free keeping its other fields.
    void release(int32_t slot);
    // Replaces the slot's name (upper case) or its length, keeping the rest.
    void rename(int32_t slot, const QString& name);
    void retime(int32_t slot, int32_t seconds);
    // Removes the slot's sound file: it is opened for writing (created when missing) and then
    // deleted, so a missing file is no failure. Throws Failure when it cannot be removed.
    void removeSoundFile(int32_t slot);

    // "C:\Tamblor\SF0005.wav" on the library drive, and the native path of it.
    QString slotFilePath(int32_t slot) const;
    QString slotFileNative(int32_t slot) const;
    // A file of the sound folder by its name ("D:\Tamblor\SF0005.NEW"), and the native path of
    // it and of the folder.
    QString soundFolderFilePath(const QString& fileName) const;
    QString soundFolderFileNative(const QString& fileName) const;
    QString soundFolderNative() const;

signals:
    // Slot n now holds another record (written by anyone).
    void slotChanged(int slot);

private:
    Core& app_;
    std::unique_ptr<RecordFile> index_;
    std::map<int32_t, IndexRecord> pending_;
    std::vector<QByteArray> known_; // the records as last read by refresh() or written, by slot
    QTimer retry_;
};

} // namespace tamblor
