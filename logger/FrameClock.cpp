#include "logger/FrameClock.h"
#include <algorithm>
#include <cmath>

namespace tamblor::logger {

FrameClock::FrameClock(int rate) : rate_(rate), slope_(rate / 1000.0) {}

void FrameClock::start(qint64 wallMs)
{
    startMs_ = wallMs;
    notes_.clear();
    notes_.push_back({0, 0});
    slope_ = rate_ / 1000.0;
    atMs_ = 0;
    atFrames_ = 0;
}

void FrameClock::note(qint64 frames, qint64 wallMs)
{
    const double ms = double(wallMs - startMs_);
    if (!notes_.empty() && ms - notes_.back().ms < NoteEveryMs)
        return;
    notes_.push_back({ms, double(frames)});
    while (notes_.size() > 2 && ms - notes_.front().ms > WindowMs)
        notes_.pop_front();
    fit();
}

void FrameClock::forgetAfter(qint64 wallMs)
{
    const double ms = double(wallMs - startMs_);
    while (notes_.size() > 1 && notes_.back().ms > ms)
        notes_.pop_back();
    fit();
}

void FrameClock::fit()
{
    // The line through the notes' centre; its slope by least squares once the notes span long
    // enough to tell a drift from the jitter of the input's deliveries.
    const double n = double(notes_.size());
    double mt = 0, mf = 0;
    for (const Note& x : notes_) {
        mt += x.ms;
        mf += x.frames;
    }
    mt /= n;
    mf /= n;
    const double nominal = rate_ / 1000.0;
    double slope = nominal;
    if (notes_.back().ms - notes_.front().ms >= MeasureAfterMs) {
        double stt = 0, stf = 0;
        for (const Note& x : notes_) {
            stt += (x.ms - mt) * (x.ms - mt);
            stf += (x.ms - mt) * (x.frames - mf);
        }
        if (stt > 0)
            slope = stf / stt;
        if (!(std::abs(slope / nominal - 1.0) <= MaxDeviation))
            slope = nominal;
    }
    slope_ = slope;
    atMs_ = mt;
    atFrames_ = mf;
}

qint64 FrameClock::frameAt(qint64 wallMs) const
{
    const double frames = atFrames_ + (double(wallMs - startMs_) - atMs_) * slope_;
    return qint64(std::ceil(frames - 1e-6));
}

double FrameClock::wallOf(qint64 frame) const
{
    return double(startMs_) + atMs_ + (double(frame) - atFrames_) / slope_;
}

double FrameClock::behind(qint64 frames, qint64 wallMs) const
{
    return atFrames_ + (double(wallMs - startMs_) - atMs_) * slope_ - double(frames);
}

qint64 FrameClock::stallFrames(qint64 frames, qint64 wallMs) const
{
    const double b = behind(frames, wallMs);
    return b > StallMs * slope_ ? qint64(std::floor(b)) : 0;
}

qint64 FrameClock::framesBehind(qint64 frames, qint64 wallMs) const
{
    return std::max<qint64>(0, qint64(std::floor(behind(frames, wallMs))));
}

} // namespace tamblor::logger
