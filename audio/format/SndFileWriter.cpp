#include "audio/format/SndFileWriter.h"
#include "audio/format/FileFailure.h"
#include "audio/format/SndFormat.h"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sndfile.h>

namespace tamblor::audio {

namespace {

constexpr size_t kBuffer = 1 << 20;

SndFileWriter& self(void* user) { return *static_cast<SndFileWriter*>(user); }

sf_count_t lengthOf(void* user) { return self(user).length(); }
sf_count_t seekTo(sf_count_t offset, int whence, void* user) { return self(user).seek(offset, whence); }
sf_count_t readInto(void* buffer, sf_count_t bytes, void* user) { return self(user).read(buffer, bytes); }
sf_count_t writeFrom(const void* data, sf_count_t bytes, void* user) { return self(user).write(data, bytes); }
sf_count_t tellOf(void* user) { return self(user).tell(); }

} // namespace

SndFileWriter::SndFileWriter(const QString& path, const WaveFormat& format)
    : path_(path), out_(NativeFile::open(path, NativeFile::Mode::Replace))
{
    pending_.reserve(kBuffer);
    SF_VIRTUAL_IO io{lengthOf, seekTo, readInto, writeFrom, tellOf};
    SF_INFO info{};
    info.samplerate = format.sampleRate;
    info.channels = format.channels;
    info.format = sndFormatFor(format);
    file_ = sf_open_virtual(&io, SFM_WRITE, &info, this);
    if (!file_) {
        throwIfWriteFailed();
        throw sndfileFailure(nullptr, path);
    }
}

SndFileWriter::~SndFileWriter()
{
    if (!file_)
        return;
    sf_close(file_);
    try {
        flush();
    } catch (const Failure&) {
        // abandoned: what is in the file stays
    }
}

void SndFileWriter::throwIfWriteFailed() const
{
    if (writeFailure_)
        throw *writeFailure_;
}

void SndFileWriter::close()
{
    if (!file_)
        return;
    const int rc = sf_close(file_);
    file_ = nullptr;
    throwIfWriteFailed();
    flush();
    out_.close();
    if (rc != 0)
        throw Failure(Failure::DeviceIOError);
}

void SndFileWriter::flush()
{
    if (pending_.empty())
        return;
    out_.writeAt(pendingStart_, pending_.data(), pending_.size());
    length_ = std::max(length_, pendingStart_ + int64_t(pending_.size()));
    pending_.clear();
}

int64_t SndFileWriter::seek(int64_t offset, int whence)
{
    const int64_t base = whence == SEEK_CUR ? position_ : whence == SEEK_END ? length() : 0;
    position_ = std::max<int64_t>(0, base + offset);
    return position_;
}

int64_t SndFileWriter::read(void*, int64_t)
{
    return 0; // a WAV being written is never read back
}

int64_t SndFileWriter::write(const void* data, int64_t bytes)
{
    try {
        // The buffer holds one run of bytes: a write elsewhere (the header) sends it out first.
        if (!pending_.empty() && position_ != pendingStart_ + int64_t(pending_.size()))
            flush();
        if (pending_.size() + size_t(bytes) > kBuffer)
            flush();
        if (pending_.empty())
            pendingStart_ = position_;
        if (size_t(bytes) >= kBuffer) {
            out_.writeAt(position_, data, size_t(bytes));
            length_ = std::max(length_, position_ + bytes);
        } else {
            const auto* p = static_cast<const uint8_t*>(data);
            pending_.insert(pending_.end(), p, p + bytes);
        }
        position_ += bytes;
        return bytes;
    } catch (const Failure& f) {
        // libsndfile is C: the failure waits here for the writer to ask for it.
        if (!writeFailure_)
            writeFailure_ = f;
        return 0;
    }
}

} // namespace tamblor::audio
