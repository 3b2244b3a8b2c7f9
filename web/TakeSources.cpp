#include "web/TakeSources.h"
#include <QtEndian>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cstring>
#include <vector>

namespace tamblor::web {

namespace {

class FileSource : public BodySource {
public:
    FileSource(int fd, int64_t size) : fd_(fd), size_(size) {}
    ~FileSource() override { ::close(fd_); }
    int64_t size() const override { return size_; }
    int duplicateDescriptor() const override { return ::fcntl(fd_, F_DUPFD_CLOEXEC, 0); }
    int64_t read(int64_t offset, char* into, int64_t max) override
    {
        if (offset >= size_ || max <= 0)
            return 0;
        for (;;) {
            const ssize_t n = ::pread(fd_, into, size_t(std::min(max, size_ - offset)), off_t(offset));
            if (n < 0 && errno == EINTR)
                continue;
            return n < 0 ? -1 : int64_t(n);
        }
    }

private:
    int fd_;
    int64_t size_;
};

// A 44-byte wave header for 16-bit PCM, then the decoded frames.
class DecodedSource : public BodySource {
public:
    static constexpr int HeaderBytes = 44;

    DecodedSource(SNDFILE* file, const SF_INFO& info) : file_(file), info_(info)
    {
        const uint32_t dataBytes = uint32_t(std::min<int64_t>(int64_t(info.frames) * frameBytes(), 0xffffffffLL - 36));
        size_ = HeaderBytes + int64_t(dataBytes);
        auto put32 = [this](int at, uint32_t v) { qToLittleEndian<uint32_t>(v, header_ + at); };
        auto put16 = [this](int at, uint16_t v) { qToLittleEndian<uint16_t>(v, header_ + at); };
        std::memcpy(header_, "RIFF", 4);
        put32(4, 36 + dataBytes);
        std::memcpy(header_ + 8, "WAVEfmt ", 8);
        put32(16, 16);
        put16(20, 1);
        put16(22, uint16_t(info.channels));
        put32(24, uint32_t(info.samplerate));
        put32(28, uint32_t(info.samplerate) * uint32_t(frameBytes()));
        put16(32, uint16_t(frameBytes()));
        put16(34, 16);
        std::memcpy(header_ + 36, "data", 4);
        put32(40, dataBytes);
    }
    ~DecodedSource() override { sf_close(file_); }
    int64_t size() const override { return size_; }
    int64_t read(int64_t offset, char* into, int64_t max) override
    {
        max = std::min(max, size_ - offset);
        if (max <= 0)
            return 0;
        int64_t done = 0;
        if (offset < HeaderBytes) {
            const int64_t n = std::min<int64_t>(HeaderBytes - offset, max);
            std::memcpy(into, header_ + offset, size_t(n));
            done = n;
        }
        while (done < max) {
            const int64_t at = offset + done - HeaderBytes;
            const int64_t frame = at / frameBytes();
            const int64_t within = at % frameBytes();
            if (frame != position_ && sf_seek(file_, sf_count_t(frame), SEEK_SET) < 0)
                return done > 0 ? done : -1;
            position_ = frame;
            const int64_t frames = std::min<int64_t>((max - done + within) / frameBytes() + 1, 4096);
            buffer_.resize(size_t(frames * info_.channels));
            const sf_count_t got = sf_readf_short(file_, buffer_.data(), sf_count_t(frames));
            if (got <= 0)
                break;
            position_ += got;
            const int64_t bytes = std::min<int64_t>(int64_t(got) * frameBytes() - within, max - done);
            for (int64_t i = 0; i < bytes; ++i) {
                const int64_t b = within + i;
                const int16_t sample = buffer_[size_t(b / 2)];
                into[done + i] = char(b % 2 == 0 ? (sample & 0xff) : ((sample >> 8) & 0xff));
            }
            done += bytes;
        }
        return done;
    }

private:
    int64_t frameBytes() const { return int64_t(info_.channels) * 2; }

    SNDFILE* file_;
    SF_INFO info_;
    unsigned char header_[HeaderBytes] = {};
    int64_t size_ = 0;
    int64_t position_ = 0;
    std::vector<short> buffer_;
};

SNDFILE* openSound(const QString& nativePath, SF_INFO& info)
{
    std::memset(&info, 0, sizeof info);
    SNDFILE* f = sf_open(nativePath.toLocal8Bit().constData(), SFM_READ, &info);
    if (f && (info.channels < 1 || info.channels > 8 || info.samplerate < 1)) {
        sf_close(f);
        return nullptr;
    }
    return f;
}

} // namespace

std::shared_ptr<BodySource> fileSource(const QString& nativePath)
{
    const int fd = ::open(nativePath.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return nullptr;
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::make_shared<FileSource>(fd, int64_t(st.st_size));
}

bool isPlayableWave(const QString& nativePath)
{
    SF_INFO info;
    SNDFILE* f = openSound(nativePath, info);
    if (!f)
        return false;
    sf_close(f);
    const int major = info.format & SF_FORMAT_TYPEMASK;
    const int sub = info.format & SF_FORMAT_SUBMASK;
    return major == SF_FORMAT_WAV &&
           (sub == SF_FORMAT_PCM_U8 || sub == SF_FORMAT_PCM_16 || sub == SF_FORMAT_PCM_24 || sub == SF_FORMAT_PCM_32 ||
            sub == SF_FORMAT_FLOAT);
}

std::shared_ptr<BodySource> decodedWaveSource(const QString& nativePath)
{
    SF_INFO info;
    SNDFILE* f = openSound(nativePath, info);
    if (!f)
        return nullptr;
    return std::make_shared<DecodedSource>(f, info);
}

} // namespace tamblor::web
