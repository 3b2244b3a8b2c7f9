// Measures the CPU used by a real-time recording: the virtual input (44100 stereo) through the
// ring, the worker (gain, peaks, file writing) and the UI thread's buffer events.
//   bench_recording_cpu [seconds=60]
// Prints the process CPU time as a percentage of one core over the wall-clock time.
#include "audio/devices/InputDevice.h"
#include "audio/devices/RecordingWriter.h"
#include "audio/devices/VirtualBackend.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

using namespace tamblor::audio;

static double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    QTemporaryDir dir;

    VirtualBackend backend(VirtualBackend::Clock::RealTime);
    backend.setInputSignal(sources::tone(1000.0, 12000));
    InputDevice input(backend);
    input.setGain(12000); // not unity, so the gain is really applied
    RecordingWriter writer(input);
    writer.setFileName(dir.filePath("bench.wav"));
    qint64 buffers = 0;
    int loudest = 0;
    QObject::connect(&input, &InputDevice::bufferFilled, [&](qint64, int l, int r) {
        ++buffers;
        loudest = std::max({loudest, l, r});
    });

    const double cpuStart = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    input.start();
    writer.setEnabled(true);
    QTimer::singleShot(seconds * 1000, &app, [&] {
        input.stop();
        input.waitIdle();
        writer.setEnabled(false);
        input.waitIdle();
        app.quit();
    });
    app.exec();
    const double cpu = cpuSeconds() - cpuStart;
    const double elapsed = wall.nsecsElapsed() / 1e9;

    std::printf("recorded %.1f s (%lld buffers, %lld frames written, %llu dropped, peak %d)\n",
                elapsed, static_cast<long long>(buffers), static_cast<long long>(writer.framesWritten()),
                static_cast<unsigned long long>(input.droppedFrames()), loudest);
    std::printf("CPU %.3f s = %.2f %% of one core\n", cpu, 100.0 * cpu / elapsed);
    return 0;
}
