#pragma once
// Seconds to the operator's time text ("02:05", " 1:02:05") and back.
#include <QString>
#include <cstdint>

namespace tamblor {

struct SharedState;

// 0 -> "00:00", 3725 -> " 1:02:05", 36000 -> "10:00:00".
QString secondsToTimeText(int32_t seconds);

// Reads a time text from its right end; see TimeTextToSeconds. `text` is left trimmed and
// shortened as the reading leaves it. Throws Failure 6 when the total leaves 32 bits.
int32_t timeTextToSeconds(QString& text);

// The shared-register forms: Seconds -> TimeText, and TimeText -> Seconds.
void SecondsToTimeText(SharedState& state);
void TimeTextToSeconds(SharedState& state);

} // namespace tamblor
