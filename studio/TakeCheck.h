#pragma once
// What a finished take holds, read back from its file on a worker: frames, sample peak, whether
// it clipped (two or more full-scale samples in a row on a channel), whether it is silent
// (nothing above -50 dBFS in the whole take), its loudness figures and its longest silence.
// The scheduler's results Silent and Clipped come from here.
#include <QString>
#include <cstdint>
#include <limits>

namespace tamblor {

struct TakeCheck {
    static constexpr double SilentBelowDbfs = -50.0;

    int64_t frames = 0;
    int sampleRate = 0;
    int channels = 0;
    double peakDbfs = -std::numeric_limits<double>::infinity();
    int64_t clippedRuns = 0; // runs of full-scale samples (two or more in a row)
    double integratedLufs = -std::numeric_limits<double>::infinity();
    double lraLu = 0.0;
    double truePeakDbtp = -std::numeric_limits<double>::infinity();
    double longestSilenceS = 0.0; // below SilentBelowDbfs

    bool silent() const { return peakDbfs <= SilentBelowDbfs; }
    bool clipped() const { return clippedRuns > 0; }

    // Reads the wave file (a native path) once. Call on a worker. Throws Failure.
    static TakeCheck of(const QString& nativePath);
};

} // namespace tamblor
