#include "core/SettingsFile.h"
#include "platform/DriveMap.h"
#include <QtEndian>

namespace tamblor {

SettingsFile::SettingsFile(const DriveMap& drives) : file_(drives.toNative(DosPath), 2) {}

void SettingsFile::open() { file_.open(); }
void SettingsFile::close() { file_.close(); }

int16_t SettingsFile::read(SettingsRecord record)
{
    QByteArray rec;
    return file_.read(int(record), rec) ? qFromLittleEndian<int16_t>(rec.constData()) : 0;
}

void SettingsFile::write(SettingsRecord record, int16_t value)
{
    char bytes[2];
    qToLittleEndian<int16_t>(value, bytes);
    file_.write(int(record), QByteArray(bytes, 2));
}

} // namespace tamblor
