#pragma once
// The playback sound card fed by a tone generator: stereo 16-bit at 44100 per second on the
// device numbered DeviceID.
#include "audio/devices/AudioBackend.h"
#include "audio/devices/PeakLevels.h"
#include "audio/devices/ToneGenerator.h"
#include <QObject>

namespace tamblor::audio {

class OutputDevice : public QObject {
    Q_OBJECT
public:
    explicit OutputDevice(AudioBackend& backend, ToneGenerator& generator, QObject* parent = nullptr);
    ~OutputDevice() override;

    int deviceCount() const { return backend_.outputDeviceCount(); }
    QString deviceName(int device) const { return backend_.outputDeviceName(device); }
    // Takes effect when the device is next opened.
    void setDeviceId(int device) { deviceId_ = device; }
    int deviceId() const { return deviceId_; }

    // Opens the device when needed and plays what the generator makes. Throws Failure (68, 57).
    void start();
    // Stops playing; the device stays open.
    void stop();
    // Stops when needed and closes the device.
    void release();
    bool isPlaying() const { return stream_ && stream_->isActive(); }

    // Peaks of the last block sent to the device (0 when stopped).
    PeakLevels levels() const { return levels_.load(); }

private:
    AudioBackend& backend_;
    ToneGenerator& generator_;
    int deviceId_ = 0;
    std::unique_ptr<AudioStream> stream_;
    PeakLevelCell levels_;
};

} // namespace tamblor::audio
