// Feeds arbitrary bytes as a file to the wave object, the memory map and the decoding reader,
// the way the editor and the send window open files they are given.
#include "audio/files/AudioFileReader.h"
#include "audio/files/MemMapFile.h"
#include "audio/files/WaveFile.h"
#include "audio/files/WaveHelper.h"
#include "platform/Failure.h"
#include <QFile>
#include <unistd.h>
#include <vector>

using namespace tamblor;
using namespace tamblor::audio;

namespace {

// One scratch file per fuzzing process, removed when the run ends.
struct ScratchFile {
    QString path = QStringLiteral("/dev/shm/tamblor-fuzz-%1.wav").arg(getpid());
    ~ScratchFile() { QFile::remove(path); }
};

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
            std::abort();

        MemMapFile map;
        map.setFileName(path);
        int64_t count = wave.dataSize();
        blockExtremes(wave.format(), map.address() + wave.dataOffset(), count);

        AudioFileReader reader;
        reader.setFileName(path);
        std::vector<int16_t> frames(size_t(1024) * size_t(reader.format().channels));
        while (reader.readFrames(frames.data(), 1024) > 0) {
        }
    } catch (const Failure&) {
    }
    return 0;
}
