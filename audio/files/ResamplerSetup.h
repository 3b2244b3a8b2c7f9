#pragma once
// The one libsoxr set-up of the conversion chain: 32-bit interleaved frames in and out, at the
// quality every conversion uses.
#include "platform/Failure.h"

struct soxr;

namespace tamblor::audio {

// A resampler of `channels` channels from inRate to outRate on `threads` threads (0: as many
// as OpenMP is told). Throws Failure 5 when libsoxr refuses. soxr_delete() releases it.
soxr* createResampler(int inRate, int outRate, int channels, unsigned threads);

} // namespace tamblor::audio
