#pragma once
// One input's debounce: a change of level counts once the line has kept the new level for the
// debounce time; a pulse shorter than that is reported as ignored, with its length. A closure
// held across the debounce is counted once, however the contact bounced at its start.
// Times are the port's clock, in microseconds. Levels are "closed" (the polarity applied).
#include <cstdint>
#include <vector>

namespace tamblor::remote {

class Debouncer {
public:
    struct Outcome {
        enum class Kind { Changed, Ignored };
        Kind kind;
        int64_t atUs;      // Changed: when the line changed; Ignored: when the pulse began
        int64_t lengthUs;  // Changed: 0; Ignored: how long it lasted (0: seen by its count only)
        bool closed;       // Changed: the new level; Ignored: the level of the pulse
    };

    explicit Debouncer(int debounceMs = 20, bool closed = false);

    void reset(bool closed);
    bool closed() const { return stable_; }
    // The level as last read, before the debounce.
    bool rawClosed() const { return pending_ ? candidate_ : stable_; }
    int64_t debounceUs() const { return debounceUs_; }

    // A change of level read at `atUs`.
    void feed(int64_t atUs, bool closed, std::vector<Outcome>& out);
    // A pulse seen only by its count: too short to read, so shorter than any debounce.
    void feedPulse(int64_t atUs, bool closedLevel, std::vector<Outcome>& out);
    // Accepts a change that has lasted the debounce time by `nowUs`.
    void advance(int64_t nowUs, std::vector<Outcome>& out);

private:
    int64_t debounceUs_;
    bool stable_;
    bool pending_ = false;
    bool candidate_ = false;
    int64_t since_ = 0;
};

} // namespace tamblor::remote
