#include "remote/LineWatch.h"
#include "remote/DevicePort.h"
#include <algorithm>

namespace tamblor::remote {

const char* LineEvent::name(Kind kind)
{
    switch (kind) {
    case Kind::Closed: return "closed";
    case Kind::Opened: return "opened";
    case Kind::Ignored: return "ignored";
    }
    return "?";
}

LineWatch::LineWatch(Opener opener, QObject* parent) : QObject(parent), opener_(std::move(opener)) {}

LineWatch::~LineWatch() { stop(); }

int64_t LineWatch::nowUs() const
{
    return port_ ? port_->nowUs() : DevicePort::monotonicUs();
}

bool LineWatch::isOpen() const { return port_ && port_->status() == LinePort::Status::Open; }

void LineWatch::start(const LineMap& map)
{
    stop();
    map_ = map;
    started_ = true;
    outputs_ = {};
    releaseAt_ = {};
    open();
}

void LineWatch::stop()
{
    if (port_) {
        for (int o = 0; o < OutputFunctions; ++o)
            if (map_.outputs[size_t(o)] >= 0)
                port_->setOutput(map_.outputs[size_t(o)], false);
        port_->close();
    }
    port_.reset();
    started_ = false;
    wasOpen_ = false;
    if (reported_) {
        reported_.reset();
        emit problemChanged();
    }
}

void LineWatch::open()
{
    if (port_)
        port_->close();
    port_ = opener_(map_);
    if (!port_)
        return;
    port_->open();
    failedAt_ = port_->nowUs();
    lastNow_ = failedAt_;
    settled_ = false;
    settle();
    checkProblem();
}

void LineWatch::settle()
{
    if (settled_ || !isOpen())
        return;
    settled_ = true;
    // The debounce starts from the levels at open.
    const uint32_t levels = port_->levels();
    for (int f = 0; f < InputFunctions; ++f) {
        const InputWiring& w = map_.inputs[size_t(f)];
        const bool was = debouncers_[size_t(f)].closed();
        debouncers_[size_t(f)] = Debouncer(w.debounceMs, w.line >= 0 && (bool(levels & (1u << w.line)) != w.inverted));
        // Opened again after a failure: a line that changed meanwhile counts as an edge now.
        const bool now = debouncers_[size_t(f)].closed();
        if (wasOpen_ && w.line >= 0 && now != was)
            deliver(InputFunction(f), {{Debouncer::Outcome::Kind::Changed, port_->nowUs(), 0, now}});
    }
    applyOutputs();
}

void LineWatch::applyOutputs()
{
    if (!isOpen())
        return;
    for (int o = 0; o < OutputFunctions; ++o) {
        const int line = map_.outputs[size_t(o)];
        if (line < 0)
            continue;
        const bool on = OutputFunction(o) == OutputFunction::Power || outputs_[size_t(o)];
        port_->setOutput(line, on);
    }
}

void LineWatch::checkProblem()
{
    std::optional<PortProblem> now = port_ ? port_->problem() : std::nullopt;
    if (isOpen())
        wasOpen_ = true;
    if (now != reported_) {
        reported_ = now;
        emit problemChanged();
    }
}

void LineWatch::poll()
{
    if (!started_ || !port_)
        return;
    const int64_t now = port_->nowUs();
    lastNow_ = now;
    const LinePort::Status status = port_->status();
    if (status == LinePort::Status::Failed) {
        checkProblem();
        if (now - failedAt_ >= int64_t(RetryMs) * 1000)
            open();
        return;
    }
    if (status == LinePort::Status::Opening) {
        checkProblem(); // told once it has waited too long
        return;
    }
    if (status != LinePort::Status::Open)
        return;
    settle(); // opened on its thread (a claimed parallel port): the debounce starts from its levels
    checkProblem();
    failedAt_ = now; // a failure from here on is retried RetryMs after it was seen

    for (const RawEdge& e : port_->takeEdges()) {
        for (int f = 0; f < InputFunctions; ++f) {
            const InputWiring& w = map_.inputs[size_t(f)];
            if (w.line != e.input)
                continue;
            std::vector<Debouncer::Outcome> out;
            Debouncer& d = debouncers_[size_t(f)];
            if (port_->pulseOnly(e.input)) {
                // A line counted on its trailing edge: each pulse is a closure and an open.
                if (e.pulse || !e.asserted) {
                    d.advance(e.atUs, out);
                    out.push_back({Debouncer::Outcome::Kind::Changed, e.atUs, 0, true});
                    out.push_back({Debouncer::Outcome::Kind::Changed, e.atUs, 0, false});
                }
            } else if (e.pulse) {
                d.feedPulse(e.atUs, e.asserted != w.inverted, out);
            } else {
                d.feed(e.atUs, e.asserted != w.inverted, out);
            }
            deliver(InputFunction(f), out);
        }
    }
    for (int f = 0; f < InputFunctions; ++f) {
        std::vector<Debouncer::Outcome> out;
        debouncers_[size_t(f)].advance(now, out);
        deliver(InputFunction(f), out);
    }
    for (int o = 0; o < OutputFunctions; ++o) {
        if (releaseAt_[size_t(o)] != 0 && now >= releaseAt_[size_t(o)]) {
            releaseAt_[size_t(o)] = 0;
            setOutput(OutputFunction(o), false);
        }
    }
}

void LineWatch::deliver(InputFunction function, const std::vector<Debouncer::Outcome>& outcomes)
{
    const InputWiring& w = map_.input(function);
    for (const Debouncer::Outcome& o : outcomes) {
        LineEvent e;
        e.function = function;
        e.line = lineName(function);
        e.atUs = o.atUs;
        if (o.kind == Debouncer::Outcome::Kind::Ignored) {
            e.kind = LineEvent::Kind::Ignored;
            e.pulseUs = o.lengthUs;
            e.acceptedUs = o.atUs + o.lengthUs;
        } else {
            e.kind = o.closed ? LineEvent::Kind::Closed : LineEvent::Kind::Opened;
            e.acceptedUs = std::min(o.atUs + int64_t(w.debounceMs) * 1000, std::max(lastNow_, o.atUs));
        }
        emit event(e);
    }
}

bool LineWatch::closed(InputFunction function) const
{
    return isOpen() && wired(function) && debouncers_[size_t(function)].closed();
}

QString LineWatch::lineName(InputFunction function) const
{
    const int line = map_.input(function).line;
    // Named as the map's kind names it (virtual lines standing in for a parallel port say "pin 12").
    const QStringList names = LineMap::inputNames(map_.kind);
    return line >= 0 && line < names.size() ? names.at(line) : QString();
}

void LineWatch::setOutput(OutputFunction function, bool on)
{
    outputs_[size_t(function)] = on;
    if (!on)
        releaseAt_[size_t(function)] = 0;
    const int line = map_.output(function);
    if (line >= 0 && isOpen())
        port_->setOutput(line, on || function == OutputFunction::Power);
}

void LineWatch::pulseOutput(OutputFunction function, int ms)
{
    setOutput(function, true);
    releaseAt_[size_t(function)] = nowUs() + int64_t(ms) * 1000;
}

} // namespace tamblor::remote
