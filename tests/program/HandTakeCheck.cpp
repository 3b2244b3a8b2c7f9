// One take by hand on a freshly started program, on the real PortAudio backend and a private
// PulseAudio server (not a test: scripts/hand_take_check.sh starts the server, plays a feed into
// its sink and runs this once per take):
//   hand_take_check STATEFILE ROOT SECONDS PRESS_AFTER_MS
// The program is built as `tamblor` builds it (application, studio, web service, every window)
// over the fresh root ROOT, recording 44100 Hz 16-bit stereo from the sink's monitor with the
// start mode Off. An outside reader (parec) records the same monitor from before the program
// starts. PRESS_AFTER_MS after the library window opens, Record is clicked; SECONDS later, Stop.
// Printed, one line of key=value: when the card first delivered after the press, the index's
// length against the file's, the input sample the file begins with, and where the file's first
// frames lie in the outside capture (how much feed came after the press before the file's first
// frame, and after the file's last frame before the press of Stop, by the capture's own count) and
// how much of the file equals the capture frame for frame.
#include "app/Application.h"
#include "core/SharedState.h"
#include "library/SoundLibrary.h"
#include "program/ProgramParts.h"
#include "studio/RecordingSession.h"
#include "studio/Studio.h"
#include "tests/audio/devices/PulseFixture.h"
#include "tests/audio/devices/SignalMeasure.h"
#include "wavefiles/frmWaveFiles.h"
#include "audio/devices/InputDevice.h"
#include "audio/devices/RecordingWriter.h"
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QtEndian>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>

using namespace tamblor;
using namespace tamblor::audio::measure;

namespace {

constexpr int Rate = 44100;
constexpr size_t MatchFrames = 4096; // frames that must agree to place the file in the capture

// Runs the event loop for `ms`, calling `each` about every millisecond.
void runFor(qint64 ms, const std::function<void()>& each = {})
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (each)
            each();
    }
}

// MyComp.ini: record from `device`, 44100 Hz 16-bit, stereo, start mode Off, unity level.
void writeSettings(const QString& root, int device)
{
    QDir().mkpath(root + "/C/Tamblor");
    QByteArray bytes(22, '\0');
    const std::map<int, int16_t> records{{2, int16_t(device)}, {3, 3}, {5, 1}, {6, 0}, {11, 16384}};
    for (const auto& [n, v] : records)
        qToLittleEndian<int16_t>(v, bytes.data() + 2 * (n - 1));
    QFile f(root + "/C/Tamblor/MyComp.ini");
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

uint64_t frameKey(const int16_t* frames)
{
    // Two stereo frames as one number.
    uint64_t k;
    std::memcpy(&k, frames, sizeof k);
    return k;
}

struct Placement {
    qint64 skipped = -1;   // frames at the file's start not found in the capture (-1: none found)
    qint64 at = -1;        // the capture frame the first found one is
    qint64 equal = 0;      // frames from there on equal to the capture, in one run
    qint64 compared = 0;   // frames compared (the file, or as far as the capture reaches)
};

// Where the file's frames lie in the capture: the first file frame from which MatchFrames frames
// equal a run of the capture, and how far they go on agreeing.
Placement place(const std::vector<int16_t>& file, const std::vector<int16_t>& capture)
{
    Placement p;
    const size_t fileFrames = file.size() / 2, capFrames = capture.size() / 2;
    if (fileFrames < MatchFrames || capFrames < MatchFrames)
        return p;
    std::unordered_multimap<uint64_t, size_t> index;
    index.reserve(capFrames);
    for (size_t i = 0; i + 2 <= capFrames; ++i)
        index.emplace(frameKey(&capture[2 * i]), i);
    for (size_t k = 0; k + MatchFrames <= fileFrames; ++k) {
        const auto [from, to] = index.equal_range(frameKey(&file[2 * k]));
        for (auto it = from; it != to; ++it) {
            const size_t c = it->second;
            if (c + MatchFrames > capFrames
                || std::memcmp(&file[2 * k], &capture[2 * c], MatchFrames * 4) != 0)
                continue;
            p.skipped = qint64(k);
            p.at = qint64(c);
            const size_t n = std::min(fileFrames - k, capFrames - c);
            size_t same = 0;
            while (same < n && file[2 * (k + same)] == capture[2 * (c + same)]
                   && file[2 * (k + same) + 1] == capture[2 * (c + same) + 1])
                ++same;
            p.equal = qint64(same);
            p.compared = qint64(n);
            return p;
        }
        if (k > size_t(5 * Rate))
            break; // five seconds of file and nothing found
    }
    return p;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: hand_take_check STATEFILE ROOT SECONDS PRESS_AFTER_MS\n");
        return 2;
    }
    const std::map<QString, QString> state = readPulseState(QString::fromLocal8Bit(argv[1]));
    if (state.empty()) {
        std::fprintf(stderr, "no fixture state in %s\n", argv[1]);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[2]);
    const int seconds = std::atoi(argv[3]);
    const int pressAfterMs = std::atoi(argv[4]);
    const QString sink = state.at("sink");
    usePulseServer(state, sink, sink + ".monitor");
    setenv("TAMBLOR_ROOT", argv[2], 1);
    unsetenv("TAMBLOR_AUDIO"); // the real backend

    QApplication qtApp(argc, argv);
    // The outside reader, running before the program's own parts are made.
    MonitorCapture capture;
    if (!capture.start(sink + ".monitor")) {
        std::fprintf(stderr, "parec did not start\n");
        return 2;
    }
    QElapsedTimer sinceCapture;
    sinceCapture.start();

    QElapsedTimer sinceStart;
    sinceStart.start();
    Application app;
    const int device = findDevice(app.audio(), true, "pulse");
    if (device < 0) {
        std::fprintf(stderr, "no \"pulse\" input\n");
        return 2;
    }
    writeSettings(root, device);
    ProgramParts parts(app);
    Studio& studio = parts.studio();
    if (!parts.start()) {
        std::fprintf(stderr, "the program did not start\n");
        return 1;
    }
    auto* w = app.windows().show<frmWaveFiles>(WindowName::frmWaveFiles);
    if (!w) {
        std::fprintf(stderr, "no library window\n");
        return 1;
    }
    const qint64 openedMs = sinceStart.elapsed();
    runFor(pressAfterMs);

    RecordingSession& take = studio.recording();
    audio::InputDevice& input = take.input();
    const qint64 pressCaptureMs = sinceCapture.elapsed();
    QElapsedTimer sincePress;
    sincePress.start();
    w->cmdRecord->click();
    if (take.state() != RecordingSession::State::Writing) {
        std::fprintf(stderr, "the press did not start a take: %s\n", qPrintable(app.messageText()));
        return 1;
    }
    const int slot = take.slot();
    qint64 firstBufferMs = -1;
    runFor(qint64(seconds) * 1000, [&] {
        if (firstBufferMs < 0 && input.samplesDelivered() > 0)
            firstBufferMs = sincePress.elapsed();
    });
    const quint64 deliveredBeforeStop = input.samplesDelivered();
    const qint64 stopMs = sincePress.elapsed();
    const qint64 stopCaptureMs = sinceCapture.elapsed();
    w->cmdStop->click();
    QElapsedTimer waited;
    waited.start();
    while (take.state() != RecordingSession::State::Idle && waited.elapsed() < 10000)
        runFor(10);
    input.waitIdle();
    const quint64 firstSample = take.writer().firstSampleWritten();
    const qint64 written = take.writer().framesWritten();
    runFor(300); // the capture reaches past the stop
    const std::vector<int16_t> captured = capture.stop();

    const QString file = studio.library().slotFileNative(slot);
    const IndexRecord record = studio.library().record(slot);
    const WavContents wav = readWav(file);
    const qint64 fileFrames = wav.channels > 0 ? qint64(wav.samples.size()) / wav.channels : 0;
    const int indexSeconds = record.LengthText.trimmed().toInt();
    const double fileSeconds = wav.sampleRate > 0 ? double(fileFrames) / wav.sampleRate : 0;
    // The index holds whole seconds, rounded half to even.
    const int expectedSeconds = int(std::nearbyint(fileSeconds));
    const Placement p = wav.sampleRate == Rate && wav.channels == 2 ? place(wav.samples, captured) : Placement{};
    // The capture's frame at the press, by the capture's own count since its first delivery.
    const qint64 pressFrame = pressCaptureMs * Rate / 1000;
    const qint64 fileStartAfterPressMs = p.at >= 0 ? (p.at - pressFrame) * 1000 / Rate : -99999;
    // And at the stop: how much feed the capture holds between the file's last frame and the
    // press of Stop (what the input still held undelivered when Stop was pressed).
    const qint64 stopFrame = stopCaptureMs * Rate / 1000;
    const qint64 fileEndBeforeStopMs = p.at >= 0 ? (stopFrame - (p.at + fileFrames)) * 1000 / Rate : -99999;

    app.endProgram();

    const bool ok = indexSeconds == expectedSeconds && firstSample == 0 && fileFrames == written && p.skipped == 0
                    && p.equal == p.compared && p.compared > 0;
    std::printf("slot=%d opened_ms=%lld press_after_ms=%d first_buffer_ms=%lld stop_ms=%lld index_s=%d file_frames=%lld "
                "file_s=%.3f written=%lld first_sample=%llu delivered_at_stop=%llu start_skipped=%lld "
                "file_start_after_press_ms=%lld file_end_before_stop_ms=%lld equal=%lld/%lld %s\n",
                slot, (long long)openedMs, pressAfterMs, (long long)firstBufferMs, (long long)stopMs, indexSeconds,
                (long long)fileFrames, fileSeconds, (long long)written, (unsigned long long)firstSample,
                (unsigned long long)(deliveredBeforeStop / 2), (long long)p.skipped, (long long)fileStartAfterPressMs, (long long)fileEndBeforeStopMs,
                (long long)p.equal, (long long)p.compared, ok ? "OK" : "FAULT");
    return ok ? 0 : 1;
}
