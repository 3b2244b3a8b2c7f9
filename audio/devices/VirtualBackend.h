#pragma once
// A backend made in the program: one input device that plays a signal the caller supplies and
// one output device that keeps what it was given. It runs in real time on a thread of its own,
// or stepped by the caller with advance(), so tests need neither a sound card nor sleeps.
#include "audio/devices/AudioBackend.h"
#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace tamblor::audio {

// Fills `frames` interleaved frames; `first` counts the frames the input stream has produced
// since it was opened. Runs on whatever thread drives the backend.
using VirtualSignal =
    std::function<void(int16_t* out, size_t frames, int channels, int sampleRate, uint64_t first)>;

namespace sources {
VirtualSignal silence();
// A sine of `amplitude` (0..32767) on every channel.
VirtualSignal tone(double hertz, int amplitude);
// Quiet (`quietAmplitude`) for `quietFrames`, then loud for `loudFrames`, then quiet again;
// both parts are 1000 Hz sines.
VirtualSignal burst(uint64_t quietFrames, uint64_t loudFrames, int quietAmplitude, int loudAmplitude);
// Every sample is its frame number modulo 32768, the right channel negated: no two frames
// within 32768 are alike, so tests can check exactly which frames were kept.
VirtualSignal counter();
// A wave file played once, then silence. The file is read whole when the signal is made;
// its rate is not converted, mono is copied to both channels, stereo is mixed for mono.
VirtualSignal file(const QString& path);
} // namespace sources

// In a test:
//   VirtualBackend backend;                       // stepped clock
//   backend.setInputSignal(sources::burst(...));
//   InputDevice input(backend); ... input.start();
//   backend.advance(4096);                        // the callbacks run now, on this thread
//   input.waitIdle();                             // events delivered, file written
//   player.waitIdle();                            // the same for a FilePlayer
//   backend.outputSamples();                      // what the output device was given
class VirtualBackend : public AudioBackend {
public:
    enum class Clock { Stepped, RealTime };

    explicit VirtualBackend(Clock clock = Clock::Stepped);
    ~VirtualBackend() override;

    QString name() const override { return QStringLiteral("Virtual"); }
    int inputDeviceCount() const override;
    QString inputDeviceName(int device) const override;
    int outputDeviceCount() const override;
    QString outputDeviceName(int device) const override;
    std::unique_ptr<AudioStream> openInput(int device, const StreamFormat& format,
                                           InputCallback callback) override;
    std::unique_ptr<AudioStream> openOutput(int device, const StreamFormat& format,
                                            OutputHandler handler) override;

    Clock clock() const { return clock_; }
    // The cards the machine has, by name (one "Virtual Input" and one "Virtual Output" until
    // set): a test plugs a card in or takes one away. Every input hears the one signal.
    void setInputDevices(QStringList names);
    void setOutputDevices(QStringList names);
    void setInputSignal(VirtualSignal signal);

    // Device loss, for tests: the open input (or output) streams fail and deliver nothing more;
    // a stalled input keeps running but its callbacks no longer come (a hung sound server).
    void failInput();
    void failOutput();
    void stallInput(bool stalled);
    // A late input (a sound server holding the input back): while held, the input streams
    // capture what the clock gives them (advance() on the stepped clock) but deliver none of it;
    // the release delivers the whole backlog at once, in callbacks of the usual size.
    void holdInput(bool held);

    // The output device as a card that plays only some rates (empty: every rate); another rate
    // is refused with 68 Device unavailable when a stream is opened.
    void setOutputRates(std::vector<int> rates);
    // The queue the output device reports (AudioStream::outputLatency) for streams opened
    // from now on; the virtual card itself still takes every frame at once.
    void setOutputLatency(double seconds);

    // Stepped clock: runs every started stream for `frames` frames of its own rate, in callbacks
    // of at most its framesPerBuffer. Returns when all callbacks have run.
    void advance(size_t frames);
    // Stepped clock: advance() by a duration, each stream by its rate's share of it.
    void advanceMs(int milliseconds);

    // What the output device was given since it was opened last (or cleared), interleaved,
    // in the format of the stream that was opened last.
    std::vector<int16_t> outputSamples() const;
    StreamFormat outputFormat() const;
    void clearOutput();
    int openStreamCount() const;

    class Stream;

private:
    friend class Stream;
    void unregister(Stream* s);
    void runRealTime();
    void appendOutput(const int16_t* samples, size_t count);

    const Clock clock_;
    mutable std::mutex mutex_; // held while callbacks run, so stop() waits for them
    std::vector<Stream*> streams_;
    VirtualSignal signal_;
    bool inputStalled_ = false;
    bool inputHeld_ = false;
    std::vector<int> outputRates_;
    mutable std::mutex namesMutex_;
    QStringList inputNames_{QStringLiteral("Virtual Input")};
    QStringList outputNames_{QStringLiteral("Virtual Output")};
    double outputLatency_ = 0;
    std::vector<int16_t> output_;
    StreamFormat outputFormat_;
    std::thread driver_;
    std::condition_variable wake_;
    bool quit_ = false;
};

} // namespace tamblor::audio
