#pragma once
// Normalizes a PCM or float wave file in place: one pass finds the peak over every channel, a
// second rewrites the samples with the gain that brings the peak to the target level (never
// past full scale), or the loudness to a target loudness (the scan then measures it too). The
// rewrite goes to a working file beside the original that replaces it only when it is complete
// and on the disk (SafeReplace), so a failure or a cancel leaves the original as it was. The
// chunks around the sample data are kept as they are.
#include "audio/files/Loudness.h"
#include <QString>
#include <functional>

namespace tamblor::audio {

// Progress: percent 0..100 of the current phase, phase 0 while scanning and 1 while rewriting,
// a third value that is always 0. Returning false cancels the work.
using NormalizeProgress = std::function<bool(int percent, int phase, int third)>;
// Asks the operator for a wave file; returns its path or the empty text to give up.
using FilePrompt = std::function<QString()>;

// What the scan found and what the rewrite did, filled in as the work goes: `loudness` once
// the scan is complete (before the first progress report of the rewrite), the rest when the
// gain is chosen. Only a loudness target measures the loudness; the peak normalize has no use
// for it and leaves `scanned` false.
struct NormalizeReport {
    bool scanned = false;
    LoudnessFigures loudness{};
    // The gain applied to the samples, in dB (0 for a file left as it was).
    double gainDb = 0.0;
    // A loudness target whose gain would have taken the true peak past the ceiling: the gain
    // was lowered to keep the true peak at the ceiling, and the file stays below the target.
    bool heldByCeiling = false;
};

// Normalizes `path` so that its peak is `percent` (0..100) of full scale. An empty path asks
// `askForFile` (no prompt, or an empty answer, does nothing) and gives the chosen path back.
// Returns true when the file is normalized (a silent file is left as it is), false when
// nothing was done or the work was cancelled. Throws Failure: 5 for a level outside 0..100 or
// a compressed format (MS-ADPCM), 321 for a malformed file, file errors as they come.
bool NormalizeFile(QString& path, int percent, const NormalizeProgress& progress = {},
                   const FilePrompt& askForFile = {}, NormalizeReport* report = nullptr);

// A target integrated loudness, with the true peak kept at or below a ceiling.
struct LoudnessTarget {
    double lufs = -23.0;
    double ceilingDbtp = -1.0;
};

// Normalizes `path` so that its integrated loudness is `target.lufs`, unless that would take
// its true peak past `target.ceilingDbtp`: then the gain stops where the true peak meets the
// ceiling (the report says so). A file too quiet to measure (silence) is left as it is. The
// path, the prompt, the result and the failures are NormalizeFile's; 5 also for a target
// outside -70..0 LUFS or a ceiling above 0 dBTP.
bool NormalizeToLoudness(QString& path, const LoudnessTarget& target, const NormalizeProgress& progress = {},
                         const FilePrompt& askForFile = {}, NormalizeReport* report = nullptr);

} // namespace tamblor::audio
