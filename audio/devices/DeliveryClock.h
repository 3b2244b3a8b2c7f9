#pragma once
// Which frame of an input was due at an instant, from what the input delivered against the
// steady clock. An input delivers in bursts, late by its pipeline (the sound server's buffer,
// the device callback's) and never early: each look ("so many frames delivered by then") says
// that at least that many had been captured by then. The look least late over the last
// WindowMs, carried on at the nominal rate, gives the frame due at a later instant. A stall (the
// looks fall behind while the sound waits in the pipeline) does not pull it back, and the short
// window keeps a card's drift from its nominal rate to a few frames.
//
// Counting begins with the stream's first delivery: a sound server may take a second to start a
// new stream, and nothing is due before it delivers.
#include <QtGlobal>
#include <deque>

namespace tamblor::audio {

class DeliveryClock {
public:
    static constexpr qint64 WindowMs = 10000;

    // A stream of `rate` frames a second starts; it has delivered `delivered` frames before
    // (counted as the caller counts them).
    void restart(int rate, quint64 delivered);
    // The stream had delivered `delivered` frames by `steadyMs`. Looks come in time order.
    void look(quint64 delivered, qint64 steadyMs);
    // The stream has delivered since the restart: dueAt() knows something.
    bool running() const { return !looks_.empty(); }
    // When the stream was looked at last (its first delivery, or later).
    qint64 lastLookMs() const { return lastLookMs_; }
    // The frames captured by `steadyMs` as far as the looks tell (the count of the frame due
    // then); never fewer than the most the stream was seen to have delivered. Only when running.
    quint64 dueAt(qint64 steadyMs) const;

private:
    struct Look {
        qint64 ms;
        // frames * 1000 - rate * ms: where the look puts the stream's start, in frame-ms.
        qint64 lead;
    };
    int rate_ = 44100;
    quint64 start_ = 0;
    quint64 most_ = 0;
    qint64 lastLookMs_ = 0;
    // The looks that may still be the least late one in the window: oldest first, each leading
    // the ones after it.
    std::deque<Look> looks_;
};

} // namespace tamblor::audio
