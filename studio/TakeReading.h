#pragma once
// The one reading of a finished take: a single pass over its file, decoded by libsndfile (PCM of
// every width, float, MS-ADPCM: whatever the library records or holds), gives its length and
// format, sample peak, full-scale runs (two or more full-scale samples in a row on a channel),
// integrated loudness, loudness range, true peak and its longest silence below a threshold.
// The take runner judges a take from it (Silent, Clipped) and the measurer keeps it for the
// library; the figures stored are those of one reading, never of two that might disagree.
//
// Digital silence has no level: peak, loudness and true peak are then minus infinity.
#include "store/TakeFigures.h"
#include <QString>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>

namespace tamblor {

struct TakeReading {
    // A take whose sample peak is at or below this is Silent, whatever threshold its longest
    // silence is measured at.
    static constexpr double SilentBelowDbfs = -50.0;

    int64_t frames = 0;
    int sampleRate = 0;
    int channels = 0;
    double peakDbfs = -std::numeric_limits<double>::infinity();
    int64_t clippedRuns = 0; // runs of full-scale samples (two or more in a row)
    double integratedLufs = -std::numeric_limits<double>::infinity();
    double lraLu = 0.0;
    double truePeakDbtp = -std::numeric_limits<double>::infinity();
    double longestSilenceS = 0.0;
    double silenceBelowDbfs = SilentBelowDbfs; // the threshold longestSilenceS was measured at

    bool silent() const { return peakDbfs <= SilentBelowDbfs; }
    bool clipped() const { return clippedRuns > 0; }

    // The figures as a take's row keeps them (no slot, file or time yet).
    store::TakeFigures figures() const;

    // Percent 0..100 of the file read; returning false cancels the reading.
    using Progress = std::function<bool(int percent)>;
    // Reads the wave file (a native path) once, its longest silence below `silenceBelowDbfs`.
    // Call on a worker. Nothing when cancelled. Throws Failure for a file that cannot be read.
    static std::optional<TakeReading> of(const QString& nativePath, double silenceBelowDbfs = SilentBelowDbfs,
                                         const Progress& progress = {});

    // How many readings have begun over a file (a native path) since the program started: one
    // per finished take, or two when it was normalized after recording (tests count them).
    static int passesOver(const QString& nativePath);
};

} // namespace tamblor
