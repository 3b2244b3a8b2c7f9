// The true peak: the recommendation's filter, the peaks between the samples of the EBU's test
// signals, libebur128's reading of the same samples, and the shortcut that skips blocks that
// cannot raise the peak.
#include "ReferenceMeter.h"
#include "audio/loudness/LoudnessEngine.h"
#include "audio/loudness/TruePeakScan.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

using namespace tamblor::audio;

namespace {

constexpr int kHistory = TruePeakScan::kHistory;

// The interpolated peak of one channel worked out sample by sample from the coefficients.
double directTruePeak(const std::vector<float>& x)
{
    double most = 0;
    for (size_t n = 0; n < x.size(); ++n)
        for (int p = 0; p < 4; ++p) {
            double y = 0;
            for (int k = 0; k < 12; ++k)
                if (n >= size_t(k))
                    y += TruePeakScan::coefficient(p, k) * x[n - size_t(k)];
            most = std::max(most, std::fabs(y));
        }
    return most;
}

double db(double share) { return 20 * std::log10(share); }

} // namespace

TEST(TruePeak, TheFilterIsTheRecommendations)
{
    // An impulse brings out the filter's taps: its largest is 0.97216796875.
    std::vector<float> plane(kHistory + 64, 0.0f);
    plane[kHistory + 20] = 1.0f;
    const BlockPeaks peaks = TruePeakScan::scan(plane.data() + kHistory, 64, 0.0f);
    EXPECT_EQ(peaks.sample, 1.0f);
    EXPECT_EQ(peaks.interpolated, 0.97216796875f);
    // The last two phases are the first two reversed, and each phase passes a steady signal
    // at (almost) unity.
    for (int p = 0; p < 4; ++p) {
        double sum = 0;
        for (int k = 0; k < 12; ++k) {
            EXPECT_EQ(TruePeakScan::coefficient(p, k), TruePeakScan::coefficient(3 - p, 11 - k));
            sum += TruePeakScan::coefficient(p, k);
        }
        EXPECT_NEAR(sum, 1.0, 0.03) << p;
    }
}

TEST(TruePeak, PeaksBetweenTheSamplesOfTheEbuSignalsAreFound)
{
    // EBU Tech 3341 cases 15 to 18 at 48000: sines at a quarter, a sixth and an eighth of the
    // rate whose samples miss the crest; their true peak is -6.0 dBTP (+0.2 / -0.4). Faded in,
    // since a sine that starts at full height is a step, and a step rings past its height. The
    // same kind of signals beside libebur128 are in the next test.
    struct Case {
        double hz, phaseDegrees;
    };
    for (const Case c : {Case{12000, 0}, Case{12000, 45}, Case{8000, 60}, Case{6000, 67.5}}) {
        const std::vector<float> s =
            signals::faded(signals::tone(48000, 2, c.hz, -6.0, 5.0, c.phaseDegrees * M_PI / 180), 48000, 2);
        LoudnessEngine engine(2, 48000);
        engine.add(s.data(), s.size() / 2);
        EXPECT_GT(engine.truePeakDbtp(), -6.4) << c.hz << " " << c.phaseDegrees;
        EXPECT_LT(engine.truePeakDbtp(), -5.8) << c.hz << " " << c.phaseDegrees;
        std::printf("EBU true peak case %.0f Hz at %.1f degrees: %.3f dBTP (expected -6.0 +0.2/-0.4)\n", c.hz,
                    c.phaseDegrees, engine.truePeakDbtp());
    }
    // The quarter rate at 45 degrees: every sample is 3 dB below the crest.
    const std::vector<float> s = signals::tone(48000, 2, 12000, -6.0, 5.0, M_PI / 4);
    LoudnessEngine engine(2, 48000);
    engine.add(s.data(), s.size() / 2);
    EXPECT_NEAR(engine.samplePeakDbfs(), -9.01, 0.01);
}

TEST(TruePeak, SinesWhoseCrestsFallBetweenTheSamplesReadTheirHeight)
{
    // Sines at both usual rates, faded in and out, their crests between the samples: the true
    // peak is the sine's height. The recommendation's filter reads it within -0.35 / +0.25 dB:
    // its two middle phases ripple by 0.22 dB either way across the band (high at about 4, 12
    // and 18.5 kHz at 48000, low at about 8 and 16 kHz), and it interpolates at odd eighths of a
    // sample. libebur128 interpolates with a filter of its own (a 49-tap windowed sinc, at
    // quarters of a sample): where the recommendation's is flat the two read alike within
    // 0.05 dB (an eighth of the rate, 997 Hz); elsewhere they part by up to the ripple (0.08 dB
    // at a quarter of the rate, 0.31 dB at a sixth, 0.22 dB at 3.5 kHz).
    struct Case {
        double share, hz, dbfs, phase;
        bool flat; // where the two filters read alike
    };
    const std::vector<Case> cases = {{0.125, 0, -0.1, M_PI * 67.5 / 180, true}, {0, 997.0, -0.5, 0.3, true},
                                     {0.25, 0, -1.0, M_PI / 4, false},          {1.0 / 6, 0, -3.0, 0.0, false},
                                     {0, 15000.0, -2.0, 0.7, false},            {0, 3500.0, -0.2, 1.1, false}};
    for (int rate : {44100, 48000})
        for (const Case& c : cases) {
            const double hz = c.hz > 0 ? c.hz : c.share * rate;
            const std::vector<float> s = signals::faded(signals::tone(rate, 2, hz, c.dbfs, 3.0, c.phase), rate, 2);
            LoudnessEngine engine(2, rate);
            ReferenceMeter reference(2, rate);
            engine.add(s.data(), s.size() / 2);
            reference.add(s.data(), s.size() / 2);
            std::printf("true peak of %.0f Hz at %d, height %.2f dB: %.3f dBTP, libebur128 %.3f (sample peak %.3f)\n",
                        hz, rate, c.dbfs, engine.truePeakDbtp(), reference.truePeakDb(), engine.samplePeakDbfs());
            EXPECT_GT(engine.truePeakDbtp(), c.dbfs - 0.35) << hz << " at " << rate;
            EXPECT_LT(engine.truePeakDbtp(), c.dbfs + 0.25) << hz << " at " << rate;
            if (c.flat) {
                EXPECT_NEAR(engine.truePeakDbtp(), reference.truePeakDb(), 0.05) << hz << " at " << rate;
            }
        }
}

TEST(TruePeak, ProgrammeNoiseReadsAsLibebur128Reads)
{
    for (int rate : {44100, 48000}) {
        const std::vector<float> s = signals::programme(rate, 2, 10.0, unsigned(rate));
        LoudnessEngine engine(2, rate);
        ReferenceMeter reference(2, rate);
        engine.add(s.data(), s.size() / 2);
        reference.add(s.data(), s.size() / 2);
        std::printf("true peak of noise at %d: %.3f dBTP, libebur128 %.3f (sample peak %.3f)\n", rate,
                    engine.truePeakDbtp(), reference.truePeakDb(), engine.samplePeakDbfs());
        EXPECT_NEAR(engine.truePeakDbtp(), reference.truePeakDb(), 0.1) << rate;
        EXPECT_GT(engine.truePeakDbtp(), engine.samplePeakDbfs()) << rate;
    }
}

TEST(TruePeak, BlocksThatCannotRaiseThePeakAreSkippedWithoutChangingIt)
{
    // A loud burst, then long quiet passages with peaks between the samples, then a louder
    // one near the end: the engine's peak is the one worked out sample by sample.
    std::vector<float> s = signals::faded(signals::tone(44100, 1, 11025.0, -3.0, 0.5, M_PI / 4), 44100, 1);
    std::vector<float> quiet = signals::programme(44100, 1, 4.0, 11);
    for (float& v : quiet)
        v *= 0.1f;
    signals::append(s, quiet);
    signals::append(s, signals::faded(signals::tone(44100, 1, 11025.0, -1.0, 0.05, M_PI / 4), 44100, 1));
    signals::append(s, std::vector<float>(100, 0.0f));
    LoudnessEngine engine(1, 44100);
    for (size_t at = 0; at < s.size(); at += 1000)
        engine.add(s.data() + at, std::min<size_t>(1000, s.size() - at));
    EXPECT_NEAR(engine.truePeakOf(0), directTruePeak(s), 1e-6);
    EXPECT_NEAR(db(engine.truePeakOf(0)), -1.0, 0.1);

    // The scan itself: with a floor the block cannot reach, no interpolation.
    std::vector<float> plane(kHistory + 400, 0.0f);
    for (size_t i = 0; i < 400; ++i)
        plane[kHistory + i] = float(0.1 * std::sin(double(i)));
    EXPECT_EQ(TruePeakScan::scan(plane.data() + kHistory, 400, 0.5f).interpolated, 0.0f);
    EXPECT_GT(TruePeakScan::scan(plane.data() + kHistory, 400, 0.09f).interpolated, 0.09f);
}
