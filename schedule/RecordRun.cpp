#include "schedule/RecordRun.h"
#include <array>

namespace tamblor::schedule {

namespace {
const std::array<const char*, RunResultCount> Texts = {
    "OK", "Short", "Silent", "Clipped", "DeviceBusy", "DiskFull", "Interrupted", "Missed", "LateStart",
};
} // namespace

QString resultText(RunResult result)
{
    return QString::fromLatin1(Texts[static_cast<size_t>(result)]);
}

std::optional<RunResult> resultFromText(const QString& text)
{
    for (size_t i = 0; i < Texts.size(); ++i) {
        if (text == QLatin1String(Texts[i]))
            return static_cast<RunResult>(i);
    }
    return std::nullopt;
}

} // namespace tamblor::schedule
