#include "audio/devices/VirtualBackend.h"
#include "audio/core/ThreadRole.h"
#include "platform/Failure.h"
#include <algorithm>

namespace tamblor::audio {

using SteadyClock = std::chrono::steady_clock;

class VirtualBackend::Stream : public AudioStream {
public:
    Stream(VirtualBackend& owner, const StreamFormat& f, InputCallback in, OutputHandler out)
        : owner_(owner), format_(f), in_(std::move(in)), out_(std::move(out)),
          scratch_(size_t(std::max(1, f.framesPerBuffer)) * size_t(f.channels))
    {
    }
    ~Stream() override { owner_.unregister(this); }

    void start() override
    {
        std::lock_guard lock(owner_.mutex_);
        if (active_)
            return;
        active_ = true;
        startedAt_ = SteadyClock::now();
        framesAtStart_ = framesRun_;
    }
    void stop() override
    {
        std::lock_guard lock(owner_.mutex_);
        active_ = false;
    }
    bool isActive() const override
    {
        std::lock_guard lock(owner_.mutex_);
        return active_;
    }
    bool hasFailed() const override
    {
        std::lock_guard lock(owner_.mutex_);
        return failed_;
    }
    double outputLatency() const override { return in_ ? 0.0 : latency_; }

    // Called with the owner's mutex held.
    void run(size_t frames, bool stepped)
    {
        const size_t chunk = size_t(std::max(1, format_.framesPerBuffer));
        // A failed device delivers nothing more; a stalled input holds back its callbacks.
        if (failed_ || (in_ && owner_.inputStalled_))
            return;
        if (in_ && owner_.inputHeld_) {
            // On the real-time clock the frames owed simply grow until the release.
            if (stepped)
                heldBack_ += frames;
            return;
        }
        while (frames > 0) {
            const size_t n = std::min(frames, chunk);
            if (in_) {
                // The signal is what the card hears: it comes in on the card's own thread, so
                // a source built from the device layer's generators runs by its rules too.
                ThreadRoleScope role(ThreadRole::DeviceCallback);
                if (owner_.signal_)
                    owner_.signal_(scratch_.data(), n, format_.channels, format_.sampleRate, framesRun_);
                else
                    std::fill_n(scratch_.begin(), n * size_t(format_.channels), int16_t(0));
                in_(scratch_.data(), n);
            } else {
                if (stepped && out_.prepare)
                    out_.prepare(n);
                {
                    ThreadRoleScope role(ThreadRole::DeviceCallback);
                    out_.render(scratch_.data(), n);
                }
                owner_.appendOutput(scratch_.data(), n * size_t(format_.channels));
            }
            framesRun_ += n;
            frames -= n;
        }
    }
    // Frames a real-time clock owes this stream by now.
    size_t due(SteadyClock::time_point now) const
    {
        const double seconds = std::chrono::duration<double>(now - startedAt_).count();
        const auto target = uint64_t(seconds * format_.sampleRate) + framesAtStart_;
        return target > framesRun_ ? size_t(target - framesRun_) : 0;
    }

    VirtualBackend& owner_;
    StreamFormat format_;
    InputCallback in_;
    OutputHandler out_;
    std::vector<int16_t> scratch_;
    bool active_ = false;
    bool failed_ = false;
    double latency_ = 0; // set when opened
    uint64_t framesRun_ = 0;
    uint64_t framesAtStart_ = 0;
    size_t heldBack_ = 0; // captured while the input was held, not delivered yet
    SteadyClock::time_point startedAt_;
};

VirtualBackend::VirtualBackend(Clock clock) : clock_(clock)
{
    if (clock_ == Clock::RealTime)
        driver_ = std::thread([this] { runRealTime(); });
}

VirtualBackend::~VirtualBackend()
{
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    if (driver_.joinable())
        driver_.join();
}

int VirtualBackend::inputDeviceCount() const
{
    std::lock_guard lock(namesMutex_);
    return int(inputNames_.size());
}

int VirtualBackend::outputDeviceCount() const
{
    std::lock_guard lock(namesMutex_);
    return int(outputNames_.size());
}

QString VirtualBackend::inputDeviceName(int device) const
{
    std::lock_guard lock(namesMutex_);
    if (device < 0 || device >= inputNames_.size())
        throw Failure(Failure::InvalidCall);
    return inputNames_.at(device);
}

QString VirtualBackend::outputDeviceName(int device) const
{
    std::lock_guard lock(namesMutex_);
    if (device < 0 || device >= outputNames_.size())
        throw Failure(Failure::InvalidCall);
    return outputNames_.at(device);
}

void VirtualBackend::setInputDevices(QStringList names)
{
    std::lock_guard lock(namesMutex_);
    inputNames_ = std::move(names);
}

void VirtualBackend::setOutputDevices(QStringList names)
{
    std::lock_guard lock(namesMutex_);
    outputNames_ = std::move(names);
}

std::unique_ptr<AudioStream> VirtualBackend::openInput(int device, const StreamFormat& format,
                                                       InputCallback callback)
{
    if (device != DefaultDevice && (device < 0 || device >= inputDeviceCount()))
        throw Failure(Failure::DeviceUnavailable);
    auto s = std::make_unique<Stream>(*this, format, std::move(callback), OutputHandler{});
    std::lock_guard lock(mutex_);
    streams_.push_back(s.get());
    return s;
}

std::unique_ptr<AudioStream> VirtualBackend::openOutput(int device, const StreamFormat& format,
                                                        OutputHandler handler)
{
    if (device != DefaultDevice && (device < 0 || device >= outputDeviceCount()))
        throw Failure(Failure::DeviceUnavailable);
    std::lock_guard lock(mutex_);
    if (!outputRates_.empty() &&
        std::find(outputRates_.begin(), outputRates_.end(), format.sampleRate) == outputRates_.end())
        throw Failure(Failure::DeviceUnavailable);
    auto s = std::make_unique<Stream>(*this, format, InputCallback{}, std::move(handler));
    s->latency_ = outputLatency_;
    streams_.push_back(s.get());
    output_.clear();
    outputFormat_ = format;
    return s;
}

void VirtualBackend::unregister(Stream* s)
{
    std::lock_guard lock(mutex_);
    streams_.erase(std::remove(streams_.begin(), streams_.end(), s), streams_.end());
}

void VirtualBackend::setInputSignal(VirtualSignal signal)
{
    std::lock_guard lock(mutex_);
    signal_ = std::move(signal);
}

void VirtualBackend::failInput()
{
    std::lock_guard lock(mutex_);
    for (Stream* s : streams_)
        if (s->in_)
            s->failed_ = true;
}

void VirtualBackend::failOutput()
{
    std::lock_guard lock(mutex_);
    for (Stream* s : streams_)
        if (!s->in_)
            s->failed_ = true;
}

void VirtualBackend::stallInput(bool stalled)
{
    std::lock_guard lock(mutex_);
    inputStalled_ = stalled;
}

void VirtualBackend::holdInput(bool held)
{
    std::lock_guard lock(mutex_);
    inputHeld_ = held;
    if (held)
        return;
    for (Stream* s : streams_) {
        if (!s->in_)
            continue;
        const size_t backlog = s->heldBack_;
        s->heldBack_ = 0;
        if (s->active_ && backlog > 0)
            s->run(backlog, true);
    }
}

void VirtualBackend::setOutputRates(std::vector<int> rates)
{
    std::lock_guard lock(mutex_);
    outputRates_ = std::move(rates);
}

void VirtualBackend::setOutputLatency(double seconds)
{
    std::lock_guard lock(mutex_);
    outputLatency_ = seconds;
}

void VirtualBackend::advance(size_t frames)
{
    std::lock_guard lock(mutex_);
    for (Stream* s : streams_)
        if (s->active_)
            s->run(frames, true);
}

void VirtualBackend::advanceMs(int milliseconds)
{
    std::lock_guard lock(mutex_);
    for (Stream* s : streams_)
        if (s->active_)
            s->run(size_t(int64_t(s->format_.sampleRate) * milliseconds / 1000), true);
}

void VirtualBackend::runRealTime()
{
    std::unique_lock lock(mutex_);
    while (!quit_) {
        wake_.wait_for(lock, std::chrono::milliseconds(5), [this] { return quit_; });
        const auto now = SteadyClock::now();
        for (Stream* s : streams_)
            if (s->active_)
                s->run(s->due(now), false);
    }
}

void VirtualBackend::appendOutput(const int16_t* samples, size_t count)
{
    // A virtual device left running for hours must not eat the memory: keep the last minutes.
    constexpr size_t limit = size_t(44100) * 2 * 300;
    if (output_.size() + count > limit)
        output_.erase(output_.begin(), output_.begin() + ptrdiff_t(output_.size() / 2));
    output_.insert(output_.end(), samples, samples + count);
}

std::vector<int16_t> VirtualBackend::outputSamples() const
{
    std::lock_guard lock(mutex_);
    return output_;
}

StreamFormat VirtualBackend::outputFormat() const
{
    std::lock_guard lock(mutex_);
    return outputFormat_;
}

void VirtualBackend::clearOutput()
{
    std::lock_guard lock(mutex_);
    output_.clear();
}

int VirtualBackend::openStreamCount() const
{
    std::lock_guard lock(mutex_);
    return int(streams_.size());
}

} // namespace tamblor::audio
