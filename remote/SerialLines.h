#pragma once
// A serial port's modem-status lines as remote lines (USB adapters are what most machines have
// now). Inputs: DSR, CTS, DCD and RI; RI is counted by common UARTs on its trailing edge only,
// so it reports pulses and suits a momentary contact alone. Outputs: DTR and RTS (one of them
// often powers the contacts).
//
// The port is opened with O_NOCTTY | O_NONBLOCK, so that opening never waits for DCD and never
// makes the port the program's terminal; CLOCAL is set and HUPCL cleared, so that a DCD drop
// never hangs the port up and closing it does not drop DTR on its own. The kernel raises DTR
// and RTS at open: they are put to their rest state at once. The port is taken exclusively
// (TIOCEXCL, and flock for the programs that look for that).
//
// The lines' thread waits with TIOCMIWAIT and counts with TIOCGICOUNT, so that a pulse
// shorter than the thread's wake-up is still seen (by its count); where the driver lacks those
// calls it reads TIOCMGET every 10 ms. A port that answers TIOCMGET with an error has no modem
// lines (a pseudo-terminal): it is refused.
#include "remote/DevicePort.h"

namespace tamblor::remote {

class SerialLines : public DevicePort {
public:
    enum Input { Dsr, Cts, Dcd, Ri };
    enum Output { Dtr, Rts };
    static constexpr int PollMs = 10;

    explicit SerialLines(QString device);
    ~SerialLines() override;

    Kind kind() const override { return Kind::Serial; }
    QStringList inputs() const override { return {"DSR", "CTS", "DCD", "RI"}; }
    QStringList outputs() const override { return {"DTR", "RTS"}; }
    bool pulseOnly(int input) const override { return input == Ri; }

    void open() override;
    void close() override;
    void setOutput(int output, bool asserted) override;
    bool output(int output) const override;

    // Whether the lines' thread fell back to polling (the driver lacks TIOCMIWAIT/TIOCGICOUNT).
    bool polling() const { return polling_.load(); }

    // The inputs' levels as bits of inputs() from a TIOCMGET word.
    static uint32_t levelsOf(int modemBits);

private:
    void run() override;
    void runWaiting();
    void runPolling();

    std::atomic<bool> polling_{false};
    uint32_t outputs_ = 0;
};

} // namespace tamblor::remote
