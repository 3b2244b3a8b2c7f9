#include "audio/files/WaveFileWriter.h"
#include "audio/files/FileFailure.h"
#include "audio/files/SndFormat.h"
#include <QDir>
#include <QFile>
#include <cerrno>
#include <sndfile.h>

namespace tamblor::audio {

WaveFileWriter::WaveFileWriter(QString linkName) : name_(std::move(linkName)) {}

WaveFileWriter::~WaveFileWriter() { abort(); }

void WaveFileWriter::begin(const WaveFormat& in)
{
    abort();
    if (path_.isEmpty())
        throw invalidCall(QStringLiteral("no file name"));
    file_ = openSndWriter(path_, in);
    format_ = in;
}

void WaveFileWriter::push(const int16_t* frames, int64_t count)
{
    if (!file_)
        throw Failure(Failure::BadFileMode);
    errno = 0;
    if (sf_writef_short(file_, frames, count) != count)
        throw sndfileFailure(file_, path_);
}

void WaveFileWriter::close()
{
    if (!file_)
        return;
    const int rc = sf_close(file_);
    file_ = nullptr;
    if (rc != 0)
        throw Failure(Failure::DeviceIOError);
}

void WaveFileWriter::abort() noexcept
{
    if (file_)
        sf_close(file_);
    file_ = nullptr;
}

} // namespace tamblor::audio
