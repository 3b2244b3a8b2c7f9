#pragma once
// Remote lines made in the program, for the tests: a VirtualWiring stands for the contacts and
// the cable, set by the test in stepped time; any number of VirtualLines ports may be opened on
// it (one after another, as the program opens the port again after a failure).
//
//   auto wiring = std::make_shared<VirtualWiring>();   // inputs "IN0".."IN4", outputs "OUT0".."OUT3"
//   wiring->set(2, true);   // input 2 closes now
//   wiring->advanceMs(25);  // the clock moves on
//   wiring->unplug();       // the adapter goes away: an open port fails as unplugged
#include "remote/LinePort.h"
#include <memory>
#include <mutex>

namespace tamblor::remote {

class VirtualWiring {
public:
    explicit VirtualWiring(int inputs = 5, int outputs = 4);

    int64_t nowUs() const;
    void advanceMs(int milliseconds);
    void advanceUs(int64_t microseconds);

    // An input changes now (nothing when it already has that level).
    void set(int input, bool asserted);
    // A closure too short for the port to read its level: counted only.
    void pulse(int input);
    bool input(int input) const;
    // The outputs as the program set them.
    bool output(int output) const;

    // The adapter is pulled out: an open port fails (Unplugged), opening fails (Missing), until
    // plugIn().
    void unplug();
    void plugIn();
    bool pluggedIn() const;
    // Opening fails with this problem until refuse() is called with none.
    void refuse(std::optional<PortProblem> problem);
    // How often a port was opened on this wiring.
    int opens() const;

    int inputCount() const { return inputs_; }
    int outputCount() const { return outputs_; }

private:
    friend class VirtualLines;
    mutable std::mutex mutex_;
    int inputs_;
    int outputs_;
    int64_t now_ = 1000000;
    uint32_t levels_ = 0;
    uint32_t outputLevels_ = 0;
    bool plugged_ = true;
    std::optional<PortProblem> refusal_;
    int opens_ = 0;
    int generation_ = 0; // counts unplugs: a port opened before the last one is dead
    std::vector<RawEdge> edges_; // since the open port last took them
};

class VirtualLines : public LinePort {
public:
    explicit VirtualLines(std::shared_ptr<VirtualWiring> wiring, QString device = QStringLiteral("virtual"));

    Kind kind() const override { return Kind::Virtual; }
    QString device() const override { return device_; }
    QStringList inputs() const override;
    QStringList outputs() const override;
    void open() override;
    void close() override;
    Status status() const override;
    std::optional<PortProblem> problem() const override;
    uint32_t levels() const override;
    void setOutput(int output, bool asserted) override;
    bool output(int output) const override;
    std::vector<RawEdge> takeEdges() override;
    int64_t nowUs() const override { return wiring_->nowUs(); }

private:
    void checkPlug() const;

    std::shared_ptr<VirtualWiring> wiring_;
    QString device_;
    mutable Status status_ = Status::Closed;
    mutable std::optional<PortProblem> problem_;
    int generation_ = 0;
};

} // namespace tamblor::remote
