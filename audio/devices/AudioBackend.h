#pragma once
// The device seam of the audio layer: device lists and streams of interleaved 16-bit samples.
// The application owns one backend, chosen at start-up; components take it by reference.
#include <QString>
#include <QtGlobal>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace tamblor::audio {

struct StreamFormat {
    int sampleRate = 44100;
    int channels = 2;
    // A hint: callbacks may receive other frame counts.
    int framesPerBuffer = 1024;
    // Seconds of output the device should hold queued, at the least; 0 leaves it to the
    // backend. A deeper queue rides out a busy machine without running dry.
    double latency = 0;
};

// Both callbacks run on the device's thread. They must not block, allocate or touch widgets.
using InputCallback = std::function<void(const int16_t* samples, size_t frames)>;
using OutputCallback = std::function<void(int16_t* samples, size_t frames)>;

struct OutputHandler {
    OutputCallback render;
    // Optional. A stepped backend calls it on the stepping thread before pulling `frames`,
    // so a source fed by a thread of its own can get them ready (it may wait for that thread).
    // Real-time backends never call it.
    std::function<void(size_t frames)> prepare;
};

// An open device stream; destroying it closes the device.
class AudioStream {
public:
    virtual ~AudioStream() = default;
    // Throws Failure when the device refuses to start.
    virtual void start() = 0;
    // Returns once the callback no longer runs. What an output still holds queued is dropped.
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    // True once the device has failed under a started stream (unplugged, sound server gone):
    // it delivers nothing more. Polled; any thread but the device's.
    virtual bool hasFailed() const { return false; }
    // Output: how long, in seconds, a frame handed to the callback may still wait in the
    // device's queue before it is heard. 0 for a device that takes what it is given at once.
    virtual double outputLatency() const { return 0; }
    // Output: how often the device reported that it ran dry since the stream was opened.
    virtual quint64 underflows() const { return 0; }
};

class AudioBackend {
public:
    // Device number that picks the system's default device.
    static constexpr int DefaultDevice = -1;

    virtual ~AudioBackend() = default;
    virtual QString name() const = 0;

    // Devices are numbered 0..count-1 in the order they are listed.
    virtual int inputDeviceCount() const = 0;
    virtual QString inputDeviceName(int device) const = 0;
    virtual int outputDeviceCount() const = 0;
    virtual QString outputDeviceName(int device) const = 0;
    // A device as a message names it: its name, or its number when it cannot be named.
    QString inputDeviceLabel(int device) const;
    QString outputDeviceLabel(int device) const;

    // Throw Failure (68 Device unavailable, ...) when the device cannot be opened as asked.
    virtual std::unique_ptr<AudioStream> openInput(int device, const StreamFormat& format,
                                                   InputCallback callback) = 0;
    virtual std::unique_ptr<AudioStream> openOutput(int device, const StreamFormat& format,
                                                    OutputHandler handler) = 0;
};

// The backend named by TAMBLOR_AUDIO: "virtual" (stepped by the caller), "virtual-realtime",
// otherwise PortAudio.
std::unique_ptr<AudioBackend> createAudioBackend();

} // namespace tamblor::audio
