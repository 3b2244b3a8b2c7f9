#include "audio/files/TriggerPump.h"
#include "audio/format/FileFailure.h"
#include <vector>

namespace tamblor::audio {

TriggerPump::TriggerPump(AudioFileReader& reader, const ChainLinks& links, QObject* parent)
    : QObject(parent), reader_(reader), links_(links)
{
    connect(&job_, &jobs::Job::started, this, &TriggerPump::started);
    connect(&job_, &jobs::Job::finished, this, [this] {
        failure_ = job_.failure();
        emit finished();
    });
}

TriggerPump::~TriggerPump() { stop(); }

WaveFormat TriggerPump::destinationFormat() const
{
    if (!reader_.isOpen())
        throw invalidCall(QStringLiteral("no source file"));
    return links_.find(output_).resolveFormat(reader_.format());
}

void TriggerPump::start()
{
    stop();
    if (!reader_.isOpen())
        throw invalidCall(QStringLiteral("no source file"));
    ChainLink& first = links_.find(output_);
    reader_.rewind();
    failure_.reset();
    // A writer fed directly copies the file's sample bytes as they are; anything else is fed
    // decoded frames.
    const bool copy = first.copiesSource();
    if (copy)
        first.beginCopy(reader_.fileName());
    else
        first.begin(reader_.format());
    const WaveFormat& f = reader_.format();
    // Frames per step from the byte size of the source's own frames (ADPCM: as 16-bit PCM).
    const int frameBytes = f.isLinear() ? f.blockAlign : f.channels * 2;
    const int64_t framesPerStep = std::max<int64_t>(1, bufferSize_ / std::max(1, frameBytes));
    job_.start([this, first = &first, copy, framesPerStep, channels = f.channels](jobs::JobControl& job) {
        run(first, copy, framesPerStep, channels, job);
    });
}

void TriggerPump::run(ChainLink* first, bool copy, int64_t framesPerStep, int channels, jobs::JobControl& job)
{
    try {
        if (copy) {
            first->copySource([this, &job](int64_t bytes) {
                reader_.setBytesCopied(bytes);
                return !job.cancelled();
            });
        } else {
            std::vector<int32_t> buffer(size_t(framesPerStep) * size_t(channels));
            int64_t got;
            while (!job.cancelled() && (got = reader_.readFrames(buffer.data(), framesPerStep)) > 0)
                first->push(buffer.data(), got);
        }
        if (job.cancelled())
            first->abort();
        else
            first->finish();
    } catch (...) {
        first->abort();
        throw; // the job reports it
    }
}

void TriggerPump::stop() { job_.stop(); }

} // namespace tamblor::audio
