#include "audio/format/SndFileWriter.h"
#include "audio/format/FileFailure.h"
#include "audio/format/SndVirtualIo.h"
#include "audio/format/SndFormat.h"
#include <algorithm>
#include <cstring>

namespace tamblor::audio {

namespace {

constexpr size_t kBuffer = 1 << 20;

} // namespace

SndFileWriter::SndFileWriter(const QString& path, const WaveFormat& format)
    : path_(path), out_(NativeFile::open(path, NativeFile::Mode::Replace))
{
    pending_.reserve(kBuffer);
    SF_VIRTUAL_IO io = sndVirtualIo<SndFileWriter>();
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

void SndFileWriter::startWriteback()
{
    out_.startWriteback(writtenBack_, length_ - writtenBack_);
    writtenBack_ = length_;
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
    position_ = seekedPosition(position_, length(), offset, whence);
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
