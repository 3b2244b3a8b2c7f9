#pragma once
// Translation between the layer's WaveFormat and libsndfile's format codes.
#include "audio/core/WaveFormat.h"

namespace tamblor::audio {

// The libsndfile WAV format code for a format: PCM 8 (unsigned), 16, 24, 32 bits or MS-ADPCM.
// Throws Failure 5 for anything else.
int sndFormatFor(const WaveFormat& format);

} // namespace tamblor::audio
