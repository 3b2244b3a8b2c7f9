#pragma once
// The longest stretch the user-interface thread did not answer events while the real windows'
// jobs work on the hour: peak normalize, loudness normalize (the normalize window) and the
// conversion to 22050 (the send-to window). Needs a QApplication.
#include <QString>

// Prints "longest stall during <operation>: <n> ms" for each, the median of `runs` runs.
void benchWindowStalls(const QString& hour, const QString& folder, int runs);
