#pragma once
// A parallel port's status pins as remote lines, through Linux's ppdev (/dev/parportN).
// Inputs: the status pins 10 (ACK), 11 (BUSY), 12 (PAPER OUT), 13 (SELECT) and 15 (ERROR); a
// contact from a pin to ground (pins 18-25) asserts it (the port pulls the pins up; BUSY is
// inverted by the port and put right here). Outputs: the data pins 2-9 (PPWDATA).
//
// PPCLAIM waits while another program (a printer driver) holds the port: it is made on the
// lines' thread, and a wait longer than ClaimPatienceMs is told as the port being taken. The
// status register has no interrupt of its own for pins other than ACK, so the thread reads it
// (PPRSTATUS) every 10 ms; the data pins are written from the same thread.
#include "remote/DevicePort.h"

namespace tamblor::remote {

class ParallelLines : public DevicePort {
public:
    static constexpr int PollMs = 10;
    // The status pins in the order of inputs(), and the register bit each one is read from.
    static constexpr int Pins[] = {10, 11, 12, 13, 15};

    explicit ParallelLines(QString device);
    ~ParallelLines() override;

    Kind kind() const override { return Kind::Parallel; }
    QStringList inputs() const override;
    QStringList outputs() const override;

    void open() override;
    void close() override;
    std::optional<PortProblem> problem() const override;
    void setOutput(int output, bool asserted) override;
    bool output(int output) const override;

    // The inputs' levels (asserted = pin pulled low) from a status register byte.
    static uint32_t levelsOf(unsigned char status);

private:
    void run() override;

    std::atomic<unsigned> data_{0};     // the data pins as the program wants them
    std::atomic<int64_t> openedAt_{0};
    std::atomic<bool> claimed_{false};
};

} // namespace tamblor::remote
