#include "platform/Failure.h"
#include <cerrno>

namespace tamblor {

Failure::Failure(int number) : Failure(number, describe(number)) {}

Failure::Failure(int number, QString description)
    : number_(number), description_(std::move(description))
{
    what_ = text().toStdString();
}

QString Failure::text(const QString& separator) const
{
    return QString::number(number_) + separator + description_;
}

QString Failure::describe(int number)
{
    switch (number) {
    case 3: return QStringLiteral("Return without GoSub");
    case 5: return QStringLiteral("Invalid procedure call or argument");
    case 6: return QStringLiteral("Overflow");
    case 7: return QStringLiteral("Out of memory");
    case 9: return QStringLiteral("Subscript out of range");
    case 11: return QStringLiteral("Division by zero");
    case 13: return QStringLiteral("Type mismatch");
    case 52: return QStringLiteral("Bad file name or number");
    case 53: return QStringLiteral("File not found");
    case 54: return QStringLiteral("Bad file mode");
    case 55: return QStringLiteral("File already open");
    case 57: return QStringLiteral("Device I/O error");
    case 58: return QStringLiteral("File already exists");
    case 61: return QStringLiteral("Disk full");
    case 62: return QStringLiteral("Input past end of file");
    case 63: return QStringLiteral("Bad record number");
    case 64: return QStringLiteral("Bad file name");
    case 67: return QStringLiteral("Too many files");
    case 68: return QStringLiteral("Device unavailable");
    case 70: return QStringLiteral("Permission denied");
    case 71: return QStringLiteral("Disk not ready");
    case 75: return QStringLiteral("Path/File access error");
    case 76: return QStringLiteral("Path not found");
    case 380: return QStringLiteral("Invalid property value");
    case 381: return QStringLiteral("Invalid property array index");
    case 482: return QStringLiteral("Printer error");
    default: return QStringLiteral("Application-defined or object-defined error");
    }
}

Failure Failure::fromErrno(int err)
{
    switch (err) {
    case ENOENT: return Failure(FileNotFound);
    case ENOTDIR: return Failure(PathNotFound);
    case EEXIST: return Failure(FileAlreadyExists);
    case ENOSPC:
    case EDQUOT: return Failure(DiskFull);
    case EACCES:
    case EPERM:
    case EROFS: return Failure(PermissionDenied);
    case EISDIR:
    case EBUSY:
    case ETXTBSY: return Failure(PathFileAccessError);
    case ENAMETOOLONG:
    case EINVAL: return Failure(BadFileName);
    case ENOMEM: return Failure(OutOfMemory);
    case EMFILE:
    case ENFILE: return Failure(67);
    default: return Failure(DeviceIOError);
    }
}

} // namespace tamblor
