#include "audio/devices/DeliveryWatch.h"

namespace tamblor::audio {

void DeliveryWatch::restart(quint64 delivered)
{
    last_ = delivered;
    delivering_ = false;
    quietMs_ = 0;
}

bool DeliveryWatch::lost(quint64 delivered, int elapsedMs)
{
    if (delivered != last_) {
        last_ = delivered;
        delivering_ = true;
        quietMs_ = 0;
        return false;
    }
    quietMs_ += qMax(0, elapsedMs);
    return quietMs_ >= (delivering_ ? SilenceMs : FirstBufferMs);
}

} // namespace tamblor::audio
