#pragma once
// The loudness of the hour: the file measurement against ffmpeg's R128 filter with its true
// peak, and its figures beside ffmpeg's and libebur128's.
#include <QString>

// Times measureLoudness on `hour` against `ffmpeg -af ebur128=peak=true` (median of three runs
// each, one after the other in this run) and prints
//   loudness of the hour: ours <s> s, ffmpeg <s> s; ratio <ours/ffmpeg>
// ("peer failed" instead of the ratio when ffmpeg is missing or fails), the goals (at most
// 3 s, at least 5 times faster), the figures of the three measurements (libebur128 once, as
// the reference) and the time of a loudness normalize beside a peak normalize in `folder`.
void benchLoudness(const QString& hour, const QString& folder);
