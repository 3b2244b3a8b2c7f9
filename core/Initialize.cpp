#include "core/Initialize.h"
#include "core/SettingsFile.h"
#include "core/SharedState.h"
#include "platform/DriveMap.h"
#include "platform/Failure.h"

namespace tamblor {

void InitializeApplication(const DriveMap& drives, SharedState& state)
{
    for (const char* folder : {"c:\\Tamblor", "c:\\Program Files\\Tamblor"}) {
        if (!drives.folderExists(folder) && !drives.createFolder(folder))
            throw Failure(Failure::PathFileAccessError);
    }

    SettingsFile settings(drives);
    settings.open();
    state.PlayDevice = settings.read(SettingsRecord::PlayDevice);
    state.RecordDevice = settings.read(SettingsRecord::RecordDevice);
    state.FormatIndex = settings.read(SettingsRecord::FormatIndex);
    // 0 = C, 1 = D, ...; a value that names no drive letter at all falls back to C.
    const int driveCode = 67 + settings.read(SettingsRecord::DriveIndex);
    state.DriveLetter = QString(QChar(driveCode >= 'A' && driveCode <= 'Z' ? driveCode : 'C'));
    state.ChannelMode = settings.read(SettingsRecord::ChannelMode);
    state.RecordStartMode = settings.read(SettingsRecord::RecordStartMode);
    state.VoxThreshold = settings.read(SettingsRecord::VoxThreshold);
    state.StopDelay = settings.read(SettingsRecord::StopDelay);
    state.RemoteControl = settings.read(SettingsRecord::RemoteControl);
    settings.read(SettingsRecord::Reserved); // read and not kept
    state.RecordLevel = settings.holds(SettingsRecord::RecordLevel) ? settings.read(SettingsRecord::RecordLevel) : 16384;
    settings.close();
}

} // namespace tamblor
