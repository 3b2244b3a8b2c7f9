#pragma once
// The system's sound cards through PortAudio.
#include "audio/devices/AudioBackend.h"
#include "platform/Failure.h"
#include <vector>

namespace tamblor::audio {

// The one place where PortAudio's error codes become the program's failures.
Failure portAudioFailure(int paError);

class PortAudioBackend : public AudioBackend {
public:
    // Throws Failure 68 when PortAudio cannot start.
    PortAudioBackend();
    ~PortAudioBackend() override;

    QString name() const override { return QStringLiteral("PortAudio"); }
    int inputDeviceCount() const override { return int(inputs_.size()); }
    QString inputDeviceName(int device) const override;
    int outputDeviceCount() const override { return int(outputs_.size()); }
    QString outputDeviceName(int device) const override;
    std::unique_ptr<AudioStream> openInput(int device, const StreamFormat& format,
                                           InputCallback callback) override;
    std::unique_ptr<AudioStream> openOutput(int device, const StreamFormat& format,
                                            OutputHandler handler) override;

private:
    std::vector<int> inputs_;  // PortAudio device indexes of the input devices, in list order
    std::vector<int> outputs_;
};

} // namespace tamblor::audio
