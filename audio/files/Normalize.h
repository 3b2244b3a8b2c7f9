#pragma once
// Normalizes a PCM wave file in place: one pass finds the peak, a second rewrites the samples
// with the gain that brings the peak to the target level. The rewrite goes to a temporary file
// in the same folder that replaces the original only when it is complete, so a failure or a
// cancel leaves the original as it was.
#include <QString>
#include <functional>

namespace tamblor::audio {

// Progress: percent 0..100 of the current phase, phase 0 while scanning and 1 while rewriting,
// a third value that is always 0. Returning false cancels the work.
using NormalizeProgress = std::function<bool(int percent, int phase, int third)>;
// Asks the operator for a wave file; returns its path or the empty text to give up.
using FilePrompt = std::function<QString()>;

// Normalizes `path` so that its peak is `percent` (0..100) of full scale. An empty path asks
// `askForFile` (no prompt, or an empty answer, does nothing) and gives the chosen path back.
// Returns true when the file is normalized (a silent file is left as it is), false when
// nothing was done or the work was cancelled. Throws Failure: 5 for a level outside 0..100 or
// a format other than 8- or 16-bit PCM, 321 for a malformed file, file errors as they come.
bool NormalizeFile(QString& path, int percent, const NormalizeProgress& progress = {},
                   const FilePrompt& askForFile = {});

} // namespace tamblor::audio
