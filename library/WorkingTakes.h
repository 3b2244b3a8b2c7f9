#pragma once
// The takes of fixed-slot events while they are not their slot's: each is written to its fixed
// slot's working file beside the slots ("SF0005.NEW"), never into one of the 900, so a full
// library still records them and no free slot is taken for one. The take runner puts a working
// file in its slot's place (through the safe replace) only when the take is found OK. A take
// that does not replace its slot is kept where the operator finds it, as a take recorded into a
// free slot always was: in the first free slot, or in a full library as a wave file of its own
// beside the slots ("TK0005_1.wav"). Nothing here deletes a take.
#include <QDate>
#include <QString>
#include <cstdint>
#include <vector>

namespace tamblor {

class SoundLibrary;

class WorkingTakes {
public:
    explicit WorkingTakes(SoundLibrary& library) : library_(library) {}

    // The working file of a fixed slot, native and as the operator knows it.
    QString fileNative(int32_t fixedSlot) const;
    QString filePath(int32_t fixedSlot) const;
    bool exists(int32_t fixedSlot) const;
    // The fixed slots whose working file is on the disk, lowest first.
    std::vector<int32_t> onDisk() const;

    // Where a kept take is now.
    struct Kept {
        int32_t slot = 0; // the slot that holds it, 0 when it is a file of its own
        QString path;     // "D:\Tamblor\SF0012.wav", "D:\Tamblor\TK0005_1.wav"
        QString native;
        // "in slot 12", "in D:\Tamblor\TK0005_1.wav (no slot was free)"
        QString where() const;
    };
    // Keeps the working file of a fixed slot: moved into the first free slot, which is completed
    // as a take of `seconds` recorded on `day` and named `name` (its entry waits for the index
    // when that refuses it), or, with no slot free, renamed to the first unused kept name.
    // Throws Failure when it cannot be moved; it is then still the working file.
    Kept keep(int32_t fixedSlot, int32_t seconds, const QDate& day, const QString& name);

private:
    SoundLibrary& library_;
};

} // namespace tamblor
