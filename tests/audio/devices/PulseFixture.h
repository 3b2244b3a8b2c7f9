#pragma once
// The private PulseAudio server the fixture script starts (pulse_fixture.sh), as the PortAudio
// tests and measurements use it: its state file, the environment that points the ALSA "pulse"
// device at it, and a capture of a sink's monitor by an outside reader (parec).
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <cstdint>
#include <map>
#include <vector>

namespace tamblor::audio {
class AudioBackend;
}

namespace tamblor::audio::measure {

// The fixture's state file (key=value lines); empty when it cannot be read.
std::map<QString, QString> readPulseState(const QString& path);
// Empty while the server of `state` runs; else what is known of its end: its PID and the last
// lines of its log (the log is kept until the fixture stops).
QString pulseServerGone(const std::map<QString, QString>& state);
// The shared server of the state file at `path` for a test that needs it: when it has died (a
// busy machine has seen it go between two tests), its end is printed and the fixture script
// `fixture` starts a new one under the same state file. Returns the state; empty on failure.
std::map<QString, QString> sharedPulseServer(const QString& path, const QString& fixture);
// Points libpulse (and so the ALSA "pulse" device) at the fixture's server, its `sink` for
// output and its `source` for input.
void usePulseServer(const std::map<QString, QString>& state, const QString& sink, const QString& source);
// The device numbered by `name` in the backend's input or output list; -1 when none.
int findDevice(const AudioBackend& backend, bool input, const QString& name);
// `pactl list sinks`: the latency the sink is configured for, in seconds (0 when not found).
double sinkConfiguredLatency(const QString& sink);

// Records a monitor source as 44100 stereo 16-bit from start() to stop().
class MonitorCapture {
public:
    static constexpr int Rate = 44100;
    // Returns once the reader delivers; false when it did not start.
    bool start(const QString& source);
    // Reads until the capture holds as much sound as time has passed since it started (a
    // loaded machine's reader lags behind the sink), five seconds at most.
    void catchUp();
    // Interleaved stereo frames recorded so far; stops the reader.
    std::vector<int16_t> stop();

private:
    QProcess parec_;
    QByteArray bytes_;
    QElapsedTimer since_;
};

} // namespace tamblor::audio::measure
