#include "audio/devices/DeliveryClock.h"
#include <algorithm>

namespace tamblor::audio {

void DeliveryClock::restart(int rate, quint64 delivered)
{
    rate_ = std::max(1, rate);
    start_ = delivered;
    most_ = delivered;
    lastLookMs_ = 0;
    looks_.clear();
}

void DeliveryClock::look(quint64 delivered, qint64 steadyMs)
{
    if (delivered <= start_)
        return; // the stream has not delivered yet
    most_ = std::max(most_, delivered);
    lastLookMs_ = steadyMs;
    const Look now{steadyMs, qint64(delivered - start_) * 1000 - qint64(rate_) * steadyMs};
    // A look no further ahead than this one, and older, can never be the least late again.
    while (!looks_.empty() && looks_.back().lead <= now.lead)
        looks_.pop_back();
    looks_.push_back(now);
    while (looks_.size() > 1 && looks_.front().ms < steadyMs - WindowMs)
        looks_.pop_front();
}

quint64 DeliveryClock::dueAt(qint64 steadyMs) const
{
    if (looks_.empty())
        return most_;
    const qint64 lead = looks_.front().lead + qint64(rate_) * steadyMs;
    const qint64 frames = lead >= 0 ? lead / 1000 : 0;
    return std::max(most_, start_ + quint64(frames));
}

} // namespace tamblor::audio
