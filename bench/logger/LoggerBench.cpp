// What the logger costs.
//   bench_logger WORKDIR [seconds=20] [wav16|flac|memory|export|all]   (one line alone, or all)
// CPU: the whole logger (virtual card in real time, 48 kHz stereo, a tone with noise; the
// input's worker, the cutter, loudness, silence, the files, the database), process CPU time
// over wall-clock time, median of 3 runs, for WAV and for FLAC. The virtual card's making of
// its signal is no part of the logger (a real card's samples cost nothing to make): the signal is
// worked out once beforehand and only copied as the card plays, and the CPU time of that copy,
// timed on the card's thread, is taken off the figure and shown beside it.
// Memory: the cutter over a simulated day (8 kHz mono, so that the day's files stay small; the
// memory the logger keeps does not grow with the rate), resident size after hour 1 and hour 24.
// Export: three 1-hour segments (48 kHz stereo 16-bit WAV with bext, written by the logger's own
// segment file), 2 h from the middle of the first to the middle of the third joined into one file
// by the export (through the safe replace, synced) and by sox (`sox a b c out trim S =E`, its
// output then synced with fsync, so both are as safe); median of 3 each, both outputs compared
// frame by frame.
#include "core/Core.h"
#include "logger/Logger.h"
#include "logger/SegmentFile.h"
#include "logger/SegmentRecorder.h"
#include "logger/SpanExport.h"
#include "audio/devices/VirtualBackend.h"
#include "platform/ProgramStarter.h"
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QFile>
#include <QSettings>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <pthread.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sndfile.h>
#include <sys/resource.h>
#include <ctime>
#include <unistd.h>
#include <vector>

using namespace tamblor;

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double residentMb()
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double loadAverage()
{
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : 0;
}

struct CpuShare {
    double logger = 0; // percent of a core, the card's signal left out
    double signal = 0; // percent of a core the card's signal took
    double main = 0;   // of which the logger's own thread (cutter, loudness, silence, files, database)
    double driver = 0; // the card's driver thread, left out
};

// One real-time run of the whole logger; the share of a core it used.
CpuShare loggerCpu(QCoreApplication& app, const QString& root, const QString& format, int seconds)
{
    QDir(root).removeRecursively();
    QDir().mkpath(root + "/C/Tamblor");
    {
        QSettings s(root + "/C/Tamblor/Tamblor.ini", QSettings::IniFormat);
        s.setValue("Logger/Rate", 48000);
        s.setValue("Logger/Channels", 2);
        s.setValue("Logger/Format", format);
    }
    Core core(root);
    RecordingStarter starter;
    logger::Logger logger(core, starter);
    core.startUp();
    auto& backend = static_cast<audio::VirtualBackend&>(core.audio());
    // Ten seconds of a tone with noise, worked out now; the card copies it round and round.
    constexpr int Rate = 48000, Channels = 2;
    std::vector<int16_t> table(size_t(10 * Rate * Channels));
    std::mt19937 noise(7);
    std::uniform_int_distribution<int> n(-2000, 2000);
    for (size_t i = 0; i < table.size() / Channels; ++i) {
        const int v = int(8000 * std::sin(2 * M_PI * 440 * double(i) / Rate));
        for (int c = 0; c < Channels; ++c)
            table[i * Channels + size_t(c)] = int16_t(v + n(noise));
    }
    double signalCpu = 0; // written on the card's thread, read after it stopped
    std::atomic<bool> driverKnown{false};
    clockid_t driverClock{};
    backend.setInputSignal([&](int16_t* out, size_t frames, int channels, int, uint64_t first) {
        if (!driverKnown.load()) {
            pthread_getcpuclockid(pthread_self(), &driverClock);
            driverKnown.store(true);
        }
        const double t0 = threadCpuSeconds();
        const size_t tableFrames = table.size() / Channels;
        for (size_t i = 0; i < frames;) {
            const size_t at = size_t((first + i) % tableFrames);
            const size_t k = std::min(frames - i, tableFrames - at);
            if (channels == Channels) {
                std::copy_n(table.data() + at * Channels, k * Channels, out + i * Channels);
            } else {
                for (size_t f = 0; f < k; ++f)
                    for (int c = 0; c < channels; ++c)
                        out[(i + f) * size_t(channels) + size_t(c)] = table[(at + f) * Channels];
            }
            i += k;
        }
        signalCpu += threadCpuSeconds() - t0;
    });
    logger.start();
    const double cpu0 = cpuSeconds();
    const double main0 = threadCpuSeconds();
    // The card's driver thread: its clock, the signal and the device callback. A real card's
    // driver is the sound server's (or PortAudio's callback thread); it is shown, not counted.
    double driver0 = 0;
    for (int i = 0; i < 200 && !driverKnown.load(); ++i)
        QThread::msleep(5);
    if (driverKnown.load()) {
        timespec t{};
        clock_gettime(driverClock, &t);
        driver0 = double(t.tv_sec) + double(t.tv_nsec) / 1e9;
    }
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(seconds * 1000, &app, [&] { app.quit(); });
    app.exec();
    const double mainCpu = threadCpuSeconds() - main0;
    double driverCpu = 0;
    if (driverKnown.load()) {
        timespec t{};
        clock_gettime(driverClock, &t);
        driverCpu = double(t.tv_sec) + double(t.tv_nsec) / 1e9 - driver0;
    }
    logger.stop();
    const double seconds_ = double(wall.elapsed()) / 1000.0;
    const double total = (cpuSeconds() - cpu0) / seconds_ * 100.0;
    const double driver = driverCpu / seconds_ * 100.0;
    return {total - driver, signalCpu / seconds_ * 100.0, mainCpu / seconds_ * 100.0, driver};
}

// Fsyncs a file; false when it cannot be opened or synced.
bool syncFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// The first frame where two files' samples differ, -1 when they hold the same frames; a
// message when their lengths or formats differ.
qint64 firstDifference(const QString& a, const QString& b, QString& why)
{
    SF_INFO ia{}, ib{};
    SNDFILE* fa = sf_open(QFile::encodeName(a).constData(), SFM_READ, &ia);
    SNDFILE* fb = sf_open(QFile::encodeName(b).constData(), SFM_READ, &ib);
    qint64 at = -1;
    if (!fa || !fb) {
        why = "cannot be opened";
        at = 0;
    } else if (ia.frames != ib.frames || ia.channels != ib.channels || ia.samplerate != ib.samplerate) {
        why = QString("%1 frames against %2").arg(ia.frames).arg(ib.frames);
        at = 0;
    } else {
        const sf_count_t block = 1 << 18;
        std::vector<short> x(size_t(block * ia.channels)), y(x.size());
        for (sf_count_t done = 0; done < ia.frames && at < 0;) {
            const sf_count_t n = sf_readf_short(fa, x.data(), block);
            if (n <= 0 || sf_readf_short(fb, y.data(), block) != n)
                break;
            for (sf_count_t i = 0; i < n * ia.channels; ++i)
                if (x[size_t(i)] != y[size_t(i)]) {
                    at = done + i / ia.channels;
                    why = "samples differ";
                    break;
                }
            done += n;
        }
    }
    if (fa)
        sf_close(fa);
    if (fb)
        sf_close(fb);
    return at;
}

// The export of 2 h across three 1-hour segments, ours against sox.
void exportLine(const QString& folder)
{
    using namespace logger;
    constexpr int rate = 48000, channels = 2;
    constexpr qint64 hourFrames = qint64(rate) * 3600;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    const qint64 t0 = QDateTime(QDate(2026, 12, 7), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    std::vector<SegmentRecord> rows;
    // A second of tone with noise, shifted by a step each second, so that no two seconds are alike.
    std::vector<int16_t> base(size_t(rate) * channels), second(base.size());
    std::mt19937 noise(11);
    std::uniform_int_distribution<int> n(-3000, 3000);
    for (size_t i = 0; i < base.size(); ++i)
        base[i] = int16_t(8000 * std::sin(2 * M_PI * 440 * double(i / 2) / rate) + n(noise));
    for (int k = 0; k < 3; ++k) {
        SegmentRecord r;
        r.startMs = r.boundaryMs = t0 + qint64(k) * 3600000;
        r.endMs = r.startMs + 3600000;
        r.sampleRate = rate;
        r.channels = channels;
        r.plannedFrames = r.frames = hourFrames;
        r.closed = true;
        r.result = SegmentResult::Ok;
        r.path = folder + QString("/segment%1.wav").arg(k + 1);
        SegmentFile file;
        SegmentFacts facts;
        facts.startMs = r.startMs;
        facts.title = QString("segment%1").arg(k + 1);
        if (!file.open(r.path, FileEncoding::Wav16, rate, channels, facts)) {
            std::printf("export of 2 h across 3 segments: failed (the segments cannot be written: %s)\n",
                        qPrintable(file.error()));
            return;
        }
        for (int s = 0; s < 3600; ++s) {
            for (size_t i = 0; i < second.size(); ++i)
                second[i] = int16_t(base[i] + (k * 3600 + s) % 4001 - 2000);
            if (!file.write(second.data(), rate)) {
                std::printf("export of 2 h across 3 segments: failed (%s)\n", qPrintable(file.error()));
                return;
            }
        }
        file.close({});
        rows.push_back(r);
    }
    const qint64 startMs = t0 + 1800000, endMs = t0 + 9000000; // mid-first to mid-third
    const QString ours = folder + "/ours.wav", theirs = folder + "/sox.wav";
    const QStringList soxArgs{rows[0].path, rows[1].path, rows[2].path, theirs, "trim",
                              QString("%1s").arg(hourFrames / 2), QString("=%1s").arg(hourFrames * 5 / 2)};
    std::vector<double> oursRuns, soxRuns;
    QString failed;
    for (int i = 0; i < 3 && failed.isEmpty(); ++i) {
        QFile::remove(ours);
        QElapsedTimer t;
        t.start();
        const ExportResult r = SpanExport(rows, {}).exportTo(ours, startMs, endMs);
        oursRuns.push_back(double(t.nsecsElapsed()) / 1e9);
        if (!r.done())
            failed = "ours failed: " + r.problem;

        QFile::remove(theirs);
        t.restart();
        QProcess sox;
        sox.start("sox", soxArgs);
        const bool ran = sox.waitForFinished(-1) && sox.exitStatus() == QProcess::NormalExit && sox.exitCode() == 0;
        const bool synced = ran && syncFile(theirs);
        soxRuns.push_back(double(t.nsecsElapsed()) / 1e9);
        if (!ran || !synced)
            failed = "sox failed: " + (sox.error() == QProcess::FailedToStart ? QString("not installed")
                                                                               : QString::fromLocal8Bit(sox.readAllStandardError()).trimmed());
    }
    if (!failed.isEmpty()) {
        std::printf("export of 2 h across 3 segments: %s\n", qPrintable(failed));
        QDir(folder).removeRecursively();
        return;
    }
    QString why;
    const qint64 differ = firstDifference(ours, theirs, why);
    std::sort(oursRuns.begin(), oursRuns.end());
    std::sort(soxRuns.begin(), soxRuns.end());
    std::printf("export of 2 h across 3 segments: ours %.2f s, sox %.2f s; ratio %.2f (median of 3: ours %.2f %.2f %.2f, "
                "sox %.2f %.2f %.2f; both synced; goal <= 0.5; load %.2f)\n",
                oursRuns[1], soxRuns[1], oursRuns[1] / soxRuns[1], oursRuns[0], oursRuns[1], oursRuns[2], soxRuns[0],
                soxRuns[1], soxRuns[2], loadAverage());
    if (differ >= 0)
        std::printf("export MISMATCH: ours and sox differ at frame %lld (%s)\n", (long long)differ, qPrintable(why));
    else
        std::printf("export check: ours and sox hold the same %lld frames\n", (long long)(hourFrames * 2));
    QDir(folder).removeRecursively();
}

} // namespace


int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_logger WORKDIR [seconds=20]\n");
        return 2;
    }
    setenv("TAMBLOR_AUDIO", "virtual-realtime", 1);
    QCoreApplication app(argc, argv);
    const QString work = QDir(argv[1]).absolutePath();
    const int seconds = argc > 2 ? std::max(2, std::atoi(argv[2])) : 20;
    const QString only = argc > 3 ? QString(argv[3]) : QString("all");
    std::printf("load average at start: %.2f on %d cores\n", loadAverage(), int(sysconf(_SC_NPROCESSORS_ONLN)));
    if (only == "export") {
        exportLine(work + "/export");
        return 0;
    }
    for (const char* format : {"wav16", "flac"}) {
        if (only != "all" && only != format)
            continue;
        std::vector<CpuShare> runs;
        for (int i = 0; i < 3; ++i)
            runs.push_back(loggerCpu(app, work + "/cpu", format, seconds));
        std::sort(runs.begin(), runs.end(), [](const CpuShare& a, const CpuShare& b) { return a.logger < b.logger; });
        std::printf("logger CPU, %s: %.2f%% of a core (median of 3 runs of %d s: %.2f %.2f %.2f; goal %s; the virtual "
                    "card's driver thread, left out: %.2f%%, of which its signal %.3f%%; of the figure the logger's thread %.2f%%, the input's "
                    "worker and Qt the rest)\n",
                    QString(format) == "flac" ? "FLAC" : "WAV", runs[1].logger, seconds, runs[0].logger, runs[1].logger,
                    runs[2].logger, QString(format) == "flac" ? "<= 3%" : "<= 1%", runs[1].driver, runs[1].signal, runs[1].main);
    }
    std::printf("load average at the end of the CPU runs: %.2f\n", loadAverage());
    if (only != "all" && only != "memory")
        return 0;

    // The simulated day: noted and fed every second, as the logger's polls do.
    QDir(work + "/day").removeRecursively();
    logger::RecorderSettings rs;
    rs.folder = work + "/day";
    rs.rate = 8000;
    rs.channels = 1;
    logger::SegmentRecorder recorder(rs);
    recorder.closed = [](logger::SegmentRecord&) {};
    const qint64 start = QDateTime(QDate(2026, 12, 7), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    recorder.begin(start);
    std::vector<int16_t> second(size_t(rs.rate));
    for (size_t i = 0; i < second.size(); ++i)
        second[i] = int16_t(6000 * std::sin(2 * M_PI * 440 * double(i) / rs.rate));
    double hour1 = 0;
    for (qint64 s = 1; s <= 24 * 3600; ++s) {
        recorder.noteInput(s * rs.rate, start + s * 1000);
        recorder.addFrames(second.data(), rs.rate);
        if (s == 3600)
            hour1 = residentMb();
    }
    const double hour24 = residentMb();
    recorder.end();
    std::printf("logger memory: %.1f MB after hour 1, %.1f MB after hour 24 (growth %.2f MB; goal <= 1 MB)\n", hour1,
                hour24, hour24 - hour1);
    if (only == "all")
        exportLine(work + "/export");
    QDir(work + "/day").removeRecursively();
    QDir(work + "/cpu").removeRecursively();
    return 0;
}
