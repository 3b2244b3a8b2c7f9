// Block extremes, buffer peaks, decibel texts and format texts.
#include "audio/files/FormatText.h"
#include "audio/files/WaveHelper.h"
#include "platform/Failure.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <random>
#include <vector>

using namespace tamblor;
using namespace tamblor::audio;

TEST(BlockExtremes, EmptyBlocksGiveSilence)
{
    int64_t bytes = 0;
    const int16_t x = 1;
    BlockExtremes e = blockExtremes(WaveFormat::pcm(8000, 1, 8), &x, bytes);
    EXPECT_EQ(e.min1, 128);
    EXPECT_EQ(e.max2, 128);
    bytes = 3; // less than one 16-bit stereo frame
    e = blockExtremes(WaveFormat::pcm(8000, 2, 16), &x, bytes);
    EXPECT_EQ(bytes, 0);
    EXPECT_EQ(e.min1, 0);
    EXPECT_EQ(e.max2, 0);
}

// The vector loops take blocks of 32 or 64 samples; every length and offset around those
// must agree with a plain scan: each channel's own extremes (mono gives its one channel twice),
// 8-bit samples unsigned as stored, the partial frame at the end cut off.
TEST(BlockExtremes, AgreesWithAPlainScanAtEveryLengthAndAlignment)
{
    std::mt19937 rng(7);
    std::vector<uint8_t> raw(600);
    for (auto& v : raw)
        v = uint8_t(rng());
    // The 16-bit extremes, at even and odd offsets.
    for (const int at : {40, 81}) {
        raw[size_t(at)] = 0x00, raw[size_t(at) + 1] = 0x80;
        raw[size_t(at) + 6] = 0xff, raw[size_t(at) + 7] = 0x7f;
    }
    for (const WaveFormat f : {WaveFormat::pcm(1, 2, 16), WaveFormat::pcm(1, 1, 16),
                               WaveFormat::pcm(1, 2, 8), WaveFormat::pcm(1, 1, 8)}) {
        const bool eight = f.bitsPerSample == 8;
        for (int offset = 0; offset < 3; ++offset)
            for (int64_t len = 0; len < 300; ++len) {
                int64_t bytes = len;
                const uint8_t* p = raw.data() + offset;
                const BlockExtremes e = blockExtremes(f, p, bytes);
                const int64_t frames = len / f.blockAlign;
                ASSERT_EQ(bytes, frames * f.blockAlign);
                int lo[2] = {1 << 20, 1 << 20}, hi[2] = {-(1 << 20), -(1 << 20)};
                for (int64_t i = 0; i < frames * f.channels; ++i) {
                    const int v = eight ? p[i] : int16_t(p[2 * i] | p[2 * i + 1] << 8);
                    const int ch = f.channels == 2 ? int(i % 2) : 0;
                    lo[ch] = std::min(lo[ch], v);
                    hi[ch] = std::max(hi[ch], v);
                }
                if (frames == 0)
                    continue;
                const int c2 = f.channels == 2 ? 1 : 0;
                ASSERT_EQ(e.min1, lo[0]) << len;
                ASSERT_EQ(e.max1, hi[0]) << len;
                ASSERT_EQ(e.min2, lo[c2]) << len;
                ASSERT_EQ(e.max2, hi[c2]) << len;
            }
    }
    // The form with four results gives the same figures.
    const std::vector<int16_t> s = {100, -5, -32768, 7, 300, 32767, -1, 0, 5, -6};
    int64_t bytes = int64_t(s.size() * 2);
    int16_t a, b, c, d;
    blockExtremes(WaveFormat::pcm(44100, 2, 16), s.data(), bytes, a, b, c, d);
    EXPECT_EQ(bytes, 20);
    EXPECT_EQ(std::vector<int16_t>({a, b, c, d}), std::vector<int16_t>({-32768, 300, -6, 32767}));
}

TEST(BufferPeakLevels, EightBitIsScaledToTheSixteenBitRange)
{
    const std::vector<uint8_t> s = {0, 128, 200, 130};
    int16_t l, r;
    bufferPeakLevels(WaveFormat::pcm(8000, 2, 8), s.data(), 4, l, r);
    EXPECT_EQ(l, 32767); // sample 0 is -32768
    EXPECT_EQ(r, 512);
    const std::vector<int16_t> w = {-300, 20, 10, -40};
    bufferPeakLevels(WaveFormat::pcm(8000, 2, 16), w.data(), 8, l, r);
    EXPECT_EQ(l, 300);
    EXPECT_EQ(r, 40);
}

TEST(FormatText, DecibelTexts)
{
    EXPECT_EQ(decibelText(16384), "0.0 dB");
    EXPECT_EQ(decibelText(9210, 16384, 2), "-5.0 dB");
    EXPECT_EQ(decibelText(8192), "-6.0 dB");
    EXPECT_EQ(decibelText(32768), "+6.0 dB");
    EXPECT_EQ(decibelText(1), "-84.3 dB");
    EXPECT_EQ(decibelText(0), "-inf dB");
    EXPECT_EQ(decibelText(16383), "0.0 dB"); // never "-0.0"
    EXPECT_EQ(decibelText(8192, 16384, 3), "-6.02 dB");
    EXPECT_THROW(decibelText(5, 0), Failure);
}

TEST(FormatText, FormatDescriptions)
{
    QString name, detail;
    describeFormat(WaveFormat::pcm(22050, 2, 16), name, detail);
    EXPECT_EQ(name, "PCM");
    EXPECT_EQ(detail, "22.050 kHz, 16 Bit, Stereo");
    describeFormat(WaveFormat::pcm(8000, 1, 8), name, detail);
    EXPECT_EQ(detail, "8.000 kHz, 8 Bit, Mono");
    EXPECT_EQ(describeFormat(WaveFormat::pcm(44100, 1, 16)).detail, "44.100 kHz, 16 Bit, Mono");
    EXPECT_EQ(describeFormat(WaveFormat::pcm(11025, 2, 8)).detail, "11.025 kHz, 8 Bit, Stereo");
    WaveFormat adpcm = WaveFormat::pcm(22050, 1, 4);
    adpcm.formatTag = WaveFormat::MsAdpcm;
    EXPECT_EQ(describeFormat(adpcm).name, "Microsoft ADPCM");
    EXPECT_EQ(describeFormat(adpcm).detail, "22.050 kHz, 4 Bit, Mono");
}
