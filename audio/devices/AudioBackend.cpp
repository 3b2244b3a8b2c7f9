#include "audio/devices/AudioBackend.h"
#include "audio/devices/PortAudioBackend.h"
#include "audio/devices/VirtualBackend.h"
#include <cstdlib>
#include <cstring>

namespace tamblor::audio {

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
