#include "audio/files/FormatText.h"
#include "audio/format/FileFailure.h"
#include <algorithm>
#include <cmath>

namespace tamblor::audio {

QString decibelText(long value, long reference, int digits)
{
    if (reference <= 0)
        throw invalidCall(QStringLiteral("reference level %1").arg(reference));
    if (value <= 0)
        return QStringLiteral("-inf dB");
    const int decimals = std::clamp(digits - 1, 0, 6);
    double db = 20.0 * std::log10(double(value) / double(reference));
    // No "-0.0": a level that rounds to zero reads as 0 dB.
    const double unit = std::pow(10.0, -decimals);
    if (std::fabs(db) < unit / 2)
        db = 0.0;
    QString text = QString::number(db, 'f', decimals);
    if (db > 0)
        text.prepend(QLatin1Char('+'));
    return text + QStringLiteral(" dB");
}

FormatDescription describeFormat(const WaveFormat& format)
{
    FormatDescription d;
    switch (format.formatTag) {
    case WaveFormat::Pcm: d.name = QStringLiteral("PCM"); break;
    case WaveFormat::MsAdpcm: d.name = QStringLiteral("Microsoft ADPCM"); break;
    case WaveFormat::IeeeFloat: d.name = QStringLiteral("IEEE Float"); break;
    default: d.name = QStringLiteral("Format %1").arg(format.formatTag); break;
    }
    // kHz with three decimals and a point: 22050 -> "22.050 kHz", 8000 -> "8.000 kHz".
    const QString khz = QStringLiteral("%1.%2 kHz")
                            .arg(format.sampleRate / 1000)
                            .arg(format.sampleRate % 1000, 3, 10, QLatin1Char('0'));
    const QString channels = format.channels == 1   ? QStringLiteral("Mono")
                             : format.channels == 2 ? QStringLiteral("Stereo")
                                                    : QStringLiteral("%1 Channels").arg(format.channels);
    d.detail = QStringLiteral("%1, %2 Bit, %3").arg(khz).arg(format.bitsPerSample).arg(channels);
    return d;
}

void describeFormat(const WaveFormat& format, QString& name, QString& detail)
{
    const FormatDescription d = describeFormat(format);
    name = d.name;
    detail = d.detail;
}

} // namespace tamblor::audio
