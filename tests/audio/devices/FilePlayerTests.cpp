// The file player on the virtual output: what reaches the device, positions, transport, events.
#include "PlaybackEdges.h"
#include "SignalMeasure.h"
#include "audio/devices/FilePlayer.h"
#include "audio/devices/VirtualBackend.h"
#include "platform/Failure.h"
#include "tests/support/Failures.h"
#include "tests/support/SoxFiles.h"
#include "tests/support/TestEnv.h"
#include <QFile>
#include <QSignalSpy>
#include <cmath>
#include <sndfile.h>

using namespace tamblor;
using namespace tamblor::audio;
using namespace tamblor::audio::measure;

namespace {

// Stereo frames whose left sample is the frame number (mod 32768) and right its negation.
std::vector<int16_t> counterFrames(size_t frames)
{
    std::vector<int16_t> s(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        s[2 * i] = int16_t(i % 32768);
        s[2 * i + 1] = int16_t(-int(i % 32768));
    }
    return s;
}

class FilePlayerTest : public TempRootTest {
protected:
    void SetUp() override
    {
        TempRootTest::SetUp();
        writeWav(native("counter.wav"), 44100, 2, counterFrames(FileFrames));
    }
    // Left samples the device has been given.
    std::vector<int16_t> played() { return channel(backend.outputSamples(), 2, 0); }

    static constexpr size_t FileFrames = 30000;
    VirtualBackend backend{VirtualBackend::Clock::Stepped};
    FilePlayer player{backend};
};

TEST_F(FilePlayerTest, DescribesItsFileInTheFilesOwnUnits)
{
    player.setFileName(native("counter.wav"));
    const WaveInfo w = player.wave();
    EXPECT_EQ(w.format, WaveFormat::pcm(44100, 2, 16));
    EXPECT_EQ(w.dataSize, qint64(FileFrames) * 4);
    EXPECT_EQ(w.dataOffset, 44);
    EXPECT_EQ(w.frames, qint64(FileFrames));

    std::vector<int16_t> mono(11025, 0);
    writeWav(native("mono8.wav"), 22050, 1, mono, true);
    player.setFileName(native("mono8.wav"));
    EXPECT_EQ(player.wave().format, WaveFormat::pcm(22050, 1, 8));
    EXPECT_EQ(player.wave().dataSize, 11025);
    player.setTimeFormat(FilePlayer::TimeFormat::Bytes);
    player.setPosition(5000);
    EXPECT_EQ(player.position(), 5000);
    player.setTimeFormat(FilePlayer::TimeFormat::Milliseconds);
    EXPECT_EQ(player.position(), 226); // 5000 frames at 22050
}

TEST_F(FilePlayerTest, PlaysEveryFrameOnceThenReportsTheEnd)
{
    QSignalSpy started(&player, &FilePlayer::playbackStarted);
    QSignalSpy ended(&player, &FilePlayer::playbackEnded);
    player.setFileName(native("counter.wav"));
    player.play();
    player.waitIdle();
    EXPECT_EQ(started.size(), 1);
    EXPECT_EQ(backend.outputFormat().sampleRate, 44100);
    EXPECT_EQ(backend.outputFormat().channels, 2);

    backend.advance(FileFrames - 100);
    player.waitIdle();
    EXPECT_TRUE(player.isPlaying());
    EXPECT_EQ(ended.size(), 0);
    EXPECT_EQ(player.position(), qint64(FileFrames - 100) * 1000 / 44100);
    EXPECT_GT(player.levels().left, 0);

    backend.advance(1000);
    player.waitIdle();
    EXPECT_EQ(ended.size(), 1);
    EXPECT_FALSE(player.isPlaying());
    EXPECT_EQ(player.position(), 0);
    EXPECT_EQ(player.levels().left, 0);
    EXPECT_EQ(backend.openStreamCount(), 0);

    const std::vector<int16_t> out = backend.outputSamples();
    ASSERT_EQ(out.size(), (FileFrames + 900) * 2);
    const std::vector<int16_t> expected = counterFrames(FileFrames);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));
    EXPECT_EQ(peakOf({out.begin() + ptrdiff_t(FileFrames * 2), out.end()}), 0);
}

TEST_F(FilePlayerTest, PauseHoldsThePositionAndResumeContinuesFromIt)
{
    player.setFileName(native("counter.wav"));
    player.setTimeFormat(FilePlayer::TimeFormat::Bytes);
    player.play();
    backend.advance(4410);
    player.pause();
    EXPECT_TRUE(player.isPaused());
    backend.advance(4410);
    EXPECT_EQ(player.position(), 4410 * 4);
    EXPECT_EQ(player.levels().left, 0);
    player.resume();
    backend.advance(4410);
    EXPECT_EQ(player.position(), 2 * 4410 * 4);

    const std::vector<int16_t> left = played();
    ASSERT_EQ(left.size(), 3 * 4410u);
    for (size_t i = 0; i < 4410; ++i) {
        ASSERT_EQ(left[i], int16_t(i));
        ASSERT_EQ(left[4410 + i], 0); // silence while paused
        ASSERT_EQ(left[2 * 4410 + i], int16_t(4410 + i));
    }
    player.pause();
    player.stop(); // stop while paused ends everything
    EXPECT_FALSE(player.isPaused());
    EXPECT_FALSE(player.isPlaying());
}

TEST_F(FilePlayerTest, SeekingMovesPlayToTheNewPositionInBothUnits)
{
    player.setFileName(native("counter.wav"));
    player.play();
    backend.advance(1000);
    player.setPosition(500); // ms: frame 22050
    EXPECT_EQ(player.position(), 500);
    EXPECT_EQ(player.positionFrames(), 22050);
    backend.advance(100);
    std::vector<int16_t> left = played();
    ASSERT_EQ(left.size(), 1100u);
    EXPECT_EQ(left[999], int16_t(999));
    EXPECT_EQ(left[1000], int16_t(22050));
    EXPECT_EQ(left[1099], int16_t(22149));

    // Backwards, in bytes, while paused: takes effect at once, plays on resume.
    player.setTimeFormat(FilePlayer::TimeFormat::Bytes);
    player.pause();
    player.setPosition(400); // frame 100
    backend.advance(50);
    EXPECT_EQ(player.position(), 400);
    player.resume();
    backend.advance(10);
    left = played();
    EXPECT_EQ(left[1150], int16_t(100));

    // Past the end: clamped, the end follows.
    QSignalSpy ended(&player, &FilePlayer::playbackEnded);
    player.setPosition(qint64(FileFrames) * 4 + 1000);
    backend.advance(10);
    player.waitIdle();
    EXPECT_EQ(ended.size(), 1);
}

TEST_F(FilePlayerTest, PositionSetWhileIdleIsWherePlayStarts)
{
    player.setFileName(native("counter.wav"));
    player.setPosition(100); // ms: frame 4410
    player.play();
    backend.advance(10);
    EXPECT_EQ(played()[0], int16_t(4410));
    QSignalSpy ended(&player, &FilePlayer::playbackEnded);
    player.stop();
    player.waitIdle();
    EXPECT_EQ(ended.size(), 0); // stop is not an end of the file
    EXPECT_EQ(player.position(), 0);
}

TEST_F(FilePlayerTest, ATakeCutShortPlaysTheWholeFramesThereAndNoMore)
{
    // The header claims four times the data; the file ends half way into a frame.
    QByteArray bytes = readAllBytes(native("counter.wav"));
    ASSERT_EQ(bytes.mid(36, 4), QByteArray("data"));
    const uint32_t claimed = uint32_t(FileFrames * 4 * 4);
    bytes.replace(40, 4, QByteArray(reinterpret_cast<const char*>(&claimed), 4));
    bytes.chop(2 + 4 * 1000);
    writeAllBytes(native("cut.wav"), bytes);
    const size_t frames = FileFrames - 1001;

    QSignalSpy ended(&player, &FilePlayer::playbackEnded);
    player.setFileName(native("cut.wav"));
    EXPECT_EQ(player.wave().frames, qint64(frames));
    EXPECT_EQ(player.wave().dataSize, qint64(frames) * 4);
    player.play();
    backend.advance(FileFrames + 1000);
    player.waitIdle();
    EXPECT_EQ(ended.size(), 1);
    const std::vector<int16_t> out = backend.outputSamples();
    const std::vector<int16_t> expected = counterFrames(frames);
    ASSERT_GE(out.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));
    EXPECT_EQ(peakOf({out.begin() + ptrdiff_t(expected.size()), out.end()}), 0);
}

TEST_F(FilePlayerTest, RefusesFilesItCannotPlayWithANumberedFailure)
{
    EXPECT_EQ(failureNumber([&] { player.play(); }), 52);
    player.setFileName(native("missing.wav"));
    EXPECT_EQ(failureNumber([&] { player.play(); }), 53);
    writeAllBytes(native("junk.wav"), QByteArray("RIFF\x10\0\0\0WAVEjunkjunkjunk", 24));
    player.setFileName(native("junk.wav"));
    // The shared reader's failure, in its words.
    EXPECT_EQ(failureNumber([&] { player.play(); }), 321);
    try {
        player.wave();
        ADD_FAILURE();
    } catch (const Failure& f) {
        EXPECT_EQ(f.text().toStdString(), "321 Invalid file format: chunk beyond the end of the file");
    }
    EXPECT_FALSE(player.isPlaying());
    player.setFileName(native("counter.wav"));
    player.setDeviceId(3);
    EXPECT_EQ(failureNumber([&] { player.play(); }), 68);
    EXPECT_FALSE(player.isPlaying());
}

// Every rate the library meets, 16-bit and ADPCM, mono and stereo: the card is given exactly
// the frames the file decodes to (mono on both channels), from the first to the last sample,
// then only silence. An ADPCM file is measured in its own blocks and bytes.
TEST_F(FilePlayerTest, EveryRateAndEncodingReachesTheCardFromTheFirstToTheLastSample)
{
    for (int rate : {8000, 11025, 22050, 32000, 44100, 48000}) {
        for (bool adpcm : {false, true}) {
            for (int channels : {1, 2}) {
                SCOPED_TRACE(testing::Message() << rate << (adpcm ? " ADPCM " : " 16-bit ") << channels);
                const size_t written = size_t(rate) / 4 + 7;
                const std::vector<int16_t> noise = edgeNoise(written, channels, unsigned(rate + channels));
                const QString path = native(QStringLiteral("edge-%1-%2-%3.wav").arg(rate).arg(adpcm).arg(channels));
                if (adpcm) {
                    SF_INFO info{};
                    info.samplerate = rate;
                    info.channels = channels;
                    info.format = SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM;
                    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
                    ASSERT_NE(f, nullptr);
                    sf_writef_short(f, noise.data(), sf_count_t(written));
                    sf_close(f);
                } else {
                    writeWav(path, rate, channels, noise);
                }
                QSignalSpy ended(&player, &FilePlayer::playbackEnded);
                player.setFileName(path);
                // ADPCM fills its last block up past the sound: that is not played.
                const size_t frames = size_t(player.wave().frames);
                const std::vector<int16_t> decoded = readWav(path).samples;
                ASSERT_EQ(frames, written);
                ASSERT_GE(decoded.size(), frames * size_t(channels));
                player.play();
                backend.advance(frames / 2);
                if (adpcm) {
                    const WaveInfo w = player.wave();
                    EXPECT_EQ(w.format.formatTag, WaveFormat::MsAdpcm);
                    EXPECT_GT(w.format.samplesPerBlock, 0);
                    EXPECT_EQ(w.dataSize % w.format.blockAlign, 0);
                    EXPECT_EQ(w.dataOffset + w.dataSize, w.fileSize);
                    player.setTimeFormat(FilePlayer::TimeFormat::Bytes);
                    EXPECT_NEAR(double(player.position()), w.dataSize / 2.0, w.format.blockAlign);
                    player.setTimeFormat(FilePlayer::TimeFormat::Milliseconds);
                }
                backend.advance(frames - frames / 2 + 2000);
                player.waitIdle();
                EXPECT_EQ(ended.size(), 1);
                EXPECT_EQ(backend.outputFormat().sampleRate, rate);
                const std::vector<int16_t> out = backend.outputSamples();
                ASSERT_EQ(out.size(), (frames + 2000) * 2);
                for (size_t i = 0; i < frames; ++i) {
                    const int16_t l = decoded[i * size_t(channels)];
                    const int16_t r = decoded[i * size_t(channels) + size_t(channels - 1)];
                    ASSERT_EQ(out[2 * i], l) << "frame " << i;
                    ASSERT_EQ(out[2 * i + 1], r) << "frame " << i;
                }
                EXPECT_EQ(peakOf({out.begin() + ptrdiff_t(frames * 2), out.end()}), 0);
            }
        }
    }
}

// A device holds a queue: what it was given last is heard only once the queue has played out.
// The end comes then, not when the last frame was handed over.
TEST_F(FilePlayerTest, TheEndComesOnlyOnceTheDevicesQueueHasPlayedOut)
{
    backend.setOutputLatency(0.05); // 2205 frames at 44100
    QSignalSpy ended(&player, &FilePlayer::playbackEnded);
    player.setFileName(native("counter.wav"));
    player.play();
    backend.advance(FileFrames + 2205);
    player.waitIdle();
    EXPECT_EQ(ended.size(), 0); // the last frame has just been heard
    EXPECT_TRUE(player.isPlaying());
    EXPECT_EQ(backend.openStreamCount(), 1);
    backend.advance(2205 + 100); // the sound server's share played out as well
    player.waitIdle();
    EXPECT_EQ(ended.size(), 1);
    EXPECT_FALSE(player.isPlaying());
    EXPECT_EQ(backend.openStreamCount(), 0);

    const std::vector<int16_t> out = backend.outputSamples();
    const std::vector<int16_t> expected = counterFrames(FileFrames);
    ASSERT_EQ(out.size(), (FileFrames + 2 * 2205 + 100) * 2);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));
    EXPECT_EQ(peakOf({out.begin() + ptrdiff_t(FileFrames * 2), out.end()}), 0);
}

// A card that cannot play the file's rate plays it converted, whole and at its pitch; the
// position still runs in the file's own time.
TEST_F(FilePlayerTest, ADeviceThatCannotPlayTheFilesRateGetsItConverted)
{
    std::vector<int16_t> tone(8000);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = int16_t(std::lround(10000 * std::sin(2 * M_PI * 1000.0 * double(i) / 8000)));
    writeWav(native("tone8k.wav"), 8000, 1, tone);
    backend.setOutputRates({44100, 48000});
    QSignalSpy ended(&player, &FilePlayer::playbackEnded);
    player.setFileName(native("tone8k.wav"));
    player.play();
    EXPECT_EQ(player.deviceRate(), 44100);
    EXPECT_EQ(backend.outputFormat().sampleRate, 44100);
    backend.advance(22050);
    EXPECT_NEAR(double(player.position()), 500.0, 2.0);
    backend.advance(22050 + 4000);
    player.waitIdle();
    EXPECT_EQ(ended.size(), 1);

    const std::vector<int16_t> left = played();
    size_t first = 0, last = 0;
    for (size_t i = 0; i < left.size(); ++i) {
        if (std::abs(int(left[i])) > 500) {
            first = first ? first : i;
            last = i;
        }
    }
    EXPECT_LE(first, 10u); // from the first frame on
    EXPECT_NEAR(double(last - first), 44100.0, 20.0); // the whole second, to the last frame
    const std::vector<int16_t> body(left.begin() + 100, left.begin() + 44000);
    EXPECT_NEAR(frequencyOf(body, 44100), 1000.0, 1.0);
    EXPECT_NEAR(peakOf(body), 10000, 300);

    // Another rate the card refuses goes to the next one it takes; none at all is a failure.
    writeWav(native("tone44.wav"), 44100, 2, std::vector<int16_t>(8820, 1000));
    backend.setOutputRates({48000});
    player.setFileName(native("tone44.wav"));
    player.play();
    EXPECT_EQ(backend.outputFormat().sampleRate, 48000);
    player.stop();
    backend.setOutputRates({96000});
    EXPECT_EQ(failureNumber([&] { player.play(); }), 68);
    EXPECT_FALSE(player.isPlaying());
}

// Floating-point files (as sox makes them, 32 and 64 bits) play at their level: the same
// samples as the 16-bit file of the same tone, within the last bit.
TEST_F(FilePlayerTest, FloatFilesPlayAtTheirLevel)
{
    ASSERT_TRUE(soxtest::makeTone(native("tone16.wav"), {"-b", "16"}, 44100, 2, 0.25));
    player.setFileName(native("tone16.wav"));
    player.play();
    backend.advance(11025);
    const std::vector<int16_t> reference = backend.outputSamples();
    player.stop();
    ASSERT_NEAR(peakOf(channel(reference, 2, 0)), 19661, 2); // 0.6 of full scale
    for (const char* bits : {"32", "64"}) {
        SCOPED_TRACE(bits);
        const QString path = native(QStringLiteral("tone-f%1.wav").arg(bits));
        ASSERT_TRUE(soxtest::makeTone(path, {"-e", "floating-point", "-b", bits}, 44100, 2, 0.25));
        player.setFileName(path);
        EXPECT_EQ(player.wave().format.formatTag, WaveFormat::IeeeFloat);
        player.play();
        backend.advance(11025);
        const std::vector<int16_t> out = backend.outputSamples();
        player.stop();
        ASSERT_EQ(out.size(), reference.size());
        int worst = 0;
        for (size_t i = 0; i < out.size(); ++i)
            worst = std::max(worst, std::abs(int(out[i]) - int(reference[i])));
        EXPECT_LE(worst, 1);
    }
}

} // namespace
