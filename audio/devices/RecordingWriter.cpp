#include "audio/devices/RecordingWriter.h"
#include "audio/devices/InputDevice.h"
#include "platform/Failure.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
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
    SNDFILE* file = nullptr;
    if (enabled) {
        if (!QFileInfo(fileName_).absoluteDir().exists())
            throw Failure(Failure::PathNotFound);
        SF_INFO info{};
        info.samplerate = input_.sampleRate();
        info.channels = input_.channels();
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        errno = 0;
        file = sf_open(QFile::encodeName(fileName_).constData(), SFM_WRITE, &info);
        if (!file)
            throw errno ? Failure::fromErrno(errno) : Failure(Failure::PathFileAccessError);
        sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
        if (fromSequence < 0)
            fromSequence = input_.lastSequence() + 1;
    }
    {
        std::lock_guard lock(mutex_);
        pending_.push_back({enabled, file, fromSequence, input_.producedSamples()});
        if (enabled)
            written_ = 0;
    }
    enabled_ = enabled;
    input_.wakeWorker();
}

qint64 RecordingWriter::framesWritten() const
{
    std::lock_guard lock(mutex_);
    return written_;
}

void RecordingWriter::onBuffer(qint64 sequence, const int16_t* samples, size_t frames, int channels,
                               size_t position)
{
    service(position);
    if (file_ && sequence >= startSequence_)
        write(samples, frames, channels);
    // Recycle the oldest kept buffer's storage: no allocation once the pre-roll is full.
    Kept kept;
    if (preRoll_.size() >= size_t(PreRollBuffers)) {
        kept = std::move(preRoll_.front());
        preRoll_.pop_front();
    }
    kept.sequence = sequence;
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
        if (!c.enable) {
            closeFile();
            continue;
        }
        closeFile();
        file_ = c.file;
        startSequence_ = c.fromSequence;
        for (const Kept& k : preRoll_)
            if (k.sequence >= startSequence_ && file_)
                write(k.samples.data(), k.samples.size() / size_t(k.channels), k.channels);
    }
}

void RecordingWriter::write(const int16_t* samples, size_t frames, int channels)
{
    (void)channels;
    const sf_count_t done = sf_writef_short(file_, samples, sf_count_t(frames));
    {
        std::lock_guard lock(mutex_);
        written_ += done;
    }
    if (done != sf_count_t(frames)) {
        closeFile();
        QMetaObject::invokeMethod(this, [this] {
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
}

} // namespace tamblor::audio
