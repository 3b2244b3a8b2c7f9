// The sample taps of the input and the player, read on another thread while the virtual card
// runs in real time: every frame in order, once, after the gain; the player's tap holds the
// file's frames and not the silence of the end, read as it plays or afterwards; a tap that is
// full drops frames, counted, and never holds up the stream; a take stops at a position noted
// earlier.
#include "SignalMeasure.h"
#include "audio/devices/FilePlayer.h"
#include "audio/devices/InputDevice.h"
#include "audio/devices/VirtualBackend.h"
#include "tests/support/TestEnv.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <thread>

using namespace tamblor;
using namespace tamblor::audio;
using namespace tamblor::audio::measure;

namespace {

// Takes frames from `tap` on the calling thread until `frames` have come (or 20 s have passed).
std::vector<int16_t> takeFrames(SampleTap& tap, size_t frames, const std::function<void()>& meanwhile = {})
{
    std::vector<int16_t> all;
    std::vector<int16_t> chunk(4096 * size_t(tap.channels()));
    QElapsedTimer waited;
    waited.start();
    while (all.size() < frames * size_t(tap.channels()) && waited.elapsed() < 20000) {
        const size_t got = tap.take(chunk.data(), 4096);
        all.insert(all.end(), chunk.begin(), chunk.begin() + ptrdiff_t(got * size_t(tap.channels())));
        if (meanwhile)
            meanwhile();
        if (got == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return all;
}

} // namespace

TEST(SampleTap, TheInputsTapHoldsEveryProcessedFrameInOrderAfterTheGain)
{
    VirtualBackend backend{VirtualBackend::Clock::RealTime};
    backend.setInputSignal(sources::counter());
    InputDevice input{backend};
    input.setSampleRate(44100);
    input.setMode(InputDevice::Stereo);
    input.setGain(InputDevice::UnityGain / 2); // half: every sample halved on its way
    input.tap().open();
    const quint64 generation = input.tap().generation();
    input.start();
    EXPECT_EQ(input.tap().generation(), generation + 1);
    EXPECT_EQ(input.tap().sampleRate(), 44100);
    EXPECT_EQ(input.tap().channels(), 2);
    const std::vector<int16_t> got = takeFrames(input.tap(), 44100);
    input.stop();
    ASSERT_GE(got.size(), 2u * 44100u);
    EXPECT_EQ(input.tap().lostFrames(), 0u);
    // The counter's frames from the first, halved (rounded down): left n/2, right -n/2.
    for (size_t i = 0; i < 44100; ++i) {
        const int n = int(i % 32768);
        ASSERT_EQ(got[2 * i], int16_t(n >> 1)) << i;
        ASSERT_EQ(got[2 * i + 1], int16_t(-n >> 1)) << i;
    }
    input.release();
}

class SampleTapTest : public TempRootTest {};

TEST_F(SampleTapTest, ThePlayersTapHoldsTheFilesFramesWhetherReadAsItPlaysOrAfterwards)
{
    std::vector<int16_t> file(2 * 30000);
    for (size_t i = 0; i < 30000; ++i) {
        file[2 * i] = int16_t(i % 32768 + 1);
        file[2 * i + 1] = int16_t(-int(i % 32768) - 1);
    }
    writeWav(native("counter.wav"), 44100, 2, file);

    VirtualBackend backend{VirtualBackend::Clock::RealTime};
    FilePlayer player{backend};
    player.setFileName(native("counter.wav"));
    player.tap().open();
    player.play();
    const std::vector<int16_t> got = takeFrames(player.tap(), 30000, [] { QCoreApplication::processEvents(); });
    EXPECT_EQ(got, file);
    // The end: the silence the device is given after the file is not the file's.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    int16_t more[64];
    EXPECT_EQ(player.tap().take(more, 32), 0u);
    player.stop();

    // Nobody reading while it plays: the stream plays on to its end, the tap keeps the frames.
    FilePlayer small{backend};
    small.setFileName(native("counter.wav"));
    SampleTap& tap = small.tap();
    tap.open();
    small.play();
    QElapsedTimer waited;
    waited.start();
    while (small.isPlaying() && waited.elapsed() < 20000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        QCoreApplication::processEvents();
    }
    EXPECT_FALSE(small.isPlaying()); // played to its end without a reader
    const std::vector<int16_t> kept = takeFrames(tap, 30000);
    EXPECT_EQ(kept, file); // the tap holds 12 s: nothing was lost
    EXPECT_EQ(tap.lostFrames(), 0u);
}

TEST(SampleTap, AClosedTapTakesNothingAndAFullOneCountsWhatItDropped)
{
    SampleTap tap(1024);
    tap.setFormat(8000, 2);
    const std::vector<int16_t> frames(2 * 400, 7);
    tap.put(frames.data(), 400, 2); // closed: nothing
    int16_t out[2 * 1024];
    EXPECT_EQ(tap.take(out, 1024), 0u);
    tap.open();
    tap.put(frames.data(), 400, 2);
    tap.put(frames.data(), 400, 2); // 1600 samples offered to a tap that holds 1024 (or less)
    const size_t kept = tap.take(out, 1024);
    EXPECT_GE(kept, 400u);
    EXPECT_LT(kept, 800u);
    EXPECT_EQ(tap.lostFrames(), 800u - kept);
    // Opening again drops what it held.
    tap.put(frames.data(), 100, 2);
    tap.open();
    EXPECT_EQ(tap.take(out, 1024), 0u);
    tap.close();
    EXPECT_FALSE(tap.isOpen());
}

TEST(SampleTap, ATakeUpToANotedPositionLeavesWhatCameLaterAndTakesWholeFramesOfTheFormatItRead)
{
    SampleTap tap(4096);
    tap.setFormat(8000, 2);
    tap.open();
    std::vector<int16_t> frames(2 * 300);
    for (size_t i = 0; i < frames.size(); ++i)
        frames[i] = int16_t(i);
    tap.put(frames.data(), 100, 2);
    const size_t noted = tap.position();
    EXPECT_EQ(noted, 200u);
    tap.put(frames.data() + 200, 200, 2);

    int16_t out[2 * 300];
    // Up to the position noted, in pieces: 60 frames, then the 40 left, then nothing.
    SampleTap::Taken t = tap.takeFrames(out, 60, 1000, noted);
    EXPECT_EQ(t.frames, 60u);
    EXPECT_EQ(t.channels, 2);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[119], 119);
    t = tap.takeFrames(out, 1000, 1000, noted);
    EXPECT_EQ(t.frames, 40u);
    EXPECT_EQ(out[0], 120);
    EXPECT_EQ(tap.takeFrames(out, 1000, 1000, noted).frames, 0u);
    // What came later: no more than the room for whole frames (a room of 101 samples holds 50).
    t = tap.takeFrames(out, 1000, 101);
    EXPECT_EQ(t.frames, 50u);
    EXPECT_EQ(out[0], 200);
    EXPECT_EQ(tap.take(out, 1000), 150u);
    EXPECT_EQ(out[299], 599);

    // A mono stream after it: frames of one sample each.
    tap.setFormat(8000, 1);
    tap.put(frames.data(), 7, 1);
    t = tap.takeFrames(out, 1000, 1000);
    EXPECT_EQ(t.frames, 7u);
    EXPECT_EQ(t.channels, 1);
}
