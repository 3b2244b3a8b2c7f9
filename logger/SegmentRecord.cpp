#include "logger/SegmentRecord.h"

namespace tamblor::logger {

namespace {
const char* const ResultTexts[] = {"OK", "Short", "Gap", "Silent", "Clipped", "DiskFull"};
const char* const EncodingTexts[] = {"wav16", "wav24", "flac"};
} // namespace

QString resultText(SegmentResult result)
{
    return ResultTexts[int(result)];
}

std::optional<SegmentResult> resultFromText(const QString& text)
{
    for (int i = 0; i < 6; ++i)
        if (text == ResultTexts[i])
            return SegmentResult(i);
    return std::nullopt;
}

QString encodingText(FileEncoding encoding)
{
    return EncodingTexts[int(encoding)];
}

std::optional<FileEncoding> encodingFromText(const QString& text)
{
    for (int i = 0; i < 3; ++i)
        if (text.compare(EncodingTexts[i], Qt::CaseInsensitive) == 0)
            return FileEncoding(i);
    return std::nullopt;
}

QString suffixOf(FileEncoding encoding)
{
    return encoding == FileEncoding::Flac ? ".flac" : ".wav";
}

} // namespace tamblor::logger
