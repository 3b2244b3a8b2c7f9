#include "audio/format/SndFormat.h"
#include "audio/format/FileFailure.h"
#include <QDir>
#include <QFile>
#include <cerrno>
#include <sndfile.h>

namespace tamblor::audio {

int sndFormatFor(const WaveFormat& format)
{
    if (format.formatTag == WaveFormat::MsAdpcm)
        return SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM;
    if (format.formatTag == WaveFormat::IeeeFloat)
        return SF_FORMAT_WAV | (format.bitsPerSample == 64 ? SF_FORMAT_DOUBLE : SF_FORMAT_FLOAT);
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

SNDFILE* openSndWriter(const QString& path, const WaveFormat& format)
{
    SF_INFO info{};
    info.samplerate = format.sampleRate;
    info.channels = format.channels;
    info.format = sndFormatFor(format);
    errno = 0;
    const QByteArray native = QFile::encodeName(QDir::toNativeSeparators(path));
    SNDFILE* file = sf_open(native.constData(), SFM_WRITE, &info);
    if (!file)
        throw sndfileFailure(nullptr, path);
    return file;
}

} // namespace tamblor::audio
