#pragma once
// MyComp.ini: signed 16-bit little-endian records, record n at byte 2(n-1); a record past the
// end reads as 0. Every reader or writer opens the file, reads or writes, and closes it again.
#include "platform/RecordFile.h"
#include <QString>
#include <cstdint>

namespace tamblor {

class DriveMap;

// The records of MyComp.ini, numbered as they lie in the file.
enum class SettingsRecord : int {
    PlayDevice = 1,      // sound card for playback
    RecordDevice = 2,    // sound card for recording
    FormatIndex = 3,     // recording format, 0..5
    DriveIndex = 4,      // library drive as a position from C (0 is C)
    ChannelMode = 5,     // 0 mono, 1 stereo
    RecordStartMode = 6, // 0 Off, 1 VOX, 2 Momentary, 3 Continous
    VoxThreshold = 7,    // input level that starts and stops a VOX recording
    StopDelay = 8,
    RemoteControl = 9, // 0 Off, 1 parallel port, 2 Prairie Digital card (not supported), 3 serial port
    Reserved = 10,     // read at start-up and not kept
    RecordLevel = 11,  // the library window's recording-level slider
};

class SettingsFile {
public:
    static constexpr const char* DosPath = "c:\\Tamblor\\MyComp.ini";

    explicit SettingsFile(const DriveMap& drives);
    // Opens (creating it empty when missing); closes on destruction.
    void open();
    void close();
    // The record's value (0 past the end of the file).
    int16_t read(SettingsRecord record);
    // True when the file reaches the record (a first start has none of them yet).
    bool holds(SettingsRecord record) const { return file_.recordCount() >= int(record); }
    void write(SettingsRecord record, int16_t value);

private:
    RecordFile file_;
};

} // namespace tamblor
