#pragma once
// Tells a lost input device from a quiet or a slow one by what it delivers, never by the level:
// zeros are sound, so a quiet input never counts as lost. A device is lost when it delivers
// nothing for SilenceMs after its first buffer; a sound server may take a second or two to
// deliver the first buffer of a new stream, so before it the device has FirstBufferMs.
// A stream that reports an error is lost at once; that is the stream's to say (hasFailed).
#include <QtGlobal>

namespace tamblor::audio {

class DeliveryWatch {
public:
    static constexpr int FirstBufferMs = 5000;
    static constexpr int SilenceMs = 3000;

    // A stream starts: nothing delivered yet beyond `delivered`, the count it starts from.
    void restart(quint64 delivered);
    // `elapsedMs` have passed since the last look (or the restart); `delivered` is the count
    // now. True once nothing has arrived for too long; stays true until the next restart.
    bool lost(quint64 delivered, int elapsedMs);
    // Whether the stream has delivered since the restart.
    bool hasDelivered() const { return delivering_; }

private:
    quint64 last_ = 0;
    bool delivering_ = false;
    qint64 quietMs_ = 0;
};

} // namespace tamblor::audio
