// Two record events back to back on a real sound server: a tone played into a PulseAudio sink,
// recorded from the sink's monitor through PortAudio by the scheduler, the first event ending
// where the second starts. Both takes must be OK, each exactly its length, and the waveform must
// run on across the joint: the largest step between two neighbouring samples at the joint is
// printed beside the tone's own largest step.
//   back_to_back.sh [build] [seconds=60]    (starts a private PulseAudio server and runs this program)
// With --soak MINUTES: an event of 60 s every 2 minutes for that long, every third followed at
// once by a second one (back to back); a table of every run (result, frames, the start error as
// the scheduler worked it out) and the program's memory every few minutes.
#include "audio/devices/AudioBackend.h"
#include "audio/devices/OutputDevice.h"
#include "audio/devices/ToneGenerator.h"
#include "core/Core.h"
#include "core/NoticeLog.h"
#include "core/SettingsFile.h"
#include "schedule/EventStore.h"
#include "schedule/RunStore.h"
#include "studio/Studio.h"
#include "tests/audio/devices/PulseFixture.h"
#include "tests/audio/devices/SignalMeasure.h"
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

using namespace tamblor;

namespace {

int largestStep(const std::vector<int16_t>& stereo, int channel, size_t from, size_t to)
{
    int worst = 0;
    for (size_t i = from + 1; i < to; ++i)
        worst = std::max(worst, std::abs(int(stereo[2 * i + size_t(channel)]) - int(stereo[2 * (i - 1) + size_t(channel)])));
    return worst;
}

long residentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// Events every two minutes for `minutes`, some back to back; every run checked and listed.
int soak(Core& core, Studio& studio, int minutes)
{
    const QDateTime t0 = core.clock().now().addSecs(10);
    std::vector<schedule::RecordEvent> events;
    for (int i = 0; i * 2 < minutes; ++i) {
        const QDateTime at = t0.addSecs(120LL * i);
        schedule::RecordEvent e;
        e.name = QString("SOAK %1").arg(i + 1);
        e.start = QTime(at.time().hour(), at.time().minute(), at.time().second());
        e.date = at.date();
        e.lengthSeconds = 60;
        studio.events().add(e);
        events.push_back(e);
        if (i % 3 == 2) {
            schedule::RecordEvent next = e;
            next.id = 0;
            next.name = QString("SOAK %1B").arg(i + 1);
            next.start = e.start.addSecs(60);
            next.date = at.addSecs(60).date();
            studio.events().add(next);
            events.push_back(next);
        }
    }
    std::printf("%zu events from %s over %d minutes; memory %ld kB at the start\n", events.size(),
                qPrintable(t0.toString("HH:mm:ss")), minutes, residentKb());
    std::fflush(stdout);
    QElapsedTimer t;
    t.start();
    qint64 nextMemory = 0;
    std::vector<long> memory;
    auto allDone = [&] {
        for (const auto& e : events) {
            const auto r = studio.runs().last(e.id);
            if (!r || !r->result)
                return false;
        }
        return !studio.scheduler().checking();
    };
    int lastTimingsSeen = 0;
    std::vector<std::pair<QString, double>> startErrors;
    QString active;
    while (!allDone() && t.elapsed() < (qint64(minutes) + 5) * 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
        const auto rec = studio.scheduler().recording();
        if (rec && rec->name != active && studio.scheduler().lastTiming() && lastTimingsSeen < int(events.size())) {
            active = rec->name;
        }
        if (!rec && !active.isEmpty() && studio.scheduler().lastTiming()) {
            const auto& timing = *studio.scheduler().lastTiming();
            const double errorMs = (double(timing.firstSample) - double(timing.dueSample)) / timing.channels / 44.1;
            startErrors.emplace_back(active, errorMs);
            active.clear();
            ++lastTimingsSeen;
        }
        if (t.elapsed() >= nextMemory) {
            memory.push_back(residentKb());
            std::printf("  %3lld min: memory %ld kB\n", t.elapsed() / 60000, memory.back());
            std::fflush(stdout);
            nextMemory += 5 * 60000;
        }
    }
    studio.scheduler().finishChecks();
    int ok = 0;
    std::printf("| event | start | result | frames | detail |\n|---|---|---|---|---|\n");
    for (const auto& e : events) {
        const auto r = studio.runs().last(e.id);
        const bool good = r && r->result && *r->result == schedule::RunResult::OK && r->lengthFrames == 60 * 44100;
        ok += good ? 1 : 0;
        std::printf("| %s | %s | %s | %lld | %s |\n", qPrintable(e.name), qPrintable(e.start.toString("HH:mm:ss")),
                    r && r->result ? qPrintable(schedule::resultText(*r->result)) : "none",
                    r ? (long long)r->lengthFrames : 0LL, r ? qPrintable(r->detail) : "");
    }
    double worst = 0;
    for (const auto& [name, error] : startErrors)
        worst = std::max(worst, std::abs(error));
    std::printf("%d of %zu runs OK with exactly 60 s; start error as worked out: largest %.2f ms over %zu takes seen; "
                "memory %ld kB at the start, %ld kB at the end\n",
                ok, events.size(), worst, startErrors.size(), memory.empty() ? -1 : memory.front(), residentKb());
    return ok == int(events.size()) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication qapp(argc, argv);
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 60;
    const int soakMinutes = argc > 3 && QByteArray(argv[2]) == "--soak" ? std::max(2, std::atoi(argv[3])) : 0;
    const auto state = audio::measure::readPulseState(qEnvironmentVariable("TAMBLOR_PULSE_STATE"));
    if (state.count("server") == 0 || state.at("server").isEmpty()) {
        std::fprintf(stderr, "no private PulseAudio server (TAMBLOR_PULSE_STATE)\n");
        return 2;
    }
    audio::measure::usePulseServer(state, state.at("sink"), state.at("source"));
    qputenv("TAMBLOR_AUDIO", "portaudio");

    QTemporaryDir root;
    Core core(root.path());
    NoticeLog log(core.notices());
    const int in = audio::measure::findDevice(core.audio(), true, "pulse");
    const int out = audio::measure::findDevice(core.audio(), false, "pulse");
    if (in < 0 || out < 0) {
        std::fprintf(stderr, "no pulse device\n");
        return 2;
    }
    // 44100 stereo, start mode Off, unity gain, the pulse devices.
    QDir().mkpath(root.filePath("C/Tamblor"));
    {
        SettingsFile settings(core.drives());
        settings.open();
        settings.write(SettingsRecord::PlayDevice, int16_t(out));
        settings.write(SettingsRecord::RecordDevice, int16_t(in));
        settings.write(SettingsRecord::FormatIndex, 3);
        settings.write(SettingsRecord::ChannelMode, 1);
        settings.write(SettingsRecord::RecordLevel, 16384);
        settings.close();
    }
    Studio studio(core);
    core.startUp();

    audio::ToneGenerator tone;
    tone.setFrequency(997.0);
    tone.setAmplitude(8192);
    audio::OutputDevice player(core.audio(), tone);
    player.setDeviceId(out);
    player.start();

    if (soakMinutes > 0) {
        const int result = soak(core, studio, soakMinutes);
        player.release();
        core.endProgram();
        return result;
    }

    const QDateTime first = core.clock().now().addSecs(6);
    const QTime at(first.time().hour(), first.time().minute(), first.time().second());
    schedule::RecordEvent a;
    a.name = "FIRST";
    a.start = at;
    a.weekdays = schedule::RecordEvent::EveryDay;
    a.lengthSeconds = seconds;
    schedule::RecordEvent b = a;
    b.name = "SECOND";
    b.start = at.addSecs(seconds);
    studio.events().add(a);
    studio.events().add(b);
    std::printf("two events of %d s from %s, back to back\n", seconds, qPrintable(at.toString("HH:mm:ss")));

    QElapsedTimer t;
    t.start();
    auto done = [&] {
        const auto ra = studio.runs().last(a.id);
        const auto rb = studio.runs().last(b.id);
        return ra && ra->result && rb && rb->result && !studio.scheduler().checking();
    };
    while (!done() && t.elapsed() < (2LL * seconds + 30) * 1000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    studio.scheduler().finishChecks();
    player.release();
    const auto ra = studio.runs().last(a.id);
    const auto rb = studio.runs().last(b.id);
    if (!ra || !ra->result || !rb || !rb->result) {
        std::printf("FAILED: not both runs ended\n");
        return 1;
    }
    std::printf("first: %s, %lld frames (%s); second: %s, %lld frames (%s)\n",
                qPrintable(schedule::resultText(*ra->result)), (long long)ra->lengthFrames, qPrintable(ra->detail),
                qPrintable(schedule::resultText(*rb->result)), (long long)rb->lengthFrames, qPrintable(rb->detail));
    if (ra->slot == 0 || rb->slot == 0) {
        std::printf("FAILED: a take is missing\n");
        return 1;
    }
    const auto wa = audio::measure::readWav(studio.library().slotFileNative(ra->slot));
    const auto wb = audio::measure::readWav(studio.library().slotFileNative(rb->slot));
    const size_t fa = wa.samples.size() / 2, fb = wb.samples.size() / 2;
    std::vector<int16_t> joined = wa.samples;
    joined.insert(joined.end(), wb.samples.begin(), wb.samples.end());
    bool ok = *ra->result == schedule::RunResult::OK && *rb->result == schedule::RunResult::OK &&
              fa == size_t(seconds) * 44100 && fb == size_t(seconds) * 44100;
    for (int c = 0; c < 2; ++c) {
        const int own = largestStep(wa.samples, c, 44100, fa);
        const int joint = largestStep(joined, c, fa - 1, fa + 1);
        std::printf("channel %d: step at the joint %d, the tone's largest step within the first take %d\n", c, joint,
                    own);
        ok = ok && joint <= own + own / 10;
    }
    std::printf("%s\n", ok ? "both OK, exact lengths, continuous across the joint" : "FAILED");
    core.endProgram();
    return ok ? 0 : 1;
}
