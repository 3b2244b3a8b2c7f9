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

namespace {

QString remoteGroup(remote::LinePort::Kind kind)
{
    switch (kind) {
    case remote::LinePort::Kind::Serial: return QStringLiteral("RemoteSerial");
    case remote::LinePort::Kind::Parallel: return QStringLiteral("RemoteParallel");
    case remote::LinePort::Kind::Virtual: return QStringLiteral("RemoteVirtual");
    }
    return {};
}

} // namespace

remote::LineMap ProgramSettings::remoteLines(remote::LinePort::Kind kind) const
{
    QSettings s(path_, QSettings::IniFormat);
    remote::LineMap m = remote::LineMap::defaults(kind);
    s.beginGroup(remoteGroup(kind));
    const QString port = s.value("Port").toString().trimmed();
    if (!port.isEmpty())
        m.port = port;
    const QStringList inputs = remote::LineMap::inputNames(kind), outputs = remote::LineMap::outputNames(kind);
    auto lineOf = [&](const QString& key, const QStringList& names, int fallback) {
        if (!s.contains(key))
            return fallback;
        return int(names.indexOf(s.value(key).toString().trimmed()));
    };
    for (int f = 0; f < remote::InputFunctions; ++f) {
        const QString name = QString::fromLatin1(remote::name(remote::InputFunction(f)));
        remote::InputWiring& w = m.inputs[size_t(f)];
        w.line = lineOf(name + "Line", inputs, w.line);
        w.inverted = s.value(name + "Inverted", w.inverted).toBool();
        w.debounceMs = int(number(s, QString(name + "DebounceMs").toLatin1().constData(), w.debounceMs, 0,
                                  remote::InputWiring::LongestDebounceMs));
    }
    for (int f = 0; f < remote::OutputFunctions; ++f) {
        const QString name = QString::fromLatin1(remote::name(remote::OutputFunction(f)));
        m.outputs[size_t(f)] = lineOf(name + "Line", outputs, m.outputs[size_t(f)]);
    }
    return m;
}

void ProgramSettings::setRemoteLines(const remote::LineMap& m)
{
    QSettings s(path_, QSettings::IniFormat);
    s.beginGroup(remoteGroup(m.kind));
    s.setValue("Port", m.port);
    const QStringList inputs = remote::LineMap::inputNames(m.kind), outputs = remote::LineMap::outputNames(m.kind);
    for (int f = 0; f < remote::InputFunctions; ++f) {
        const QString name = QString::fromLatin1(remote::name(remote::InputFunction(f)));
        const remote::InputWiring& w = m.inputs[size_t(f)];
        s.setValue(name + "Line", w.line >= 0 && w.line < inputs.size() ? inputs.at(w.line) : QString());
        s.setValue(name + "Inverted", w.inverted);
        s.setValue(name + "DebounceMs", w.debounceMs);
    }
    for (int f = 0; f < remote::OutputFunctions; ++f) {
        const int line = m.outputs[size_t(f)];
        s.setValue(QString::fromLatin1(remote::name(remote::OutputFunction(f))) + "Line",
                   line >= 0 && line < outputs.size() ? outputs.at(line) : QString());
    }
    s.endGroup();
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
