// The one reading of a take: every format the library records or holds, MS-ADPCM included,
// read in one pass through libsndfile; full-scale runs and silence judged from it; the longest
// silence at the threshold asked for; progress and a cancel for the measurer's job.
#include "studio/TakeReading.h"
#include "platform/Failure.h"
#include "tests/audio/devices/SignalMeasure.h"
#include "tests/support/CoreFixture.h"
#include "tests/support/SoxFiles.h"
#include <QDir>
#include <cmath>
#include <vector>

using namespace tamblor;
using namespace tamblor::audio;

namespace {

class TakeReadingTest : public CoreTest {
protected:
    void SetUp() override
    {
        CoreTest::SetUp();
        QDir().mkpath(native("C"));
    }
    QString file(const QString& name) const { return native("C/" + name); }
};

} // namespace

TEST_F(TakeReadingTest, EveryFormatTheLibraryHoldsIsReadWithItsFiguresMsAdpcmIncluded)
{
    // sox's tone is a 1 kHz sine at 0.6 of full scale: a peak of -4.4 dBFS.
    const double peak = 20 * std::log10(0.6);
    struct Case {
        const char* name;
        QStringList options;
        double tolerance;
    };
    const std::vector<Case> cases{{"pcm16.wav", {"-b", "16"}, 0.01},
                                  {"pcm24.wav", {"-b", "24"}, 0.01},
                                  {"float.wav", {"-e", "floating-point"}, 0.01},
                                  {"pcm8.wav", {"-b", "8", "-e", "unsigned-integer"}, 0.1},
                                  {"adpcm.wav", {"-e", "ms-adpcm"}, 0.3}};
    for (const Case& c : cases) {
        const QString path = file(c.name);
        ASSERT_TRUE(soxtest::makeTone(path, c.options, 22050, 2, 2.0)) << c.name;
        const int before = TakeReading::passesOver(path);
        const std::optional<TakeReading> r = TakeReading::of(path, -60.0);
        ASSERT_TRUE(r) << c.name;
        EXPECT_EQ(TakeReading::passesOver(path), before + 1) << c.name;
        EXPECT_EQ(r->sampleRate, 22050) << c.name;
        EXPECT_EQ(r->channels, 2) << c.name;
        EXPECT_NEAR(double(r->frames), 2.0 * 22050, 1024) << c.name; // ADPCM rounds to whole blocks
        EXPECT_NEAR(r->peakDbfs, peak, c.tolerance) << c.name;
        EXPECT_NEAR(r->truePeakDbtp, peak, c.tolerance + 0.1) << c.name;
        // A steady 1 kHz sine on two channels measures about its peak, with no range to speak of.
        EXPECT_NEAR(r->integratedLufs, peak, 0.3) << c.name;
        EXPECT_LT(r->lraLu, 1.0) << c.name;
        EXPECT_EQ(r->clippedRuns, 0) << c.name;
        EXPECT_FALSE(r->silent()) << c.name;
        EXPECT_LT(r->longestSilenceS, 0.05) << c.name; // no more than where the tone begins
        EXPECT_EQ(r->silenceBelowDbfs, -60.0) << c.name;
        // The row it makes carries the same values.
        const store::TakeFigures f = r->figures();
        EXPECT_EQ(f.frames, r->frames) << c.name;
        EXPECT_EQ(f.peakDbfs, r->peakDbfs) << c.name;
        EXPECT_EQ(f.clippedRuns, 0) << c.name;
        EXPECT_EQ(f.silenceBelowDbfs, -60.0) << c.name;
    }
}

TEST_F(TakeReadingTest, FullScaleRunsSilenceAndTheLongestSilenceAtTheThresholdAskedFor)
{
    constexpr int rate = 8000;
    // Stereo: 3 s of digital silence, 2 s of a tone at -40 dBFS, then three full-scale pairs on
    // the left only (one lone full-scale sample on the right does not count).
    std::vector<int16_t> s(size_t(2 * 6 * rate), 0);
    const double amplitude = 32768.0 * std::pow(10.0, -40.0 / 20.0);
    for (int i = 3 * rate; i < 5 * rate; ++i)
        s[size_t(2 * i)] = s[size_t(2 * i + 1)] =
            int16_t(std::lround(amplitude * std::sin(2 * M_PI * 1000.0 * double(i) / rate)));
    const QString clipped = file("clipped.wav");
    std::vector<int16_t> loud = s;
    for (int run = 0; run < 3; ++run) {
        const size_t at = size_t(5 * rate + 100 * run);
        loud[2 * at] = 32767;
        loud[2 * (at + 1)] = -32768;
    }
    loud[size_t(2 * (5 * rate + 500) + 1)] = 32767;
    measure::writeWav(clipped, rate, 2, loud);
    const TakeReading c = *TakeReading::of(clipped);
    EXPECT_EQ(c.clippedRuns, 3);
    EXPECT_TRUE(c.clipped());
    EXPECT_NEAR(c.peakDbfs, 0.0, 1e-6);
    EXPECT_FALSE(c.silent());

    // Without the full-scale samples: a peak of -40 dBFS is not Silent (at or below -50), and
    // that does not move with the threshold of the longest silence: the first 3 s below -50,
    // the whole take below -30.
    const QString quiet = file("quiet.wav");
    measure::writeWav(quiet, rate, 2, s);
    const TakeReading at50 = *TakeReading::of(quiet, -50.0);
    EXPECT_FALSE(at50.silent());
    EXPECT_FALSE(at50.clipped());
    EXPECT_NEAR(at50.peakDbfs, -40.0, 0.1);
    EXPECT_NEAR(at50.longestSilenceS, 3.0, 0.2);
    const TakeReading at30 = *TakeReading::of(quiet, -30.0);
    EXPECT_NEAR(at30.longestSilenceS, 6.0, 0.2);
    EXPECT_FALSE(at30.silent());

    // Digital silence: no peak, no loudness, no true peak (minus infinity), and the row keeps
    // them so, not as figures that were not measured.
    const QString nothing = file("nothing.wav");
    measure::writeWav(nothing, rate, 1, std::vector<int16_t>(size_t(2 * rate), 0));
    const TakeReading n = *TakeReading::of(nothing);
    EXPECT_TRUE(std::isinf(n.peakDbfs) && n.peakDbfs < 0);
    EXPECT_TRUE(std::isinf(n.integratedLufs) && n.integratedLufs < 0);
    EXPECT_TRUE(std::isinf(n.truePeakDbtp) && n.truePeakDbtp < 0);
    EXPECT_TRUE(n.silent());
    const store::TakeFigures f = n.figures();
    ASSERT_TRUE(f.peakDbfs && f.integratedLufs && f.truePeakDbtp);
    EXPECT_TRUE(std::isinf(*f.peakDbfs) && std::isinf(*f.integratedLufs) && std::isinf(*f.truePeakDbtp));
    EXPECT_TRUE(f.measured());
}

TEST_F(TakeReadingTest, ItReportsProgressStopsWhenCancelledAndAFileThatCannotBeReadThrows)
{
    const QString path = file("long.wav");
    measure::writeWav(path, 44100, 2, std::vector<int16_t>(size_t(2 * 10 * 44100), 1000));
    std::vector<int> seen;
    const auto whole = TakeReading::of(path, -50.0, [&seen](int percent) {
        seen.push_back(percent);
        return true;
    });
    ASSERT_TRUE(whole);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 100);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(whole->frames, 10 * 44100);

    int calls = 0;
    const auto cancelled = TakeReading::of(path, -50.0, [&calls](int percent) {
        ++calls;
        return percent < 20;
    });
    EXPECT_FALSE(cancelled);
    EXPECT_GT(calls, 1);

    writeAllBytes(file("junk.wav"), QByteArray("RIFF\x10\x00\x00\x00WAVEjunk", 16));
    EXPECT_THROW(TakeReading::of(file("junk.wav")), Failure);
    EXPECT_THROW(TakeReading::of(file("missing.wav")), Failure);
}
