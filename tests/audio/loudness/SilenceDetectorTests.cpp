// Dead air: the alarm raised on the frame at which the silence reaches the set time, cleared
// on the frame at which sound has lasted the clearing time, in time stepped by the samples fed.
#include "ReferenceMeter.h"
#include "audio/loudness/SilenceDetector.h"
#include <gtest/gtest.h>
#include <cmath>
#include <stdexcept>

using namespace tamblor::audio;
using signals::append;
using signals::tone;

namespace {

constexpr int kRate = 48000;

std::vector<float> silence(double seconds, int channels = 2) { return std::vector<float>(size_t(seconds * kRate) * size_t(channels), 0.0f); }

// Feeds in steps of `step` frames and gathers every change.
std::vector<SilenceChange> feed(SilenceDetector& d, const std::vector<float>& s, size_t step = 4800, int channels = 2)
{
    std::vector<SilenceChange> all;
    const size_t frames = s.size() / size_t(channels);
    for (size_t at = 0; at < frames; at += step) {
        const std::vector<SilenceChange> some = d.add(s.data() + at * size_t(channels), std::min(step, frames - at));
        all.insert(all.end(), some.begin(), some.end());
    }
    return all;
}

} // namespace

TEST(SilenceDetector, RaisesOnTheFrameAtWhichTheSilenceReachesTheSetTime)
{
    // Three seconds of a tone, then nothing.
    std::vector<float> s = tone(kRate, 2, 1000.0, -20.0, 3.0);
    append(s, silence(25.0));
    SilenceDetector d(2, kRate);
    // Up to one frame short of 20 s of silence: no alarm.
    const size_t raiseAt = size_t(23 * kRate);
    EXPECT_TRUE(d.add(s.data(), raiseAt - 1).empty());
    EXPECT_FALSE(d.alarmed());
    EXPECT_NEAR(d.silentSeconds(), 20.0 - 1.0 / kRate, 1e-3);
    // The next frame completes 20 s.
    const std::vector<SilenceChange> changes = d.add(s.data() + 2 * (raiseAt - 1), 1);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_TRUE(changes[0].raised);
    EXPECT_EQ(changes[0].frame, int64_t(raiseAt));
    EXPECT_TRUE(d.alarmed());
    EXPECT_DOUBLE_EQ(d.silentSeconds(), 20.0);
    EXPECT_TRUE(std::isinf(d.silenceLevelDbfs()));
    // The alarm stays up while the silence goes on, and is raised once only.
    EXPECT_TRUE(d.add(s.data() + 2 * raiseAt, s.size() / 2 - raiseAt).empty());
    EXPECT_TRUE(d.alarmed());
    EXPECT_DOUBLE_EQ(d.silentSeconds(), 25.0);
}

TEST(SilenceDetector, ClearsAfterFiveSecondsOfSoundAndNotBefore)
{
    // Silence long enough to alarm, then three seconds of a low tone, a second of silence (the
    // sound broke off), then the tone for good: cleared five seconds into the second tone. A
    // 60 Hz tone has troughs below the threshold in every cycle; they do not break the sound.
    // (The tones start at their crest, so that sound starts on their first frame.)
    std::vector<float> s = silence(21.0);
    append(s, tone(kRate, 2, 60.0, -30.0, 3.0, M_PI / 2));
    append(s, silence(1.0));
    append(s, tone(kRate, 2, 60.0, -30.0, 8.0, M_PI / 2));
    SilenceDetector d(2, kRate);
    const std::vector<SilenceChange> changes = feed(d, s);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_TRUE(changes[0].raised);
    EXPECT_EQ(changes[0].frame, 20 * kRate);
    EXPECT_FALSE(changes[1].raised);
    EXPECT_EQ(changes[1].frame, (21 + 3 + 1 + 5) * kRate);
    EXPECT_FALSE(d.alarmed());
    EXPECT_DOUBLE_EQ(d.longestSilenceSeconds(), 21.0);
}

TEST(SilenceDetector, QuietNoiseIsSilenceAndItsLevelIsShown)
{
    // Hiss at about -50 dBFS: below the threshold, so dead air; the level goes with the alarm.
    std::vector<float> s = signals::programme(kRate, 2, 30.0, 5);
    float most = 0;
    for (float v : s)
        most = std::max(most, std::fabs(v));
    const float gain = float(std::pow(10.0, -50.0 / 20.0)) / most;
    for (float& v : s)
        v *= gain;
    SilenceDetector d(2, kRate);
    const std::vector<SilenceChange> changes = feed(d, s);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].frame, 20 * kRate);
    EXPECT_NEAR(d.silenceLevelDbfs(), -50.0, 0.01);
    // The same hiss with the threshold set below it is sound.
    SilenceDetector strict(2, kRate, {-60.0, 20.0, 5.0});
    EXPECT_TRUE(feed(strict, s).empty());
}

TEST(SilenceDetector, PausesShorterThanTheSetTimeDoNotAlarm)
{
    std::vector<float> s;
    for (int i = 0; i < 3; ++i) {
        append(s, tone(kRate, 2, 440.0, -12.0, 1.0));
        append(s, silence(19.9));
    }
    SilenceDetector d(2, kRate);
    EXPECT_TRUE(feed(d, s, 1000).empty());
    EXPECT_NEAR(d.longestSilenceSeconds(), 19.9, 0.01);
}

TEST(SilenceDetector, TheSettingsAreHeldAndSixteenBitSamplesReadAsFloats)
{
    // Threshold -60 dBFS, 2 s of silence, 1 s of sound to clear; in 16-bit mono.
    std::vector<int16_t> s(size_t(kRate) * 5, 0);
    for (size_t i = size_t(3 * kRate); i < s.size(); ++i)
        s[i] = int16_t(i % 2 ? 40 : -40); // about -58 dBFS
    SilenceDetector d(1, kRate, {-60.0, 2.0, 1.0});
    const std::vector<SilenceChange> changes = d.add(s.data(), s.size());
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].frame, 2 * kRate);
    EXPECT_EQ(changes[1].frame, 4 * kRate);
    d.reset();
    EXPECT_EQ(d.frames(), 0);
    EXPECT_FALSE(d.alarmed());
    EXPECT_THROW(SilenceDetector(2, kRate, {1.0, 20.0, 5.0}), std::invalid_argument);
    EXPECT_THROW(SilenceDetector(2, kRate, {-40.0, 0.0, 5.0}), std::invalid_argument);
    EXPECT_THROW(SilenceDetector(0, kRate), std::invalid_argument);
}

TEST(SilenceDetector, TheDeadAirOfAnAlarmIsMeasuredToTheSoundThatEndsItWhateverTheBlocks)
{
    // 21 s of hiss at -50 dBFS, then a low tone whose troughs fall below the threshold: the
    // alarm's silence is the 21 s and its level the hiss's, not the troughs', however the
    // samples are cut into blocks.
    std::vector<float> s(size_t(21 * kRate) * 2);
    const float hiss = float(std::pow(10.0, -50.0 / 20.0));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = (i / 2) % 2 ? hiss : -hiss;
    append(s, tone(kRate, 2, 60.0, -20.0, 3.0, M_PI / 2));
    for (size_t step : {size_t(1), size_t(1000), size_t(4096), size_t(kRate)}) {
        SilenceDetector d(2, kRate);
        EXPECT_EQ(d.alarmSilenceSeconds(), 0.0);
        EXPECT_TRUE(std::isinf(d.alarmLevelDbfs()));
        feed(d, std::vector<float>(s.begin(), s.begin() + 2 * 20 * kRate + 2), step);
        ASSERT_TRUE(d.alarmed());
        EXPECT_DOUBLE_EQ(d.alarmSilenceSeconds(), 20.0 + 1.0 / kRate);
        const std::vector<float> rest(s.begin() + 2 * 20 * kRate + 2, s.end());
        feed(d, rest, step);
        EXPECT_TRUE(d.alarmed()); // 3 s of sound do not clear it
        EXPECT_DOUBLE_EQ(d.alarmSilenceSeconds(), 21.0) << step;
        EXPECT_NEAR(d.alarmLevelDbfs(), -50.0, 0.001) << step;
        d.reset();
        EXPECT_EQ(d.alarmSilenceSeconds(), 0.0);
    }
}
