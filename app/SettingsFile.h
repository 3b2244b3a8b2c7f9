#pragma once
// MyComp.ini: signed 16-bit little-endian records, record n at byte 2(n-1); a record past the
// end reads as 0. Every reader or writer opens the file, reads or writes, and closes it again.
// Each read or write goes through SharedState::SettingsValue, which afterwards holds the last
// record's value.
#include "platform/RecordFile.h"
#include <QString>
#include <cstdint>

namespace tamblor {

class DriveMap;
struct SharedState;

class SettingsFile {
public:
    static constexpr const char* DosPath = "c:\\Tamblor\\MyComp.ini";

    SettingsFile(const DriveMap& drives, SharedState& state);
    // Opens (creating it empty when missing); closes on destruction.
    void open();
    void close();
    // Record n into SettingsValue, which is returned.
    int16_t read(int n);
    // True when the file reaches record n (a first start has none of them yet).
    bool holds(int n) const { return file_.recordCount() >= n; }
    // SettingsValue as record n.
    void write(int n);
    void write(int n, int16_t value);

private:
    SharedState& state_;
    RecordFile file_;
};

} // namespace tamblor
