#pragma once
// The recording sound card with its gain: captures from the device numbered DeviceID at the
// chosen rate and channel mode, and delivers the input in buffers of 4096 bytes (1024 stereo
// or 2048 mono frames of 16-bit samples).
//
// Threads: the device callback only copies into a lock-free ring. A worker thread of this
// object takes whole buffers from the ring, applies the gain, measures the peaks, hands the
// buffer to the attached RecordingWriter and then posts bufferFilled() to the UI thread. A busy
// UI thread therefore delays the events but never costs a sample.
#include "audio/core/WaveFormat.h"
#include "audio/devices/AudioBackend.h"
#include "audio/devices/DeliveryWatch.h"
#include "audio/devices/PeakLevels.h"
#include "audio/devices/SampleTap.h"
#include "audio/devices/SpscRing.h"
#include <QObject>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tamblor::audio {

class RecordingWriter;

class InputDevice : public QObject {
    Q_OBJECT
public:
    enum Mode { Mono = 0, Stereo = 1 };
    static constexpr int BufferBytes = 4096;
    static constexpr int UnityGain = 16384;

    explicit InputDevice(AudioBackend& backend, QObject* parent = nullptr);
    ~InputDevice() override;

    int deviceCount() const { return backend_.inputDeviceCount(); }
    QString deviceName(int device) const { return backend_.inputDeviceName(device); }
    // The chosen device as a message names it (its name, or its number).
    QString deviceLabel() const { return backend_.inputDeviceLabel(deviceId()); }

    // Settings take effect when the device is next opened (start after release, or a stopped
    // device whose settings changed).
    void setDeviceId(int device);
    int deviceId() const { return deviceId_; }
    // 8000, 11025, 22050 or 44100; anything else is failure 380.
    void setSampleRate(int rate);
    // Any rate the card may offer (the logger records at 48000 as well); throws 380 for none.
    void setStreamRate(int rate);
    int sampleRate() const { return rate_; }
    // 0 mono, 1 stereo; anything else is failure 380.
    void setMode(int mode);
    int mode() const { return channels_ == 2 ? Stereo : Mono; }
    int channels() const { return channels_; }
    WaveFormat format() const { return WaveFormat::pcm(rate_, channels_, 16); }
    int bufferBytes() const { return BufferBytes; }
    int bufferFrames() const { return BufferBytes / (2 * channels_); }

    // Volume in 16.14 fixed point, 0..32768 (16384 = unity); applies to everything that reaches
    // the writer, the events and the levels. Takes effect with the next buffer.
    void setGain(int gain);
    // How often the worker looks for full buffers in the ring (it is woken by nothing else):
    // 10 ms by default, for meters that follow the sound. A reader that only takes the tap
    // now and then (the logger) looks less often; the ring holds seconds.
    void setWorkerPollMs(int ms) { workerPollMs_.store(std::max(1, ms)); }
    int gain() const { return gain_.load(); }

    // Opens the device when needed and starts delivering buffers. Throws Failure (68, 57).
    void start();
    // Stops delivery. The rest of the input (a last, possibly short buffer) is still processed,
    // then captureEnded() follows.
    void stop();
    // Stops when needed and closes the device.
    void release();
    bool isCapturing() const { return capturing_; }
    bool isOpen() const { return stream_ != nullptr; }
    // The device failed while capturing (see AudioStream::hasFailed).
    bool deviceFailed() const { return stream_ && stream_->hasFailed(); }
    // Samples the device has delivered since this object was made; stands still while the
    // device delivers nothing.
    quint64 samplesDelivered() const { return quint64(ring_.written()); }
    // The device is lost: its stream failed, or it delivered nothing for too long (three
    // seconds once it has delivered, five before its first buffer; see DeliveryWatch). A quiet
    // input is not lost. `elapsedMs` have passed since the last call or the start. Call on the
    // UI thread while capturing; the caller's timer is the clock.
    bool lost(int elapsedMs);

    // Peaks of the last processed buffer (after the gain); zero while not capturing.
    PeakLevels levels() const { return levels_.load(); }
    // Sequence number of the last processed buffer; numbers start at 1 and are never reused
    // by one InputDevice.
    qint64 lastSequence() const { return lastSequence_.load(); }
    // Frames the device delivered that did not fit the ring (should stay 0).
    quint64 droppedFrames() const { return dropped_.load(); }
    // A copy of every processed buffer (after the gain) for a reader of its own, such as a
    // loudness meter; the worker fills it, the device callback does not.
    SampleTap& tap() { return tap_; }

    // Waits until the worker has processed all input delivered so far and applied pending
    // writer commands, then lets pending events run; repeated once, so that writer commands
    // given by those event handlers are applied too. With the virtual backend's stepped clock,
    // after advance() and waitIdle() every event for those frames has been delivered and every
    // enabled frame is in the file. Call on the UI thread.
    void waitIdle();
    // The same without running events (any thread but the worker).
    void syncWorker();

signals:
    // Once per input buffer, on the UI thread: the two channels' peak magnitudes (0..32767).
    // Posted only once something has been connected to it (a program that only taps the
    // input, the logger, is not woken for every buffer).
    void bufferFilled(qint64 sequence, int left, int right);
    // After stop(), once the last buffer has been processed and delivered.
    void captureEnded();

protected:
    void connectNotify(const QMetaMethod& signal) override;

private:
    friend class RecordingWriter;
    void attachWriter(RecordingWriter* writer);
    // Samples the device has put into the ring so far (any thread).
    size_t producedSamples() const { return ring_.written(); }
    void wakeWorker();
    void run();
    void processBuffer(size_t samples, RecordingWriter* writer);
    void closeStream();

    AudioBackend& backend_;
    int deviceId_ = 0;
    int rate_ = 44100;
    int channels_ = 2;
    std::atomic<int> gain_{UnityGain};
    std::unique_ptr<AudioStream> stream_;
    bool capturing_ = false;
    bool settingsChanged_ = false;
    DeliveryWatch watch_;

    SpscRing<int16_t> ring_;
    std::vector<int16_t> buffer_; // worker's buffer
    std::atomic<quint64> dropped_{0};
    std::atomic<qint64> lastSequence_{0};
    std::atomic<bool> announceBuffers_{false}; // something has been connected to bufferFilled
    std::atomic<int> workerPollMs_{10};
    PeakLevelCell levels_;
    SampleTap tap_;

    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable synced_;
    bool quit_ = false;
    bool woken_ = false;
    bool endRequested_ = false;
    int streamChannels_ = 2; // channels of the running stream, read by the worker
    quint64 syncRequested_ = 0;
    quint64 syncDone_ = 0;
    RecordingWriter* writer_ = nullptr;
};

} // namespace tamblor::audio
