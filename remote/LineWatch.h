#pragma once
// The remote lines of one port as the program uses them: opens the port of a LineMap, takes its
// edges, debounces each wired input with its own polarity and debounce, and says what each
// function's input did (LineEvent). It sets the outputs by function, holds the contacts' power
// while the port is open, and ends a pulse (end of message) when its time is up.
//
// A port that cannot be used is never a silent dead line: problem() names the port and the
// cause, problemChanged() is sent when that changes, and the port is opened again every
// RetryMs until it works. The owner calls poll() often (every 10 ms in the program; a test
// calls it after stepping the virtual wiring); everything happens in poll(), on the owner's
// thread.
#include "remote/Debouncer.h"
#include "remote/LineMap.h"
#include <QObject>
#include <functional>
#include <memory>

namespace tamblor::remote {

struct LineEvent {
    enum class Kind {
        Closed,  // the function's input closed (debounced)
        Opened,  // it opened again
        Ignored, // a pulse shorter than the debounce: nothing done
    };
    Kind kind = Kind::Closed;
    InputFunction function = InputFunction::Record;
    QString line;           // "DSR", "pin 12"
    int64_t atUs = 0;       // when the line changed (the port's clock)
    int64_t acceptedUs = 0; // when the debounce accepted it (Ignored: when it ended)
    int64_t pulseUs = 0;    // Ignored: how long the pulse lasted (0: seen by its count only)

    static const char* name(Kind kind);
};

class LineWatch : public QObject {
    Q_OBJECT
public:
    // Makes the port for a map (a real device, or virtual lines in a test).
    using Opener = std::function<std::unique_ptr<LinePort>(const LineMap& map)>;
    static constexpr int RetryMs = 3000;
    static constexpr int EomPulseMs = 500;

    explicit LineWatch(Opener opener, QObject* parent = nullptr);
    ~LineWatch() override;

    // Opens the map's port (closing any other first). The inputs' levels at open are where the
    // debounce starts: nothing happens for a contact already closed.
    void start(const LineMap& map);
    void stop();
    bool started() const { return started_; }
    const LineMap& map() const { return map_; }

    // Takes the port's edges and acts on them; opens a failed port again when it is time.
    void poll();

    LinePort* port() { return port_.get(); }
    bool isOpen() const;
    std::optional<PortProblem> problem() const { return reported_; }

    // The function's input as debounced: closed or not (false when not wired or not open).
    bool closed(InputFunction function) const;
    bool wired(InputFunction function) const { return map_.input(function).line >= 0; }
    QString lineName(InputFunction function) const;
    // Held or released; a function without a line does nothing.
    void setOutput(OutputFunction function, bool on);
    // Held for `ms`, then released.
    void pulseOutput(OutputFunction function, int ms = EomPulseMs);
    bool output(OutputFunction function) const { return outputs_[size_t(function)]; }
    // The clock of the lines (the port's), in microseconds.
    int64_t nowUs() const;

signals:
    void event(const tamblor::remote::LineEvent& event);
    // The port could not be used, or works again (problem() says which).
    void problemChanged();

private:
    void open();
    // Once the port is open: the debounce starts from its levels, the outputs are set.
    void settle();
    void checkProblem();
    void applyOutputs();
    void deliver(InputFunction function, const std::vector<Debouncer::Outcome>& outcomes);

    Opener opener_;
    LineMap map_;
    std::unique_ptr<LinePort> port_;
    bool started_ = false;
    bool wasOpen_ = false;
    bool settled_ = false; // settle() has run for the port now open
    std::optional<PortProblem> reported_;
    int64_t failedAt_ = 0;
    std::array<Debouncer, InputFunctions> debouncers_;
    std::array<bool, OutputFunctions> outputs_{};
    std::array<int64_t, OutputFunctions> releaseAt_{}; // a pulse's end, 0 for none
    int64_t lastNow_ = 0;
};

} // namespace tamblor::remote

Q_DECLARE_METATYPE(tamblor::remote::LineEvent)
