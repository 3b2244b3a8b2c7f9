#pragma once
// The settings the whole program shares: the records of MyComp.ini as start-up read them (and
// the preferences store them), with the values derived from them. The studio applies them to
// its sessions whenever they change. Nothing else travels
// here: slots, names, lengths, times and paths are parameters, return values and signals.
#include <QString>
#include <cstdint>

namespace tamblor {

struct SharedState {
    int16_t PlayDevice = 0;      // record 1
    int16_t RecordDevice = 0;    // record 2
    int32_t FormatIndex = 0;     // record 3
    int16_t DriveIndex = 0;      // record 4
    QString DriveLetter;         // record 4 as the library drive's letter
    int16_t ChannelMode = 0;     // record 5
    int16_t RecordStartMode = 0; // record 6
    int32_t VoxThreshold = 0;    // record 7
    int16_t StopDelay = 0;       // record 8
    int16_t RemoteControl = 0;   // record 9
    // Record 11, the recording level (16384 is unity). The top of the slider, 32768, is kept
    // here and stored as 32767, the most the record holds; a file that never held the record
    // (a first start) records at unity, not in silence.
    int32_t RecordLevel = 16384;
};

} // namespace tamblor
