#include "audio/devices/RecordingWriter.h"
#include "audio/core/ThreadRole.h"
#include "audio/devices/InputDevice.h"
#include "audio/format/SndFormat.h"
#include "platform/Failure.h"
#include <sndfile.h>

namespace tamblor::audio {

RecordingWriter::RecordingWriter(InputDevice& input, QObject* parent) : QObject(parent), input_(input)
{
    input_.attachWriter(this);
}

RecordingWriter::~RecordingWriter()
{
    input_.attachWriter(nullptr);
    input_.syncWorker(); // the worker no longer uses this object
    for (const Command& c : pending_)
        if (c.file)
            sf_close(c.file);
    closeFile();
}

void RecordingWriter::setEnabled(bool enabled, qint64 fromSequence)
{
    if (enabled == enabled_)
        return;
    const WaveFormat format = fileFormat();
    SNDFILE* file = nullptr;
    if (enabled) {
        file = openSndWriter(fileName_, format);
        sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
        if (fromSequence < 0)
            fromSequence = input_.lastSequence() + 1;
    }
    {
        std::lock_guard lock(mutex_);
        if (enabled)
            ++generation_;
        pending_.push_back({enabled, file, fromSequence, input_.producedSamples(), format, framesWithin(format, sizeLimit_),
                            false, 0, false, generation_, 0});
        if (enabled)
            written_ = 0;
    }
    enabled_ = enabled;
    paused_ = false;
    input_.wakeWorker();
}

void RecordingWriter::enableFromSample(quint64 firstSample, qint64 frames)
{
    if (enabled_)
        return;
    const WaveFormat format = fileFormat();
    SNDFILE* file = openSndWriter(fileName_, format);
    sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    const qint64 sizeFrames = framesWithin(format, sizeLimit_);
    const bool bound = frames > 0 && frames <= sizeFrames;
    {
        std::lock_guard lock(mutex_);
        ++generation_;
        pending_.push_back({true, file, 0, input_.producedSamples(), format, bound ? frames : sizeFrames, true,
                            firstSample, bound, generation_, 0});
        written_ = 0;
    }
    enabled_ = true;
    paused_ = false;
    input_.wakeWorker();
}

void RecordingWriter::pause(qint64 atSample)
{
    if (!enabled_ || paused_)
        return;
    {
        std::lock_guard lock(mutex_);
        Command c{};
        c.enable = true;
        c.gate = 1;
        c.firstSample = atSample < 0 ? quint64(input_.producedSamples()) : quint64(atSample);
        pending_.push_back(c);
    }
    paused_ = true;
    input_.wakeWorker();
}

void RecordingWriter::resume(qint64 atSample)
{
    if (!enabled_ || !paused_)
        return;
    {
        std::lock_guard lock(mutex_);
        Command c{};
        c.enable = true;
        c.gate = 2;
        c.firstSample = atSample < 0 ? quint64(input_.producedSamples()) : quint64(atSample);
        pending_.push_back(c);
    }
    paused_ = false;
    input_.wakeWorker();
}

void RecordingWriter::endBeforeSample(quint64 atSample)
{
    if (!enabled_)
        return;
    {
        // A gate that closes and is never opened again.
        std::lock_guard lock(mutex_);
        Command c{};
        c.enable = true;
        c.gate = 1;
        c.firstSample = atSample;
        pending_.push_back(c);
    }
    input_.wakeWorker();
}

quint64 RecordingWriter::firstSampleWritten() const
{
    std::lock_guard lock(mutex_);
    return firstWritten_;
}

WaveFormat RecordingWriter::fileFormat() const
{
    const int rate = input_.sampleRate();
    const int channels = input_.channels();
    if (encoding_ == Encoding::Pcm16)
        return WaveFormat::pcm(rate, channels, 16);
    // The block sizes the wave writer of libsndfile chooses for Microsoft ADPCM.
    const int product = rate * channels;
    const int blockAlign = product < 12000 ? 256 : product < 23000 ? 512 : product < 44000 ? 1024 : 2048;
    WaveFormat f;
    f.formatTag = WaveFormat::MsAdpcm;
    f.channels = channels;
    f.sampleRate = rate;
    f.bitsPerSample = 4;
    f.blockAlign = blockAlign;
    f.samplesPerBlock = 2 + 2 * (blockAlign - 7 * channels) / channels;
    f.avgBytesPerSecond = int(int64_t(rate) * blockAlign / f.samplesPerBlock);
    return f;
}

qint64 RecordingWriter::framesWithin(const WaveFormat& format, qint64 bytes)
{
    // Room for the header (fmt with the ADPCM coefficients, fact, data) and a partial block.
    const qint64 data = bytes - 1024 - format.blockAlign;
    if (data <= 0)
        return 0;
    if (format.isPcm())
        return data / format.blockAlign;
    return data / format.blockAlign * format.samplesPerBlock;
}

qint64 RecordingWriter::framesWritten() const
{
    std::lock_guard lock(mutex_);
    return written_;
}

void RecordingWriter::onBuffer(qint64 sequence, const int16_t* samples, size_t frames, int channels,
                               size_t position)
{
    TAMBLOR_ONLY_WORKER();
    service(position);
    if (file_ && sequence >= startSequence_)
        writeFrom(samples, frames, channels, position);
    // Recycle the oldest kept buffer's storage: no allocation once the pre-roll is full.
    Kept kept;
    if (preRoll_.size() >= size_t(PreRollBuffers)) {
        kept = std::move(preRoll_.front());
        preRoll_.pop_front();
    }
    kept.sequence = sequence;
    kept.position = position;
    kept.channels = channels;
    kept.samples.assign(samples, samples + frames * size_t(channels));
    preRoll_.push_back(std::move(kept));
}

void RecordingWriter::service(size_t position)
{
    std::vector<Command> commands;
    {
        // Commands apply in order; a disable waits for the input it still has to write.
        std::lock_guard lock(mutex_);
        size_t due = 0;
        while (due < pending_.size() && (pending_[due].enable || pending_[due].untilSample <= position))
            ++due;
        commands.assign(pending_.begin(), pending_.begin() + ptrdiff_t(due));
        pending_.erase(pending_.begin(), pending_.begin() + ptrdiff_t(due));
    }
    for (const Command& c : commands) {
        if (c.gate != 0) {
            if (file_)
                gates_.emplace_back(c.firstSample, c.gate == 2);
            continue;
        }
        if (!c.enable) {
            closeFile();
            continue;
        }
        enable(c);
    }
}

void RecordingWriter::enable(const Command& c)
{
    closeFile();
    file_ = c.file;
    startSequence_ = c.fromSequence;
    fileFormat_ = c.format;
    frameLimit_ = c.frameLimit;
    lengthBound_ = c.lengthBound;
    fromSample_ = c.fromSample;
    firstSample_ = c.firstSample;
    firstSeen_ = false;
    fileGeneration_ = c.generation;
    gates_.clear();
    gateOpen_ = true;
    for (const Kept& k : preRoll_) {
        if (!file_)
            break;
        // From a sample: the buffer holding it and the ones after (all that is kept when the
        // sample is older than the pre-roll).
        const bool wanted = fromSample_ ? k.position + k.samples.size() > firstSample_ : k.sequence >= startSequence_;
        if (wanted)
            writeFrom(k.samples.data(), k.samples.size() / size_t(k.channels), k.channels, k.position);
    }
    if (fromSample_)
        startSequence_ = 0; // every buffer from now on is written (from the sample on)
}

void RecordingWriter::writeFrom(const int16_t* samples, size_t frames, int channels, size_t position)
{
    size_t skip = 0;
    if (fromSample_ && !firstSeen_ && firstSample_ > position)
        skip = std::min(frames, size_t((firstSample_ - position) / quint64(channels)));
    if (skip == frames)
        return;
    if (!firstSeen_) {
        firstSeen_ = true;
        std::lock_guard lock(mutex_);
        firstWritten_ = position + skip * size_t(channels);
    }
    // Pauses and resumes within this buffer: only the stretches while open are written.
    size_t from = skip;
    while (from < frames) {
        const quint64 at = position + from * size_t(channels);
        while (!gates_.empty() && gates_.front().first <= at) {
            gateOpen_ = gates_.front().second;
            gates_.pop_front();
        }
        size_t until = frames;
        if (!gates_.empty()) {
            const quint64 next = gates_.front().first;
            if (next < position + frames * size_t(channels))
                until = size_t((next - position) / quint64(channels));
        }
        if (until <= from)
            until = from + 1; // a gate inside a frame applies from that frame on
        if (gateOpen_)
            write(samples + from * size_t(channels), until - from, channels);
        if (!file_)
            return;
        from = until;
    }
}

void RecordingWriter::write(const int16_t* samples, size_t frames, int channels)
{
    (void)channels;
    if (!file_)
        return;
    qint64 before = 0;
    {
        std::lock_guard lock(mutex_);
        before = written_;
    }
    // Near the size limit only what still fits is written, and the file is finished there.
    const bool atLimit = before + qint64(frames) > frameLimit_;
    const sf_count_t wanted = atLimit ? sf_count_t(std::max<qint64>(frameLimit_ - before, 0)) : sf_count_t(frames);
    const sf_count_t done = wanted > 0 ? sf_writef_short(file_, samples, wanted) : 0;
    {
        std::lock_guard lock(mutex_);
        written_ += done;
    }
    if (done == wanted && atLimit) {
        closeFile();
        const bool length = lengthBound_;
        const quint64 generation = fileGeneration_;
        QMetaObject::invokeMethod(this, [this, length, generation] {
            if (generation != generation_)
                return; // a later file is open: this one was closed already
            enabled_ = false;
            if (length)
                emit lengthReached();
            else
                emit limitReached();
        }, Qt::QueuedConnection);
        return;
    }
    if (done != wanted) {
        closeFile();
        const quint64 generation = fileGeneration_;
        QMetaObject::invokeMethod(this, [this, generation] {
            if (generation != generation_)
                return;
            enabled_ = false;
            const Failure f(Failure::DiskFull);
            emit writeFailed(f.number(), f.description());
        }, Qt::QueuedConnection);
    }
}

void RecordingWriter::closeFile()
{
    if (file_)
        sf_close(file_);
    file_ = nullptr;
    gates_.clear();
    gateOpen_ = true;
}

} // namespace tamblor::audio
