#include "audio/devices/PortAudioBackend.h"
#include "audio/core/ThreadRole.h"
#include "platform/StderrCapture.h"
#include <QtGlobal>
#include <cstdio>
#include <dlfcn.h>
#include <portaudio.h>
#include <algorithm>
#include <atomic>
#ifdef TAMBLOR_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

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
        p.suggestedLatency = std::max(latency, f.latency);
        // An output's first queue is filled by the callback, not with silence: the sound starts
        // as soon as the device does.
        const PaStreamFlags flags = input_ ? paNoFlag : paPrimeOutputBuffersUsingStreamCallback;
        const PaError err = Pa_OpenStream(&stream_, input_ ? &p : nullptr, input_ ? nullptr : &p,
                                          f.sampleRate, paFramesPerBufferUnspecified, flags,
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
        // An output stops at once, dropping its queue (Pa_StopStream waits some 20 ms and
        // drops it all the same); whoever needs the queue heard plays it out first.
        if (Pa_IsStreamStopped(stream_) == 0)
            input_ ? Pa_StopStream(stream_) : Pa_AbortStream(stream_);
    }
    bool isActive() const override { return Pa_IsStreamActive(stream_) == 1; }
    bool hasFailed() const override
    {
        // Started and not stopped by us, yet no longer running (or PortAudio reports an error).
        return failed_.load() || (started_.load() && Pa_IsStreamActive(stream_) != 1);
    }
    double outputLatency() const override
    {
        const PaStreamInfo* info = input_ ? nullptr : Pa_GetStreamInfo(stream_);
        return info ? info->outputLatency : 0.0;
    }
    quint64 underflows() const override { return underflows_.load(); }

private:
    static int callback(const void* in, void* out, unsigned long frames,
                        const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags flags, void* self)
    {
        auto* s = static_cast<PaStreamHandle*>(self);
        ThreadRoleScope role(ThreadRole::DeviceCallback);
        if (flags & paOutputUnderflow)
            s->underflows_.fetch_add(1, std::memory_order_relaxed);
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
    std::atomic<quint64> underflows_{0};
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

#ifdef TAMBLOR_HAVE_ALSA
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}
#endif
void quietJack(const char*) {}

// PortAudio asks every host API for its devices on start-up, and ALSA and JACK print each
// card, plugin and server they cannot reach (some eighty lines on an ordinary machine) to the
// terminal. That probing is not the operator's business: what fails for real reaches the
// operator as a failure of the call that needed the device.
void quietProbing()
{
    // A JACK server is used when one runs, never started for the probe.
    if (qEnvironmentVariableIsEmpty("JACK_NO_START_SERVER"))
        qputenv("JACK_NO_START_SERVER", "1");
#ifdef TAMBLOR_HAVE_ALSA
    snd_lib_error_set_handler(&quietAlsa);
#endif
    // PortAudio's JACK host API comes with the JACK client library; its printing goes through
    // two handlers, set here when the library is loaded.
    using Handler = void (*)(const char*);
    using SetHandler = void (*)(Handler);
    for (const char* name : {"jack_set_error_function", "jack_set_info_function"}) {
        if (auto set = reinterpret_cast<SetHandler>(::dlsym(RTLD_DEFAULT, name)))
            set(&quietJack);
    }
}

} // namespace

PortAudioBackend::PortAudioBackend()
{
    quietProbing();
    // What the host APIs print while they look for devices is held back; it is shown only
    // when PortAudio cannot start, as the story behind that failure.
    StderrCapture probing;
    const PaError err = Pa_Initialize();
    const QByteArray printed = probing.release();
    if (err != paNoError) {
        std::fwrite(printed.constData(), 1, size_t(printed.size()), stderr);
        throw portAudioFailure(err);
    }
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
