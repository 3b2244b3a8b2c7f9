#include "audio/devices/PortAudioBackend.h"
#include <portaudio.h>
#include <atomic>

namespace tamblor::audio {

Failure portAudioFailure(int paError)
{
    switch (paError) {
    case paInsufficientMemory:
        return Failure(Failure::OutOfMemory);
    case paInvalidDevice:
    case paDeviceUnavailable:
    case paInvalidChannelCount:
    case paInvalidSampleRate:
    case paSampleFormatNotSupported:
    case paBadIODeviceCombination:
    case paNotInitialized:
    case paHostApiNotFound:
        return Failure(Failure::DeviceUnavailable);
    default:
        return Failure(Failure::DeviceIOError);
    }
}

namespace {

class PaStreamHandle : public AudioStream {
public:
    PaStreamHandle(bool input, InputCallback in, OutputHandler out)
        : input_(input), in_(std::move(in)), out_(std::move(out)) {}
    ~PaStreamHandle() override
    {
        if (stream_)
            Pa_CloseStream(stream_);
    }

    void open(int paDevice, const StreamFormat& f, double latency)
    {
        PaStreamParameters p{};
        p.device = paDevice;
        p.channelCount = f.channels;
        p.sampleFormat = paInt16;
        p.suggestedLatency = latency;
        const PaError err = Pa_OpenStream(&stream_, input_ ? &p : nullptr, input_ ? nullptr : &p,
                                          f.sampleRate, paFramesPerBufferUnspecified, paNoFlag,
                                          &PaStreamHandle::callback, this);
        if (err != paNoError) {
            stream_ = nullptr;
            throw portAudioFailure(err);
        }
        // A stream that ends without being asked to has lost its device.
        Pa_SetStreamFinishedCallback(stream_, &PaStreamHandle::finished);
    }

    void start() override
    {
        if (Pa_IsStreamActive(stream_) == 1)
            return;
        stopping_ = false;
        failed_ = false;
        const PaError err = Pa_StartStream(stream_);
        if (err != paNoError)
            throw portAudioFailure(err);
        started_ = true;
    }
    void stop() override
    {
        stopping_ = true;
        started_ = false;
        if (Pa_IsStreamStopped(stream_) == 0)
            Pa_StopStream(stream_);
    }
    bool isActive() const override { return Pa_IsStreamActive(stream_) == 1; }
    bool hasFailed() const override
    {
        // Started and not stopped by us, yet no longer running (or PortAudio reports an error).
        return failed_.load() || (started_.load() && Pa_IsStreamActive(stream_) != 1);
    }

private:
    static int callback(const void* in, void* out, unsigned long frames,
                        const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* self)
    {
        auto* s = static_cast<PaStreamHandle*>(self);
        if (s->input_)
            s->in_(static_cast<const int16_t*>(in), frames);
        else
            s->out_.render(static_cast<int16_t*>(out), frames);
        return paContinue;
    }
    static void finished(void* self)
    {
        auto* s = static_cast<PaStreamHandle*>(self);
        if (!s->stopping_.load())
            s->failed_.store(true);
    }

    bool input_;
    InputCallback in_;
    OutputHandler out_;
    PaStream* stream_ = nullptr;
    std::atomic<bool> started_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> failed_{false};
};

int pick(const std::vector<int>& list, int device, bool input)
{
    if (device == AudioBackend::DefaultDevice) {
        const PaDeviceIndex d = input ? Pa_GetDefaultInputDevice() : Pa_GetDefaultOutputDevice();
        if (d == paNoDevice)
            throw Failure(Failure::DeviceUnavailable);
        return d;
    }
    if (device < 0 || device >= int(list.size()))
        throw Failure(Failure::DeviceUnavailable);
    return list[size_t(device)];
}

QString deviceName(const std::vector<int>& list, int device)
{
    if (device < 0 || device >= int(list.size()))
        throw Failure(Failure::InvalidCall);
    return QString::fromUtf8(Pa_GetDeviceInfo(list[size_t(device)])->name);
}

} // namespace

PortAudioBackend::PortAudioBackend()
{
    const PaError err = Pa_Initialize();
    if (err != paNoError)
        throw portAudioFailure(err);
    const int count = Pa_GetDeviceCount();
    for (int i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info->maxInputChannels > 0)
            inputs_.push_back(i);
        if (info->maxOutputChannels > 0)
            outputs_.push_back(i);
    }
}

PortAudioBackend::~PortAudioBackend() { Pa_Terminate(); }

QString PortAudioBackend::inputDeviceName(int device) const { return deviceName(inputs_, device); }
QString PortAudioBackend::outputDeviceName(int device) const { return deviceName(outputs_, device); }

std::unique_ptr<AudioStream> PortAudioBackend::openInput(int device, const StreamFormat& format,
                                                         InputCallback callback)
{
    const int d = pick(inputs_, device, true);
    auto s = std::make_unique<PaStreamHandle>(true, std::move(callback), OutputHandler{});
    s->open(d, format, Pa_GetDeviceInfo(d)->defaultHighInputLatency);
    return s;
}

std::unique_ptr<AudioStream> PortAudioBackend::openOutput(int device, const StreamFormat& format,
                                                          OutputHandler handler)
{
    const int d = pick(outputs_, device, false);
    auto s = std::make_unique<PaStreamHandle>(false, InputCallback{}, std::move(handler));
    s->open(d, format, Pa_GetDeviceInfo(d)->defaultHighOutputLatency);
    return s;
}

} // namespace tamblor::audio
