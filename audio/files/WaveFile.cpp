#include "audio/files/WaveFile.h"
#include "audio/format/FileFailure.h"
#include "audio/format/RiffReader.h"
#include "audio/format/SndFormat.h"
#include <QDir>
#include <cerrno>
#include <sndfile.h>

namespace tamblor::audio {

WaveFile::WaveFile() = default;

WaveFile::~WaveFile()
{
    try {
        close();
    } catch (...) {
        // A destructor cannot report; close() explicitly to see a failure.
    }
}

void WaveFile::reset()
{
    format_ = WaveFormat();
    dataOffset_ = dataSize_ = fileSize_ = 0;
    position_ = 0;
}

void WaveFile::setFileName(const QString& path)
{
    close();
    reset();
    path_ = path;
    if (path.isEmpty())
        return;
    file_.setFileName(path);
    errno = 0;
    if (!file_.open(QIODevice::ReadOnly))
        throw fileFailure(file_.error());
    try {
        readHeader();
    } catch (...) {
        file_.close();
        reset();
        throw;
    }
    reading_ = true;
}

void WaveFile::readHeader()
{
    const auto source = [this](uint64_t offset, void* buf, size_t n) -> size_t {
        if (!file_.seek(qint64(offset)))
            return 0;
        const qint64 got = file_.read(static_cast<char*>(buf), qint64(n));
        return got < 0 ? 0 : size_t(got);
    };
    const RiffLayout layout = RiffReader::parse(source, uint64_t(file_.size()));
    format_ = layout.format;
    dataOffset_ = layout.dataOffset;
    dataSize_ = layout.dataSize;
    fileSize_ = layout.fileSize;
}

void WaveFile::create(const QString& path, const WaveFormat& format)
{
    close();
    reset();
    if (path.isEmpty())
        throw invalidCall(QStringLiteral("no file name"));
    path_ = path;
    // Raw sample bytes only make sense for PCM; ADPCM files come from the conversion chain.
    if (!format.isPcm())
        throw invalidCall(QStringLiteral("raw writing needs a PCM format"));
    writer_ = openSndWriter(path, format);
    // A file cut short by a crash still opens with the data written so far.
    sf_command(writer_, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    format_ = format;
}

void WaveFile::close()
{
    if (reading_) {
        file_.close();
        reading_ = false;
    }
    if (writer_) {
        const int rc = sf_close(writer_);
        writer_ = nullptr;
        if (rc != 0)
            throw Failure(Failure::DeviceIOError);
        // The values of the finished file, as a reader will see them.
        file_.setFileName(path_);
        if (!file_.open(QIODevice::ReadOnly))
            throw fileFailure(file_.error());
        try {
            readHeader();
        } catch (...) {
            file_.close();
            throw;
        }
        file_.close();
        position_ = 0;
    }
}

void WaveFile::setPosition(int64_t bytes)
{
    if (writer_)
        throw invalidCall(QStringLiteral("position of a file being written"));
    position_ = std::clamp<int64_t>(bytes, 0, int64_t(dataSize_));
}

int64_t WaveFile::read(void* dst, int64_t count)
{
    if (!reading_)
        throw Failure(Failure::BadFileMode);
    if (count <= 0 || position_ >= int64_t(dataSize_))
        return 0;
    const int64_t n = std::min<int64_t>(count, int64_t(dataSize_) - position_);
    if (!file_.seek(qint64(dataOffset_) + position_))
        throw Failure(Failure::DeviceIOError);
    const qint64 got = file_.read(static_cast<char*>(dst), n);
    if (got < 0)
        throw fileFailure(file_.error());
    position_ += got;
    return got;
}

int64_t WaveFile::write(const void* src, int64_t count)
{
    if (!writer_)
        throw Failure(Failure::BadFileMode);
    if (count <= 0)
        return 0;
    errno = 0;
    const sf_count_t done = sf_write_raw(writer_, src, count);
    if (done != count)
        throw sndfileFailure(writer_, path_);
    position_ += done;
    dataSize_ += uint64_t(done);
    return done;
}

} // namespace tamblor::audio
