#include "audio/files/SndFormat.h"
#include "audio/files/FileFailure.h"
#include <sndfile.h>

namespace tamblor::audio {

int sndFormatFor(const WaveFormat& format)
{
    if (format.formatTag == WaveFormat::MsAdpcm)
        return SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM;
    if (format.formatTag != WaveFormat::Pcm)
        throw invalidCall(QStringLiteral("format tag %1").arg(format.formatTag));
    switch (format.bitsPerSample) {
    case 8: return SF_FORMAT_WAV | SF_FORMAT_PCM_U8;
    case 16: return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    case 24: return SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    case 32: return SF_FORMAT_WAV | SF_FORMAT_PCM_32;
    default: throw invalidCall(QStringLiteral("%1 bits per sample").arg(format.bitsPerSample));
    }
}

} // namespace tamblor::audio
