#include "platform/RecordFile.h"
#include "platform/Failure.h"
#include <cerrno>

namespace tamblor {

namespace {
Failure fileFailure(const QFile& f)
{
    switch (f.error()) {
    case QFileDevice::PermissionsError: return Failure(Failure::PermissionDenied);
    case QFileDevice::OpenError: return Failure(Failure::PathFileAccessError);
    case QFileDevice::ResourceError: return Failure(Failure::DiskFull);
    default: return Failure(Failure::DeviceIOError);
    }
}
} // namespace

Failure RecordFile::writeFailure() const
{
    // The system's own reason where it gave one (a file made immutable: "Permission denied",
    // a full disk: "Disk full"), else what the file reports.
    const int err = errno;
    return err != 0 ? Failure::fromErrno(err) : fileFailure(file_);
}

RecordFile::RecordFile(QString nativePath, int recordLength)
    : path_(std::move(nativePath)), length_(recordLength), file_(path_)
{
}

RecordFile::~RecordFile() { close(); }

void RecordFile::open()
{
    if (file_.isOpen())
        return;
    if (!file_.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        throw fileFailure(file_);
}

void RecordFile::close()
{
    if (file_.isOpen())
        file_.close();
}

qint64 RecordFile::recordCount() const
{
    return file_.size() / length_;
}

bool RecordFile::read(qint64 n, QByteArray& record)
{
    if (n < 1)
        throw Failure(Failure::BadRecordNumber);
    open();
    const qint64 offset = (n - 1) * length_;
    if (offset + length_ > file_.size()) {
        eof_ = true;
        return false;
    }
    if (!file_.seek(offset))
        throw fileFailure(file_);
    record = file_.read(length_);
    if (record.size() != length_) {
        eof_ = true;
        return false;
    }
    eof_ = false;
    return true;
}

void RecordFile::write(qint64 n, const QByteArray& record)
{
    if (n < 1)
        throw Failure(Failure::BadRecordNumber);
    open();
    QByteArray bytes = record.left(length_);
    bytes.append(QByteArray(length_ - bytes.size(), '\0'));
    const qint64 offset = (n - 1) * length_;
    errno = 0;
    if (offset > file_.size() && !file_.resize(offset)) // zero-filled growth
        throw writeFailure();
    errno = 0;
    if (!file_.seek(offset) || file_.write(bytes) != length_)
        throw writeFailure();
    eof_ = false;
}

} // namespace tamblor
