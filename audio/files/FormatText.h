#pragma once
// Texts the windows show for levels and formats.
#include "audio/core/WaveFormat.h"
#include <QString>

namespace tamblor::audio {

// A gain value relative to a reference in decibels, as the slider labels show it:
// 20·log10(value / reference) with digits − 1 decimals (digits 2: "-5.0 dB", "0.0 dB",
// "+6.0 dB"). A value of 0 or less is "-inf dB". Throws Failure 5 for a reference ≤ 0.
QString decibelText(long value, long reference = 16384, int digits = 2);

// The two description texts of a format: the codec name ("PCM", "Microsoft ADPCM") and its
// layout ("22.050 kHz, 16 Bit, Stereo").
struct FormatDescription {
    QString name;
    QString detail;
};
FormatDescription describeFormat(const WaveFormat& format);
// The same, filling two texts as the send-to window takes them.
void describeFormat(const WaveFormat& format, QString& name, QString& detail);

} // namespace tamblor::audio
