#include "logger/LoggerSettings.h"
#include "core/ProgramSettings.h"
#include "platform/DriveMap.h"
#include "platform/Failure.h"
#include <QSettings>

namespace tamblor::logger {

LoggerSettings LoggerSettings::read(const DriveMap& drives)
{
    const QSettings s(drives.toNative(ProgramSettings::DosPath), QSettings::IniFormat);
    LoggerSettings l;
    l.deviceName = s.value("Logger/Device").toString();
    const int rate = s.value("Logger/Rate", l.rate).toInt();
    if (rate == 44100 || rate == 48000)
        l.rate = rate;
    const int channels = s.value("Logger/Channels", l.channels).toInt();
    if (channels == 1 || channels == 2)
        l.channels = channels;
    const int minutes = s.value("Logger/SegmentMinutes", l.segmentMinutes).toInt();
    if (minutes >= 1 && minutes <= 60 && 60 % minutes == 0)
        l.segmentMinutes = minutes;
    if (auto e = encodingFromText(s.value("Logger/Format").toString()))
        l.encoding = *e;
    const int days = s.value("Logger/RetentionDays", l.retentionDays).toInt();
    if (days >= 1 && days <= 3660)
        l.retentionDays = days;
    const QString folder = s.value("Logger/Folder").toString();
    l.folder = folder.isEmpty() ? drives.toNative(DefaultFolder) : folder;
    l.secondFolder = s.value("Logger/SecondFolder").toString();
    l.alarmCommand = s.value("Logger/AlarmCommand").toString();
    if (l.alarmCommand.isEmpty())
        l.alarmCommand = s.value("SilenceAlarm/Command").toString();
    return l;
}

void LoggerSettings::write(const DriveMap& drives) const
{
    QSettings s(drives.toNative(ProgramSettings::DosPath), QSettings::IniFormat);
    s.setValue("Logger/Device", deviceName);
    s.setValue("Logger/Rate", rate);
    s.setValue("Logger/Channels", channels);
    s.setValue("Logger/SegmentMinutes", segmentMinutes);
    s.setValue("Logger/Format", encodingText(encoding));
    s.setValue("Logger/RetentionDays", retentionDays);
    s.setValue("Logger/Folder", folder);
    s.setValue("Logger/SecondFolder", secondFolder);
    s.setValue("Logger/AlarmCommand", alarmCommand);
    s.sync();
    if (s.status() != QSettings::NoError)
        throw Failure(Failure::PathFileAccessError);
}

} // namespace tamblor::logger
