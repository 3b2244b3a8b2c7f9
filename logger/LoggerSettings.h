#pragma once
// The logger's preferences, in the [Logger] group of Tamblor.ini beside the program's own: the
// input (card by name, 44100 or 48000, mono or stereo), the segments (minutes, a divisor of
// 60; WAV 16 or 24 bit or FLAC), where they go (and the second folder that gets a copy), how many days they are kept and the command
// run when the alarm is raised. A value missing or out of range reads as its default.
#include "logger/SegmentRecord.h"
#include <QString>
#include <QStringList>

namespace tamblor {
class DriveMap;
}

namespace tamblor::logger {

struct LoggerSettings {
    static constexpr const char* DefaultFolder = "c:\\Tamblor\\Logger";

    QString deviceName; // empty: the system's default input
    int rate = 48000;
    int channels = 2;
    int segmentMinutes = 60;
    FileEncoding encoding = FileEncoding::Wav16;
    int retentionDays = 42;
    QString folder; // native
    // A second folder (another disk) that receives every segment too; empty: none.
    QString secondFolder; // native
    // The logger's folder, then the second folder when there is one.
    QStringList folders() const { return secondFolder.isEmpty() ? QStringList{folder} : QStringList{folder, secondFolder}; }
    // Started once each time the alarm is raised, with the cause and the text as its last two
    // arguments; empty: the silence alarm's command.
    QString alarmCommand;

    static LoggerSettings read(const DriveMap& drives);
    // Throws Failure (75) when the file cannot be written.
    void write(const DriveMap& drives) const;
};

} // namespace tamblor::logger
