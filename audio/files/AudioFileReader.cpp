#include "audio/files/AudioFileReader.h"
#include "audio/core/SampleMath.h"
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
    frames_ = std::min<int64_t>(sound_->frames(), layout_.frames());
    framesRead_ = 0;
    const WaveFormat& f = layout_.format;
    if (f.isPcm() && f.bitsPerSample % 8 == 0 && f.bitsPerSample >= 8 && f.bitsPerSample <= 32
        && f.blockAlign == f.channels * f.bitsPerSample / 8) {
        pcm_ = NativeFile::open(QDir::toNativeSeparators(path), NativeFile::Mode::Read);
        pcm_.adviseSequential();
    }
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
    sf_count_t got;
    const WaveFormat& f = layout_.format;
    if (pcm_.isOpen()) {
        const size_t want = size_t(count) * size_t(f.blockAlign);
        if (bytes_.size() < want)
            bytes_.resize(want);
        const size_t n = pcm_.readAt(int64_t(layout_.dataOffset) + framesRead_.load() * f.blockAlign, bytes_.data(), want);
        got = sf_count_t(n / size_t(f.blockAlign));
        pcmToFullScale(bytes_.data(), f.bitsPerSample, dst, size_t(got) * size_t(f.channels));
        framesRead_ += got; // a file cut short meanwhile ends here
        return got;
    }
    if (f.isFloat()) {
        // Float is read as float and then put at the same level on the integer scale.
        // (libsndfile's own reading of float as integers either truncates to whole units of
        // full scale or stretches the file's loudest sample to full scale.)
        const size_t samples = size_t(count) * size_t(std::max(1, layout_.format.channels));
        if (floats_.size() < samples)
            floats_.resize(samples);
        got = sf_readf_double(file_, floats_.data(), count);
        if (got > 0)
            floatToFullScale(floats_.data(), dst, size_t(got) * size_t(std::max(1, layout_.format.channels)));
    } else {
        got = sf_readf_int(file_, dst, count);
    }
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
    pcm_ = NativeFile();
}

} // namespace tamblor::audio
