// The tone generator through the output device, measured from the samples the device was given.
#include "SignalMeasure.h"
#include "audio/devices/OutputDevice.h"
#include "audio/devices/ToneGenerator.h"
#include "audio/devices/VirtualBackend.h"
#include "platform/Failure.h"
#include <gtest/gtest.h>
#include <cmath>

using namespace tamblor;
using namespace tamblor::audio;
using namespace tamblor::audio::measure;

namespace {

class GeneratorTest : public ::testing::Test {
protected:
    // Plays `frames` and returns the left channel of just those frames.
    std::vector<int16_t> play(size_t frames)
    {
        backend.clearOutput();
        backend.advance(frames);
        const std::vector<int16_t> out = backend.outputSamples();
        EXPECT_EQ(channel(out, 2, 0), channel(out, 2, 1)); // both channels alike
        return channel(out, 2, 0);
    }

    VirtualBackend backend{VirtualBackend::Clock::Stepped};
    ToneGenerator generator;
    OutputDevice output{backend, generator};
};

TEST_F(GeneratorTest, PlaysStereoAt44100WithTheSetFrequencyAndLevel)
{
    generator.setFrequency(1000.0);
    generator.setAmplitude(16384);
    output.start();
    EXPECT_TRUE(output.isPlaying());
    EXPECT_EQ(backend.outputFormat().sampleRate, 44100);
    EXPECT_EQ(backend.outputFormat().channels, 2);
    std::vector<int16_t> s = play(44100);
    EXPECT_NEAR(frequencyOf(s, 44100), 1000.0, 0.5);
    EXPECT_NEAR(peakOf(s), 32767, 2);
    EXPECT_NEAR(output.levels().left, 32767, 2);

    generator.setAmplitude(9210); // the window's load value
    generator.setFrequency(1234.5);
    s = play(44100);
    EXPECT_NEAR(frequencyOf(s, 44100), 1234.5, 0.5);
    EXPECT_NEAR(peakOf(s), 9210 * 32767 / 16384, 2);

    generator.setFrequency(20000.0);
    EXPECT_NEAR(frequencyOf(play(44100), 44100), 20000.0, 5.0);
}

TEST_F(GeneratorTest, WaveFormsHaveTheirShape)
{
    // Mean magnitude relative to the peak tells the forms apart: square 1, sine 2/pi, triangle 1/2.
    generator.setFrequency(441.0);
    generator.setAmplitude(16384);
    output.start();
    const struct {
        int code;
        double ratio;
    } forms[] = {{ToneGenerator::Sine, 2.0 / M_PI}, {ToneGenerator::Square, 1.0}, {ToneGenerator::Triangle, 0.5}};
    for (const auto& f : forms) {
        generator.setWaveForm(f.code);
        const std::vector<int16_t> s = play(44100);
        EXPECT_NEAR(frequencyOf(s, 44100), 441.0, 0.5) << f.code;
        EXPECT_NEAR(meanMagnitude(s) / 32767.0, f.ratio, 0.01) << f.code;
    }

    generator.setWaveForm(5);
    const std::vector<int16_t> noise = play(44100);
    double mean = 0;
    for (int16_t v : noise)
        mean += v;
    mean /= double(noise.size());
    EXPECT_NEAR(mean, 0.0, 300.0);
    EXPECT_NEAR(meanMagnitude(noise) / 32767.0, 0.5, 0.02); // uniform noise
    EXPECT_GT(peakOf(noise), 32000);
    // Not a tone: far more crossings than any 441 Hz form.
    EXPECT_GT(frequencyOf(noise, 44100), 5000.0);
}

TEST_F(GeneratorTest, ChangesAreHeardAtOnceWhilePlaying)
{
    output.start();
    generator.setFrequency(1000.0);
    play(1024);
    generator.setFrequency(250.0);
    generator.setAmplitude(4096);
    std::vector<int16_t> s = play(1024); // the very next block
    EXPECT_NEAR(peakOf(s), 8192, 20);
    s = play(44100);
    EXPECT_NEAR(frequencyOf(s, 44100), 250.0, 0.5);
    generator.setAmplitude(0);
    EXPECT_EQ(peakOf(play(1024)), 0);
}

TEST_F(GeneratorTest, FrequenciesWithoutAFaithfulToneAreSilent)
{
    output.start();
    for (double f : {0.0, 22050.0, 29999.0}) {
        generator.setFrequency(f);
        EXPECT_EQ(peakOf(play(4410)), 0) << f;
    }
    generator.setFrequency(50000.0);
    EXPECT_EQ(generator.frequency(), 29999.0);
    generator.setFrequency(-5.0);
    EXPECT_EQ(generator.frequency(), 0.0);
    generator.setFrequency(22049.0);
    EXPECT_GT(peakOf(play(4410)), 1000);
    generator.setWaveForm(ToneGenerator::Noise);
    generator.setFrequency(29999.0);
    EXPECT_GT(peakOf(play(4410)), 1000); // noise has no frequency
}

TEST_F(GeneratorTest, StopSilencesAndReleaseClosesTheDevice)
{
    EXPECT_THROW(generator.setWaveForm(3), Failure);
    output.start();
    backend.advance(1000);
    output.stop();
    EXPECT_FALSE(output.isPlaying());
    EXPECT_EQ(output.levels().left, 0);
    backend.advance(1000);
    EXPECT_EQ(backend.outputSamples().size(), 2000u);
    EXPECT_EQ(backend.openStreamCount(), 1);
    output.release();
    EXPECT_EQ(backend.openStreamCount(), 0);
    output.start(); // opens again
    EXPECT_TRUE(output.isPlaying());
}

} // namespace
