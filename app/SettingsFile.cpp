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

int16_t SettingsFile::read(int n)
{
    QByteArray rec;
    state_.SettingsValue = file_.read(n, rec) ? qFromLittleEndian<int16_t>(rec.constData()) : 0;
    return state_.SettingsValue;
}

void SettingsFile::write(int n)
{
    char bytes[2];
    qToLittleEndian<int16_t>(state_.SettingsValue, bytes);
    file_.write(n, QByteArray(bytes, 2));
}

void SettingsFile::write(int n, int16_t value)
{
    state_.SettingsValue = value;
    write(n);
}

} // namespace tamblor
