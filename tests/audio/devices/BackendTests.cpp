// Backend choice, the virtual devices and their clocks.
#include "SignalMeasure.h"
#include "audio/devices/AudioBackend.h"
#include "audio/devices/InputDevice.h"
#include "audio/devices/RecordingWriter.h"
#include "audio/devices/VirtualBackend.h"
#include "platform/Failure.h"
#include "tests/support/Failures.h"
#include "tests/support/TestEnv.h"
#include <cstdlib>

using namespace tamblor;
using namespace tamblor::audio;

namespace {

class BackendTest : public TempRootTest {};

TEST_F(BackendTest, VirtualIsChosenByTheEnvironmentAndListsOneDeviceEachWay)
{
    auto backend = createAudioBackend();
    auto* v = dynamic_cast<VirtualBackend*>(backend.get());
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->clock(), VirtualBackend::Clock::Stepped);
    EXPECT_EQ(backend->inputDeviceCount(), 1);
    EXPECT_EQ(backend->outputDeviceCount(), 1);
    EXPECT_EQ(backend->inputDeviceName(0), "Virtual Input");
    EXPECT_EQ(backend->outputDeviceName(0), "Virtual Output");
    EXPECT_THROW(backend->inputDeviceName(1), Failure);
    // A message names a device by its name, or by its number when it has none.
    EXPECT_EQ(backend->inputDeviceLabel(0), "Virtual Input");
    EXPECT_EQ(backend->inputDeviceLabel(3), "3");
    EXPECT_EQ(backend->outputDeviceLabel(0), "Virtual Output");
    EXPECT_EQ(backend->outputDeviceLabel(-2), "-2");
    EXPECT_EQ(failureNumber([&] { backend->openOutput(1, StreamFormat{}, {}); }), 68);

    setenv("TAMBLOR_AUDIO", "virtual-realtime", 1);
    auto realTime = createAudioBackend();
    EXPECT_EQ(dynamic_cast<VirtualBackend&>(*realTime).clock(), VirtualBackend::Clock::RealTime);
}

TEST_F(BackendTest, SteppedStreamsRunInCallbacksOfAtMostTheirBufferAndOnlyWhileStarted)
{
    VirtualBackend backend;
    std::vector<size_t> calls;
    uint64_t next = 0;
    auto out = backend.openOutput(0, StreamFormat{22050, 1, 300}, {[&](int16_t* s, size_t frames) {
                                      calls.push_back(frames);
                                      for (size_t i = 0; i < frames; ++i)
                                          s[i] = int16_t(next++);
                                  }, {}});
    std::vector<int16_t> heard;
    auto in = backend.openInput(0, StreamFormat{8000, 2, 256}, [&](const int16_t* s, size_t frames) {
        heard.insert(heard.end(), s, s + frames * 2);
    });
    backend.setInputSignal(sources::counter());
    backend.advance(1000);
    EXPECT_TRUE(calls.empty());
    out->start();
    in->start();
    backend.advance(700);
    EXPECT_EQ(calls, (std::vector<size_t>{300, 300, 100}));
    ASSERT_EQ(heard.size(), 1400u);
    EXPECT_EQ(heard[2 * 699], 699);
    EXPECT_EQ(heard[2 * 699 + 1], -699);
    const std::vector<int16_t> kept = backend.outputSamples();
    ASSERT_EQ(kept.size(), 700u);
    EXPECT_EQ(kept[699], 699);
    EXPECT_EQ(backend.outputFormat().sampleRate, 22050);

    out->stop();
    backend.advanceMs(100); // 800 input frames at 8000
    EXPECT_EQ(heard.size(), 1400u + 1600u);
    EXPECT_EQ(backend.outputSamples().size(), 700u);
    out.reset();
    EXPECT_EQ(backend.openStreamCount(), 1);
}

TEST_F(BackendTest, AHeldInputDeliversItsWholeBacklogAtTheRelease)
{
    VirtualBackend backend;
    std::vector<size_t> calls;
    std::vector<int16_t> heard;
    auto in = backend.openInput(0, StreamFormat{8000, 1, 256}, [&](const int16_t* s, size_t frames) {
        calls.push_back(frames);
        heard.insert(heard.end(), s, s + frames);
    });
    backend.setInputSignal(sources::counter());
    in->start();
    backend.advance(300);
    backend.holdInput(true);
    backend.advance(500);
    backend.advanceMs(50); // 400 more
    EXPECT_EQ(heard.size(), 300u);
    calls.clear();
    backend.holdInput(false); // nothing lost: 900 frames at once, in callbacks of the usual size
    EXPECT_EQ(calls, (std::vector<size_t>{256, 256, 256, 132}));
    ASSERT_EQ(heard.size(), 1200u);
    for (size_t i = 0; i < heard.size(); ++i)
        ASSERT_EQ(heard[i], int16_t(i)) << "frame " << i;
    backend.advance(100);
    EXPECT_EQ(heard.size(), 1300u);
}

TEST_F(BackendTest, FileSourcePlaysItsFramesOnceThenSilence)
{
    std::vector<int16_t> mono(3000);
    for (size_t i = 0; i < mono.size(); ++i)
        mono[i] = int16_t(i * 7);
    measure::writeWav(native("source.wav"), 22050, 1, mono);
    VirtualBackend backend;
    backend.setInputSignal(sources::file(native("source.wav")));
    InputDevice input(backend);
    input.setSampleRate(22050);
    RecordingWriter writer(input);
    writer.setFileName(native("copy.wav"));
    input.start();
    writer.setEnabled(true);
    backend.advance(4096);
    input.stop();
    writer.setEnabled(false);
    input.waitIdle();
    const auto copy = measure::readWav(native("copy.wav"));
    ASSERT_EQ(copy.samples.size(), 4096u * 2);
    EXPECT_EQ(measure::channel(copy.samples, 2, 1), measure::channel(copy.samples, 2, 0));
    const auto left = measure::channel(copy.samples, 2, 0);
    EXPECT_TRUE(std::equal(mono.begin(), mono.end(), left.begin()));
    EXPECT_EQ(measure::peakOf({left.begin() + 3000, left.end()}), 0);
    EXPECT_THROW(sources::file(native("missing.wav")), Failure);
}

} // namespace
