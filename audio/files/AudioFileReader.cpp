#include "audio/files/AudioFileReader.h"
#include "audio/files/FileFailure.h"
#include "audio/files/WaveFile.h"
#include <QDir>
#include <cerrno>
#include <sndfile.h>

namespace tamblor::audio {

void AudioFileReader::setFileName(const QString& path)
{
    close();
    path_ = path;
    if (path.isEmpty())
        return;
    // Our own header reader first: it refuses what libsndfile might half-accept.
    WaveFile header;
    header.setFileName(path);
    format_ = header.format();
    header.close();

    SF_INFO info{};
    errno = 0;
    const QByteArray native = QFile::encodeName(QDir::toNativeSeparators(path));
    file_ = sf_open(native.constData(), SFM_READ, &info);
    if (!file_)
        throw sndfileFailure(nullptr, path);
    frames_ = info.frames;
    framesRead_ = 0;
}

int64_t AudioFileReader::length() const
{
    return format_.sampleRate > 0 ? frames_ * 1000 / format_.sampleRate : 0;
}

int64_t AudioFileReader::position() const
{
    return format_.sampleRate > 0 ? framesRead_.load() * 1000 / format_.sampleRate : 0;
}

void AudioFileReader::rewind()
{
    if (!file_)
        throw Failure(Failure::BadFileMode);
    if (sf_seek(file_, 0, SEEK_SET) < 0)
        throw sndfileFailure(file_, path_);
    framesRead_ = 0;
}

int64_t AudioFileReader::readFrames(int16_t* dst, int64_t count)
{
    if (!file_)
        throw Failure(Failure::BadFileMode);
    const sf_count_t got = sf_readf_short(file_, dst, count);
    if (got < 0 || (got == 0 && sf_error(file_) != SF_ERR_NO_ERROR))
        throw sndfileFailure(file_, path_);
    framesRead_ += got;
    return got;
}

void AudioFileReader::close()
{
    if (file_)
        sf_close(file_);
    file_ = nullptr;
}

} // namespace tamblor::audio
