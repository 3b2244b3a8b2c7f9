#pragma once
// Translation between the layer's WaveFormat and libsndfile's format codes.
#include "audio/core/WaveFormat.h"
#include <QString>

struct sf_private_tag;

namespace tamblor::audio {

// The libsndfile WAV format code for a format: PCM 8 (unsigned), 16, 24, 32 bits, 32- or
// 64-bit float, or MS-ADPCM.
// Throws Failure 5 for anything else.
int sndFormatFor(const WaveFormat& format);

// Creates (or truncates) a WAV file of that format for writing through libsndfile.
// Throws the file's failure (76 Path not found, 61 Disk full, ...) when it cannot be made.
sf_private_tag* openSndWriter(const QString& path, const WaveFormat& format);

} // namespace tamblor::audio
