#pragma once
// The two index commands for slots that a recording reserved and never finished (status "2":
// the program was killed or lost its power while recording).
#include <QString>
#include <cstdint>

namespace tamblor {

class Core;
class SoundLibrary;

class IndexMaintenance {
public:
    static constexpr const char* ReportText =
        "The following WaveFiles do not exist but are not available for use:  ";

    IndexMaintenance(Core& app, SoundLibrary& library) : app_(app), library_(library) {}

    // Shows the message window with the report text followed by "n, " for every reserved slot;
    // shows nothing when there is none.
    void ViewFileIndex();
    // Settles every reserved slot but `takeSlot`, that of a take under way (0 when there is
    // none), and shows nothing. A slot whose
    // file holds audio is completed as a take (default name, the file's length, its date):
    // recorded audio is never given away. A slot with no file, or one without audio, is freed
    // with its other fields kept.
    void DeleteFileIndex(int32_t takeSlot = 0);

    // Seconds of audio in a wave file, rounded; -1 when there is no file or no audio in it.
    static int32_t audioSeconds(const QString& nativePath);

private:
    Core& app_;
    SoundLibrary& library_;
};

} // namespace tamblor
