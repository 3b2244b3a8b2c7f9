// The loudness meter over the loudness engine, and whole wave files measured by it in every
// format they come in.
#include "audio/core/ThreadRole.h"
#include "audio/files/Loudness.h"
#include "platform/Failure.h"
#include "tests/support/Failures.h"
#include "tests/support/TestEnv.h"
#include "tests/support/WavBytes.h"
#include <gtest/gtest.h>
#include <cmath>
#include <algorithm>
#include <cstring>

using namespace tamblor;
using namespace tamblor::audio;
using namespace wavtest;

// The meter hands on the engine's figures (its own tests hold it to the EBU's signals): the
// integrated loudness of 16-bit mono as heard on two loudspeakers, the true peak of floats apart
// from their sample peak, and silence as minus infinity.
TEST(Loudness, TheMeterReportsTheEnginesFiguresForSixteenBitAndFloatSamples)
{
    LoudnessMeter mono(1, 48000);
    const std::vector<int16_t> tone = sine(48000, 1, 1000.0, 20.0, int(std::lround(32768.0 * std::pow(10.0, -23.0 / 20.0))));
    mono.add(tone.data(), tone.size());
    EXPECT_NEAR(mono.figures().integratedLufs, -23.0, 0.1);
    EXPECT_NEAR(mono.figures().rangeLu, 0.0, 0.1);

    // A quarter of the sample rate, shifted by 45 degrees: every sample sits at 0.707 of the
    // wave's peak, so the sample peak reads 3 dB short of the true peak of -1 dBFS.
    const double peak = std::pow(10.0, -1.0 / 20.0);
    std::vector<float> s;
    for (int i = 0; i < 48000 * 5; ++i) {
        const auto v = float(peak * std::sin(M_PI / 2 * i + M_PI / 4));
        s.push_back(v);
        s.push_back(v);
    }
    LoudnessMeter m(2, 48000);
    m.add(s.data(), s.size() / 2);
    EXPECT_NEAR(m.figures().truePeakDbtp, -1.0, 0.3);
    EXPECT_NEAR(m.figures().samplePeakDbfs, -4.0, 0.1);

    LoudnessMeter quiet(2, 44100);
    const std::vector<int16_t> silence(44100 * 2 * 5);
    quiet.add(silence.data(), silence.size() / 2);
    const LoudnessFigures f = quiet.figures();
    EXPECT_TRUE(std::isinf(f.integratedLufs) && f.integratedLufs < 0);
    EXPECT_TRUE(std::isinf(f.truePeakDbtp) && f.truePeakDbtp < 0);
    EXPECT_EQ(f.rangeLu, 0.0);
}

namespace {

// The figures of two measurements of the same samples are the same: the peaks to the last bit,
// the loudness to the rounding of sums taken in other pieces (a file is read in 4 MB pieces).
void expectSame(const LoudnessFigures& a, const LoudnessFigures& b, const char* what)
{
    EXPECT_NEAR(a.integratedLufs, b.integratedLufs, 1e-9) << what;
    EXPECT_NEAR(a.rangeLu, b.rangeLu, 1e-9) << what;
    EXPECT_EQ(a.truePeakDbtp, b.truePeakDbtp) << what;
    EXPECT_EQ(a.samplePeakDbfs, b.samplePeakDbfs) << what;
}

} // namespace

class LoudnessFileTest : public TempRootTest {
protected:
    // A whole-file measurement runs on a worker thread; the test's thread plays that part.
    ThreadRoleScope worker{ThreadRole::Worker};
};

TEST_F(LoudnessFileTest, AFileReadsAsItsSamplesFedToTheMeterInEveryFormat)
{
    // A programme whose level steps (so that the range is not 0), as 16-bit samples.
    std::vector<int16_t> s = sine(48000, 2, 997.0, 12.0, 3000);
    for (size_t i = s.size() / 2; i < s.size(); ++i)
        s[i] = int16_t(s[i] * 4);
    LoudnessMeter fed(2, 48000);
    fed.add(s.data(), s.size() / 2);
    const LoudnessFigures expected = fed.figures();
    EXPECT_NEAR(expected.rangeLu, 12.0, 1.0);
    EXPECT_NEAR(expected.samplePeakDbfs, 20 * std::log10(12000.0 / 32768), 0.01);

    // The same values as 16-bit, 24-bit and 32-bit PCM and as 32-bit float.
    const QString path = native("m.wav");
    writeAllBytes(path, wavBytes(WaveFormat::pcm(48000, 2, 16), pcmBytes(s, 16)));
    expectSame(*measureLoudness(path), expected, "16-bit");
    QByteArray deep, deepest, floats;
    for (int16_t v : s) {
        const int32_t v24 = int32_t(v) * 256, v32 = int32_t(v) * 65536;
        const float f = float(v) / 32768.0f;
        deep.append(reinterpret_cast<const char*>(&v24), 3); // little-endian on every target
        deepest.append(reinterpret_cast<const char*>(&v32), 4);
        floats.append(reinterpret_cast<const char*>(&f), 4);
    }
    writeAllBytes(path, wavBytes(WaveFormat::pcm(48000, 2, 24), deep));
    expectSame(*measureLoudness(path), expected, "24-bit");
    writeAllBytes(path, wavBytes(WaveFormat::pcm(48000, 2, 32), deepest));
    expectSame(*measureLoudness(path), expected, "32-bit");
    WaveFormat f32 = WaveFormat::pcm(48000, 2, 32);
    f32.formatTag = WaveFormat::IeeeFloat;
    writeAllBytes(path, wavBytes(f32, floats));
    expectSame(*measureLoudness(path), expected, "float");
    // 8-bit keeps the top byte only: close, not the same.
    writeAllBytes(path, wavBytes(WaveFormat::pcm(48000, 2, 8), pcmBytes(s, 8)));
    EXPECT_NEAR(measureLoudness(path)->integratedLufs, expected.integratedLufs, 0.1);
}

TEST_F(LoudnessFileTest, ProgressIsReportedAndACancelGivesNothing)
{
    // Longer than one read, so that the progress moves more than once.
    const std::vector<int16_t> s = sine(48000, 2, 440.0, 30.0, 8000);
    const QString path = native("p.wav");
    writeAllBytes(path, wavBytes(WaveFormat::pcm(48000, 2, 16), pcmBytes(s, 16)));
    std::vector<int> seen;
    ASSERT_TRUE(measureLoudness(path, [&](int percent) {
        seen.push_back(percent);
        return true;
    }));
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen.back(), 100);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    int calls = 0;
    EXPECT_FALSE(measureLoudness(path, [&](int) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2);
}

TEST_F(LoudnessFileTest, CompressedAndMalformedFilesAreRefused)
{
    const QString path = native("r.wav");
    WaveFormat adpcm = WaveFormat::pcm(22050, 1, 4);
    adpcm.formatTag = WaveFormat::MsAdpcm;
    adpcm.blockAlign = 256;
    adpcm.samplesPerBlock = 500;
    writeAllBytes(path, wavBytes(adpcm, QByteArray(512, 1)));
    EXPECT_EQ(failureNumber([&] { measureLoudness(path); }), Failure::InvalidCall);
    writeAllBytes(path, QByteArray("RIFF this is no wave file at all"));
    EXPECT_EQ(failureNumber([&] { measureLoudness(path); }), 321);
}
