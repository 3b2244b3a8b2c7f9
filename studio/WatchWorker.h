#pragma once
// The measuring half of the programme watch, on a thread of its own: it takes what the input's
// and the player's sample taps hold, feeds the loudness meter (K-weighting, the 4x true peak, the
// gated figures) and the silence detector, and hands what they found on as values. It never
// touches a session, a notice or a window; the watch, on the user-interface thread, tells it
// what to measure (a plan) and when to take from the taps, and receives its reports.
//
// Orders are carried out one after the other in the order given, so a take ordered before a
// change of plan measures what was heard before the change with the plan of before. Nothing is
// measured unless ordered: the worker sleeps between orders. Reports are handed to `deliver` on
// the worker thread; the watch posts them to its own thread.
//
// Stopping (or destroying) the worker drops the orders not yet carried out and joins the thread;
// nothing is delivered afterwards. The taps must outlive the worker.
#include "audio/loudness/LoudnessEngine.h"
#include "audio/loudness/SilenceDetector.h"
#include "studio/SilenceAlarm.h"
#include <QtGlobal>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tamblor::audio {
class SampleTap;
}

namespace tamblor {

// Which tap a measurement takes its samples from.
enum class ProgrammeSource { None, Input, Output };

// What the worker measures. A change of epoch starts that measurement afresh.
struct WatchPlan {
    // The meter: fed from `meterSource` (not fed at all with None, its figures kept); a new
    // `meterEpoch` makes a fresh meter of `meterChannels` at `meterRate`.
    ProgrammeSource meterSource = ProgrammeSource::None;
    quint64 meterEpoch = 0;
    int meterChannels = 0;
    int meterRate = 0;
    // The silence detector: fed from `alarmSource`; a new `alarmEpoch` makes a fresh one with
    // `silence` (none with the source None).
    ProgrammeSource alarmSource = ProgrammeSource::None;
    quint64 alarmEpoch = 0;
    int alarmChannels = 0;
    int alarmRate = 0;
    audio::SilenceSettings silence;
};

// What one take from the taps found, for the meter and the detector of the epochs named.
struct WatchReport {
    quint64 meterEpoch = 0;
    // The meter's figures, when it was fed.
    std::optional<audio::LoudnessReading> reading;
    quint64 alarmEpoch = 0;
    // What the detector found, when it has anything to tell.
    std::optional<SilenceReport> silence;
};

class WatchWorker {
public:
    using Deliver = std::function<void(WatchReport)>;

    // Starts the thread. `input` and `output` are the taps the sources name; this worker is
    // their one reader.
    WatchWorker(audio::SampleTap& input, audio::SampleTap& output, Deliver deliver);
    ~WatchWorker();
    WatchWorker(const WatchWorker&) = delete;
    WatchWorker& operator=(const WatchWorker&) = delete;

    // Where a take ends: the taps' positions noted at some moment (see SampleTap::position).
    struct Until {
        size_t input = SIZE_MAX;
        size_t output = SIZE_MAX;
    };

    // Orders, carried out in turn (the calling thread never waits for them):
    // measure with `plan` from now on;
    void plan(const WatchPlan& plan);
    // take what the taps hold (up to `until`), feed the meter and the detector, report.
    void take(Until until);
    void take();

    // Waits until every order given so far has been carried out and its report handed to
    // `deliver`. Returns at once once stopped.
    void waitIdle();
    // Drops the orders not carried out yet, waits for the one under way and joins the thread.
    // Orders given afterwards are ignored. Idempotent.
    void stop();
    bool isStopped() const { return stopped_; }

    // Orders carried out so far (any thread).
    quint64 ordersDone() const;

private:
    struct Order {
        std::optional<WatchPlan> plan; // a plan, or else a take up to `until`
        Until until;
    };
    void give(Order order);
    void run();
    // Worker thread only, from here on.
    void apply(const WatchPlan& plan);
    void takeFromTaps(const Until& until);
    audio::SampleTap& tapOf(ProgrammeSource source) const;

    audio::SampleTap& input_;
    audio::SampleTap& output_;
    Deliver deliver_;
    bool stopped_ = false; // owner's thread only

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Order> orders_;
    bool busy_ = false;
    bool quit_ = false;
    quint64 done_ = 0;

    // The worker's own, touched only by its thread (and by nobody once it is joined).
    WatchPlan plan_;
    std::unique_ptr<audio::LoudnessEngine> meter_;
    std::unique_ptr<audio::SilenceDetector> detector_;
    std::vector<int16_t> scratch_;

    std::thread thread_;
};

} // namespace tamblor
