#include "audio/files/WaveFileWriter.h"
#include "audio/core/SampleMath.h"
#include "audio/format/FileFailure.h"
#include "audio/format/SndFileWriter.h"
#include <QDir>
#include <QFile>
#include <cerrno>
#include <sndfile.h>

namespace tamblor::audio {

WaveFileWriter::WaveFileWriter(QString linkName) : name_(std::move(linkName)) {}

WaveFileWriter::~WaveFileWriter() { abort(); }

void WaveFileWriter::begin(const WaveFormat& in)
{
    abort();
    if (path_.isEmpty())
        throw invalidCall(QStringLiteral("no file name"));
    sound_ = std::make_unique<SndFileWriter>(QDir::toNativeSeparators(path_), in);
    file_ = sound_->handle();
    // Integer frames into a float file: 2^31 is 1.0 (libsndfile would store the integers as
    // they are, far beyond full scale).
    if (in.isFloat())
        sf_command(file_, SFC_SET_SCALE_INT_FLOAT_WRITE, nullptr, SF_TRUE);
    format_ = in;
}

void WaveFileWriter::push(const int32_t* frames, int64_t count)
{
    if (!file_)
        throw Failure(Failure::BadFileMode);
    errno = 0;
    if (format_.isPcm()) {
        // PCM is narrowed here and handed over as bytes: the same bytes as libsndfile's own
        // encoding, in one pass instead of its many small ones.
        const size_t samples = size_t(count) * size_t(format_.channels);
        const size_t bytes = samples * size_t(format_.bitsPerSample / 8);
        if (bytes_.size() < bytes)
            bytes_.resize(bytes);
        fullScaleToPcm(frames, format_.bitsPerSample, bytes_.data(), samples);
        if (sf_write_raw(file_, bytes_.data(), sf_count_t(bytes)) != sf_count_t(bytes)) {
            sound_->throwIfWriteFailed();
            throw sndfileFailure(file_, path_);
        }
        return;
    }
    if (sf_writef_int(file_, frames, count) != count) {
        sound_->throwIfWriteFailed();
        throw sndfileFailure(file_, path_);
    }
}

void WaveFileWriter::beginCopy(const QString& sourcePath)
{
    abort();
    if (path_.isEmpty())
        throw invalidCall(QStringLiteral("no file name"));
    auto copy = std::make_unique<WaveCopy>(sourcePath);
    if (sameFile(sourcePath, path_))
        throw invalidCall(QStringLiteral("a file cannot be copied onto itself"));
    out_ = NativeFile::open(path_, NativeFile::Mode::Replace);
    format_ = copy->layout().format;
    copy_ = std::move(copy);
}

bool WaveFileWriter::copySource(const std::function<bool(int64_t)>& progress)
{
    if (!copy_)
        throw Failure(Failure::BadFileMode);
    return copy_->writeTo(out_, progress);
}

void WaveFileWriter::close()
{
    if (copy_) {
        copy_.reset();
        out_.close();
        return;
    }
    if (!file_)
        return;
    file_ = nullptr;
    const std::unique_ptr<SndFileWriter> sound = std::move(sound_);
    sound->close();
}

void WaveFileWriter::abort() noexcept
{
    copy_.reset();
    out_ = NativeFile();
    sound_.reset();
    file_ = nullptr;
}

} // namespace tamblor::audio
