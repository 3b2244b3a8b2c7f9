#include "core/DeviceChoice.h"
#include "audio/devices/AudioBackend.h"
#include "core/Core.h"
#include "core/SettingsFile.h"
#include "platform/Failure.h"

namespace tamblor {

DeviceChoice::DeviceChoice(Core& core) : core_(core) {}

QString DeviceChoice::keyFor(Device device)
{
    return device == Device::Play ? QStringLiteral("device.play") : QStringLiteral("device.record");
}

int DeviceChoice::numberOf(Device device) const
{
    return device == Device::Play ? core_.state().PlayDevice : core_.state().RecordDevice;
}

int DeviceChoice::count(Device device) const
{
    return device == Device::Play ? core_.audio().outputDeviceCount() : core_.audio().inputDeviceCount();
}

QString DeviceChoice::nameAt(Device device, int number) const
{
    if (number < 0 || number >= count(device))
        return {};
    try {
        return device == Device::Play ? core_.audio().outputDeviceName(number) : core_.audio().inputDeviceName(number);
    } catch (const Failure&) {
        return {};
    }
}

QString DeviceChoice::keptName(Device device) const { return ProgramSettings(core_.drives()).deviceName(device); }

void DeviceChoice::setNumber(Device device, int number)
{
    SettingsFile settings(core_.drives());
    settings.open();
    if (device == Device::Play) {
        core_.state().PlayDevice = int16_t(number);
        settings.write(SettingsRecord::PlayDevice, int16_t(number));
    } else {
        core_.state().RecordDevice = int16_t(number);
        settings.write(SettingsRecord::RecordDevice, int16_t(number));
    }
    settings.close();
}

void DeviceChoice::raiseGone(Device device, const QString& name, int number)
{
    const QString what = device == Device::Play ? QStringLiteral("playback") : QStringLiteral("recording");
    core_.notices().raise(keyFor(device), QStringLiteral("devices"),
                          QStringLiteral("The %1 device \"%2\" (number %3 in the preferences) is not there. "
                                         "Connect it, or choose another in My Preferences.")
                              .arg(what, name)
                              .arg(number),
                          name, Notice::Severity::Error);
}

void DeviceChoice::resolve()
{
    for (Device device : {Device::Play, Device::Record}) {
        const QString kept = keptName(device);
        const int number = numberOf(device);
        if (kept.isEmpty()) {
            // A first start (or a settings file from before names were kept): the card under
            // the number is the one meant.
            const QString name = nameAt(device, number);
            if (!name.isEmpty())
                ProgramSettings(core_.drives()).setDeviceName(device, name);
            continue;
        }
        if (nameAt(device, number) == kept) {
            core_.notices().clear(keyFor(device));
            continue;
        }
        int found = -1;
        for (int n = 0; n < count(device) && found < 0; ++n)
            if (nameAt(device, n) == kept)
                found = n;
        if (found >= 0) {
            setNumber(device, found);
            core_.notices().clear(keyFor(device));
        } else {
            raiseGone(device, kept, number);
        }
    }
}

void DeviceChoice::remember()
{
    for (Device device : {Device::Play, Device::Record}) {
        const QString name = nameAt(device, numberOf(device));
        if (name.isEmpty())
            continue;
        ProgramSettings(core_.drives()).setDeviceName(device, name);
        core_.notices().clear(keyFor(device));
    }
}

bool DeviceChoice::present(Device device)
{
    const QString kept = keptName(device);
    const int number = numberOf(device);
    const QString name = nameAt(device, number);
    if (name.isEmpty() || (!kept.isEmpty() && name != kept)) {
        raiseGone(device, kept.isEmpty() ? QString::number(number) : kept, number);
        return false;
    }
    core_.notices().clear(keyFor(device));
    return true;
}

} // namespace tamblor
