#pragma once
// One run of a record event as a value: the occurrence it belongs to, when its first sample was
// taken, how much it holds, where it went and how it ended. Every occurrence gets exactly one.
#include "store/TakeFigures.h"
#include <QString>
#include <cstdint>
#include <optional>

namespace tamblor::schedule {

enum class RunResult {
    OK,
    Short,       // ended early: the input was lost or the program ended
    Silent,      // nothing above -50 dBFS in the whole take
    Clipped,     // full-scale samples in the take
    DeviceBusy,  // the input was taken (a take by hand, another event) at the start
    DiskFull,    // refused before the start, or the disk filled during the take
    Interrupted, // the program died during the take; found and completed at the next start
    Missed,      // the program was not running (or the machine slept) at the start
    LateStart,   // started after its time (the program came up late, or the time did not exist)
};
inline constexpr int RunResultCount = 9;

// "OK", "Short", "Silent", ... as stored and shown.
QString resultText(RunResult result);
std::optional<RunResult> resultFromText(const QString& text);

struct RecordRun {
    qint64 id = 0;                 // 0 until stored
    std::optional<qint64> eventId; // none once the event is deleted
    QString eventName;             // the event's name when it ran
    qint64 scheduledStartMs = 0;   // ms since 1970, UTC
    // The time the take was planned to record from: the start, or the moment a late take began.
    std::optional<qint64> firstSampleMs;
    // The time the take's first sample was measured at: the clock when the input first had it,
    // less what the input had delivered since (none for a run stored before it was kept).
    std::optional<qint64> measuredFirstSampleMs;
    int64_t lengthFrames = 0;
    int sampleRate = 0;
    int slot = 0;
    std::optional<RunResult> result; // none while the take is under way
    // The figures of its take, once it was read back: the row it refers to (stored), and that
    // row as it was when the run was read (never written through the run).
    std::optional<qint64> figuresId;
    std::optional<store::TakeFigures> figures;
    QString detail;     // what the operator should know beyond the result
    bool seen = false;  // the operator has seen a result that is not OK
    qint64 recordedAtMs = 0;

    // The take's sample peak, when its figures are known (-inf for digital silence).
    std::optional<double> peakDbfs() const { return figures ? figures->peakDbfs : std::nullopt; }
    std::optional<double> integratedLufs() const { return figures ? figures->integratedLufs : std::nullopt; }
    std::optional<double> truePeakDbtp() const { return figures ? figures->truePeakDbtp : std::nullopt; }
    std::optional<double> longestSilenceS() const { return figures ? figures->longestSilenceS : std::nullopt; }
    bool underWay() const { return !result.has_value(); }
    // A result that must stand out until the operator has seen it.
    bool needsAttention() const { return result && *result != RunResult::OK && !seen; }
    bool operator==(const RecordRun&) const = default;
};

} // namespace tamblor::schedule
