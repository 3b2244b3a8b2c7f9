#include "remote/VirtualLines.h"

namespace tamblor::remote {

VirtualWiring::VirtualWiring(int inputs, int outputs) : inputs_(inputs), outputs_(outputs) {}

int64_t VirtualWiring::nowUs() const
{
    std::lock_guard lock(mutex_);
    return now_;
}

void VirtualWiring::advanceMs(int milliseconds) { advanceUs(int64_t(milliseconds) * 1000); }

void VirtualWiring::advanceUs(int64_t microseconds)
{
    std::lock_guard lock(mutex_);
    now_ += microseconds;
}

void VirtualWiring::set(int input, bool asserted)
{
    std::lock_guard lock(mutex_);
    const uint32_t bit = 1u << input;
    if (bool(levels_ & bit) == asserted)
        return;
    levels_ = asserted ? levels_ | bit : levels_ & ~bit;
    edges_.push_back({now_, input, asserted, false});
}

void VirtualWiring::pulse(int input)
{
    std::lock_guard lock(mutex_);
    edges_.push_back({now_, input, bool(levels_ & (1u << input)), true});
}

bool VirtualWiring::input(int input) const
{
    std::lock_guard lock(mutex_);
    return levels_ & (1u << input);
}

bool VirtualWiring::output(int output) const
{
    std::lock_guard lock(mutex_);
    return outputLevels_ & (1u << output);
}

void VirtualWiring::unplug()
{
    std::lock_guard lock(mutex_);
    plugged_ = false;
    ++generation_;
}

void VirtualWiring::plugIn()
{
    std::lock_guard lock(mutex_);
    plugged_ = true;
}

bool VirtualWiring::pluggedIn() const
{
    std::lock_guard lock(mutex_);
    return plugged_;
}

void VirtualWiring::refuse(std::optional<PortProblem> problem)
{
    std::lock_guard lock(mutex_);
    refusal_ = std::move(problem);
}

int VirtualWiring::opens() const
{
    std::lock_guard lock(mutex_);
    return opens_;
}

VirtualLines::VirtualLines(std::shared_ptr<VirtualWiring> wiring, QString device)
    : wiring_(std::move(wiring)), device_(std::move(device))
{
}

QStringList VirtualLines::inputs() const
{
    QStringList names;
    for (int i = 0; i < wiring_->inputCount(); ++i)
        names << QStringLiteral("IN%1").arg(i);
    return names;
}

QStringList VirtualLines::outputs() const
{
    QStringList names;
    for (int i = 0; i < wiring_->outputCount(); ++i)
        names << QStringLiteral("OUT%1").arg(i);
    return names;
}

void VirtualLines::open()
{
    std::lock_guard lock(wiring_->mutex_);
    problem_.reset();
    if (wiring_->refusal_) {
        problem_ = wiring_->refusal_;
        problem_->port = device_;
        status_ = Status::Failed;
        return;
    }
    if (!wiring_->plugged_) {
        problem_ = PortProblem{device_, PortProblem::Cause::Missing, QStringLiteral("No such file or directory"), {}};
        status_ = Status::Failed;
        return;
    }
    ++wiring_->opens_;
    generation_ = wiring_->generation_;
    wiring_->outputLevels_ = 0; // the rest state, at once
    wiring_->edges_.clear();
    status_ = Status::Open;
}

void VirtualLines::close()
{
    status_ = Status::Closed;
    problem_.reset();
}

void VirtualLines::checkPlug() const
{
    if (status_ == Status::Open && generation_ != wiring_->generation_) {
        status_ = Status::Failed;
        problem_ = PortProblem{device_, PortProblem::Cause::Unplugged, QStringLiteral("Input/output error"), {}};
    }
}

LinePort::Status VirtualLines::status() const
{
    std::lock_guard lock(wiring_->mutex_);
    checkPlug();
    return status_;
}

std::optional<PortProblem> VirtualLines::problem() const
{
    std::lock_guard lock(wiring_->mutex_);
    checkPlug();
    return problem_;
}

uint32_t VirtualLines::levels() const
{
    std::lock_guard lock(wiring_->mutex_);
    return status_ == Status::Open ? wiring_->levels_ : 0;
}

void VirtualLines::setOutput(int output, bool asserted)
{
    std::lock_guard lock(wiring_->mutex_);
    checkPlug();
    if (status_ != Status::Open || output < 0 || output >= wiring_->outputs_)
        return;
    const uint32_t bit = 1u << output;
    wiring_->outputLevels_ = asserted ? wiring_->outputLevels_ | bit : wiring_->outputLevels_ & ~bit;
}

bool VirtualLines::output(int output) const
{
    std::lock_guard lock(wiring_->mutex_);
    return wiring_->outputLevels_ & (1u << output);
}

std::vector<RawEdge> VirtualLines::takeEdges()
{
    std::lock_guard lock(wiring_->mutex_);
    checkPlug();
    if (status_ != Status::Open)
        return {};
    std::vector<RawEdge> edges;
    edges.swap(wiring_->edges_);
    return edges;
}

} // namespace tamblor::remote
