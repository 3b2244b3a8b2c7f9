#include "core/ProgramSettings.h"
#include "platform/DriveMap.h"
#include "platform/Failure.h"
#include <QSettings>
#include <algorithm>

namespace tamblor {

namespace {

// The number stored under `key`, or `fallback` when it is missing, not a number or outside
// [lowest, highest].
double number(const QSettings& s, const char* key, double fallback, double lowest, double highest)
{
    bool ok = false;
    const double value = s.value(key).toDouble(&ok);
    return ok && value >= lowest && value <= highest ? value : fallback;
}

} // namespace

ProgramSettings::ProgramSettings(const DriveMap& drives) : path_(drives.toNative(DosPath)) {}

namespace {
const char* deviceKey(ProgramSettings::Device device)
{
    return device == ProgramSettings::Device::Play ? "Devices/PlayDeviceName" : "Devices/RecordDeviceName";
}
} // namespace

QString ProgramSettings::deviceName(Device device) const
{
    const QSettings s(path_, QSettings::IniFormat);
    return s.value(deviceKey(device)).toString();
}

void ProgramSettings::setDeviceName(Device device, const QString& name)
{
    QSettings s(path_, QSettings::IniFormat);
    s.setValue(deviceKey(device), name);
    s.sync();
    if (s.status() != QSettings::NoError)
        throw Failure(Failure::PathFileAccessError);
}

LoudnessPreferences ProgramSettings::loudness() const
{
    const QSettings s(path_, QSettings::IniFormat);
    LoudnessPreferences p;
    const int scale = int(number(s, "Loudness/MeterScale", p.meterScale, 0, 100));
    if (std::find(std::begin(p.kScales), std::end(p.kScales), scale) != std::end(p.kScales))
        p.meterScale = scale;
    p.truePeakCeilingDbtp =
        number(s, "Loudness/TruePeakCeiling", p.truePeakCeilingDbtp, p.kCeilingLowest, p.kCeilingHighest);
    p.silenceThresholdDbfs =
        number(s, "SilenceAlarm/Threshold", p.silenceThresholdDbfs, p.kThresholdLowest, p.kThresholdHighest);
    p.silenceSeconds = number(s, "SilenceAlarm/Seconds", p.silenceSeconds, p.kSecondsLowest, p.kSecondsHighest);
    p.silenceCommand = s.value("SilenceAlarm/Command").toString();
    return p;
}

void ProgramSettings::setLoudness(const LoudnessPreferences& p)
{
    QSettings s(path_, QSettings::IniFormat);
    s.setValue("Loudness/MeterScale", p.meterScale);
    s.setValue("Loudness/TruePeakCeiling", p.truePeakCeilingDbtp);
    s.setValue("SilenceAlarm/Threshold", p.silenceThresholdDbfs);
    s.setValue("SilenceAlarm/Seconds", p.silenceSeconds);
    s.setValue("SilenceAlarm/Command", p.silenceCommand);
    s.sync();
    if (s.status() != QSettings::NoError)
        throw Failure(Failure::PathFileAccessError);
}

WebPreferences ProgramSettings::web() const
{
    const QSettings s(path_, QSettings::IniFormat);
    WebPreferences p;
    p.enabled = s.value("Web/Enabled", p.enabled).toBool();
    const QString address = s.value("Web/Address").toString().trimmed();
    if (!address.isEmpty())
        p.address = address;
    p.port = int(number(s, "Web/Port", p.port, p.kPortLowest, p.kPortHighest));
    p.trustedProxy = s.value("Web/TrustedProxy").toString().trimmed();
    p.viewWithoutToken = s.value("Web/ViewWithoutToken", p.viewWithoutToken).toBool();
    return p;
}

void ProgramSettings::setWeb(const WebPreferences& p)
{
    QSettings s(path_, QSettings::IniFormat);
    s.setValue("Web/Enabled", p.enabled);
    s.setValue("Web/Address", p.address);
    s.setValue("Web/Port", p.port);
    s.setValue("Web/TrustedProxy", p.trustedProxy);
    s.setValue("Web/ViewWithoutToken", p.viewWithoutToken);
    s.sync();
    if (s.status() != QSettings::NoError)
        throw Failure(Failure::PathFileAccessError);
}

} // namespace tamblor
