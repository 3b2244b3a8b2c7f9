#include "audio/files/TriggerPump.h"
#include "audio/core/ThreadRole.h"
#include "audio/format/FileFailure.h"
#include <QMetaObject>
#include <vector>

namespace tamblor::audio {

TriggerPump::TriggerPump(AudioFileReader& reader, const ChainLinks& links, QObject* parent)
    : QObject(parent), reader_(reader), links_(links)
{
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
    cancel_ = false;
    running_ = true;
    const unsigned generation = ++generation_;
    worker_ = std::thread(&TriggerPump::run, this, &first, copy, framesPerStep, f.channels, generation);
}

void TriggerPump::run(ChainLink* first, bool copy, int64_t framesPerStep, int channels, unsigned generation)
{
    ThreadRoleScope role(ThreadRole::Worker);
    QMetaObject::invokeMethod(this, [this, generation] {
        if (generation == generation_)
            emit started();
    }, Qt::QueuedConnection);

    std::optional<Failure> failure;
    try {
        if (copy) {
            first->copySource([this](int64_t bytes) {
                reader_.setBytesCopied(bytes);
                return !cancel_;
            });
        } else {
            std::vector<int32_t> buffer(size_t(framesPerStep) * size_t(channels));
            int64_t got;
            while (!cancel_ && (got = reader_.readFrames(buffer.data(), framesPerStep)) > 0)
                first->push(buffer.data(), got);
        }
        if (cancel_)
            first->abort();
        else
            first->finish();
    } catch (const Failure& f) {
        failure = f;
        first->abort();
    } catch (const std::exception& e) {
        failure = Failure(Failure::DeviceIOError, QString::fromLocal8Bit(e.what()));
        first->abort();
    }

    QMetaObject::invokeMethod(this, [this, generation, failure] {
        if (generation != generation_)
            return; // stopped meanwhile
        join();
        running_ = false;
        failure_ = failure;
        emit finished();
    }, Qt::QueuedConnection);
}

void TriggerPump::join()
{
    if (worker_.joinable())
        worker_.join();
}

void TriggerPump::stop()
{
    cancel_ = true;
    ++generation_;
    join();
    running_ = false;
}

} // namespace tamblor::audio
