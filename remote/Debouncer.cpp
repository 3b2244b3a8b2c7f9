#include "remote/Debouncer.h"

namespace tamblor::remote {

Debouncer::Debouncer(int debounceMs, bool closed) : debounceUs_(int64_t(debounceMs) * 1000), stable_(closed) {}

void Debouncer::reset(bool closed)
{
    stable_ = closed;
    pending_ = false;
}

void Debouncer::feed(int64_t atUs, bool closed, std::vector<Outcome>& out)
{
    // A change still pending may have lasted long enough before this one.
    advance(atUs, out);
    if (pending_) {
        if (closed == stable_) {
            // Back before the debounce ended: a pulse, ignored.
            out.push_back({Outcome::Kind::Ignored, since_, atUs - since_, candidate_});
            pending_ = false;
        }
        return; // the same level again: the pulse goes on from its first edge
    }
    if (closed != stable_) {
        pending_ = true;
        candidate_ = closed;
        since_ = atUs;
        advance(atUs, out); // no debounce: accepted at once
    }
}

void Debouncer::feedPulse(int64_t atUs, bool closedLevel, std::vector<Outcome>& out)
{
    advance(atUs, out);
    out.push_back({Outcome::Kind::Ignored, atUs, 0, !closedLevel});
}

void Debouncer::advance(int64_t nowUs, std::vector<Outcome>& out)
{
    if (pending_ && nowUs - since_ >= debounceUs_) {
        pending_ = false;
        stable_ = candidate_;
        out.push_back({Outcome::Kind::Changed, since_, 0, stable_});
    }
}

} // namespace tamblor::remote
