#pragma once
// The values every window shares. Windows read what they need when they need it; values pass
// between windows by being set before a window opens or a procedure runs and read afterwards.
#include "app/IndexRecord.h"
#include "platform/RecordFile.h"
#include <QString>
#include <cstdint>
#include <memory>

namespace tamblor {

struct SharedState {
    // Settings (MyComp.ini records 1 to 9).
    int16_t PlayDevice = 0;
    int16_t RecordDevice = 0;
    int32_t FormatIndex = 0;
    int16_t DriveIndex = 0;
    QString DriveLetter;
    int16_t ChannelMode = 0;
    int16_t RecordStartMode = 0;
    int32_t VoxThreshold = 0;
    int16_t StopDelay = 0;
    int16_t RemoteControl = 0;
    int16_t PrefScratch = 0;

    // Files.
    int16_t SettingsValue = 0;
    std::unique_ptr<RecordFile> IndexFile; // Schedule.dat, open for the whole run

    // Slots and lists.
    ::tamblor::IndexRecord IndexRecord;
    int32_t CurrentSlot = 0;
    int32_t ScanSlot = 0;
    int16_t SendSlot = 0;
    QString SlotText;
    QString SoundPath;
    QString PrintSlotText;

    // Recording and playback.
    int16_t RecordState = 0;
    int16_t Playing = 0;
    int32_t LastLevelTime = 0;
    int32_t Scratch = 0;

    // Time registers of the two time helpers.
    int32_t Seconds = 0;
    QString TimeText;

    // Editor.
    QString EditorFilePath;
    int32_t ExportStart = 0;
    int32_t ExportStop = 0;
};

} // namespace tamblor
