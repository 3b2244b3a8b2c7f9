#pragma once
// The one place where file-layer errors (libsndfile, Qt file errors, malformed headers)
// become the program's numbered failures.
#include "platform/Failure.h"
#include <QFileDevice>
#include <QString>

struct sf_private_tag;

namespace tamblor::audio {

// Classic number for a file whose contents are not a usable wave file.
inline constexpr int kInvalidFileFormat = 321;

// "321 Invalid file format: <what>" — a malformed or unsupported wave file.
Failure malformedWave(const QString& what);
// The failure behind a libsndfile error on `file` (nullptr: the last open failed) for `path`.
Failure sndfileFailure(sf_private_tag* file, const QString& path);
// The failure behind a QFile error (an open error looks at errno for the cause; Qt reports a
// full disk as a resource error).
Failure fileFailure(QFileDevice::FileError error);
// A bad argument handed to a component (5 Invalid procedure call or argument).
Failure invalidCall(const QString& what);

} // namespace tamblor::audio
