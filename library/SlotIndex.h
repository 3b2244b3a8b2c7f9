#pragma once
// The sound file index Schedule.dat: 39-byte records, record n for slot n. Every read fills
// the one shared IndexRecord buffer and every write stores it whole. The index never shrinks;
// a freed slot is marked free.
#include <QDate>
#include <QString>
#include <cstdint>

namespace tamblor {

class Application;
class DriveMap;
struct SharedState;

class SlotIndex {
public:
    static constexpr int MaxSlots = 900;
    static constexpr const char* LimitMessage = "Maximum Number of Sound Files is 900.";

    explicit SlotIndex(Application& app);

    // Record n into IndexRecord; false at end of file (the buffer is then left as it was).
    bool read(int32_t n);
    // IndexRecord as record n; writing past the end extends the index with free records.
    void write(int32_t n);

    // Sets CurrentSlot to the lowest slot whose status is neither "1" nor "2" (or the one just
    // past the end). False when that slot is above 900: the caller refuses the recording.
    bool chooseFreeSlot();
    // Marks CurrentSlot reserved ("2", blank name), then removes any old sound file of the slot.
    void reserveCurrentSlot();
    // Completes CurrentSlot after a recording that ran from startSeconds to nowSeconds (both
    // seconds since midnight): status "1", the length, the default name and today's date.
    void completeCurrentSlot(int32_t startSeconds, int32_t nowSeconds, const QDate& today);
    // Completes a slot as a take of `seconds` recorded on `day`: status "1", the length, the
    // default name and the date.
    void completeSlot(int32_t slot, int32_t seconds, const QDate& day);
    // Removes the slot's sound file: it is opened for writing (created when missing) and then
    // deleted, so a missing file is no failure. Throws Failure when it cannot be removed.
    void removeSoundFile(int32_t slot);
    // Marks the slot free with whatever the other fields of the buffer hold.
    void release(int32_t slot);
    // Reads the slot, replaces its name (upper case) or its length text, writes it back.
    void rename(int32_t slot, const QString& name);
    void retime(int32_t slot, const QString& lengthText);

    // "C:\Tamblor\SF0005.wav" on the library drive.
    QString slotFilePath(int32_t slot) const;
    // "(No Name 005 ****)"
    static QString defaultName(int32_t slot);
    // "12-05-26" for 5 December 2026.
    static QString recordDateText(const QDate& today);

private:
    SharedState& state_;
    const DriveMap& drives_;
};

} // namespace tamblor
