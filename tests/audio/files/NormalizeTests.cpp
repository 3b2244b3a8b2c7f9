// Normalizing in place: the target peak, the untouched rest of the file, safety on failure.
#include "audio/core/ThreadRole.h"
#include "audio/files/Normalize.h"
#include "audio/files/WaveFile.h"
#include "audio/files/WaveHelper.h"
#include "platform/Failure.h"
#include "tests/support/Failures.h"
#include "tests/support/SoxFiles.h"
#include "tests/support/TestEnv.h"
#include "tests/support/WavBytes.h"
#include <QDir>
#include <cmath>
#include <gtest/gtest.h>
#include <sndfile.h>

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

// Every sample of a file as a share of full scale, decoded by libsndfile, per channel.
std::vector<std::vector<double>> channelsOf(const QString& path)
{
    SF_INFO info{};
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_READ, &info);
    EXPECT_TRUE(f) << sf_strerror(nullptr);
    if (!f)
        return {};
    std::vector<double> all(size_t(info.frames * info.channels));
    sf_readf_double(f, all.data(), info.frames);
    sf_close(f);
    std::vector<std::vector<double>> out(size_t(info.channels));
    for (size_t i = 0; i < all.size(); ++i)
        out[i % size_t(info.channels)].push_back(all[i]);
    return out;
}

double peakOf(const std::vector<double>& samples)
{
    double p = 0;
    for (double s : samples)
        p = std::max(p, std::abs(s));
    return p;
}

// Little-endian bytes of 24-bit, 32-bit or float samples.
QByteArray deepBytes(const std::vector<double>& samples, int tag, int bits)
{
    QByteArray b;
    for (double v : samples) {
        if (tag == 3) {
            const float x = float(v);
            b.append(reinterpret_cast<const char*>(&x), 4);
        } else {
            const auto i = int32_t(std::lround(v * (bits == 24 ? 8388607.0 : 2147483647.0)));
            b.append(le32(uint32_t(i)).left(bits / 8 == 3 ? 3 : 4));
        }
    }
    return b;
}

} // namespace

class NormalizeTest : public TempRootTest {
protected:
    // The normalizer runs on a job's worker thread; the test's thread plays that part.
    ThreadRoleScope worker{ThreadRole::Worker};
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
        EXPECT_EQ(f.description(), "Invalid procedure call or argument: Microsoft ADPCM is compressed; only PCM "
                                   "and float files can be normalized");
    }
    EXPECT_EQ(readAllBytes(path), bytes);
    QString missing = native("missing.wav");
    EXPECT_EQ(failureNumber([&] { NormalizeFile(missing, 50); }), Failure::FileNotFound);
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
    // The peak normalize leaves the loudness unmeasured (its true peak costs more than the
    // whole rewrite) and reports only its gain.
    NormalizeReport report;
    QString name = path;
    ASSERT_TRUE(NormalizeFile(name, 50, {}, {}, &report));
    EXPECT_FALSE(report.scanned);
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

TEST_F(NormalizeTest, DeepAndFloatFilesReachTheTargetOnTheirLoudestChannelAndKeepTheirChunks)
{
    // Stereo, the right channel twice as loud as the left; the low bits carry the signal.
    std::vector<double> samples;
    for (int i = 0; i < 20000; ++i) {
        const double v = 0.2 * std::sin(2 * M_PI * 440.0 * i / 48000.0) + 1e-6 * (i % 7);
        samples.push_back(v / 2);
        samples.push_back(v);
    }
    double rightPeak = 0;
    for (size_t i = 1; i < samples.size(); i += 2)
        rightPeak = std::max(rightPeak, std::abs(samples[i]));
    struct Case { int tag, bits; };
    for (const Case c : {Case{1, 24}, Case{1, 32}, Case{3, 32}}) {
        SCOPED_TRACE(testing::Message() << "tag " << c.tag << ", " << c.bits << " bits");
        QString path = native("deep.wav");
        const QByteArray trailer = chunk("LIST", "INFOkept after the data");
        const QByteArray bytes = riff(chunk("fmt ", fmtBody([&] {
                                          WaveFormat f = WaveFormat::pcm(48000, 2, c.bits);
                                          f.formatTag = c.tag;
                                          return f;
                                      }())) + chunk("data", deepBytes(samples, c.tag, c.bits)) + trailer);
        writeAllBytes(path, bytes);
        ASSERT_TRUE(NormalizeFile(path, 50));
        const QByteArray after = readAllBytes(path);
        ASSERT_EQ(after.size(), bytes.size());
        EXPECT_EQ(after.left(44), bytes.left(44));
        EXPECT_EQ(after.right(trailer.size()), trailer);
        const auto ch = channelsOf(path);
        ASSERT_EQ(ch.size(), 2u);
        EXPECT_NEAR(peakOf(ch[1]), 0.5, 1e-6);
        EXPECT_NEAR(peakOf(ch[0]), 0.25, 1e-5);
        // One factor for every sample: the quiet detail is scaled, not lost.
        EXPECT_NEAR(ch[1][5], samples[11] * 0.5 / rightPeak, 1e-6);
    }
}

TEST_F(NormalizeTest, FilesMadeBySoxAndATruncatedTakeAreNormalized)
{
    // sox writes 24-bit stereo as WAVE_FORMAT_EXTENSIBLE, float with a fact chunk.
    for (const QStringList& options : {QStringList{"-b", "24"}, QStringList{"-e", "floating-point", "-b", "32"}}) {
        SCOPED_TRACE(options.join(' ').toStdString());
        QString path = native("sox.wav");
        ASSERT_TRUE(soxtest::makeTone(path, options, 44100, 2, 0.5));
        ASSERT_TRUE(NormalizeFile(path, 100));
        for (const auto& channel : channelsOf(path)) {
            EXPECT_LE(peakOf(channel), 1.0);
            EXPECT_NEAR(peakOf(channel), 1.0, 1e-4);
        }
    }

    // A take whose header claims more than the file holds: the frames there are normalized and
    // the header then states what the file holds.
    QString path = native("take.wav");
    const QByteArray data = pcmBytes(sine(22050, 1, 440, 0.5, 4000), 16);
    QByteArray bytes = wav(1, 1, 22050, 16, data, 4 * data.size());
    bytes.chop(1); // half a frame at the end
    writeAllBytes(path, bytes);
    ASSERT_TRUE(NormalizeFile(path, 50));
    WaveFile w;
    w.setFileName(path);
    EXPECT_EQ(w.dataSize(), data.size() - 2);
    EXPECT_EQ(readAllBytes(path).mid(40, 4), le32(uint32_t(data.size() - 2)));
    EXPECT_NEAR(filePeak(path), 0.5 * 32767, 3);
}

TEST_F(NormalizeTest, DeepAndFloatFilesAreBroughtToALoudnessTarget)
{
    // 10 s of a 1 kHz tone at -30 dBFS on both channels, 24-bit and float: -30 LUFS, to -23.
    std::vector<double> samples;
    const double amplitude = std::pow(10.0, -30.0 / 20.0);
    for (int i = 0; i < 48000 * 10; ++i) {
        const double v = amplitude * std::sin(2 * M_PI * 1000.0 * i / 48000.0);
        samples.push_back(v);
        samples.push_back(v);
    }
    struct Case { int tag, bits; };
    for (const Case c : {Case{1, 24}, Case{3, 32}}) {
        SCOPED_TRACE(testing::Message() << "tag " << c.tag << ", " << c.bits << " bits");
        QString path = native("deeploud.wav");
        WaveFormat f = WaveFormat::pcm(48000, 2, c.bits);
        f.formatTag = c.tag;
        writeAllBytes(path, riff(chunk("fmt ", fmtBody(f)) + chunk("data", deepBytes(samples, c.tag, c.bits))));
        NormalizeReport report;
        ASSERT_TRUE(NormalizeToLoudness(path, {}, {}, {}, &report));
        EXPECT_NEAR(report.loudness.integratedLufs, -30.0, 0.1);
        EXPECT_NEAR(report.gainDb, 7.0, 0.1);
        const auto ch = channelsOf(path);
        ASSERT_EQ(ch.size(), 2u);
        std::vector<float> frames;
        for (size_t i = 0; i < ch[0].size(); ++i) {
            frames.push_back(float(ch[0][i]));
            frames.push_back(float(ch[1][i]));
        }
        LoudnessMeter after(2, 48000);
        after.add(frames.data(), ch[0].size());
        EXPECT_NEAR(after.figures().integratedLufs, -23.0, 0.1);
    }
}
