#include "audio/devices/OutputDevice.h"

namespace tamblor::audio {

OutputDevice::OutputDevice(AudioBackend& backend, ToneGenerator& generator, QObject* parent)
    : QObject(parent), backend_(backend), generator_(generator)
{
}

OutputDevice::~OutputDevice() { release(); }

void OutputDevice::start()
{
    if (!stream_) {
        const StreamFormat format{ToneGenerator::SampleRate, ToneGenerator::Channels, 1024};
        stream_ = backend_.openOutput(deviceId_, format, {[this](int16_t* out, size_t frames) {
                                                              generator_.render(out, frames);
                                                              levels_.measureStereo(out, frames);
                                                          },
                                                          {}});
    }
    stream_->start();
}

void OutputDevice::stop()
{
    if (stream_)
        stream_->stop();
    levels_.clear();
}

void OutputDevice::release()
{
    stop();
    stream_.reset();
}

} // namespace tamblor::audio
