// The RIFF layout reader, the wave object and the memory map.
#include "audio/format/FileFailure.h"
#include "audio/files/MemMapFile.h"
#include "audio/format/RiffReader.h"
#include "audio/files/WaveFile.h"
#include "tests/support/Failures.h"
#include "tests/support/SoxFiles.h"
#include "tests/support/TestEnv.h"
#include "tests/support/WavBytes.h"
#include <QFile>
#include <gtest/gtest.h>

using namespace tamblor;
using namespace tamblor::audio;
using namespace wavtest;

namespace {

RiffLayout parseBytes(const QByteArray& b)
{
    return RiffReader::parse(reinterpret_cast<const uint8_t*>(b.constData()), size_t(b.size()));
}

int failureOf(const QByteArray& b)
{
    return failureNumber([&] { parseBytes(b); });
}

QByteArray someData(int n)
{
    QByteArray d(n, 0);
    for (int i = 0; i < n; ++i)
        d[i] = char(i * 7 + 3);
    return d;
}

} // namespace

class WaveFileTest : public TempRootTest {};

TEST_F(WaveFileTest, HeaderFieldsOfGeneratedFiles)
{
    struct Case { int rate, channels, bits; };
    for (const Case c : {Case{8000, 1, 8}, Case{11025, 2, 8}, Case{22050, 1, 16}, Case{44100, 2, 16}}) {
        SCOPED_TRACE(testing::Message() << c.rate << " " << c.channels << " " << c.bits);
        const WaveFormat f = WaveFormat::pcm(c.rate, c.channels, c.bits);
        const QByteArray data = someData(1000 * f.blockAlign);
        const QString path = native("h.wav");
        writeAllBytes(path, wavBytes(f, data));
        WaveFile w;
        w.setFileName(path);
        EXPECT_EQ(w.sampleRate(), c.rate);
        EXPECT_EQ(w.bitsPerSample(), c.bits);
        EXPECT_EQ(w.channelMode(), c.channels == 1 ? 0 : 1);
        EXPECT_EQ(w.formatTag(), 1);
        EXPECT_EQ(w.format(), f);
        EXPECT_EQ(w.dataOffset(), 44);
        EXPECT_EQ(w.dataSize(), data.size());
        EXPECT_EQ(w.length(), 44 + data.size());
    }
}

TEST_F(WaveFileTest, ChunksBeforeTheDataAndPadBytesAreSkipped)
{
    const WaveFormat f = WaveFormat::pcm(44100, 1, 8);
    const QByteArray data = someData(11); // odd: followed by a pad byte
    const QByteArray bytes = riff(chunk("LIST", "abc") + chunk("fmt ", fmtBody(f)) +
                                  chunk("junk", "12345") + chunk("data", data) +
                                  chunk("LIST", "trailer"));
    const RiffLayout l = parseBytes(bytes);
    EXPECT_EQ(l.dataOffset, 12u + 12 + 24 + 14 + 8);
    EXPECT_EQ(l.dataSize, 11u);
    EXPECT_EQ(bytes.mid(int(l.dataOffset), 11), data);
}

TEST_F(WaveFileTest, ExtensibleFormatReadsItsSubFormat)
{
    QByteArray fmt = fmtBody(WaveFormat::pcm(48000, 2, 16));
    fmt.replace(0, 2, le16(0xFFFE));
    fmt += le16(22) + le16(16) + le32(3) + le16(1) + QByteArray(14, 'x');
    const RiffLayout l = parseBytes(riff(chunk("fmt ", fmt) + chunk("data", someData(8))));
    EXPECT_EQ(l.format.formatTag, 1);
    EXPECT_EQ(l.format.sampleRate, 48000);
}

TEST_F(WaveFileTest, MalformedFilesAreFailuresNotCrashes)
{
    const WaveFormat f = WaveFormat::pcm(44100, 2, 16);
    const QByteArray good = wavBytes(f, someData(400));
    ASSERT_EQ(failureOf(good), 0);

    QByteArray zeroChannels = good;
    zeroChannels.replace(22, 2, le16(0));
    QByteArray zeroRate = good;
    zeroRate.replace(24, 4, le32(0));
    QByteArray badAlign = good;
    badAlign.replace(32, 2, le16(3));
    const QByteArray hugeFmt = riff(chunk("fmt ", fmtBody(f) + QByteArray(5000, 0)) + chunk("data", "ab"));
    QByteArray fmtBeyond = riff(chunk("fmt ", fmtBody(f)));
    fmtBeyond.replace(16, 4, le32(0x7FFFFFF0));
    const QByteArray noData = riff(chunk("fmt ", fmtBody(f)) + chunk("LIST", "x"));
    const QByteArray noFmt = riff(chunk("data", someData(8)));
    const QByteArray shortFmt = riff(chunk("fmt ", fmtBody(f).left(14)) + chunk("data", "ab"));
    QByteArray notWave = good;
    notWave.replace(8, 4, "AVI ");

    for (const QByteArray& b : {good.left(0), good.left(11), good.left(30), good.left(43),
                                zeroChannels, zeroRate, badAlign, hugeFmt,
                                fmtBeyond, noData, noFmt, shortFmt, notWave}) {
        SCOPED_TRACE(b.left(48).toHex().toStdString());
        EXPECT_EQ(failureOf(b), kInvalidFileFormat);
        // The same through a file on disk.
        writeAllBytes(native("bad.wav"), b);
        WaveFile w;
        EXPECT_THROW(w.setFileName(native("bad.wav")), Failure);
        EXPECT_FALSE(w.isOpen());
    }
}

TEST_F(WaveFileTest, ADataChunkLongerThanTheFileIsReadAsTheWholeFramesThere)
{
    // A take cut short by another recorder: the header claims more than the file holds.
    const QByteArray data = someData(1002); // 250 whole frames and two bytes of the next
    for (const uint32_t claimed : {1004u, 400000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(claimed);
        const QByteArray b = wav(1, 2, 44100, 16, data, claimed);
        const RiffLayout l = parseBytes(b);
        EXPECT_EQ(l.dataSize, 1000u);
        EXPECT_EQ(l.frames(), 250);
        writeAllBytes(native("cut.wav"), b);
        EXPECT_EQ(RiffReader::read(native("cut.wav")).dataSize, 1000u);
        WaveFile w;
        w.setFileName(native("cut.wav"));
        QByteArray back(2000, 0);
        EXPECT_EQ(w.read(back.data(), back.size()), 1000);
        EXPECT_EQ(back.left(1000), data.left(1000));
    }

    // MS-ADPCM: whole blocks only, each of its samples per block.
    WaveFormat adpcm = WaveFormat::pcm(22050, 1, 4);
    adpcm.formatTag = WaveFormat::MsAdpcm;
    adpcm.blockAlign = 256;
    adpcm.samplesPerBlock = 500;
    QByteArray b = wavBytes(adpcm, someData(3 * 256));
    b.chop(100);
    const RiffLayout l = parseBytes(b);
    EXPECT_EQ(l.dataSize, 512u);
    EXPECT_EQ(l.frames(), 1000);
}

TEST_F(WaveFileTest, AnAdpcmFileEndsWhereItsFactChunkSaysNotWithItsFilledUpLastBlock)
{
    // Half a second at 22050: whole blocks and a part of one more.
    ASSERT_TRUE(soxtest::makeTone(native("adpcm.wav"), {"-e", "ms-adpcm"}, 22050, 2, 0.5));
    QByteArray b = readAllBytes(native("adpcm.wav"));
    RiffLayout l = parseBytes(b);
    const int64_t perBlock = l.format.samplesPerBlock;
    const int64_t blocks = (11025 + perBlock - 1) / perBlock;
    ASSERT_NE(11025 % perBlock, 0);
    EXPECT_EQ(l.dataSize, uint64_t(blocks * l.format.blockAlign));
    EXPECT_EQ(l.factFrames, 11025);
    EXPECT_EQ(l.frames(), 11025);

    // A count that does not fall in the last block is stale: the whole blocks count.
    const int fact = b.indexOf("fact");
    ASSERT_GT(fact, 0);
    for (const int64_t stale : {int64_t(100), blocks * perBlock + 1, (blocks - 1) * perBlock}) {
        SCOPED_TRACE(stale);
        const uint32_t v = uint32_t(stale);
        b.replace(fact + 8, 4, QByteArray(reinterpret_cast<const char*>(&v), 4));
        l = parseBytes(b);
        EXPECT_EQ(l.factFrames, stale);
        EXPECT_EQ(l.frames(), blocks * perBlock);
    }

    // Without a fact chunk and with less than one whole block there is no sound, never a
    // negative count (the "no fact chunk" mark is not a frame count).
    b = readAllBytes(native("adpcm.wav"));
    b.replace(fact, 4, "facv");
    const int data = b.indexOf("data");
    b.truncate(data + 8 + l.format.blockAlign - 1);
    l = parseBytes(b);
    EXPECT_EQ(l.factFrames, -1);
    EXPECT_EQ(l.dataSize, 0u);
    EXPECT_EQ(l.frames(), 0);
}

TEST_F(WaveFileTest, AHeaderThatSaysNoDataBeforeItsFirstUpdateIsReadAsTheSoundAfterIt)
{
    // A writer killed before its first header update: data size 0, the RIFF size covering the
    // header only (or libsndfile's placeholder of 8), the sound after it.
    const WaveFormat f = WaveFormat::pcm(44100, 2, 16);
    const QByteArray data = someData(1002); // 250 whole frames and half of the next
    QByteArray header = riff(chunk("fmt ", fmtBody(f)) + chunk("data", {}, 0));
    for (const uint32_t riffSize : {36u, 8u, 0u}) {
        SCOPED_TRACE(riffSize);
        header.replace(4, 4, le32(riffSize));
        const RiffLayout l = parseBytes(header + data);
        EXPECT_EQ(l.dataOffset, 44u);
        EXPECT_EQ(l.dataSize, 1000u);
        EXPECT_EQ(l.frames(), 250);
    }
    // An empty data chunk with a chunk after it that the RIFF size claims stays empty, and a
    // header without anything after it has no sound.
    EXPECT_EQ(parseBytes(riff(chunk("fmt ", fmtBody(f)) + chunk("data", {}) + chunk("LIST", someData(12)))).dataSize, 0u);
    EXPECT_EQ(parseBytes(wavBytes(f, {})).dataSize, 0u);
}

TEST_F(WaveFileTest, FloatFormatsAreCheckedLikePcm)
{
    const QByteArray good = wav(3, 2, 48000, 32, someData(80));
    const RiffLayout l = parseBytes(good);
    EXPECT_TRUE(l.format.isFloat());
    EXPECT_TRUE(l.format.isLinear());
    EXPECT_EQ(l.frames(), 10);
    EXPECT_EQ(parseBytes(wav(3, 1, 48000, 64, someData(80))).frames(), 10);
    // Float samples of 16 bits, or a block that does not fit the samples, are malformed.
    EXPECT_EQ(failureOf(wav(3, 2, 48000, 16, someData(80))), kInvalidFileFormat);
    QByteArray badAlign = good;
    badAlign.replace(32, 2, le16(6));
    EXPECT_EQ(failureOf(badAlign), kInvalidFileFormat);
}

TEST_F(WaveFileTest, StaleRiffSizeAndMissingFinalPadAreTolerated)
{
    const WaveFormat f = WaveFormat::pcm(8000, 1, 8);
    QByteArray b = wavBytes(f, someData(7));
    b.chop(1); // no pad byte after the odd data chunk
    b.replace(4, 4, le32(0x7FFFFFFF));
    const RiffLayout l = parseBytes(b);
    EXPECT_EQ(l.dataSize, 7u);
}

TEST_F(WaveFileTest, RawBytesRoundTripExactly)
{
    for (const WaveFormat f : {WaveFormat::pcm(44100, 2, 16), WaveFormat::pcm(8000, 1, 8)}) {
        const QByteArray data = someData(10001 * f.blockAlign);
        const QString path = native("raw.wav");
        WaveFile out;
        out.create(path, f);
        EXPECT_TRUE(out.isWriting());
        EXPECT_EQ(out.write(data.constData(), 4096), 4096);
        EXPECT_EQ(out.write(data.constData() + 4096, data.size() - 4096), data.size() - 4096);
        out.close();
        // The finished header is readable right after close.
        EXPECT_EQ(out.dataSize(), data.size());
        EXPECT_EQ(out.format(), f);

        WaveFile in;
        in.setFileName(path);
        EXPECT_EQ(in.dataSize(), data.size());
        EXPECT_EQ(readAllBytes(path).mid(int(in.dataOffset()), data.size()), data);
        QByteArray back(data.size() + 100, 0);
        int64_t got = in.read(back.data(), 3000);
        EXPECT_EQ(got, 3000);
        EXPECT_EQ(in.position(), 3000);
        got += in.read(back.data() + got, back.size()); // asks for more than is left
        EXPECT_EQ(got, data.size());
        EXPECT_EQ(in.read(back.data(), 10), 0);
        EXPECT_EQ(back.left(data.size()), data);

        in.setPosition(100);
        char two[2];
        ASSERT_EQ(in.read(two, 2), 2);
        EXPECT_EQ(QByteArray(two, 2), data.mid(100, 2));
        in.rewind();
        ASSERT_EQ(in.read(two, 2), 2);
        EXPECT_EQ(QByteArray(two, 2), data.left(2));
        in.close();
        EXPECT_EQ(in.dataSize(), data.size()); // values stay readable after close
        EXPECT_THROW(in.read(two, 2), Failure);
    }
}

TEST_F(WaveFileTest, OpenFailuresCarryClassicNumbers)
{
    WaveFile w;
    EXPECT_EQ(failureNumber([&] { w.setFileName(native("missing.wav")); }), Failure::FileNotFound);
    writeAllBytes(native("text.wav"), "hello, this is not a wave file at all");
    EXPECT_EQ(failureNumber([&] { w.setFileName(native("text.wav")); }), kInvalidFileFormat);
    EXPECT_FALSE(w.isOpen());
    EXPECT_EQ(w.dataSize(), 0);
    EXPECT_EQ(failureNumber([&] { w.create(native("nofolder/x.wav"), WaveFormat::pcm(8000, 1, 8)); }), Failure::PathNotFound);
}

TEST_F(WaveFileTest, MemoryMapShowsTheWholeFileUntilReleased)
{
    const QByteArray bytes = wavBytes(WaveFormat::pcm(8000, 1, 16), someData(5000));
    const QString path = native("map.wav");
    writeAllBytes(path, bytes);
    MemMapFile map;
    map.setFileName(path);
    ASSERT_TRUE(map.isActive());
    ASSERT_EQ(map.size(), bytes.size());
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(map.address()), int(map.size())), bytes);
    map.setActive(false);
    EXPECT_EQ(map.address(), nullptr);
    map.setActive(true);
    EXPECT_NE(map.address(), nullptr);
    map.setFileName(QString());
    EXPECT_FALSE(map.isActive());
    EXPECT_THROW(map.setActive(true), Failure);
    map.setFileName(path);
    map.close();
    EXPECT_TRUE(QFile::remove(path));
    EXPECT_THROW(map.setFileName(path), Failure);
}

TEST_F(WaveFileTest, MemoryMapReadsCopyOnlyWhatTheFileStillHolds)
{
    const QByteArray bytes = wavBytes(WaveFormat::pcm(8000, 1, 16), someData(5000));
    const QString path = native("mapread.wav");
    writeAllBytes(path, bytes);
    MemMapFile map;
    map.setFileName(path);
    QByteArray got(100, '\0');
    ASSERT_EQ(map.read(44, got.data(), 100), 100);
    EXPECT_EQ(got, bytes.mid(44, 100));
    EXPECT_EQ(map.read(bytes.size() - 10, got.data(), 100), 10); // the end of the file
    EXPECT_EQ(got.left(10), bytes.right(10));

    // Another program shortens the file: reads stop at its new end instead of faulting.
    QFile f(path);
    ASSERT_TRUE(f.resize(1000));
    EXPECT_EQ(map.read(990, got.data(), 100), 10);
    EXPECT_EQ(map.read(2000, got.data(), 100), 0);
    map.setActive(false);
    EXPECT_EQ(map.read(44, got.data(), 100), 0);
}
