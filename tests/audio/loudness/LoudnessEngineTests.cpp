// The loudness engine on the EBU's test signals (Tech 3341 for the meter, Tech 3342 for the
// range), made here, against the published expectations and against libebur128 on the same
// samples.
#include "ReferenceMeter.h"
#include "audio/loudness/LoudnessEngine.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <stdexcept>

using namespace tamblor::audio;
using signals::append;
using signals::sequence;
using signals::tone;

namespace {

void feed(LoudnessEngine& engine, const std::vector<float>& s)
{
    engine.add(s.data(), s.size() / size_t(engine.channels()));
}

LoudnessReading measure(const std::vector<float>& s, int channels = 2, int rate = 48000)
{
    LoudnessEngine engine(channels, rate);
    feed(engine, s);
    return engine.reading();
}

// Feeds 100 ms at a time and calls `each` after every step.
template <typename Each>
void stepThrough(LoudnessEngine& engine, const std::vector<float>& s, Each each)
{
    const size_t channels = size_t(engine.channels()), step = size_t(engine.stepFrames());
    for (size_t at = 0; at + step * channels <= s.size(); at += step * channels) {
        engine.add(s.data() + at, step);
        each(at / channels + step);
    }
}

// Five channels L R C Ls Rs (or six with an effects channel), each a 1 kHz tone at its level.
std::vector<float> surround(const std::vector<double>& levels, double seconds)
{
    const int channels = int(levels.size());
    std::vector<float> s(size_t(seconds * 48000) * size_t(channels));
    for (size_t i = 0; i < s.size() / size_t(channels); ++i)
        for (int c = 0; c < channels; ++c)
            s[i * size_t(channels) + size_t(c)] =
                float(std::pow(10.0, levels[size_t(c)] / 20.0) * std::sin(2 * M_PI * 1000.0 * double(i) / 48000));
    return s;
}

} // namespace

TEST(LoudnessEngine, SteadyTonesReadTheirLevelOnEveryScale)
{
    // EBU Tech 3341 cases 1 and 2: a stereo 1 kHz sine at -23 and at -33 dBFS, 20 s.
    for (double level : {-23.0, -33.0}) {
        const LoudnessReading r = measure(sequence(48000, {{level, 20.0}}));
        EXPECT_NEAR(r.momentaryLufs, level, 0.1) << level;
        EXPECT_NEAR(r.shortTermLufs, level, 0.1) << level;
        EXPECT_NEAR(r.integratedLufs, level, 0.1) << level;
        EXPECT_NEAR(r.maxMomentaryLufs, level, 0.1) << level;
        EXPECT_NEAR(r.rangeLu, 0.0, 0.1) << level;
        EXPECT_NEAR(r.samplePeakDbfs, level, 0.01) << level;
        EXPECT_NEAR(r.truePeakDbtp, level, 0.05) << level;
        EXPECT_DOUBLE_EQ(r.seconds, 20.0);
    }
    // The same at 44100, and in mono, which is heard on two loudspeakers.
    EXPECT_NEAR(measure(tone(44100, 2, 1000, -23.0, 20.0), 2, 44100).integratedLufs, -23.0, 0.1);
    EXPECT_NEAR(measure(tone(48000, 1, 1000, -23.0, 20.0), 1).integratedLufs, -23.0, 0.1);
}

TEST(LoudnessEngine, QuietPassagesAreGatedOut)
{
    // Tech 3341 cases 3, 4 and 5: each reads -23.0 LUFS integrated.
    EXPECT_NEAR(measure(sequence(48000, {{-36, 10}, {-23, 60}, {-36, 10}})).integratedLufs, -23.0, 0.1);
    EXPECT_NEAR(measure(sequence(48000, {{-72, 10}, {-36, 10}, {-23, 60}, {-36, 10}, {-72, 10}})).integratedLufs, -23.0,
                0.1);
    EXPECT_NEAR(measure(sequence(48000, {{-26, 20}, {-20, 20.1}, {-26, 20}})).integratedLufs, -23.0, 0.1);
}

TEST(LoudnessEngine, SurroundChannelsAreWeightedAndTheEffectsChannelIsNotCounted)
{
    // Tech 3341 case 6: L, R -28, C -24, Ls, Rs -30 dBFS read -23.0 LUFS.
    EXPECT_NEAR(measure(surround({-28, -28, -24, -30, -30}, 20), 5).integratedLufs, -23.0, 0.1);
    // With an effects channel in fourth place, as loud as it likes: still -23.0.
    const LoudnessReading six = measure(surround({-28, -28, -24, -1, -30, -30}, 20), 6);
    EXPECT_NEAR(six.integratedLufs, -23.0, 0.1);
    // Its peak counts all the same.
    EXPECT_NEAR(six.samplePeakDbfs, -1.0, 0.01);
}

TEST(LoudnessEngine, MomentaryAndShortTermHoldTheirWindows)
{
    // Tech 3341 case 8: 0.18 s at -20 and 0.22 s at -30 dBFS, over and over: every 0.4 s window
    // holds one of each, so the momentary loudness stays at -23.0 once the first has filled.
    std::vector<float> s;
    for (int i = 0; i < 25; ++i)
        append(s, sequence(48000, {{-20, 0.18}, {-30, 0.22}}));
    LoudnessEngine engine(2, 48000);
    int readings = 0;
    stepThrough(engine, s, [&](size_t frames) {
        if (frames >= 48000) {
            EXPECT_NEAR(engine.momentaryLufs(), -23.0, 0.1) << frames;
            ++readings;
        }
    });
    EXPECT_EQ(readings, 91);
    // Case 9: 1.34 s at -20 and 1.66 s at -30 dBFS; every 3 s window holds one of each.
    s.clear();
    for (int i = 0; i < 5; ++i)
        append(s, sequence(48000, {{-20, 1.34}, {-30, 1.66}}));
    engine.reset();
    readings = 0;
    stepThrough(engine, s, [&](size_t frames) {
        if (frames >= 3 * 48000) {
            EXPECT_NEAR(engine.shortTermLufs(), -23.0, 0.1) << frames;
            ++readings;
        }
    });
    EXPECT_EQ(readings, 121);
    EXPECT_NEAR(engine.maxShortTermLufs(), -23.0, 0.1);
    EXPECT_NEAR(engine.maxMomentaryLufs(), -20.0, 0.2);
}

TEST(LoudnessEngine, AToneSwitchedOnForThreeSecondsReadsItsLevelShortTermAtItsEnd)
{
    // Two seconds of silence, then a 1 kHz tone at -23 dBFS on both channels for 3 s.
    std::vector<float> s(size_t(2 * 48000 * 2), 0.0f);
    append(s, tone(48000, 2, 1000.0, -23.0, 3.0));
    LoudnessEngine engine(2, 48000);
    std::vector<double> shortTerm;
    stepThrough(engine, s, [&](size_t) { shortTerm.push_back(engine.shortTermLufs()); });
    ASSERT_EQ(shortTerm.size(), 50u);
    EXPECT_NEAR(shortTerm.back(), -23.0, 0.05);
    EXPECT_NEAR(engine.maxShortTermLufs(), -23.0, 0.05);
    // One step before the end the window still held 100 ms of the silence: 10 log10(29/30).
    EXPECT_NEAR(shortTerm[48], -23.0 + 10 * std::log10(29.0 / 30.0), 0.05);
    // While only silence was fed, nothing was heard.
    EXPECT_TRUE(std::isinf(shortTerm[19]) && shortTerm[19] < 0);
}

TEST(LoudnessEngine, TheRangeIsTheSpreadOfTheShortTermLoudness)
{
    // EBU Tech 3342 cases 1 to 4, against the expectation and against libebur128.
    struct Case {
        std::vector<std::pair<double, double>> pieces;
        double lra;
    };
    const std::vector<Case> cases = {
        {{{-20, 20}, {-30, 20}}, 10},
        {{{-20, 20}, {-15, 20}}, 5},
        {{{-40, 20}, {-20, 20}}, 20},
        {{{-50, 20}, {-35, 20}, {-20, 20}, {-35, 20}, {-50, 20}}, 15},
    };
    for (const Case& c : cases) {
        std::vector<float> s;
        for (auto [level, seconds] : c.pieces)
            append(s, tone(48000, 2, 1000.0, level, seconds));
        LoudnessEngine engine(2, 48000);
        ReferenceMeter reference(2, 48000);
        feed(engine, s);
        reference.add(s.data(), s.size() / 2);
        EXPECT_NEAR(engine.rangeLu(), c.lra, 1.0) << c.lra;
        EXPECT_NEAR(engine.rangeLu(), reference.range(), 0.05) << c.lra;
        EXPECT_NEAR(engine.integratedLufs(), reference.integrated(), 0.05) << c.lra;
    }
}

TEST(LoudnessEngine, FollowsLibebur128StepByStepOnAWanderingProgramme)
{
    // Noise whose level wanders over 40 dB, at the two usual rates, in stereo and mono: the
    // momentary and short-term values after every 100 ms, then the integrated loudness and the
    // range, each beside libebur128's on the same samples.
    for (const auto& [rate, channels] : {std::pair{48000, 2}, std::pair{44100, 2}, std::pair{44100, 1}}) {
        const std::vector<float> s = signals::programme(rate, channels, 40.0, unsigned(rate + channels));
        LoudnessEngine engine(channels, rate);
        ReferenceMeter reference(channels, rate);
        double momentary = 0, shortTerm = 0;
        size_t fed = 0;
        stepThrough(engine, s, [&](size_t frames) {
            reference.add(s.data() + fed * size_t(channels), frames - fed);
            fed = frames;
            if (frames >= size_t(rate) * 3) {
                momentary = std::max(momentary, std::fabs(engine.momentaryLufs() - reference.momentary()));
                shortTerm = std::max(shortTerm, std::fabs(engine.shortTermLufs() - reference.shortTerm()));
            }
        });
        EXPECT_LT(shortTerm, 0.1) << rate << " " << channels;
        EXPECT_LT(momentary, 0.1) << rate << " " << channels;
        EXPECT_NEAR(engine.integratedLufs(), reference.integrated(), 0.05) << rate << " " << channels;
        EXPECT_NEAR(engine.rangeLu(), reference.range(), 0.05) << rate << " " << channels;
        // The two interpolate with different filters (see TruePeakTests).
        EXPECT_NEAR(engine.truePeakDbtp(), reference.truePeakDb(), 0.1) << rate << " " << channels;
        EXPECT_NEAR(engine.samplePeakDbfs(), reference.samplePeakDb(), 1e-6) << rate << " " << channels;
        std::printf("%d Hz, %d channels: largest difference from libebur128 momentary %.5f, short-term %.5f LU; "
                    "integrated %.5f, range %.5f LU, true peak %.3f dB\n",
                    rate, channels, momentary, shortTerm, engine.integratedLufs() - reference.integrated(),
                    engine.rangeLu() - reference.range(), engine.truePeakDbtp() - reference.truePeakDb());
        // The programme moves: a meter stuck at one value would not pass.
        EXPECT_GT(engine.rangeLu(), 10.0);
    }
}

TEST(LoudnessEngine, HowTheSamplesAreCutIntoBlocksChangesNothing)
{
    const std::vector<float> s = signals::programme(44100, 2, 12.0, 7);
    LoudnessEngine whole(2, 44100), pieces(2, 44100);
    feed(whole, s);
    std::mt19937 rng(3);
    size_t at = 0;
    const size_t frames = s.size() / 2;
    for (const size_t n : {size_t(1), size_t(7), size_t(10), size_t(4409), size_t(4410), size_t(4411)}) {
        pieces.add(s.data() + 2 * at, n);
        at += n;
    }
    while (at < frames) {
        const size_t n = std::min(frames - at, size_t(rng() % 9000));
        pieces.add(s.data() + 2 * at, n);
        at += n;
    }
    const LoudnessReading a = whole.reading(), b = pieces.reading();
    EXPECT_NEAR(a.momentaryLufs, b.momentaryLufs, 1e-9);
    EXPECT_NEAR(a.shortTermLufs, b.shortTermLufs, 1e-9);
    EXPECT_NEAR(a.integratedLufs, b.integratedLufs, 1e-9);
    EXPECT_NEAR(a.rangeLu, b.rangeLu, 1e-9);
    EXPECT_EQ(a.truePeakDbtp, b.truePeakDbtp);
    EXPECT_EQ(a.samplePeakDbfs, b.samplePeakDbfs);
    EXPECT_EQ(a.seconds, b.seconds);
}

TEST(LoudnessEngine, SixteenBitSamplesReadAsTheirShareOfFullScale)
{
    const std::vector<float> wide = tone(44100, 2, 997.0, -9.0, 10.0);
    std::vector<int16_t> narrow(wide.size());
    std::vector<float> back(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        narrow[i] = int16_t(std::lround(wide[i] * 32768.0f));
        back[i] = float(narrow[i]) / 32768.0f;
    }
    LoudnessEngine a(2, 44100), b(2, 44100);
    a.add(narrow.data(), narrow.size() / 2);
    b.add(back.data(), back.size() / 2);
    EXPECT_EQ(a.integratedLufs(), b.integratedLufs());
    EXPECT_EQ(a.truePeakDbtp(), b.truePeakDbtp());
    EXPECT_NEAR(a.integratedLufs(), -9.0, 0.1);
}

TEST(LoudnessEngine, SilenceReadsMinusInfinityAndAResetStartsAgain)
{
    LoudnessEngine engine(2, 44100);
    const std::vector<float> silence(44100 * 2 * 5, 0.0f);
    feed(engine, silence);
    LoudnessReading r = engine.reading();
    for (double v : {r.momentaryLufs, r.shortTermLufs, r.integratedLufs, r.truePeakDbtp, r.samplePeakDbfs,
                     r.maxMomentaryLufs})
        EXPECT_TRUE(std::isinf(v) && v < 0);
    EXPECT_EQ(r.rangeLu, 0.0);
    // Quieter than the absolute gate (-70 LUFS): heard by the meter, not counted as programme.
    feed(engine, tone(44100, 2, 1000, -75.0, 5.0));
    EXPECT_NEAR(engine.shortTermLufs(), -75.0, 0.1);
    EXPECT_TRUE(std::isinf(engine.integratedLufs()));

    feed(engine, tone(44100, 2, 1000, -10.0, 5.0));
    engine.reset();
    EXPECT_EQ(engine.frames(), 0);
    EXPECT_TRUE(std::isinf(engine.truePeakDbtp()));
    feed(engine, tone(44100, 2, 1000, -30.0, 5.0));
    r = engine.reading();
    EXPECT_NEAR(r.integratedLufs, -30.0, 0.1);
    EXPECT_NEAR(r.maxMomentaryLufs, -30.0, 0.1);
    EXPECT_NEAR(r.truePeakDbtp, -30.0, 0.05);
    EXPECT_DOUBLE_EQ(r.seconds, 5.0);
}

TEST(LoudnessEngine, RefusesAProgrammeWithoutChannelsOrRate)
{
    EXPECT_THROW(LoudnessEngine(0, 48000), std::invalid_argument);
    EXPECT_THROW(LoudnessEngine(2, 0), std::invalid_argument);
}
