// Loudness after EBU R128 on signals made here, against the EBU's published expectations for
// its test signals (integrated loudness, loudness range, true peak).
#include "audio/files/Loudness.h"
#include "tests/support/WavBytes.h"
#include <gtest/gtest.h>
#include <cmath>

using namespace tamblor::audio;
using namespace wavtest;

namespace {

// A 1 kHz sine whose peak is `dbfs`, stereo (or `channels`) at 48000 per second.
std::vector<int16_t> tone(double dbfs, double seconds, int channels = 2)
{
    return sine(48000, channels, 1000.0, seconds, int(std::lround(32768.0 * std::pow(10.0, dbfs / 20.0))));
}

// Pieces of tone one after the other: (level, seconds).
LoudnessFigures measureSequence(std::initializer_list<std::pair<double, double>> pieces)
{
    LoudnessMeter m(2, 48000);
    for (auto [dbfs, seconds] : pieces) {
        const std::vector<int16_t> s = tone(dbfs, seconds);
        m.add(s.data(), s.size() / 2);
    }
    return m.figures();
}

} // namespace

TEST(Loudness, SteadyTonesReadTheirLevelOnBothChannelsAndInMono)
{
    // A 1 kHz sine at -23 dBFS on both channels of a stereo programme reads -23.0 LUFS.
    for (double level : {-23.0, -33.0}) {
        const LoudnessFigures f = measureSequence({{level, 20.0}});
        EXPECT_NEAR(f.integratedLufs, level, 0.1) << level;
        EXPECT_NEAR(f.truePeakDbtp, level, 0.2) << level;
        EXPECT_NEAR(f.rangeLu, 0.0, 0.1) << level;
    }
    // Mono is heard on two loudspeakers: the same reading as the stereo file.
    LoudnessMeter mono(1, 48000);
    const std::vector<int16_t> s = tone(-23.0, 20.0, 1);
    mono.add(s.data(), s.size());
    EXPECT_NEAR(mono.figures().integratedLufs, -23.0, 0.1);
}

TEST(Loudness, QuietPassagesAreGatedAndTheRangeIsTheSpreadOfTheLoudness)
{
    // The gates: -36 / -23 / -36 dBFS and -26 / -20 / -26 dBFS both read -23.0 LUFS.
    EXPECT_NEAR(measureSequence({{-36, 10}, {-23, 60}, {-36, 10}}).integratedLufs, -23.0, 0.1);
    EXPECT_NEAR(measureSequence({{-26, 20}, {-20, 20.1}, {-26, 20}}).integratedLufs, -23.0, 0.1);
    // Two steady parts 10 dB apart span 10 LU, 5 dB apart 5 LU (within 1 LU).
    EXPECT_NEAR(measureSequence({{-20, 20}, {-30, 20}}).rangeLu, 10.0, 1.0);
    EXPECT_NEAR(measureSequence({{-20, 20}, {-15, 20}}).rangeLu, 5.0, 1.0);
}

TEST(Loudness, TruePeakSeesBetweenTheSamplesAndSilenceReadsMinusInfinity)
{
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

    LoudnessMeter quiet(2, 44100);
    const std::vector<int16_t> silence(44100 * 2 * 5);
    quiet.add(silence.data(), silence.size() / 2);
    const LoudnessFigures f = quiet.figures();
    EXPECT_TRUE(std::isinf(f.integratedLufs) && f.integratedLufs < 0);
    EXPECT_TRUE(std::isinf(f.truePeakDbtp) && f.truePeakDbtp < 0);
    EXPECT_EQ(f.rangeLu, 0.0);
}
