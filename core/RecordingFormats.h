#pragma once
// The recording formats the settings choose from, in the order of their stored number (record 3
// of MyComp.ini): PCM at 8000, 11025, 22050 and 44100 samples per second, Microsoft ADPCM at
// 22050 and 44100. One table for the preferences, the record events and the take.
#include <QLocale>
#include <QString>
#include <array>

namespace tamblor {

struct RecordingFormat {
    int rate;
    bool adpcm;
};

inline constexpr std::array<RecordingFormat, 6> RecordingFormats{
    {{8000, false}, {11025, false}, {22050, false}, {44100, false}, {22050, true}, {44100, true}}};

// True for a stored format number of the table.
inline bool isRecordingFormat(int index)
{
    return index >= 0 && index < int(RecordingFormats.size());
}

// "PCM 8.000 kHz", "PCM 11,025 kHz" (the locale's decimal separator), "Microsoft ADPCM 22.050";
// "" for a number outside the table.
QString recordingFormatText(int index, const QLocale& locale);

} // namespace tamblor
