#pragma once
// libsndfile's table of file callbacks for an object of this layer that does the file's I/O
// itself (length(), seek(), read(), write(), tell()). For the layer's own sources only.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sndfile.h>

namespace tamblor::audio {

template <class File>
SF_VIRTUAL_IO sndVirtualIo()
{
    return SF_VIRTUAL_IO{
        [](void* f) -> sf_count_t { return static_cast<File*>(f)->length(); },
        [](sf_count_t offset, int whence, void* f) -> sf_count_t { return static_cast<File*>(f)->seek(offset, whence); },
        [](void* buffer, sf_count_t bytes, void* f) -> sf_count_t { return static_cast<File*>(f)->read(buffer, bytes); },
        [](const void* data, sf_count_t bytes, void* f) -> sf_count_t { return static_cast<File*>(f)->write(data, bytes); },
        [](void* f) -> sf_count_t { return static_cast<File*>(f)->tell(); },
    };
}

// Where a seek from `position` in a file of `length` bytes lands; never before the start.
inline int64_t seekedPosition(int64_t position, int64_t length, int64_t offset, int whence)
{
    const int64_t base = whence == SEEK_CUR ? position : whence == SEEK_END ? length : 0;
    return std::max<int64_t>(0, base + offset);
}

} // namespace tamblor::audio
