#include "audio/files/AudioFileReader.h"
#include "audio/format/FileFailure.h"
#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <sndfile.h>

namespace tamblor::audio {

void AudioFileReader::setFileName(const QString& path)
{
    close();
    path_ = path;
    layout_ = RiffLayout();
    if (path.isEmpty())
        return;
    // The shared reader first: it decides what the file holds and refuses what libsndfile might
    // half-accept.
    layout_ = RiffReader::read(path);

    errno = 0;
    sound_ = std::make_unique<SndFileReader>(QDir::toNativeSeparators(path));
    file_ = sound_->handle();
    // Float samples are read as a share of full scale, like every other format.
    sf_command(file_, SFC_SET_SCALE_FLOAT_INT_READ, nullptr, SF_TRUE);
    frames_ = std::min<int64_t>(sound_->frames(), layout_.frames());
    framesRead_ = 0;
}

int64_t AudioFileReader::length() const
{
    const int rate = layout_.format.sampleRate;
    return rate > 0 ? frames_ * 1000 / rate : 0;
}

int64_t AudioFileReader::position() const
{
    const int rate = layout_.format.sampleRate;
    return rate > 0 ? framesRead_.load() * 1000 / rate : 0;
}

void AudioFileReader::rewind()
{
    if (!file_)
        throw Failure(Failure::BadFileMode);
    if (sf_seek(file_, 0, SEEK_SET) < 0) {
        sound_->throwIfReadFailed();
        throw sndfileFailure(file_, path_);
    }
    framesRead_ = 0;
}

int64_t AudioFileReader::readFrames(int32_t* dst, int64_t count)
{
    if (!file_)
        throw Failure(Failure::BadFileMode);
    count = std::min(count, frames_ - framesRead_.load());
    if (count <= 0)
        return 0;
    const sf_count_t got = sf_readf_int(file_, dst, count);
    sound_->throwIfReadFailed();
    if (got < 0 || (got == 0 && sf_error(file_) != SF_ERR_NO_ERROR))
        throw sndfileFailure(file_, path_);
    framesRead_ += got;
    return got;
}

void AudioFileReader::setBytesCopied(int64_t bytes)
{
    const int64_t size = int64_t(layout_.dataSize);
    framesRead_ = size > 0 ? int64_t(double(bytes) / double(size) * double(frames_)) : 0;
}

void AudioFileReader::close()
{
    sound_.reset();
    file_ = nullptr;
}

} // namespace tamblor::audio
