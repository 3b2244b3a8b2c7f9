#pragma once
// The figures of one take, as one reading of its file gave them: its length and format, sample
// peak, loudness, range, true peak, longest silence (below the threshold it was read with) and
// its clipped runs, with the size and modification time of the file they describe. One row of
// the take_figures table; a run refers to the row of its take and copies none of it.
//
// Digital silence has no level: peak, loudness and true peak are minus infinity, kept as such in
// memory and in the database. A figure that is empty was not worked out: a file that could not
// be read has no figures at all, and a take's figures kept from an older database lack what was
// not kept then (its length, format and clipped runs).
#include <cstdint>
#include <optional>

namespace tamblor::store {

struct TakeFigures {
    int64_t id = 0; // 0 until stored
    int slot = 0;   // the slot that holds the take now; 0 once none does
    // What the figures were measured from: the file's size in bytes and its modification time
    // (ms since 1970, UTC).
    int64_t fileSize = 0;
    int64_t fileMtimeMs = 0;
    std::optional<int64_t> frames;
    std::optional<int> sampleRate;
    std::optional<int> channels;
    std::optional<double> peakDbfs;
    std::optional<double> integratedLufs;
    std::optional<double> lraLu;
    std::optional<double> truePeakDbtp;
    std::optional<double> longestSilenceS;
    std::optional<double> silenceBelowDbfs; // the threshold longestSilenceS was measured at
    std::optional<int64_t> clippedRuns;
    int64_t measuredAtMs = 0; // ms since 1970, UTC

    // False for a file that could not be read (stored so that it is not tried again).
    bool measured() const { return peakDbfs.has_value() || longestSilenceS.has_value(); }
    bool measuredFrom(int64_t size, int64_t mtimeMs) const { return fileSize == size && fileMtimeMs == mtimeMs; }
    bool operator==(const TakeFigures&) const = default;
};

} // namespace tamblor::store
