// Two record events back to back on a real sound server: a tone played into a PulseAudio sink,
// recorded from the sink's monitor through PortAudio by the scheduler, the first event ending
// where the second starts. Both takes must be OK, each exactly its length, and the waveform must
// run on across the joint: the largest step between two neighbouring samples at the joint is
// printed beside the tone's own largest step.
//   back_to_back.sh [seconds=60]    (starts a private PulseAudio server and runs this program)
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

using namespace tamblor;

namespace {

int largestStep(const std::vector<int16_t>& stereo, int channel, size_t from, size_t to)
{
    int worst = 0;
    for (size_t i = from + 1; i < to; ++i)
        worst = std::max(worst, std::abs(int(stereo[2 * i + size_t(channel)]) - int(stereo[2 * (i - 1) + size_t(channel)])));
    return worst;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication qapp(argc, argv);
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 60;
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
