#pragma once
// Timing of a peer program (cp, sox, ...) that a benchmark compares against, with the check
// that it did its work: a peer that was killed, failed or left a short file is no peer, and a
// ratio against its time would flatter the program measured beside it.
#include <QString>
#include <cstdint>
#include <functional>

namespace bench {

// One or more timed runs of a peer.
struct PeerTime {
    double seconds = 0;   // the best (or only) run's time
    bool ok = false;      // every run exited with 0 and left the expected output
    QString failure;      // what went wrong when not ok
};

// What a peer must leave behind: a file whose size lies in [minBytes, maxBytes].
struct PeerOutput {
    QString path;
    int64_t minBytes = 0;
    int64_t maxBytes = INT64_MAX;
    // A size of `bytes`, give or take `slack`.
    static PeerOutput about(const QString& path, int64_t bytes, int64_t slack);
};

// Runs `command` through the shell and times it; then checks its exit status and `output`
// (an empty path checks no file). `after` runs inside the timing after a successful command
// (a sync of the output, say).
PeerTime timePeer(const QString& command, const PeerOutput& output, const std::function<void()>& after = {});
// The best of `runs` runs; not ok as soon as one run fails.
PeerTime bestPeer(int runs, const QString& command, const PeerOutput& output,
                  const std::function<void()>& after = {});

// "ratio 0.213" against the peer's time, or "peer failed (...)" when it did not do its work.
QString ratioText(double ours, const PeerTime& peer);
// "goal <= 0.25: met" / "MISSED", or "goal <= 0.25: not judged" when the peer failed.
QString goalText(double ratio, double goal, const PeerTime& peer);

} // namespace bench
