#pragma once
// Normalizes a PCM or float wave file in place: one pass finds the peak over every channel, a
// second rewrites the samples with the gain that brings the peak to the target level (never
// past full scale). The rewrite goes to a working file beside the original that replaces it
// only when it is complete and on the disk (SafeReplace), so a failure or a cancel leaves the
// original as it was. The chunks around the sample data are kept as they are.
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
// a compressed format (MS-ADPCM), 321 for a malformed file, file errors as they come.
bool NormalizeFile(QString& path, int percent, const NormalizeProgress& progress = {},
                   const FilePrompt& askForFile = {});

} // namespace tamblor::audio
