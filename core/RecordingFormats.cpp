#include "core/RecordingFormats.h"

namespace tamblor {

QString recordingFormatText(int index, const QLocale& locale)
{
    if (!isRecordingFormat(index))
        return {};
    const RecordingFormat& f = RecordingFormats[size_t(index)];
    return QStringLiteral("%1 %2%3%4%5")
        .arg(f.adpcm ? QStringLiteral("Microsoft ADPCM") : QStringLiteral("PCM"))
        .arg(f.rate / 1000)
        .arg(locale.decimalPoint())
        .arg(f.rate % 1000, 3, 10, QLatin1Char('0'))
        .arg(f.adpcm ? QString() : QStringLiteral(" kHz"));
}

} // namespace tamblor
