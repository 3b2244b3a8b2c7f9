#pragma once
// Closing the last handle of a large file that has been replaced or removed gives its blocks
// back to the file system, which takes a noticeable part of a second for an hour of sound.
// Nobody waits for that: the handle is closed by a background thread of its own, which the
// program joins when it ends.
#include "platform/NativeFile.h"

namespace tamblor {

// Takes the file and closes it soon, on the releasing thread. A closed file is ignored.
void closeInBackground(NativeFile file);

} // namespace tamblor
