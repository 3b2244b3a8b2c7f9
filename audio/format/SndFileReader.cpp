#include "audio/format/SndFileReader.h"
#include "audio/format/FileFailure.h"
#include "audio/format/RiffReader.h"
#include "audio/format/SndVirtualIo.h"
#include <algorithm>
#include <cstring>

namespace tamblor::audio {

namespace {

constexpr size_t kBuffer = 1 << 20;

} // namespace

SndFileReader::SndFileReader(const QString& path)
    : source_(NativeFile::open(path, NativeFile::Mode::Read)), length_(source_.size()), buffer_(kBuffer)
{
    source_.adviseSequential();
    agreeWithRiffReader();
    SF_VIRTUAL_IO io = sndVirtualIo<SndFileReader>();
    SF_INFO info{};
    file_ = sf_open_virtual(&io, SFM_READ, &info, this);
    if (!file_)
        throw sndfileFailure(nullptr, path);
    throwIfReadFailed();
    frames_ = info.frames;
    sampleRate_ = info.samplerate;
    channels_ = info.channels;
}

void SndFileReader::agreeWithRiffReader()
{
    // A take cut short before its first header update says "no data" where the shared reader
    // finds the sound after the header: libsndfile is shown the size the shared reader found.
    try {
        const RiffLayout layout = RiffReader::parse(
            [this](uint64_t offset, void* buf, size_t n) { return source_.readAt(int64_t(offset), buf, n); },
            uint64_t(length_));
        uint8_t stated[4];
        if (layout.dataOffset < 4 || source_.readAt(int64_t(layout.dataOffset - 4), stated, 4) != 4)
            return;
        const uint32_t size = stated[0] | stated[1] << 8 | stated[2] << 16 | uint32_t(stated[3]) << 24;
        if (size != 0 || layout.dataSize == 0 || layout.dataSize > 0xFFFFFFFFu)
            return;
        dataSizeAt_ = int64_t(layout.dataOffset - 4);
        for (int i = 0; i < 4; ++i)
            dataSize_[i] = uint8_t(layout.dataSize >> (8 * i));
    } catch (const Failure&) {
        // Not a wave file the shared reader reads: libsndfile decides alone.
    }
}

SndFileReader::~SndFileReader()
{
    if (file_)
        sf_close(file_);
}

void SndFileReader::throwIfReadFailed() const
{
    if (readFailure_)
        throw *readFailure_;
}

int64_t SndFileReader::seek(int64_t offset, int whence)
{
    position_ = seekedPosition(position_, length_, offset, whence);
    return position_;
}

int64_t SndFileReader::read(void* buffer, int64_t bytes)
{
    const int64_t start = position_;
    const int64_t done = readFromFile(buffer, bytes);
    if (dataSizeAt_ >= 0) {
        auto* out = static_cast<uint8_t*>(buffer);
        for (int64_t i = 0; i < 4; ++i) {
            const int64_t at = dataSizeAt_ + i - start;
            if (at >= 0 && at < done)
                out[at] = dataSize_[i];
        }
    }
    return done;
}

int64_t SndFileReader::readFromFile(void* buffer, int64_t bytes)
{
    auto* out = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    try {
        while (done < bytes && position_ < length_) {
            if (position_ >= bufferStart_ && position_ < bufferStart_ + buffered_) {
                const int64_t n = std::min(bytes - done, bufferStart_ + buffered_ - position_);
                std::memcpy(out + done, buffer_.data() + (position_ - bufferStart_), size_t(n));
                done += n;
                position_ += n;
                continue;
            }
            if (bytes - done >= int64_t(buffer_.size())) { // a large read goes straight through
                const size_t n = source_.readAt(position_, out + done, size_t(bytes - done));
                if (n == 0)
                    break;
                done += int64_t(n);
                position_ += int64_t(n);
                continue;
            }
            buffered_ = int64_t(source_.readAt(position_, buffer_.data(), buffer_.size()));
            bufferStart_ = position_;
            if (buffered_ == 0)
                break;
        }
    } catch (const Failure& f) {
        // libsndfile is C: the failure waits here for the reader to ask for it.
        readFailure_ = f;
    }
    return done;
}

} // namespace tamblor::audio
