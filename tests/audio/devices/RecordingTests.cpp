// The recording chain on the virtual input: buffers, peaks, gain, the writer and its pre-roll.
#include "SignalMeasure.h"
#include "audio/devices/InputDevice.h"
#include "audio/devices/RecordingWriter.h"
#include "audio/devices/VirtualBackend.h"
#include "audio/format/SndFormat.h"
#include "platform/Failure.h"
#include "tests/support/Failures.h"
#include "tests/support/TestEnv.h"
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <sndfile.h>
#include <QSignalSpy>
#include <thread>

using namespace tamblor;
using namespace tamblor::audio;
using namespace tamblor::audio::measure;

namespace {

class RecordingTest : public TempRootTest {
protected:
    VirtualBackend backend{VirtualBackend::Clock::Stepped};
    InputDevice input{backend};
    RecordingWriter writer{input};
    QString path() const { return native("take.wav"); }
};

// The counter source's value for a frame (left channel).
int16_t counterAt(uint64_t frame) { return int16_t(frame % 32768); }

struct Format {
    int rate;
    int mode;
};

class RecordingFormatTest : public RecordingTest, public ::testing::WithParamInterface<Format> {};

TEST_P(RecordingFormatTest, FileHoldsExactlyTheFramesProducedWhileEnabled)
{
    const auto [rate, mode] = GetParam();
    input.setSampleRate(rate);
    input.setMode(mode);
    const int channels = mode == InputDevice::Stereo ? 2 : 1;
    const int frames = input.bufferFrames();
    EXPECT_EQ(frames * channels * 2, 4096);
    backend.setInputSignal(sources::counter());
    writer.setFileName(path());
    input.start();

    backend.advance(size_t(3 * frames + 100)); // three buffers and a part of the fourth
    input.waitIdle();
    EXPECT_EQ(input.lastSequence(), 3);
    writer.setEnabled(true); // from the fourth buffer, which holds frame 3 * frames
    backend.advance(size_t(5 * frames - 100));
    input.waitIdle();
    writer.setEnabled(false);
    backend.advance(size_t(2 * frames)); // not written
    input.waitIdle();

    const WavContents wav = readWav(path());
    EXPECT_EQ(wav.sampleRate, rate);
    EXPECT_EQ(wav.channels, channels);
    EXPECT_EQ(wav.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    ASSERT_EQ(wav.samples.size(), size_t(5 * frames * channels));
    EXPECT_EQ(writer.framesWritten(), 5 * frames);
    for (size_t i = 0; i < size_t(5 * frames); ++i) {
        ASSERT_EQ(wav.samples[i * size_t(channels)], counterAt(3 * uint64_t(frames) + i)) << "frame " << i;
        if (channels == 2) {
            ASSERT_EQ(wav.samples[i * 2 + 1], int16_t(-counterAt(3 * uint64_t(frames) + i)));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(RatesAndModes, RecordingFormatTest,
                         ::testing::Values(Format{8000, 0}, Format{11025, 1}, Format{22050, 0},
                                           Format{44100, 1}),
                         [](const ::testing::TestParamInfo<Format>& info) {
                             return "Rate" + std::to_string(info.param.rate) +
                                    (info.param.mode ? "Stereo" : "Mono");
                         });

TEST_F(RecordingTest, WritingStartsWithTheBufferThatCrossedTheThreshold)
{
    // Loud from the middle of the sixth buffer; the UI sees its event only after ten buffers
    // have been processed, and enables writing from that buffer on.
    const int frames = input.bufferFrames();
    backend.setInputSignal(sources::burst(uint64_t(5 * frames + 300), 100000, 200, 20000));
    writer.setFileName(path());
    qint64 loudSequence = 0;
    QObject::connect(&input, &InputDevice::bufferFilled, [&](qint64 seq, int left, int right) {
        if (loudSequence == 0 && (left > 5000 || right > 5000)) {
            loudSequence = seq;
            writer.setEnabled(true, seq);
        }
    });
    input.start();
    backend.advance(size_t(10 * frames));
    input.waitIdle();
    ASSERT_EQ(loudSequence, 6);
    backend.advance(size_t(4 * frames));
    input.waitIdle();
    writer.setEnabled(false);
    input.waitIdle();

    const WavContents wav = readWav(path());
    ASSERT_EQ(wav.samples.size(), size_t(9 * frames * 2)); // buffers 6 to 14
    EXPECT_LT(peakOf(channel({wav.samples.begin(), wav.samples.begin() + 600}, 2, 0)), 250);
    EXPECT_GT(peakOf(channel({wav.samples.begin() + 600, wav.samples.begin() + 2048}, 2, 0)), 19000);
}

TEST_F(RecordingTest, EventsCarryPeaksAfterTheGainWithConsecutiveNumbers)
{
    backend.setInputSignal(sources::tone(1000.0, 10000));
    QSignalSpy buffers(&input, &InputDevice::bufferFilled);
    input.start();
    const int frames = input.bufferFrames();
    const int gains[] = {16384, 32768, 8192, 0};
    const int expected[] = {10000, 20000, 5000, 0};
    for (int g : gains) {
        input.setGain(g);
        backend.advance(size_t(frames));
        input.waitIdle();
    }
    ASSERT_EQ(buffers.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(buffers[i][0].toLongLong(), i + 1);
        EXPECT_NEAR(buffers[i][1].toInt(), expected[i], 2) << "gain " << gains[i];
        EXPECT_EQ(buffers[i][1].toInt(), buffers[i][2].toInt());
    }
    EXPECT_EQ(input.levels().left, 0);

    // Saturation at the top of the range.
    backend.setInputSignal(sources::tone(1000.0, 30000));
    input.setGain(32768);
    backend.advance(size_t(frames));
    input.waitIdle();
    EXPECT_EQ(buffers.last()[1].toInt(), 32767);
    EXPECT_EQ(input.levels().left, 32767);
}

TEST_F(RecordingTest, ChannelsAreMeasuredApartAndMonoGivesBothTheSamePeak)
{
    backend.setInputSignal(sources::counter()); // left rises to 1023, right falls to -1023
    QSignalSpy buffers(&input, &InputDevice::bufferFilled);
    input.start();
    backend.advance(1024);
    input.waitIdle();
    ASSERT_EQ(buffers.size(), 1);
    EXPECT_EQ(buffers[0][1].toInt(), 1023);
    EXPECT_EQ(buffers[0][2].toInt(), 1023);

    input.release();
    input.setMode(InputDevice::Mono);
    backend.setInputSignal(sources::tone(500.0, 12345));
    input.start();
    backend.advance(2048);
    input.waitIdle();
    ASSERT_EQ(buffers.size(), 2);
    EXPECT_NEAR(buffers[1][1].toInt(), 12345, 1);
    EXPECT_EQ(buffers[1][1].toInt(), buffers[1][2].toInt());
}

TEST_F(RecordingTest, ListenersComingAndGoingNeverHangTheThreadThatDropsThem)
{
    // Qt guards connections with a small pool of locks chosen by address; a listener dropped
    // while its lock is the input's own must not make the input take that lock twice. Hundreds
    // of listeners at as many addresses meet that case almost surely.
    std::vector<std::unique_ptr<QObject>> listeners;
    for (int i = 0; i < 600; ++i) {
        listeners.push_back(std::make_unique<QObject>());
        QObject::connect(&input, &InputDevice::bufferFilled, listeners.back().get(), [] {});
    }
    listeners.clear();
    QSignalSpy buffers(&input, &InputDevice::bufferFilled);
    input.start();
    backend.advance(1024);
    input.waitIdle();
    EXPECT_EQ(buffers.size(), 1);
}

TEST_F(RecordingTest, StopDeliversTheShortLastBufferThenCaptureEnded)
{
    backend.setInputSignal(sources::counter());
    writer.setFileName(path());
    QStringList order;
    QObject::connect(&input, &InputDevice::bufferFilled, [&](qint64 seq, int, int) {
        order << QString::number(seq);
    });
    QObject::connect(&input, &InputDevice::captureEnded, [&] {
        order << "ended";
        input.release();
    });
    input.start();
    writer.setEnabled(true);
    backend.advance(2 * 1024 + 500);
    input.stop();
    input.waitIdle();
    EXPECT_EQ(order, QStringList({"1", "2", "3", "ended"}));
    EXPECT_FALSE(input.isOpen());
    EXPECT_EQ(backend.openStreamCount(), 0);
    writer.setEnabled(false);
    input.waitIdle();
    EXPECT_EQ(readWav(path()).samples.size(), size_t((2 * 1024 + 500) * 2));
}

TEST_F(RecordingTest, AFileEndedBeforeASampleHoldsNothingFromItOnWheneverItArrives)
{
    backend.setInputSignal(sources::counter());
    writer.setFileName(path());
    input.start();
    writer.setEnabled(true);
    backend.advance(1500);
    input.waitIdle();
    // The end lies ahead, inside a buffer that has not come yet.
    writer.endBeforeSample(2 * 3000);
    backend.advance(1000);
    input.waitIdle();
    EXPECT_EQ(writer.framesWritten(), 2048); // two whole buffers so far
    backend.advance(4000); // past it, at once
    input.waitIdle();
    EXPECT_EQ(writer.framesWritten(), 3000);
    writer.setEnabled(false);
    input.stop();
    input.waitIdle();
    const WavContents wav = readWav(path());
    ASSERT_EQ(wav.samples.size(), size_t(2 * 3000));
    for (size_t i = 0; i < 3000; ++i)
        ASSERT_EQ(wav.samples[2 * i], counterAt(i)) << "frame " << i;
}

TEST_F(RecordingTest, HeaderIsValidWhileTheFileGrowsAndGainIsInTheFile)
{
    backend.setInputSignal(sources::tone(1000.0, 8000));
    input.setGain(8192);
    writer.setFileName(path());
    input.start();
    writer.setEnabled(true);
    backend.advance(4096);
    input.waitIdle();
    // Still being written: another reader sees a complete file of what is there so far.
    const WavContents wav = readWav(path());
    ASSERT_EQ(wav.samples.size(), size_t(4096 * 2));
    EXPECT_NEAR(peakOf(channel(wav.samples, 2, 0)), 4000, 2);
    writer.setEnabled(false);
}

TEST_F(RecordingTest, RefusesSettingsAndFilesItCannotUse)
{
    EXPECT_EQ(failureNumber([&] { input.setSampleRate(48000); }), 380);
    EXPECT_EQ(failureNumber([&] { input.setMode(2); }), 380);
    EXPECT_EQ(input.sampleRate(), 44100);
    input.setDeviceId(4);
    EXPECT_EQ(failureNumber([&] { input.start(); }), 68);
    EXPECT_FALSE(input.isCapturing());
    input.setDeviceId(0);
    writer.setFileName(native("no such folder/take.wav"));
    EXPECT_EQ(failureNumber([&] { writer.setEnabled(true); }), 76);
    EXPECT_FALSE(writer.isEnabled());
}

// A take's file is made by the same opener as every other written sound file, and fails with
// the same cause.
TEST_F(RecordingTest, ATakeThatCannotBeMadeFailsWithItsCauseAsEveryWrittenFileDoes)
{
    ASSERT_TRUE(QDir().mkpath(native("Folder.wav")));
    const std::pair<QString, int> cases[] = {
        {native("no such folder/take.wav"), Failure::PathNotFound},
        {native(QString(300, 'x') + ".wav"), Failure::BadFileName}, // longer than a name may be
        {native("Folder.wav"), Failure::PathFileAccessError},
    };
    input.start();
    for (const auto& [file, number] : cases) {
        writer.setFileName(file);
        EXPECT_EQ(failureNumber([&] { writer.setEnabled(true); }), number) << file.toStdString();
        EXPECT_FALSE(writer.isEnabled());
        EXPECT_EQ(failureNumber([&] { sf_close(openSndWriter(file, writer.fileFormat())); }), number)
            << file.toStdString();
    }
    // The writer is not left half enabled: the next take is written from its start.
    backend.setInputSignal(sources::counter());
    writer.setFileName(path());
    writer.setEnabled(true);
    backend.advance(size_t(input.bufferFrames()));
    input.waitIdle();
    writer.setEnabled(false);
    input.waitIdle();
    EXPECT_EQ(readWav(path()).samples.size(), size_t(2 * input.bufferFrames()));
}

TEST_F(RecordingTest, SettingsChangedWhileStoppedApplyAtTheNextStart)
{
    backend.setInputSignal(sources::counter());
    writer.setFileName(path());
    input.start();
    backend.advance(1024);
    input.stop();
    input.setSampleRate(22050);
    input.setMode(InputDevice::Mono);
    input.start();
    writer.setEnabled(true);
    backend.advance(2048);
    input.waitIdle();
    writer.setEnabled(false);
    input.waitIdle();
    const WavContents wav = readWav(path());
    EXPECT_EQ(wav.sampleRate, 22050);
    EXPECT_EQ(wav.channels, 1);
    ASSERT_EQ(wav.samples.size(), 2048u);
    EXPECT_EQ(wav.samples[0], 0); // a new stream starts its signal anew
}

TEST(RealTimeRecording, BlockedUiThreadLosesNoSample)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("take.wav");
    VirtualBackend backend{VirtualBackend::Clock::RealTime};
    backend.setInputSignal(sources::counter());
    InputDevice input{backend};
    RecordingWriter writer{input};
    writer.setFileName(path);
    QSignalSpy buffers(&input, &InputDevice::bufferFilled);
    input.start();
    writer.setEnabled(true, 1);

    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::seconds(2)); // the UI thread is busy
    t.restart();
    while (t.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    input.stop();
    input.waitIdle();
    writer.setEnabled(false);
    input.waitIdle();

    EXPECT_EQ(input.droppedFrames(), 0u);
    const qint64 buffersSeen = buffers.size();
    ASSERT_GT(buffersSeen, 100); // about 2.6 s of 1024-frame buffers
    for (qint64 i = 0; i < buffersSeen; ++i)
        ASSERT_EQ(buffers[int(i)][0].toLongLong(), i + 1);
    const WavContents wav = readWav(path);
    const size_t frames = wav.samples.size() / 2;
    ASSERT_GE(frames, size_t(buffersSeen - 1) * 1024);
    ASSERT_LE(frames, size_t(buffersSeen) * 1024);
    for (size_t i = 0; i < frames; ++i)
        ASSERT_EQ(wav.samples[2 * i], counterAt(i)) << "frame " << i;
}

} // namespace
