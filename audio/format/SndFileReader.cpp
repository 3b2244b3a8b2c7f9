#include "audio/format/SndFileReader.h"
#include "audio/format/FileFailure.h"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sndfile.h>

namespace tamblor::audio {

namespace {

constexpr size_t kBuffer = 1 << 20;

SndFileReader& self(void* user) { return *static_cast<SndFileReader*>(user); }

sf_count_t lengthOf(void* user) { return self(user).length(); }
sf_count_t seekTo(sf_count_t offset, int whence, void* user) { return self(user).seek(offset, whence); }
sf_count_t readInto(void* buffer, sf_count_t bytes, void* user) { return self(user).read(buffer, bytes); }
sf_count_t writeNothing(const void*, sf_count_t, void*) { return 0; }
sf_count_t tellOf(void* user) { return self(user).tell(); }

} // namespace

SndFileReader::SndFileReader(const QString& path)
    : source_(NativeFile::open(path, NativeFile::Mode::Read)), length_(source_.size()), buffer_(kBuffer)
{
    source_.adviseSequential();
    SF_VIRTUAL_IO io{lengthOf, seekTo, readInto, writeNothing, tellOf};
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
    const int64_t base = whence == SEEK_CUR ? position_ : whence == SEEK_END ? length_ : 0;
    position_ = std::max<int64_t>(0, base + offset);
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
