#pragma once
// The preferences that MyComp.ini has no records for, in a file of their own beside it
// (c:\Tamblor\Tamblor.ini, an INI file through QSettings), so that MyComp.ini keeps its eleven
// records byte for byte. Every reader opens the file, reads what it needs and lets go of it.
// A value that is missing or out of its range reads as its default.
#include "remote/LineMap.h"
#include <QString>

namespace tamblor {

class DriveMap;

// The live loudness meter and the silence alarm.
struct LoudnessPreferences {
    // The meter's scale: the EBU +9 scale (-41 to -14 LUFS) or the +18 scale (-59 to -5).
    int meterScale = 9;
    // The true peak above which the meter's light goes on, in dBTP.
    double truePeakCeilingDbtp = -1.0;
    // Dead air: below this level (dBFS) for this many seconds raises the alarm.
    double silenceThresholdDbfs = -40.0;
    double silenceSeconds = 20.0;
    // A program started once when the alarm is raised, with the slot, the file and the level
    // as its last three arguments; empty for none. Split into the program and any arguments
    // of its own as a command line is (quotes keep blanks), never handed to a shell.
    QString silenceCommand;

    static constexpr int kScales[] = {9, 18};
    // The ranges a value must lie in to be taken.
    static constexpr double kCeilingLowest = -20.0, kCeilingHighest = 0.0;
    static constexpr double kThresholdLowest = -90.0, kThresholdHighest = -1.0;
    static constexpr double kSecondsLowest = 1.0, kSecondsHighest = 3600.0;

    bool operator==(const LoudnessPreferences&) const = default;
};

// The web server: off until the operator switches it on, on the local host by default.
struct WebPreferences {
    bool enabled = false;
    // The address it listens on (an IPv4 or IPv6 address; 0.0.0.0 for every one) and its port.
    QString address = "127.0.0.1";
    int port = 8390;
    // The address of a reverse proxy whose X-Forwarded-For names the client (and whose
    // X-Forwarded-Proto says whether the client came by TLS); empty for none.
    QString trustedProxy;
    // Whether the pages may be viewed without a token (operator actions always need one).
    bool viewWithoutToken = false;

    // Port 0: one the system chooses.
    static constexpr int kPortLowest = 0, kPortHighest = 65535;

    bool operator==(const WebPreferences&) const = default;
};

class ProgramSettings {
public:
    static constexpr const char* DosPath = "c:\\Tamblor\\Tamblor.ini";

    explicit ProgramSettings(const DriveMap& drives);

    // The name of the sound card kept beside a device number of MyComp.ini (records 1 and 2),
    // so that the card is found again when the list of cards changes; empty when none is kept.
    enum class Device { Play, Record };
    QString deviceName(Device device) const;
    // Throws Failure (75) when the file cannot be written.
    void setDeviceName(Device device, const QString& name);

    LoudnessPreferences loudness() const;
    // Throws Failure (75) when the file cannot be written.
    void setLoudness(const LoudnessPreferences& preferences);

    // The remote lines of a kind of port: the device, which line does what, each input's
    // polarity and debounce ([RemoteSerial] or [RemoteParallel]). Missing values read as the
    // defaults of the kind (LineMap::defaults); a line named that the port has not reads as none.
    remote::LineMap remoteLines(remote::LinePort::Kind kind) const;
    // Throws Failure (75) when the file cannot be written.
    void setRemoteLines(const remote::LineMap& map);

    WebPreferences web() const;
    // Throws Failure (75) when the file cannot be written.
    void setWeb(const WebPreferences& preferences);

private:
    QString path_;
};

} // namespace tamblor
