#include "app/SettingsFile.h"
#include "app/SharedState.h"
#include "platform/DriveMap.h"
#include <QtEndian>

namespace tamblor {

SettingsFile::SettingsFile(const DriveMap& drives, SharedState& state)
    : state_(state), file_(drives.toNative(DosPath), 2)
{
}

void SettingsFile::open() { file_.open(); }
void SettingsFile::close() { file_.close(); }

int16_t SettingsFile::read(SettingsRecord record)
{
    QByteArray rec;
    state_.SettingsValue = file_.read(int(record), rec) ? qFromLittleEndian<int16_t>(rec.constData()) : 0;
    return state_.SettingsValue;
}

void SettingsFile::write(SettingsRecord record)
{
    char bytes[2];
    qToLittleEndian<int16_t>(state_.SettingsValue, bytes);
    file_.write(int(record), QByteArray(bytes, 2));
}

void SettingsFile::write(SettingsRecord record, int16_t value)
{
    state_.SettingsValue = value;
    write(record);
}

} // namespace tamblor
