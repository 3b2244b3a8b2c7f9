#include "audio/format/RiffReader.h"
#include "audio/format/FileFailure.h"
#include "platform/NativeFile.h"
#include <algorithm>
#include <cstring>

namespace tamblor::audio {

namespace {

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

constexpr uint16_t kExtensible = 0xFFFE;

void readExactly(const RiffReader::Source& source, uint64_t offset, void* buf, size_t n,
                 const char* what)
{
    if (source(offset, buf, n) != n)
        throw malformedWave(QString::fromLatin1(what));
}

WaveFormat parseFmt(const uint8_t* f, uint32_t size)
{
    if (size < 16)
        throw malformedWave(QStringLiteral("format chunk too short"));
    WaveFormat fmt;
    fmt.formatTag = le16(f);
    fmt.channels = le16(f + 2);
    const uint32_t rate = le32(f + 4);
    const uint32_t avg = le32(f + 8);
    fmt.blockAlign = le16(f + 12);
    fmt.bitsPerSample = le16(f + 14);
    const uint16_t extra = size >= 18 ? le16(f + 16) : 0;
    if (fmt.formatTag == kExtensible) {
        if (size < 40 || extra < 22)
            throw malformedWave(QStringLiteral("extensible format chunk too short"));
        fmt.formatTag = le16(f + 24); // first two bytes of the sub-format GUID
    }
    if (fmt.formatTag == WaveFormat::MsAdpcm && size >= 20 && extra >= 2)
        fmt.samplesPerBlock = le16(f + 18);

    if (fmt.channels < 1 || fmt.channels > 8)
        throw malformedWave(QStringLiteral("%1 channels").arg(fmt.channels));
    if (rate < 1 || rate > 768000)
        throw malformedWave(QStringLiteral("sample rate %1").arg(rate));
    if (avg > 0x7FFFFFFF)
        throw malformedWave(QStringLiteral("byte rate %1").arg(avg));
    fmt.sampleRate = int(rate);
    fmt.avgBytesPerSecond = int(avg);
    if (fmt.blockAlign < 1)
        throw malformedWave(QStringLiteral("block size 0"));
    if (fmt.formatTag == WaveFormat::Pcm || fmt.formatTag == WaveFormat::IeeeFloat) {
        const bool bitsOk = fmt.formatTag == WaveFormat::Pcm
                                ? fmt.bitsPerSample >= 8 && fmt.bitsPerSample <= 32 && fmt.bitsPerSample % 8 == 0
                                : fmt.bitsPerSample == 32 || fmt.bitsPerSample == 64;
        if (!bitsOk)
            throw malformedWave(QStringLiteral("%1 bits per sample").arg(fmt.bitsPerSample));
        if (fmt.blockAlign != fmt.channels * fmt.bitsPerSample / 8)
            throw malformedWave(QStringLiteral("block size %1").arg(fmt.blockAlign));
    } else if (fmt.formatTag == WaveFormat::MsAdpcm) {
        // 4 bits a sample after a 7-byte preamble per channel.
        const int expected = fmt.channels > 0 ? (fmt.blockAlign - 7 * fmt.channels) * 8 / (4 * fmt.channels) + 2 : 0;
        if (fmt.bitsPerSample != 4 || fmt.samplesPerBlock < 2 || fmt.samplesPerBlock > expected)
            throw malformedWave(QStringLiteral("ADPCM block of %1 bytes, %2 samples")
                                    .arg(fmt.blockAlign).arg(fmt.samplesPerBlock));
    }
    return fmt;
}

} // namespace

RiffLayout RiffReader::parse(const Source& source, uint64_t fileSize)
{
    uint8_t head[12];
    if (fileSize < 12)
        throw malformedWave(QStringLiteral("file too short"));
    readExactly(source, 0, head, 12, "file too short");
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
        throw malformedWave(QStringLiteral("not a RIFF WAVE file"));
    // Writers often leave the RIFF size stale (a recording cut short, a pad byte), so it only
    // narrows the search; the file's own size bounds every chunk. A size too small to hold a
    // single chunk is a writer's placeholder (libsndfile writes 8 until its first update) and
    // narrows nothing.
    const uint64_t riffEnd = uint64_t(le32(head + 4)) + 8;
    const uint64_t end = riffEnd >= 12 + 8 && riffEnd < fileSize ? riffEnd : fileSize;

    RiffLayout layout;
    layout.fileSize = fileSize;
    bool haveFmt = false, haveData = false;
    uint64_t pos = 12;
    while (pos + 8 <= end && !(haveFmt && haveData)) {
        uint8_t ch[8];
        readExactly(source, pos, ch, 8, "chunk header past the end of the file");
        const uint32_t size = le32(ch + 4);
        const uint64_t body = pos + 8;
        const bool isData = std::memcmp(ch, "data", 4) == 0;
        if (body + size > fileSize && !isData)
            throw malformedWave(QStringLiteral("chunk beyond the end of the file"));
        if (std::memcmp(ch, "fmt ", 4) == 0) {
            if (haveFmt)
                throw malformedWave(QStringLiteral("two format chunks"));
            if (size > kMaxFmtSize)
                throw malformedWave(QStringLiteral("format chunk of %1 bytes").arg(size));
            uint8_t f[kMaxFmtSize];
            readExactly(source, body, f, size, "format chunk past the end of the file");
            layout.format = parseFmt(f, size);
            layout.extensible = size >= 2 && le16(f) == kExtensible;
            haveFmt = true;
        } else if (std::memcmp(ch, "fact", 4) == 0 && size >= 4) {
            uint8_t n[4];
            readExactly(source, body, n, 4, "fact chunk past the end of the file");
            layout.factFrames = int64_t(le32(n));
        } else if (std::memcmp(ch, "data", 4) == 0) {
            if (haveData)
                throw malformedWave(QStringLiteral("two data chunks"));
            layout.dataOffset = body;
            // A take cut short before its header was finished: what is there is the sound.
            layout.dataSize = std::min<uint64_t>(size, fileSize - body);
            // A take cut short before its first header update (a writer's header says "no data"
            // and claims nothing beyond it) holds its sound in every byte after the header.
            if (size == 0 && riffEnd <= body)
                layout.dataSize = fileSize - body;
            haveData = true;
        }
        // Chunks are word aligned: an odd size is followed by one pad byte.
        pos = body + size + (size & 1u);
    }
    if (!haveFmt)
        throw malformedWave(QStringLiteral("no format chunk"));
    if (!haveData)
        throw malformedWave(QStringLiteral("no data chunk"));
    // Whole blocks only, so no frame straddles the end of the data.
    layout.dataSize -= layout.dataSize % uint64_t(layout.format.blockAlign);
    return layout;
}

int64_t RiffLayout::frames() const
{
    if (format.blockAlign <= 0)
        return 0;
    const int64_t blocks = int64_t(dataSize / uint64_t(format.blockAlign));
    if (format.formatTag != WaveFormat::MsAdpcm)
        return blocks;
    // The last block is filled up past the sound; the fact chunk says where the sound ends.
    // A count outside the last block is stale (a header not brought up to date) and ignored.
    const int64_t whole = blocks * format.samplesPerBlock;
    if (factFrames >= 0 && factFrames > whole - format.samplesPerBlock && factFrames <= whole)
        return factFrames;
    return whole;
}

RiffLayout RiffReader::read(const QString& path)
{
    NativeFile file = NativeFile::open(path, NativeFile::Mode::Read);
    return parse([&file](uint64_t offset, void* buf, size_t n) { return file.readAt(int64_t(offset), buf, n); },
                 uint64_t(file.size()));
}

RiffLayout RiffReader::parse(const uint8_t* bytes, size_t size)
{
    return parse(
        [bytes, size](uint64_t offset, void* buf, size_t n) -> size_t {
            if (offset >= size)
                return 0;
            const size_t k = std::min<uint64_t>(n, size - offset);
            std::memcpy(buf, bytes + offset, k);
            return k;
        },
        size);
}

} // namespace tamblor::audio
