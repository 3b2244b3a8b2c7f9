#include "audio/devices/AudioBackend.h"
#include "audio/devices/PortAudioBackend.h"
#include "audio/devices/VirtualBackend.h"
#include "platform/Failure.h"
#include <cstdlib>
#include <cstring>

namespace tamblor::audio {

QString AudioBackend::inputDeviceLabel(int device) const
{
    try {
        return inputDeviceName(device);
    } catch (const Failure&) {
        return QString::number(device);
    }
}

QString AudioBackend::outputDeviceLabel(int device) const
{
    try {
        return outputDeviceName(device);
    } catch (const Failure&) {
        return QString::number(device);
    }
}

std::unique_ptr<AudioBackend> createAudioBackend()
{
    const char* choice = std::getenv("TAMBLOR_AUDIO");
    if (choice && std::strcmp(choice, "virtual") == 0)
        return std::make_unique<VirtualBackend>(VirtualBackend::Clock::Stepped);
    if (choice && std::strcmp(choice, "virtual-realtime") == 0)
        return std::make_unique<VirtualBackend>(VirtualBackend::Clock::RealTime);
    return std::make_unique<PortAudioBackend>();
}

} // namespace tamblor::audio
