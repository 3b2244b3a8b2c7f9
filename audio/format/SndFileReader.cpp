#include "audio/format/SndFileReader.h"
#include "audio/format/FileFailure.h"
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
    SF_VIRTUAL_IO io = sndVirtualIo<SndFileReader>();
    SF_INFO info{};
    file_ = sf_open_virtual(&io, SFM_READ, &info, this);
    if (!file_)
        throw sndfileFailure(nullptr, path);
    throwIfReadFailed();
    frames_ = info.frames;
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
