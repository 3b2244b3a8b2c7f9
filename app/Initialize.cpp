#include "app/Initialize.h"
#include "app/SettingsFile.h"
#include "app/SharedState.h"
#include "platform/DriveMap.h"
#include "platform/Failure.h"

namespace tamblor {

void InitializeApplication(const DriveMap& drives, SharedState& state)
{
    for (const char* folder : {"c:\\Tamblor", "c:\\Program Files\\Tamblor"}) {
        if (!drives.folderExists(folder) && !drives.createFolder(folder))
            throw Failure(Failure::PathFileAccessError);
    }

    SettingsFile settings(drives, state);
    settings.open();
    state.PlayDevice = settings.read(1);
    state.RecordDevice = settings.read(2);
    state.FormatIndex = settings.read(3);
    // 0 = C, 1 = D, ...; a value that names no drive letter at all falls back to C.
    const int driveCode = 67 + settings.read(4);
    state.DriveLetter = QString(QChar(driveCode >= 'A' && driveCode <= 'Z' ? driveCode : 'C'));
    state.ChannelMode = settings.read(5);
    state.RecordStartMode = settings.read(6);
    state.VoxThreshold = settings.read(7);
    state.StopDelay = settings.read(8);
    state.RemoteControl = settings.read(9);
    settings.read(10); // reserved: read and discarded
    settings.close();

    state.IndexFile = std::make_unique<RecordFile>(drives.toNative("c:\\Tamblor\\Schedule.dat"),
                                                   IndexRecord::Size);
    state.IndexFile->open();
}

} // namespace tamblor
