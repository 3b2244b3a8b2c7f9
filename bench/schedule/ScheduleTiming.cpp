// How exactly the scheduler starts and ends a take with a real clock: events of a few seconds
// on the virtual input running in real time (44100 stereo, a counter signal that numbers every
// frame since the input opened), the program's clock the system clock.
//   bench_schedule_timing [runs=5] [seconds=3]
// With TAMBLOR_AUDIO=portaudio the real input (the default PortAudio device, e.g. a PulseAudio
// server's) is used instead: only the results and the length errors are known then.
// For each run: the start error in frames (the first frame in the file against the frame the
// input delivered at the start time, counted from the moment the input opened) and the length
// error in frames; then the median and the range.
#include "core/Core.h"
#include "core/NoticeLog.h"
#include "audio/devices/VirtualBackend.h"
#include "studio/Studio.h"
#include "schedule/EventStore.h"
#include "schedule/RunStore.h"
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <sndfile.h>
#include <vector>

using namespace tamblor;

namespace {

void pumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

template <class T> T median(std::vector<T> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const bool real = qgetenv("TAMBLOR_AUDIO") == "portaudio";
    if (!real)
        qputenv("TAMBLOR_AUDIO", "virtual-realtime");
    QCoreApplication qapp(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    QTemporaryDir root;
    QDir().mkpath(root.filePath("C/Tamblor"));
    // MyComp.ini: 44100 (format 3), stereo, start mode Off, unity gain (record 11).
    QByteArray ini(22, '\0');
    ini[4] = 3;
    ini[8] = 1;
    ini[20] = char(16384 & 0xff);
    ini[21] = char(16384 >> 8);
    QFile f(root.filePath("C/Tamblor/MyComp.ini"));
    f.open(QIODevice::WriteOnly);
    f.write(ini);
    f.close();

    Core app(root.path());
    NoticeLog log(app.notices());
    Studio studio(app);
    try {
        app.startUp();
    } catch (const Failure& f) {
        std::fprintf(stderr, "the program did not start: %s\n", qPrintable(f.text()));
        return 1;
    }
    if (auto* virtualCard = dynamic_cast<audio::VirtualBackend*>(&app.audio()))
        virtualCard->setInputSignal(audio::sources::counter());
    qint64 openedMs = 0;
    QObject::connect(&studio.recording(), &RecordingSession::stateChanged, [&](RecordingSession::State s, RecordingSession::State) {
        if (s == RecordingSession::State::Armed)
            openedMs = app.clock().now().toMSecsSinceEpoch();
    });

    std::vector<long> startErrors, lengthErrors;
    for (int i = 0; i < runs; ++i) {
        const QDateTime start = app.clock().now().addSecs(3);
        schedule::RecordEvent e;
        e.name = QString("RUN %1").arg(i + 1);
        e.start = QTime(start.time().hour(), start.time().minute(), start.time().second());
        e.weekdays = schedule::RecordEvent::EveryDay;
        e.lengthSeconds = seconds;
        studio.events().add(e);
        pumpUntil([&] {
            const auto last = studio.runs().last(e.id);
            return last && last->result && !studio.scheduler().checking();
        }, (seconds + 10) * 1000);
        studio.scheduler().finishChecks();
        const auto run = studio.runs().last(e.id);
        if (!run || !run->result || run->slot == 0) {
            std::fprintf(stderr, "run %d: no take (%s)\n", i + 1, run ? qPrintable(run->detail) : "no run");
            return 1;
        }
        SF_INFO info{};
        SNDFILE* file = sf_open(QFile::encodeName(studio.library().slotFileNative(run->slot)).constData(), SFM_READ, &info);
        short first[2] = {0, 0};
        if (!file || sf_readf_short(file, first, 1) != 1) {
            std::fprintf(stderr, "run %d: the take does not open\n", i + 1);
            return 1;
        }
        sf_close(file);
        const long expected = long((run->scheduledStartMs - openedMs) * 441 / 10) % 32768;
        long error = (long(first[0]) - expected) % 32768;
        if (error > 16384)
            error -= 32768;
        if (error < -16384)
            error += 32768;
        if (real)
            error = 0; // no frame numbers on a real input
        startErrors.push_back(error);
        lengthErrors.push_back(long(run->lengthFrames) - long(seconds) * 44100);
        std::printf("run %d: %s, start error %ld frames (%.1f ms), length error %ld frames\n", i + 1,
                    qPrintable(schedule::resultText(*run->result)), error, error / 44.1, lengthErrors.back());
        studio.events().remove(e.id);
    }
    const auto [minS, maxS] = std::minmax_element(startErrors.begin(), startErrors.end());
    const auto [minL, maxL] = std::minmax_element(lengthErrors.begin(), lengthErrors.end());
    std::printf("start error: median %ld frames (%.1f ms), range %ld..%ld; length error: median %ld frames, range %ld..%ld\n",
                median(startErrors), median(startErrors) / 44.1, *minS, *maxS, median(lengthErrors), *minL, *maxL);
    app.endProgram();
    return 0;
}
