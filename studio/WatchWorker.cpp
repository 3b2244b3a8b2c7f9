#include "studio/WatchWorker.h"
#include "audio/core/ThreadRole.h"
#include "audio/devices/SampleTap.h"
#include <algorithm>
#include <exception>

namespace tamblor {

namespace {
// Frames taken from a tap at a time, and the most samples they may come to (a format of up to
// eight channels; the taps carry one or two).
constexpr size_t kChunkFrames = 4096;
constexpr size_t kChunkSamples = kChunkFrames * 8;
} // namespace

WatchWorker::WatchWorker(audio::SampleTap& input, audio::SampleTap& output, Deliver deliver)
    : input_(input), output_(output), deliver_(std::move(deliver)), scratch_(kChunkSamples)
{
    thread_ = std::thread([this] { run(); });
}

WatchWorker::~WatchWorker() { stop(); }

void WatchWorker::plan(const WatchPlan& plan)
{
    give({plan, {}});
}

void WatchWorker::take(Until until)
{
    give({std::nullopt, until});
}

void WatchWorker::take()
{
    take(Until{});
}

void WatchWorker::give(Order order)
{
    if (stopped_)
        return;
    {
        std::lock_guard lock(mutex_);
        // Takes one after the other are one take, up to the later end: nothing changed between.
        if (!order.plan && !orders_.empty() && !orders_.back().plan) {
            Until& until = orders_.back().until;
            until.input = std::max(until.input, order.until.input);
            until.output = std::max(until.output, order.until.output);
            return;
        }
        orders_.push_back(std::move(order));
    }
    wake_.notify_one();
}

void WatchWorker::waitIdle()
{
    TAMBLOR_NOT_DEVICE_CALLBACK();
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return quit_ || (orders_.empty() && !busy_); });
}

quint64 WatchWorker::ordersDone() const
{
    std::lock_guard lock(mutex_);
    return done_;
}

void WatchWorker::stop()
{
    if (stopped_)
        return;
    stopped_ = true;
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        orders_.clear();
    }
    wake_.notify_all();
    idle_.notify_all();
    thread_.join();
}

void WatchWorker::run()
{
    audio::ThreadRoleScope role(audio::ThreadRole::Worker);
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quit_ || !orders_.empty(); });
        if (quit_)
            break;
        Order order = std::move(orders_.front());
        orders_.pop_front();
        busy_ = true;
        lock.unlock();
        if (order.plan)
            apply(*order.plan);
        else
            takeFromTaps(order.until);
        lock.lock();
        busy_ = false;
        ++done_;
        if (orders_.empty())
            idle_.notify_all();
    }
    busy_ = false;
    idle_.notify_all();
}

audio::SampleTap& WatchWorker::tapOf(ProgrammeSource source) const
{
    return source == ProgrammeSource::Input ? input_ : output_;
}

void WatchWorker::apply(const WatchPlan& plan)
{
    TAMBLOR_ONLY_WORKER();
    // A format the meter or the detector refuses (no channels, no rate) measures nothing; it
    // must not end the thread.
    if (plan.meterEpoch != plan_.meterEpoch) {
        meter_.reset();
        if (plan.meterChannels > 0 && plan.meterRate > 0) {
            try {
                meter_ = std::make_unique<audio::LoudnessEngine>(plan.meterChannels, plan.meterRate);
            } catch (const std::exception&) {
            }
        }
    }
    if (plan.alarmEpoch != plan_.alarmEpoch) {
        detector_.reset();
        if (plan.alarmSource != ProgrammeSource::None) {
            try {
                detector_ = std::make_unique<audio::SilenceDetector>(plan.alarmChannels, plan.alarmRate, plan.silence);
            } catch (const std::exception&) {
            }
        }
    }
    plan_ = plan;
}

void WatchWorker::takeFromTaps(const Until& until)
{
    TAMBLOR_ONLY_WORKER();
    WatchReport report;
    report.meterEpoch = plan_.meterEpoch;
    report.alarmEpoch = plan_.alarmEpoch;
    SilenceReport silence;
    bool metered = false;
    for (ProgrammeSource source : {ProgrammeSource::Input, ProgrammeSource::Output}) {
        audio::SampleTap& tap = tapOf(source);
        const size_t end = source == ProgrammeSource::Input ? until.input : until.output;
        for (;;) {
            // What the tap holds is taken whoever listens, so that it never fills.
            const audio::SampleTap::Taken taken = tap.takeFrames(scratch_.data(), kChunkFrames, scratch_.size(), end);
            if (taken.frames == 0)
                break;
            if (source == plan_.meterSource && meter_ && meter_->channels() == taken.channels) {
                meter_->add(scratch_.data(), taken.frames);
                metered = true;
            }
            if (source == plan_.alarmSource && detector_ && plan_.alarmChannels == taken.channels)
                silence.add(*detector_, scratch_.data(), taken.frames);
        }
    }
    if (metered)
        report.reading = meter_->reading();
    if (!silence.isQuiet())
        report.silence = std::move(silence);
    if (report.reading || report.silence)
        deliver_(std::move(report));
}

} // namespace tamblor
