#pragma once
// The live loudness meter's cost to the user-interface thread: a minute of stereo 48 kHz played
// through the studio's player on the stepped virtual card, the programme watch ticked every 50 ms
// as the studio's clock does, against the same measuring done the way the watch did it before
// its worker (all on the user-interface thread). Needs a QCoreApplication.
#include <QString>

// Prints
//   live loudness on the UI thread: <x> ms per second of audio (stereo 48 kHz) ...
// beside the figure of the old way, the median of `runs` runs each, with the machine's load; then
// the same for a minute after an hour on the meter (`hourRuns` runs), when each reading of the
// gated figures works over an hour of blocks. Works in `folder` and removes what it made there.
void benchLiveLoudness(const QString& folder, int runs, int hourRuns);
