#pragma once
// Builds wave files byte by byte for the tests, including deliberately broken ones.
#include "audio/core/WaveFormat.h"
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

namespace wavtest {

using tamblor::audio::WaveFormat;

QByteArray le16(int v);
QByteArray le32(uint32_t v);
// One chunk: id, size, body and a pad byte when the size is odd. sizeField >= 0 is written
// as the size instead of the body's real one.
QByteArray chunk(const char* id, const QByteArray& body, int64_t sizeField = -1);
// The 16-byte fmt body of a format (18 with cbSize and more for MS-ADPCM).
QByteArray fmtBody(const WaveFormat& format);
// "RIFF", the size of what follows, "WAVE" and the chunks.
QByteArray riff(const QByteArray& chunks);
// A plain file: fmt chunk and data chunk.
QByteArray wavBytes(const WaveFormat& format, const QByteArray& data);
// The same for a format given by its fields (block align and byte rate follow from them);
// dataSizeField as for chunk().
QByteArray wav(int formatTag, int channels, int rate, int bits, const QByteArray& data,
               int64_t dataSizeField = -1);

// Interleaved 16-bit sine samples, the same on every channel.
std::vector<int16_t> sine(int rate, int channels, double hz, double seconds, int amplitude);
// Samples as the raw bytes of a 16-bit (little-endian) or 8-bit (unsigned) file.
QByteArray pcmBytes(const std::vector<int16_t>& samples, int bits);
std::vector<int16_t> samplesOf(const QByteArray& bytes16);

// Frequency of a tone from its rising zero crossings (first channel of interleaved data).
double toneFrequency(const std::vector<int16_t>& samples, int channels, int rate);

} // namespace wavtest
