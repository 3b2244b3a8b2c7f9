// Normalizing in place: the target peak, the untouched rest of the file, safety on failure.
#include "audio/files/Normalize.h"
#include "audio/files/WaveFile.h"
#include "audio/files/WaveHelper.h"
#include "platform/Failure.h"
#include "tests/support/TestEnv.h"
#include "tests/support/WavBytes.h"
#include <QDir>
#include <cmath>
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

// Integrated loudness and true peak of a 16-bit file, read back from disk.
LoudnessFigures fileLoudness(const QString& path)
{
    WaveFile w;
    w.setFileName(path);
    QByteArray d(int(w.dataSize()), 0);
    w.read(d.data(), d.size());
    LoudnessMeter m(w.format().channels, w.format().sampleRate);
    m.add(reinterpret_cast<const int16_t*>(d.constData()), size_t(d.size()) / size_t(w.format().blockAlign));
    return m.figures();
}

int amplitudeAt(double dbfs) { return int(std::lround(32768.0 * std::pow(10.0, dbfs / 20.0))); }

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

TEST_F(NormalizeTest, ALoudnessTargetIsReachedAndTheScanReportsTheLoudness)
{
    // 20 s of a 1 kHz tone at -30 dBFS: -30 LUFS, brought to -23 LUFS and to -16 LUFS.
    const WaveFormat f = WaveFormat::pcm(44100, 2, 16);
    const QString path = native("loud.wav");
    for (const double target : {-23.0, -16.0}) {
        writeAllBytes(path, wavBytes(f, pcmBytes(sine(44100, 2, 1000, 20.0, amplitudeAt(-30)), 16)));
        QString name = path;
        NormalizeReport report;
        bool reportedBeforeRewrite = false;
        EXPECT_TRUE(NormalizeToLoudness(name, {target, -1.0}, [&](int, int phase, int) {
            if (phase == 1)
                reportedBeforeRewrite = reportedBeforeRewrite || report.scanned;
            return true;
        }, {}, &report));
        EXPECT_TRUE(reportedBeforeRewrite);
        EXPECT_NEAR(report.loudness.integratedLufs, -30.0, 0.1);
        EXPECT_NEAR(report.loudness.truePeakDbtp, -30.0, 0.2);
        EXPECT_NEAR(report.gainDb, target + 30.0, 0.1);
        EXPECT_FALSE(report.heldByCeiling);
        EXPECT_NEAR(fileLoudness(path).integratedLufs, target, 0.1) << target;
    }
    LoudnessTarget standard;
    EXPECT_EQ(standard.lufs, -23.0);
    EXPECT_EQ(standard.ceilingDbtp, -1.0);

    // The peak normalize measures the loudness in its scan as well.
    NormalizeReport report;
    QString name = path;
    ASSERT_TRUE(NormalizeFile(name, 50, {}, {}, &report));
    EXPECT_TRUE(report.scanned);
    EXPECT_NEAR(report.loudness.integratedLufs, -16.0, 0.1);
    EXPECT_NEAR(report.gainDb, -6.02 + 16.0, 0.1); // the peak from -16 dBFS to half of full scale
}

TEST_F(NormalizeTest, ALoudnessTargetStopsWhereTheTruePeakMeetsTheCeiling)
{
    // A -30 dBFS tone with a 20 ms burst at -5 dBFS: reaching -23 LUFS needs +7 dB, which
    // would lift the burst to +2 dBTP. The gain stops at +4 dB, the true peak at -1 dBTP.
    const WaveFormat f = WaveFormat::pcm(44100, 2, 16);
    std::vector<int16_t> s = sine(44100, 2, 1000, 20.0, amplitudeAt(-30));
    const std::vector<int16_t> burst = sine(44100, 2, 1000, 0.02, amplitudeAt(-5));
    std::copy(burst.begin(), burst.end(), s.begin() + 2 * 44100 * 10);
    const QString path = native("peaky.wav");
    writeAllBytes(path, wavBytes(f, pcmBytes(s, 16)));
    QString name = path;
    NormalizeReport report;
    ASSERT_TRUE(NormalizeToLoudness(name, {}, {}, {}, &report));
    EXPECT_TRUE(report.heldByCeiling);
    EXPECT_NEAR(report.gainDb, -1.0 - report.loudness.truePeakDbtp, 0.01);
    const LoudnessFigures after = fileLoudness(path);
    EXPECT_LE(after.truePeakDbtp, -1.0 + 0.05);
    EXPECT_GT(after.truePeakDbtp, -1.3);
    EXPECT_LT(after.integratedLufs, -23.5); // short of the target
    EXPECT_NEAR(after.integratedLufs, report.loudness.integratedLufs + report.gainDb, 0.1);
}

TEST_F(NormalizeTest, ALoudnessTargetLeavesSilenceAndRefusesNonsense)
{
    const WaveFormat f = WaveFormat::pcm(22050, 1, 8);
    QString path = native("quiet.wav");
    writeAllBytes(path, wavBytes(f, QByteArray(22050 * 3, char(128))));
    const QByteArray before = readAllBytes(path);
    NormalizeReport report;
    EXPECT_TRUE(NormalizeToLoudness(path, {}, {}, {}, &report));
    EXPECT_TRUE(report.scanned);
    EXPECT_TRUE(std::isinf(report.loudness.integratedLufs));
    EXPECT_EQ(report.gainDb, 0.0);
    EXPECT_EQ(readAllBytes(path), before);

    // An 8-bit tone is measured and rewritten like a 16-bit one; a cancel keeps the original.
    writeAllBytes(path, wavBytes(f, pcmBytes(sine(22050, 1, 1000, 20.0, amplitudeAt(-20)), 8)));
    const QByteArray tone = readAllBytes(path);
    EXPECT_FALSE(NormalizeToLoudness(path, {}, [](int percent, int phase, int) { return !(phase == 1 && percent > 50); }));
    EXPECT_EQ(readAllBytes(path), tone);
    ASSERT_TRUE(NormalizeToLoudness(path, {-12.0, -1.0}, {}, {}, &report));
    EXPECT_NEAR(report.loudness.integratedLufs, -20.0, 0.3);
    EXPECT_NEAR(report.gainDb, 8.0, 0.3);

    EXPECT_THROW(NormalizeToLoudness(path, {-80.0, -1.0}), Failure);
    EXPECT_THROW(NormalizeToLoudness(path, {5.0, -1.0}), Failure);
    EXPECT_THROW(NormalizeToLoudness(path, {-23.0, 1.0}), Failure);
}
