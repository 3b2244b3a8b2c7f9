#include "audio/devices/InputDevice.h"
#include "audio/core/ThreadRole.h"
#include "audio/core/SampleMath.h"
#include "audio/devices/RecordingWriter.h"
#include "platform/Failure.h"
#include <QCoreApplication>
#include <QMetaMethod>

namespace tamblor::audio {

namespace {
// Three seconds of 44100 stereo: the worker may be held up that long without a loss.
constexpr size_t RingSamples = 1u << 18;
} // namespace

InputDevice::InputDevice(AudioBackend& backend, QObject* parent)
    : QObject(parent), backend_(backend), ring_(RingSamples), buffer_(BufferBytes / 2)
{
    worker_ = std::thread([this] { run(); });
}

InputDevice::~InputDevice()
{
    release();
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void InputDevice::setDeviceId(int device)
{
    settingsChanged_ = settingsChanged_ || device != deviceId_;
    deviceId_ = device;
}

void InputDevice::setSampleRate(int rate)
{
    if (rate != 8000 && rate != 11025 && rate != 22050 && rate != 44100)
        throw Failure(Failure::InvalidPropertyValue);
    setStreamRate(rate);
}

void InputDevice::setStreamRate(int rate)
{
    if (rate <= 0)
        throw Failure(Failure::InvalidPropertyValue);
    settingsChanged_ = settingsChanged_ || rate != rate_;
    rate_ = rate;
}

void InputDevice::setMode(int mode)
{
    if (mode != Mono && mode != Stereo)
        throw Failure(Failure::InvalidPropertyValue);
    const int channels = mode == Stereo ? 2 : 1;
    settingsChanged_ = settingsChanged_ || channels != channels_;
    channels_ = channels;
}

void InputDevice::setGain(int gain) { gain_.store(std::clamp(gain, 0, 32768)); }

void InputDevice::start()
{
    if (capturing_)
        return;
    // The worker may still be finishing the previous capture's tail and its captureEnded.
    syncWorker();
    if (stream_ && settingsChanged_)
        closeStream();
    if (!stream_) {
        {
            std::lock_guard lock(mutex_);
            streamChannels_ = channels_;
        }
        StreamFormat f{rate_, channels_, bufferFrames()};
        stream_ = backend_.openInput(deviceId_, f, [this](const int16_t* samples, size_t frames) {
            TAMBLOR_ONLY_DEVICE_CALLBACK();
            const size_t count = frames * size_t(streamChannels_);
            const size_t written = ring_.write(samples, count);
            if (written < count)
                dropped_.fetch_add((count - written) / size_t(streamChannels_), std::memory_order_relaxed);
        });
        settingsChanged_ = false;
        tap_.setFormat(rate_, channels_);
    }
    watch_.restart(samplesDelivered());
    stream_->start();
    capturing_ = true;
}

bool InputDevice::lost(int elapsedMs)
{
    if (!capturing_)
        return false;
    return deviceFailed() || watch_.lost(samplesDelivered(), elapsedMs);
}

void InputDevice::stop()
{
    if (!capturing_)
        return;
    stream_->stop();
    capturing_ = false;
    {
        std::lock_guard lock(mutex_);
        endRequested_ = true;
        woken_ = true;
    }
    wake_.notify_all();
}

void InputDevice::release()
{
    stop();
    closeStream();
}

void InputDevice::closeStream()
{
    if (!stream_)
        return;
    syncWorker();
    stream_.reset();
}

void InputDevice::attachWriter(RecordingWriter* writer)
{
    std::lock_guard lock(mutex_);
    writer_ = writer;
}

void InputDevice::wakeWorker()
{
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    wake_.notify_all();
}

void InputDevice::syncWorker()
{
    std::unique_lock lock(mutex_);
    const quint64 ticket = ++syncRequested_;
    woken_ = true;
    wake_.notify_all();
    synced_.wait(lock, [&] { return syncDone_ >= ticket; });
}

void InputDevice::waitIdle()
{
    syncWorker();
    QCoreApplication::processEvents();
    syncWorker();
}

void InputDevice::run()
{
    ThreadRoleScope role(ThreadRole::Worker);
    std::unique_lock lock(mutex_);
    while (!quit_) {
        // The callback cannot wake us without risking a lock, so the worker also polls.
        wake_.wait_for(lock, std::chrono::milliseconds(workerPollMs_.load()), [this] { return quit_ || woken_; });
        woken_ = false;
        const quint64 ticket = syncRequested_;
        const size_t bufferSamples = size_t(BufferBytes / 2);
        const bool ending = endRequested_;
        endRequested_ = false;
        RecordingWriter* writer = writer_;
        lock.unlock();

        while (ring_.available() >= bufferSamples)
            processBuffer(bufferSamples, writer);
        if (ending) {
            // The device has stopped: what is left is the last, short buffer.
            const size_t rest = ring_.available();
            if (rest > 0)
                processBuffer(rest, writer);
            levels_.clear();
        }
        if (writer)
            writer->service(ring_.consumed());
        if (ending)
            QMetaObject::invokeMethod(this, [this] { emit captureEnded(); }, Qt::QueuedConnection);

        lock.lock();
        syncDone_ = ticket;
        synced_.notify_all();
    }
}

void InputDevice::processBuffer(size_t samples, RecordingWriter* writer)
{
    const int channels = streamChannels_;
    const size_t begin = ring_.consumed();
    const size_t got = ring_.read(buffer_.data(), samples);
    const size_t frames = got / size_t(channels);
    applyGain(buffer_.data(), frames * size_t(channels), gain_.load());
    int16_t left = 0, right = 0;
    bufferPeaks(buffer_.data(), frames, channels, left, right);
    levels_.store(left, right);
    tap_.put(buffer_.data(), frames, channels);
    const qint64 sequence = lastSequence_.load() + 1;
    if (writer)
        writer->onBuffer(sequence, buffer_.data(), frames, channels, begin);
    lastSequence_.store(sequence);
    if (announceBuffers_.load())
        QMetaObject::invokeMethod(
            this, [this, sequence, left, right] { emit bufferFilled(sequence, left, right); },
            Qt::QueuedConnection);
}

void InputDevice::connectNotify(const QMetaMethod& signal)
{
    // Once something has listened, buffers are announced for good. Qt may call this, and a
    // disconnect's notice, with its own lock held: asking then whether anything still listens
    // would take that lock again and hang the thread that dropped a listener.
    if (signal == QMetaMethod::fromSignal(&InputDevice::bufferFilled))
        announceBuffers_.store(true);
}

} // namespace tamblor::audio
