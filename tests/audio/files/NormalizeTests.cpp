// Normalizing in place: the target peak, the untouched rest of the file, safety on failure.
#include "audio/files/Normalize.h"
#include "audio/files/WaveFile.h"
#include "audio/files/WaveHelper.h"
#include "platform/Failure.h"
#include "tests/support/TestEnv.h"
#include "tests/support/WavBytes.h"
#include <QDir>
#include <gtest/gtest.h>

using namespace tamblor;
using namespace tamblor::audio;
using namespace wavtest;

namespace {

// Peak magnitude of a file's samples in the 16-bit range.
int filePeak(const QString& path)
{
    WaveFile w;
    w.setFileName(path);
    QByteArray d(int(w.dataSize()), 0);
    w.read(d.data(), d.size());
    int64_t n = d.size();
    const BlockExtremes e = blockExtremes(w.format(), d.constData(), n);
    if (w.bitsPerSample() == 8)
        return std::max({128 - e.min1, e.max1 - 128, 128 - e.min2, e.max2 - 128}) * 256;
    return std::max({-int(e.min1), int(e.max1), -int(e.min2), int(e.max2)});
}

} // namespace

class NormalizeTest : public TempRootTest {
protected:
    QString makeFile(const WaveFormat& f, int amplitude, const QByteArray& trailer = {})
    {
        const QString path = native("n.wav");
        const QByteArray data = pcmBytes(sine(f.sampleRate, f.channels, 440, 3.0, amplitude), f.bitsPerSample);
        writeAllBytes(path, riff(chunk("fmt ", fmtBody(f)) + chunk("data", data) + trailer));
        return path;
    }
};

TEST_F(NormalizeTest, ReachesTheTargetPeakAndKeepsEverythingElse)
{
    for (const WaveFormat f : {WaveFormat::pcm(44100, 2, 16), WaveFormat::pcm(22050, 1, 16)}) {
        QString path = makeFile(f, 4000, chunk("LIST", "INFOtrailer"));
        const QByteArray before = readAllBytes(path);
        std::vector<std::pair<int, int>> calls; // (percent, phase)
        const bool done = NormalizeFile(path, 56, [&](int percent, int phase, int third) {
            EXPECT_EQ(third, 0);
            calls.emplace_back(percent, phase);
            return true;
        });
        EXPECT_TRUE(done);
        EXPECT_NEAR(filePeak(path), 0.56 * 32767, 3);
        const QByteArray after = readAllBytes(path);
        ASSERT_EQ(after.size(), before.size());
        EXPECT_EQ(after.left(44), before.left(44));
        EXPECT_EQ(after.right(20), before.right(20));
        // Scanning first, then rewriting, each counting up to 100.
        ASSERT_GE(calls.size(), 4u);
        EXPECT_EQ(calls.front(), std::make_pair(0, 0));
        EXPECT_EQ(calls.back(), std::make_pair(100, 1));
        const auto firstRewrite = std::find_if(calls.begin(), calls.end(), [](auto c) { return c.second != 0; });
        ASSERT_NE(firstRewrite, calls.end());
        EXPECT_EQ((firstRewrite - 1)->first, 100);
        EXPECT_TRUE(std::is_sorted(calls.begin(), firstRewrite));
        EXPECT_TRUE(std::is_sorted(firstRewrite, calls.end()));
    }
}

TEST_F(NormalizeTest, EightBitFilesAndFullScale)
{
    QString path = makeFile(WaveFormat::pcm(8000, 1, 8), 8000);
    ASSERT_TRUE(NormalizeFile(path, 100));
    EXPECT_GE(filePeak(path), 32767 - 256);
    EXPECT_LE(filePeak(path), 32768);
    ASSERT_TRUE(NormalizeFile(path, 0));
    EXPECT_EQ(filePeak(path), 0);
}

TEST_F(NormalizeTest, CancelOrFailureLeavesTheOriginalUntouched)
{
    QString path = makeFile(WaveFormat::pcm(44100, 2, 16), 3000);
    const QByteArray before = readAllBytes(path);
    for (int stopPhase : {0, 1}) {
        EXPECT_FALSE(NormalizeFile(path, 90, [&](int percent, int phase, int) {
            return !(phase == stopPhase && percent >= 50);
        }));
        EXPECT_EQ(readAllBytes(path), before);
    }
    EXPECT_THROW(NormalizeFile(path, 90, [](int percent, int phase, int) {
        if (phase == 1 && percent > 30)
            throw Failure(Failure::DiskFull);
        return true;
    }), Failure);
    EXPECT_EQ(readAllBytes(path), before);
    EXPECT_EQ(QDir(root()).entryList(QDir::Files), QStringList{"n.wav"}); // no leftovers
    EXPECT_THROW(NormalizeFile(path, 101), Failure);
}

TEST_F(NormalizeTest, RefusedFilesStayAsTheyWere)
{
    QString path = native("n.wav");
    QByteArray truncated = wavBytes(WaveFormat::pcm(44100, 2, 16), QByteArray(4000, 9));
    truncated.chop(100);
    writeAllBytes(path, truncated);
    EXPECT_THROW(NormalizeFile(path, 50), Failure);
    EXPECT_EQ(readAllBytes(path), truncated);

    WaveFormat adpcm = WaveFormat::pcm(22050, 1, 4);
    adpcm.formatTag = WaveFormat::MsAdpcm;
    adpcm.blockAlign = 256;
    adpcm.samplesPerBlock = 500;
    const QByteArray bytes = wavBytes(adpcm, QByteArray(512, 1));
    writeAllBytes(path, bytes);
    try {
        NormalizeFile(path, 50);
        FAIL();
    } catch (const Failure& f) {
        EXPECT_EQ(f.number(), Failure::InvalidCall);
    }
    QString missing = native("missing.wav");
    try {
        NormalizeFile(missing, 50);
        FAIL();
    } catch (const Failure& f) {
        EXPECT_EQ(f.number(), Failure::FileNotFound);
    }
}

TEST_F(NormalizeTest, AnEmptyPathAsksForAFile)
{
    const QString chosen = makeFile(WaveFormat::pcm(22050, 1, 16), 2000);
    QString path;
    EXPECT_FALSE(NormalizeFile(path, 50)); // nobody to ask
    EXPECT_FALSE(NormalizeFile(path, 50, {}, [] { return QString(); })); // operator gave up
    EXPECT_TRUE(path.isEmpty());
    int asked = 0;
    EXPECT_TRUE(NormalizeFile(path, 50, {}, [&] { ++asked; return chosen; }));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(path, chosen);
    EXPECT_NEAR(filePeak(chosen), 16384, 3);
}

TEST_F(NormalizeTest, EveryChannelOfAWideFileCountsForThePeak)
{
    // Quiet first two channels, loud further ones: the loud ones must hold the gain down, or
    // they clip. (Three 16-bit channels also make frames that 1 MiB reads split.)
    for (const int channels : {3, 4}) {
        const WaveFormat f = WaveFormat::pcm(44100, channels, 16);
        std::vector<int16_t> samples(size_t(channels) * 300000);
        for (size_t i = 0; i < samples.size(); ++i) {
            const size_t ch = i % size_t(channels);
            const int sign = (i / size_t(channels)) % 2 ? -1 : 1;
            samples[i] = int16_t(sign * (ch < 2 ? 1000 : 20000));
        }
        QString path = native("wide.wav");
        writeAllBytes(path, wavBytes(f, pcmBytes(samples, 16)));
        ASSERT_TRUE(NormalizeFile(path, 100));
        WaveFile w;
        w.setFileName(path);
        QByteArray d(int(w.dataSize()), 0);
        ASSERT_EQ(w.read(d.data(), d.size()), d.size());
        const std::vector<int16_t> after = samplesOf(d);
        ASSERT_EQ(after.size(), samples.size());
        int peak = 0;
        for (int16_t s : after)
            peak = std::max(peak, std::abs(int(s)));
        EXPECT_NEAR(peak, 32767, 3) << channels << " channels";
        // Nothing clipped: every sample kept its share of the loudest.
        EXPECT_NEAR(std::abs(int(after[0])), 32767 / 20, 3) << channels << " channels";
        EXPECT_NEAR(std::abs(int(after[after.size() - 1])), 32767, 3) << channels << " channels";
    }
}
