// The conversion chain: reader -> pump -> [converter] -> writer.
#include "audio/files/AudioFileReader.h"
#include "audio/files/FormatConverter.h"
#include "audio/files/TriggerPump.h"
#include "audio/files/WaveFile.h"
#include "audio/files/WaveFileWriter.h"
#include "audio/files/WaveHelper.h"
#include "tests/support/TestEnv.h"
#include "tests/support/WavBytes.h"
#include <QSignalSpy>
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
    try {
        c.pump.start();
        FAIL();
    } catch (const Failure& f) {
        EXPECT_EQ(f.number(), Failure::InvalidPropertyValue);
    }
    c.pump.setOutput("WaveFile");
    c.writer.setFileName(native("missing/dst.wav"));
    try {
        c.pump.start();
        FAIL();
    } catch (const Failure& f) {
        EXPECT_EQ(f.number(), Failure::PathNotFound);
    }
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
