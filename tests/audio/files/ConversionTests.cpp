// The conversion chain: reader -> pump -> [converter] -> writer.
#include "audio/files/AudioFileReader.h"
#include "audio/files/FormatConverter.h"
#include "audio/files/TriggerPump.h"
#include "audio/files/WaveFile.h"
#include "audio/files/WaveFileWriter.h"
#include "audio/files/WaveHelper.h"
#include "audio/format/RiffReader.h"
#include "tests/support/Failures.h"
#include "tests/support/SoxFiles.h"
#include "tests/support/TestEnv.h"
#include "tests/support/WavBytes.h"
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <cmath>
#include <gtest/gtest.h>
#include <sndfile.h>

using namespace tamblor;
using namespace tamblor::audio;
using namespace wavtest;

namespace {

// The send window's components, wired as it wires them.
struct Chain {
    AudioFileReader reader;
    ChainLinks links;
    WaveFileWriter writer;
    FormatConverter converter{links};
    TriggerPump pump{reader, links};
    Chain()
    {
        links.add(writer);
        links.add(converter);
    }
    // Runs the pump to its finished event.
    void run()
    {
        QSignalSpy started(&pump, &TriggerPump::started);
        QSignalSpy finished(&pump, &TriggerPump::finished);
        pump.start();
        ASSERT_TRUE(finished.wait(20000));
        EXPECT_EQ(started.count(), 1);
        EXPECT_EQ(finished.count(), 1);
        EXPECT_FALSE(pump.isRunning());
        pump.stop();
        writer.close();
    }
};

// All frames of a file, decoded to 16 bits by libsndfile.
std::vector<int16_t> decode(const QString& path, SF_INFO& info)
{
    info = SF_INFO{};
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_READ, &info);
    EXPECT_NE(f, nullptr);
    if (!f)
        return {};
    std::vector<int16_t> s(size_t(info.frames * info.channels));
    sf_readf_short(f, s.data(), info.frames);
    sf_close(f);
    return s;
}

} // namespace

// A link that takes a few buffers and then fails, as a full disk would.
class FailingLink : public ChainLink {
public:
    QString linkName() const override { return "Broken"; }
    WaveFormat resolveFormat(const WaveFormat& in) const override { return in; }
    void begin(const WaveFormat&) override { pushes = 0; aborted = false; }
    void push(const int32_t*, int64_t) override
    {
        if (++pushes == 3)
            throw Failure(Failure::DiskFull);
    }
    void finish() override {}
    void abort() noexcept override { aborted = true; }
    int pushes = 0;
    bool aborted = false;
};

class ConversionTest : public TempRootTest {};

TEST_F(ConversionTest, UnconvertedSendCopiesTheSamplesInTheSourceFormat)
{
    for (const WaveFormat f : {WaveFormat::pcm(44100, 2, 16), WaveFormat::pcm(11025, 1, 8)}) {
        const QByteArray data = pcmBytes(sine(f.sampleRate, f.channels, 440, 1.3, 12000), f.bitsPerSample);
        writeAllBytes(native("src.wav"), wavBytes(f, data));
        Chain c;
        c.reader.setFileName(native("src.wav"));
        EXPECT_EQ(c.reader.length(), 1300);
        c.pump.setOutput("WaveFile");
        EXPECT_EQ(c.pump.destinationFormat(), f);
        c.writer.setFileName(native("dst.wav"));
        c.run();
        EXPECT_EQ(c.reader.position(), c.reader.length());
        WaveFile out;
        out.setFileName(native("dst.wav"));
        EXPECT_EQ(out.format(), f);
        QByteArray back(int(out.dataSize()), 0);
        out.read(back.data(), back.size());
        EXPECT_EQ(back, data);
    }
}

TEST_F(ConversionTest, HalvingTheRateKeepsDurationAndPitch)
{
    const WaveFormat src = WaveFormat::pcm(44100, 2, 16);
    writeAllBytes(native("src.wav"), wavBytes(src, pcmBytes(sine(44100, 2, 1000, 2.0, 16000), 16)));
    Chain c;
    c.reader.setFileName(native("src.wav"));
    const WaveFormat target = derivedFormat(22050, c.reader.format());
    c.converter.setDestinationFormat(target);
    c.converter.setOutput("WaveFile");
    c.pump.setOutput("ACMConverter");
    EXPECT_EQ(c.pump.destinationFormat(), WaveFormat::pcm(22050, 2, 16));
    c.writer.setFileName(native("dst.wav"));
    c.run();
    ASSERT_FALSE(c.pump.failure());

    WaveFile out;
    out.setFileName(native("dst.wav"));
    EXPECT_EQ(out.format(), WaveFormat::pcm(22050, 2, 16));
    EXPECT_NEAR(double(out.dataSize()) / 4, 44100.0, 2); // two seconds at 22050
    SF_INFO info;
    const std::vector<int16_t> s = decode(native("dst.wav"), info);
    EXPECT_NEAR(toneFrequency(s, 2, 22050), 1000.0, 0.5);
    int16_t l, r;
    bufferPeakLevels(out.format(), s.data() + 2000, 40000, l, r);
    EXPECT_NEAR(l, 16000, 300); // the tone passes at full level
}

TEST_F(ConversionTest, MsAdpcmIsWrittenAndReadsBack)
{
    writeAllBytes(native("src.wav"),
                  wavBytes(WaveFormat::pcm(44100, 1, 16), pcmBytes(sine(44100, 1, 500, 1.0, 10000), 16)));
    Chain c;
    c.reader.setFileName(native("src.wav"));
    WaveFormat adpcm = derivedFormat(22050, c.reader.format());
    adpcm.formatTag = WaveFormat::MsAdpcm;
    adpcm.bitsPerSample = 4;
    c.converter.setDestinationFormat(adpcm);
    c.pump.setOutput("ACMConverter");
    c.writer.setFileName(native("dst.wav"));
    c.run();
    ASSERT_FALSE(c.pump.failure());

    AudioFileReader back;
    back.setFileName(native("dst.wav"));
    EXPECT_EQ(back.format().formatTag, WaveFormat::MsAdpcm);
    EXPECT_EQ(back.format().sampleRate, 22050);
    EXPECT_GT(back.format().samplesPerBlock, 0);
    EXPECT_NEAR(double(back.length()), 1000.0, 15);
    SF_INFO info;
    const std::vector<int16_t> s = decode(native("dst.wav"), info);
    EXPECT_NEAR(toneFrequency(s, 1, 22050), 500.0, 0.5);

    // Copying the ADPCM file unconverted writes ADPCM again.
    Chain copy;
    copy.reader.setFileName(native("dst.wav"));
    copy.pump.setOutput("WaveFile");
    copy.writer.setFileName(native("copy.wav"));
    copy.run();
    WaveFile w;
    w.setFileName(native("copy.wav"));
    EXPECT_EQ(w.formatTag(), WaveFormat::MsAdpcm);
}

TEST_F(ConversionTest, RefusalsComeAtStartAndStopEndsQuietly)
{
    writeAllBytes(native("src.wav"),
                  wavBytes(WaveFormat::pcm(44100, 2, 16), pcmBytes(sine(44100, 2, 300, 5.0, 8000), 16)));
    Chain c;
    EXPECT_THROW(c.pump.start(), Failure); // no source
    EXPECT_THROW(c.reader.setFileName(native("none.wav")), Failure);
    c.reader.setFileName(native("src.wav"));
    c.pump.setOutput("Nowhere");
    EXPECT_EQ(failureNumber([&] { c.pump.start(); }), Failure::InvalidPropertyValue);
    c.pump.setOutput("WaveFile");
    c.writer.setFileName(native("missing/dst.wav"));
    EXPECT_EQ(failureNumber([&] { c.pump.start(); }), Failure::PathNotFound);
    EXPECT_FALSE(c.pump.isRunning());

    c.writer.setFileName(native("dst.wav"));
    QSignalSpy finished(&c.pump, &TriggerPump::finished);
    c.pump.start();
    c.pump.stop();
    QCoreApplication::processEvents();
    EXPECT_EQ(finished.count(), 0);
    EXPECT_FALSE(c.pump.isRunning());
    c.writer.close();
    WaveFile part; // what was written so far is a valid file
    EXPECT_NO_THROW(part.setFileName(native("dst.wav")));
}

TEST_F(ConversionTest, AFailureOnTheWayEndsTheRunWithItsNumber)
{
    writeAllBytes(native("src.wav"),
                  wavBytes(WaveFormat::pcm(44100, 2, 16), pcmBytes(sine(44100, 2, 300, 2.0, 8000), 16)));
    Chain c;
    FailingLink broken;
    c.links.add(broken);
    c.reader.setFileName(native("src.wav"));
    c.pump.setOutput("Broken");
    QSignalSpy finished(&c.pump, &TriggerPump::finished);
    c.pump.start();
    ASSERT_TRUE(finished.wait(20000));
    ASSERT_TRUE(c.pump.failure().has_value());
    EXPECT_EQ(c.pump.failure()->number(), Failure::DiskFull);
    EXPECT_TRUE(broken.aborted);
    EXPECT_EQ(broken.pushes, 3);
    EXPECT_LT(c.reader.position(), c.reader.length());

    // The next run starts clean.
    c.pump.setOutput("WaveFile");
    c.writer.setFileName(native("dst.wav"));
    c.run();
    EXPECT_FALSE(c.pump.failure().has_value());
}

#ifdef __linux__
TEST_F(ConversionTest, AFullDiskIsReportedEvenThoughTheWriterBuffers)
{
    // /dev/full takes no byte: the buffered writer must not lose that on the way out, whether
    // the buffer goes out while frames arrive or only when the file is closed.
    for (const int seconds : {10, 1}) {
        WaveFileWriter writer;
        writer.setFileName("/dev/full");
        writer.begin(WaveFormat::pcm(44100, 2, 16));
        std::vector<int32_t> frames(size_t(2 * 44100), 1 << 20);
        try {
            for (int s = 0; s < seconds; ++s)
                writer.push(frames.data(), 44100);
            writer.close();
            ADD_FAILURE() << seconds << " s reported as written";
        } catch (const Failure& f) {
            EXPECT_EQ(f.number(), Failure::DiskFull) << seconds << " s";
        }
    }
}
#endif

namespace {

// Seconds of a tone and noise at full depth (24 bits), the channels different, so that any
// mix-up of blocks or channels shows in the samples.
QByteArray deepNoise(int rate, int channels, double seconds, uint32_t seed)
{
    QByteArray bytes;
    const auto frames = int64_t(rate * seconds);
    bytes.reserve(int(frames * channels * 3));
    uint32_t x = seed;
    for (int64_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            x = x * 1664525u + 1013904223u;
            const double tone = std::sin(2 * M_PI * (300.0 + 4000.0 * c) * double(i) / rate);
            const auto v = int32_t(3000000 * tone) + int32_t(x >> 12) - (1 << 19);
            for (int b = 0; b < 3; ++b)
                bytes.append(char(v >> (8 * b)));
        }
    }
    return bytes;
}

// Wires `c` to convert `seconds` of a 44100 Hz stereo tone (src.wav) to 22050 into the link
// named `output`.
void toneTo22050(Chain& c, const QString& src, double seconds, const QString& output)
{
    writeAllBytes(src, wavBytes(WaveFormat::pcm(44100, 2, 16), pcmBytes(sine(44100, 2, 300, seconds, 8000), 16)));
    c.reader.setFileName(src);
    c.converter.setDestinationFormat(WaveFormat::pcm(22050, 2, 16));
    c.converter.setOutput(output);
    c.pump.setOutput("ACMConverter");
}

// Runs a conversion of `in` to 22050 into `out`, overlapped or on the pump's thread only.
void convertTo22050(const QString& in, const QString& out, bool overlapped)
{
    Chain c;
    c.reader.setFileName(in);
    c.converter.setDestinationFormat(derivedFormat(22050, c.reader.format()));
    c.converter.setOverlapped(overlapped);
    c.pump.setOutput("ACMConverter");
    c.writer.setFileName(out);
    c.run();
    EXPECT_FALSE(c.pump.failure().has_value());
}

// Every sample of a file as a double (1.0 is full scale), as libsndfile reads it.
std::vector<double> samplesOf(const QString& path, SF_INFO& info)
{
    info = SF_INFO{};
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_READ, &info);
    EXPECT_NE(f, nullptr) << path.toStdString();
    if (!f)
        return {};
    std::vector<double> s(size_t(info.frames * info.channels));
    sf_readf_double(f, s.data(), info.frames);
    sf_close(f);
    return s;
}

double rmsDb(const std::vector<double>& s, size_t from, size_t to)
{
    double sum = 0;
    for (size_t i = from; i < to; ++i)
        sum += s[i] * s[i];
    return 10 * std::log10(sum / double(to - from));
}

// A link that takes every frame and counts them, and knows whether it was aborted.
class CountingLink : public ChainLink {
public:
    QString linkName() const override { return "Counter"; }
    WaveFormat resolveFormat(const WaveFormat& in) const override { return in; }
    void begin(const WaveFormat&) override { frames = 0; aborted = finished = false; }
    void push(const int32_t*, int64_t count) override { frames += count; }
    void finish() override { finished = true; }
    void abort() noexcept override { aborted = true; }
    std::atomic<int64_t> frames{0};
    bool aborted = false, finished = false;
};

} // namespace

TEST_F(ConversionTest, TheOverlappedConversionWritesTheSameFileAsTheOneThreadChain)
{
    // Every rate a library file may have (the recorder's and those of files brought in), mono
    // and stereo, 10 s each, through the send window's conversion to 22050.
    uint32_t seed = 1;
    for (const int rate : {8000, 11025, 16000, 22050, 32000, 44100, 48000}) {
        for (const int channels : {1, 2}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, " << channels << " channels");
            const WaveFormat f = WaveFormat::pcm(rate, channels, 24);
            writeAllBytes(native("src.wav"), wavBytes(f, deepNoise(rate, channels, 10.0, seed++)));
            convertTo22050(native("src.wav"), native("overlapped.wav"), true);
            convertTo22050(native("src.wav"), native("onethread.wav"), false);
            const QByteArray a = readAllBytes(native("overlapped.wav"));
            const QByteArray b = readAllBytes(native("onethread.wav"));
            ASSERT_EQ(a.size(), b.size());
            EXPECT_NEAR(double(a.size() - 44) / (3 * channels), 220500.0, 2); // 10 s at 22050
            EXPECT_TRUE(a == b);
        }
    }
}

TEST_F(ConversionTest, AFailureBehindTheOverlappedResamplerEndsTheRunWithItsNumber)
{
    Chain c;
    FailingLink broken;
    c.links.add(broken);
    toneTo22050(c, native("src.wav"), 20.0, "Broken");
    QSignalSpy finished(&c.pump, &TriggerPump::finished);
    c.pump.start();
    ASSERT_TRUE(finished.wait(20000));
    ASSERT_TRUE(c.pump.failure().has_value());
    EXPECT_EQ(c.pump.failure()->number(), Failure::DiskFull);
    EXPECT_TRUE(broken.aborted);
    EXPECT_EQ(broken.pushes, 3);
    EXPECT_LT(c.reader.position(), c.reader.length()); // the reading stopped too

    // The next run starts clean.
    c.converter.setOutput("WaveFile");
    c.writer.setFileName(native("dst.wav"));
    c.run();
    EXPECT_FALSE(c.pump.failure().has_value());
    SF_INFO info;
    decode(native("dst.wav"), info);
    EXPECT_NEAR(double(info.frames), 20 * 22050.0, 2);
}

TEST_F(ConversionTest, StoppingAnOverlappedConversionStopsEveryStage)
{
    Chain c;
    CountingLink counter;
    c.links.add(counter);
    toneTo22050(c, native("src.wav"), 120.0, "Counter");
    QSignalSpy finished(&c.pump, &TriggerPump::finished);
    c.pump.start();
    while (counter.frames == 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    c.pump.stop();
    EXPECT_FALSE(c.pump.isRunning());
    EXPECT_TRUE(counter.aborted);
    EXPECT_FALSE(counter.finished);
    // Nothing is pushed any more once stop() has returned: the stages' threads are gone.
    const int64_t frames = counter.frames;
    QTest::qWait(50);
    EXPECT_EQ(counter.frames, frames);
    EXPECT_LT(frames, 120 * 22050);
    EXPECT_EQ(finished.count(), 0);
}

#ifdef __linux__
TEST_F(ConversionTest, AFullDiskIsReportedThroughTheOverlappedResampler)
{
    Chain c;
    toneTo22050(c, native("src.wav"), 30.0, "WaveFile");
    c.writer.setFileName("/dev/full");
    QSignalSpy finished(&c.pump, &TriggerPump::finished);
    c.pump.start();
    ASSERT_TRUE(finished.wait(20000));
    ASSERT_TRUE(c.pump.failure().has_value());
    EXPECT_EQ(c.pump.failure()->number(), Failure::DiskFull);
}
#endif

TEST_F(ConversionTest, FloatFilesAreConvertedAsFloatAtTheirLevel)
{
    // Made as another studio tool makes them: a 440 Hz tone at -6 dB, 32- and 64-bit float.
    for (const int bits : {32, 64}) {
        for (const int rate : {44100, 22050}) {
            SCOPED_TRACE(testing::Message() << bits << "-bit float at " << rate);
            ASSERT_TRUE(soxtest::runSox({"-D", "-n", "-r", QString::number(rate), "-c", "2", "-e", "floating-point",
                                         "-b", QString::number(bits), native("f.wav"), "synth", "4", "sine", "440",
                                         "gain", "-6"}));
            convertTo22050(native("f.wav"), native("out.wav"), true);
            SF_INFO in, out;
            const std::vector<double> src = samplesOf(native("f.wav"), in);
            const std::vector<double> dst = samplesOf(native("out.wav"), out);
            EXPECT_EQ(out.format & SF_FORMAT_SUBMASK, bits == 32 ? SF_FORMAT_FLOAT : SF_FORMAT_DOUBLE);
            EXPECT_EQ(out.samplerate, 22050);
            ASSERT_NEAR(double(out.frames), 4 * 22050.0, 2);
            // Nothing clipped, nothing beyond full scale.
            double peak = 0;
            for (double v : dst)
                peak = std::max(peak, std::fabs(v));
            EXPECT_LT(peak, 0.52);
            // The same level (over whole seconds in the middle, away from the ends).
            EXPECT_NEAR(rmsDb(dst, 2 * 22050, 6 * 22050), rmsDb(src, size_t(2 * rate), size_t(6 * rate)), 0.01);
            if (rate == 22050) {
                // Nothing to resample: the samples come out as they went in (64-bit ones to the
                // 31 bits of the chain).
                ASSERT_EQ(dst.size(), src.size());
                double worst = 0;
                for (size_t i = 0; i < src.size(); ++i)
                    worst = std::max(worst, std::fabs(dst[i] - src[i]));
                EXPECT_LE(worst, bits == 32 ? 0.0 : 1.0 / 2147483648.0);
            }
        }
    }
}

TEST_F(ConversionTest, PcmIsReadAndWrittenAsLibsndfileDecodesAndEncodesIt)
{
    // The reader widens and the writer narrows linear PCM itself: byte for byte and sample for
    // sample what libsndfile makes of the same frames, at every depth, extremes included.
    uint32_t x = 7;
    for (const int bits : {8, 16, 24, 32}) {
        for (const int channels : {1, 2}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, " << channels << " channels");
            std::vector<int32_t> frames(size_t(5000 * channels));
            for (int32_t& v : frames) {
                x = x * 1664525u + 1013904223u;
                v = int32_t(x);
            }
            frames[0] = INT32_MIN;
            frames[1] = INT32_MAX;
            frames[2] = 0;
            frames[3] = -1;
            const WaveFormat f = WaveFormat::pcm(44100, channels, bits);
            WaveFileWriter ours;
            ours.setFileName(native("ours.wav"));
            ours.begin(f);
            ours.push(frames.data(), 3000);
            ours.push(frames.data() + 3000 * channels, 2000);
            ours.close();

            SF_INFO info{};
            info.samplerate = 44100;
            info.channels = channels;
            info.format = SF_FORMAT_WAV | (bits == 8 ? SF_FORMAT_PCM_U8 : bits == 16 ? SF_FORMAT_PCM_16
                                                                   : bits == 24 ? SF_FORMAT_PCM_24
                                                                                : SF_FORMAT_PCM_32);
            SNDFILE* theirs = sf_open(native("theirs.wav").toLocal8Bit().constData(), SFM_WRITE, &info);
            ASSERT_TRUE(theirs);
            sf_writef_int(theirs, frames.data(), 5000);
            sf_close(theirs);
            const RiffLayout a = RiffReader::read(native("ours.wav"));
            const RiffLayout b = RiffReader::read(native("theirs.wav"));
            ASSERT_EQ(a.dataSize, b.dataSize);
            EXPECT_EQ(readAllBytes(native("ours.wav")).mid(int(a.dataOffset), int(a.dataSize)),
                      readAllBytes(native("theirs.wav")).mid(int(b.dataOffset), int(b.dataSize)));

            AudioFileReader reader;
            reader.setFileName(native("theirs.wav"));
            std::vector<int32_t> back(frames.size());
            EXPECT_EQ(reader.readFrames(back.data(), 1234), 1234);
            EXPECT_EQ(reader.readFrames(back.data() + 1234 * channels, 9999), 5000 - 1234);
            EXPECT_EQ(reader.readFrames(back.data(), 10), 0);
            std::vector<int32_t> decoded(frames.size());
            SNDFILE* in = sf_open(native("theirs.wav").toLocal8Bit().constData(), SFM_READ, &info);
            ASSERT_TRUE(in);
            sf_readf_int(in, decoded.data(), 5000);
            sf_close(in);
            EXPECT_EQ(back, decoded);
        }
    }
}
