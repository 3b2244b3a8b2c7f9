// Feeds arbitrary bytes as a file to everything that opens sound files through the shared RIFF
// reader: the wave object, the memory map, the decoding reader, the wave copy (a plain send and
// the editor's cut) and normalize. What the reader accepts must be copied to a file that reads
// back with the same format and the same sample bytes.
#include "audio/core/ThreadRole.h"
#include "audio/files/AudioFileReader.h"
#include "audio/files/MemMapFile.h"
#include "audio/files/Normalize.h"
#include "audio/files/WaveCopy.h"
#include "audio/files/WaveFile.h"
#include "audio/files/WaveHelper.h"
#include "platform/Failure.h"
#include <QFile>
#include "platform/NativeFile.h"
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

using namespace tamblor;
using namespace tamblor::audio;

namespace {

// One scratch file per fuzzing process, removed when the run ends.
struct ScratchFile {
    QString path = QStringLiteral("/dev/shm/tamblor-fuzz-%1.wav").arg(getpid());
    QString copy = QStringLiteral("/dev/shm/tamblor-fuzz-%1-copy.wav").arg(getpid());
    ~ScratchFile()
    {
        QFile::remove(path);
        QFile::remove(copy);
    }
};

// Stops the run naming the invariant that broke (an optimised build folds every abort into one
// line, so the stack alone does not say which).
[[noreturn]] void broken(const char* what)
{
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const ScratchFile scratch;
    const QString& path = scratch.path;
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    try {
        WaveFile wave;
        wave.setFileName(path);
        std::vector<char> buf(4096);
        int64_t total = 0;
        for (int64_t got; (got = wave.read(buf.data(), int64_t(buf.size()))) > 0;)
            total += got;
        if (total != wave.dataSize())
            broken("the wave object read a different number of bytes than its data size");

        MemMapFile map;
        map.setFileName(path);
        int64_t count = wave.dataSize();
        blockExtremes(wave.format(), map.address() + wave.dataOffset(), count);

        AudioFileReader reader;
        reader.setFileName(path);
        std::vector<int32_t> frames(size_t(1024) * size_t(reader.format().channels));
        int64_t decoded = 0;
        for (int64_t got; (got = reader.readFrames(frames.data(), 1024)) > 0;)
            decoded += got;
        if (decoded > reader.layout().frames() || reader.layout().frames() < 0)
            broken("the decoding reader gave more frames than the layout holds, or a negative count");
    } catch (const Failure&) {
    }
    try {
        WaveCopy source(path);
        {
            ThreadRoleScope worker(ThreadRole::Worker); // copies run on a job's worker thread
            NativeFile out = NativeFile::open(scratch.copy, NativeFile::Mode::Replace);
            source.writeTo(out);
            out.close();
        }
        const RiffLayout copied = RiffReader::read(scratch.copy);
        if (!(copied.format == source.layout().format) || copied.dataSize != source.layout().dataSize)
            broken("the copy reads back with another format or data size");
        std::vector<uint8_t> a(source.layout().dataSize), b(copied.dataSize);
        NativeFile in = NativeFile::open(path, NativeFile::Mode::Read);
        NativeFile back = NativeFile::open(scratch.copy, NativeFile::Mode::Read);
        if (in.readAt(int64_t(source.layout().dataOffset), a.data(), a.size()) != a.size()
            || back.readAt(int64_t(copied.dataOffset), b.data(), b.size()) != b.size() || a != b)
            broken("the copy's sample bytes differ from the source's");
    } catch (const Failure&) {
    }
    try {
        ThreadRoleScope worker(ThreadRole::Worker); // the normalizer runs on a job's worker thread
        QString target = path;
        NormalizeFile(target, 50);
    } catch (const Failure&) {
    }
    return 0;
}
