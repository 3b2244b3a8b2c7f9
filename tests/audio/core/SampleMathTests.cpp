#include "audio/core/SampleMath.h"
#include "audio/core/WaveFormat.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <vector>

using namespace tamblor::audio;

TEST(SampleMath, PeaksPerChannelOfStereoAndMono)
{
    std::vector<int16_t> st = {100, -200, -32768, 5, 300, 32767, -1, 0};
    int16_t l = 0, r = 0;
    bufferPeaks(st.data(), 4, 2, l, r);
    EXPECT_EQ(l, 32767); // -32768 is clamped to the 16-bit magnitude range
    EXPECT_EQ(r, 32767);
    bufferPeaks(st.data(), 1, 2, l, r);
    EXPECT_EQ(l, 100);
    EXPECT_EQ(r, 200);
    bufferPeaks(st.data(), 2, 1, l, r);
    EXPECT_EQ(l, 200);
    EXPECT_EQ(r, 200);
    bufferPeaks(st.data(), 0, 2, l, r);
    EXPECT_EQ(l, 0);
}

TEST(SampleMath, PeakMagnitudeCountsTheMostNegativeSampleInFull)
{
    std::vector<int16_t> s = {3, -7, 5, 0, 6};
    EXPECT_EQ(peakMagnitude(s.data(), s.size()), 7);
    s.push_back(-32768);
    EXPECT_EQ(peakMagnitude(s.data(), s.size()), 32768);
    EXPECT_EQ(peakMagnitude(s.data(), 0), 0);
    // Long enough for the vector loop and its tail; the loudest sample at the very end.
    std::vector<int16_t> run(1003, 100);
    run.back() = 32767;
    EXPECT_EQ(peakMagnitude(run.data(), run.size()), 32767);
}

// Gains below, at and above unity (16384), saturating at both ends of the range.
TEST(SampleMath, EveryGainGivesTheFixedPointProductOfEachSample)
{
    std::vector<int16_t> all;
    for (int v = -32768; v <= 32767; v += 7)
        all.push_back(int16_t(v));
    all.push_back(-32768);
    all.push_back(32767);
    for (const int gain : {0, 1, 8191, 16383, 16385, 32768, 65535, 65536, 65537, 1 << 20, 536870911}) {
        std::vector<int16_t> s = all;
        applyGain(s.data(), s.size(), gain);
        for (size_t i = 0; i < s.size(); ++i) {
            const int64_t want = std::clamp<int64_t>((int64_t(all[i]) * gain) >> 14, -32768, 32767);
            ASSERT_EQ(s[i], want) << "sample " << all[i] << " gain " << gain;
        }
    }
}

TEST(WaveFormat, DerivedRateKeepsLayout)
{
    const WaveFormat f = WaveFormat::pcm(44100, 2, 16);
    EXPECT_EQ(f.blockAlign, 4);
    EXPECT_EQ(f.avgBytesPerSecond, 176400);
    const WaveFormat g = f.atRate(22050);
    EXPECT_EQ(g.avgBytesPerSecond, 88200);
    EXPECT_EQ(g.channels, 2);
    EXPECT_EQ(g.bitsPerSample, 16);
}
