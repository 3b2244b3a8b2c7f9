#include "audio/format/FileFailure.h"
#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <sndfile.h>

namespace tamblor::audio {

Failure malformedWave(const QString& what)
{
    return Failure(kInvalidFileFormat, QStringLiteral("Invalid file format: ") + what);
}

Failure invalidCall(const QString& what)
{
    return Failure(Failure::InvalidCall, Failure::describe(Failure::InvalidCall) + ": " + what);
}

Failure sndfileFailure(SNDFILE* file, const QString& path)
{
    const int code = sf_error(file);
    switch (code) {
    case SF_ERR_UNRECOGNISED_FORMAT:
    case SF_ERR_MALFORMED_FILE:
        return malformedWave(QString::fromUtf8(sf_strerror(file)));
    case SF_ERR_UNSUPPORTED_ENCODING:
        return invalidCall(QString::fromUtf8(sf_strerror(file)));
    case SF_ERR_SYSTEM:
    default:
        break;
    }
    // libsndfile reports system errors only as text; errno still holds the cause. A missing
    // file is the cause only when errno names none other: a file that could not be created (a
    // write-protected folder, too long a name, no file handle left) is missing too.
    const int err = errno;
    if (err != 0 && err != ENOENT && err != ENOTDIR)
        return Failure::fromErrno(err);
    if (!path.isEmpty() && !QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return Failure(QFileInfo(path).absoluteDir().exists() ? Failure::FileNotFound
                                                               : Failure::PathNotFound);
    if (err != 0)
        return Failure::fromErrno(err);
    return Failure(Failure::DeviceIOError);
}

Failure fileFailure(QFileDevice::FileError error)
{
    switch (error) {
    case QFileDevice::OpenError:
        return Failure::fromErrno(errno ? errno : ENOENT);
    case QFileDevice::PermissionsError: return Failure(Failure::PermissionDenied);
    case QFileDevice::ResourceError: return Failure(Failure::DiskFull);
    case QFileDevice::RenameError:
    case QFileDevice::RemoveError:
    case QFileDevice::CopyError: return Failure(Failure::PathFileAccessError);
    case QFileDevice::ReadError:
    case QFileDevice::WriteError:
    case QFileDevice::FatalError:
    default: return Failure(Failure::DeviceIOError);
    }
}

} // namespace tamblor::audio
