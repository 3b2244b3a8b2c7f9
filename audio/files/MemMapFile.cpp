#include "audio/files/MemMapFile.h"
#include "audio/format/FileFailure.h"
#include "platform/NativeFile.h"
#include <algorithm>
#include <cerrno>

namespace tamblor::audio {

void MemMapFile::setFileName(const QString& path)
{
    unmap();
    path_ = path;
    if (!path.isEmpty())
        map();
}

void MemMapFile::setActive(bool active)
{
    if (active && !mapped_) {
        if (path_.isEmpty())
            throw invalidCall(QStringLiteral("no file to map"));
        map();
    } else if (!active) {
        unmap();
    }
}

void MemMapFile::map()
{
    file_.setFileName(path_);
    errno = 0;
    if (!file_.open(QIODevice::ReadOnly))
        throw fileFailure(file_.error());
    size_ = file_.size();
    reader_ = NativeFile::open(path_, NativeFile::Mode::Read);
    if (size_ > 0) {
        address_ = file_.map(0, size_);
        if (!address_) {
            const auto error = file_.error();
            file_.close();
            reader_ = NativeFile();
            size_ = 0;
            throw fileFailure(error);
        }
    }
    mapped_ = true;
}

int64_t MemMapFile::readableSize() const
{
    if (!address_)
        return 0;
    return std::clamp<int64_t>(currentSize(file_.handle()), 0, size_);
}

int64_t MemMapFile::read(int64_t offset, void* buffer, int64_t bytes)
{
    if (!address_ || offset < 0 || bytes <= 0)
        return 0;
    const int64_t n = std::min(bytes, readableSize() - offset);
    return n > 0 ? int64_t(reader_.readAt(offset, buffer, size_t(n))) : 0;
}

void MemMapFile::unmap()
{
    if (address_)
        file_.unmap(const_cast<uint8_t*>(address_));
    if (file_.isOpen())
        file_.close();
    reader_ = NativeFile();
    address_ = nullptr;
    size_ = 0;
    mapped_ = false;
}

void MemMapFile::close()
{
    unmap();
    path_.clear();
}

} // namespace tamblor::audio
