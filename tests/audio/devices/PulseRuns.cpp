#include "PulseRuns.h"
#include "PulseFixture.h"
#include "SignalMeasure.h"
#include "audio/devices/FilePlayer.h"
#include "audio/devices/InputDevice.h"
#include "audio/devices/RecordingWriter.h"
#include "platform/Failure.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QFile>
#include <sndfile.h>

namespace tamblor::audio::measure {

namespace {

bool writeAdpcm(const QString& path, int rate, int channels, const std::vector<int16_t>& samples)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!f)
        return false;
    sf_writef_short(f, samples.data(), sf_count_t(samples.size() / size_t(channels)));
    return sf_close(f) == 0;
}

void runEventsFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

QString PlaybackCase::name() const
{
    return QStringLiteral("%1 Hz %2 %3").arg(rate).arg(adpcm ? "ADPCM" : "16-bit").arg(channels == 1 ? "mono" : "stereo");
}

QString PlaybackRun::text() const
{
    if (!failure.isEmpty())
        return failure;
    return QStringLiteral("device at %1 Hz, %2 underflows, %3 frames starved; ")
               .arg(deviceRate)
               .arg(underflows)
               .arg(starved) +
           edges.text(fileRate);
}

PlaybackRun playAndMeasure(AudioBackend& backend, int device, const QString& monitor, const PlaybackCase& c,
                           const QString& folder, double seconds, unsigned seed)
{
    PlaybackRun run;
    run.fileRate = c.rate;
    const QString path = folder + QStringLiteral("/play-%1-%2-%3.wav").arg(c.rate).arg(c.adpcm).arg(c.channels);
    const std::vector<int16_t> noise = edgeNoise(size_t(seconds * c.rate), c.channels, seed);
    if (c.adpcm) {
        if (!writeAdpcm(path, c.rate, c.channels, noise)) {
            run.failure = "cannot write " + path;
            return run;
        }
    } else {
        writeWav(path, c.rate, c.channels, noise);
    }
    // ADPCM fills its last block up past the sound: the noise's length is where it ends.
    WavContents decoded = readWav(path);
    decoded.samples.resize(std::min(decoded.samples.size(), noise.size()));

    MonitorCapture capture;
    if (!capture.start(monitor)) {
        run.failure = "the monitor " + monitor + " cannot be recorded";
        return run;
    }
    FilePlayer player(backend);
    player.setDeviceId(device);
    player.setFileName(path);
    bool ended = false;
    QEventLoop loop;
    QObject::connect(&player, &FilePlayer::playbackEnded, &loop, [&] {
        ended = true;
        loop.quit();
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    try {
        player.play();
        run.deviceRate = player.deviceRate();
    } catch (const Failure& f) {
        capture.stop();
        run.failure = "play: " + f.text();
        return run;
    }
    loop.exec();
    run.underflows = player.underflows();
    run.starved = player.starvedFrames();
    // What the server still had in hand reaches the monitor's reader a little later.
    runEventsFor(150);
    capture.catchUp();
    const std::vector<int16_t> recorded = capture.stop();
    if (!ended) {
        run.failure = "no end of play in 30 s";
        return run;
    }
    run.edges = findEdges(recorded, MonitorCapture::Rate, decoded.samples, c.rate, c.channels);
    return run;
}

QString QuietRun::text() const
{
    return QStringLiteral("%1, first buffer after %2 ms, %3 frames written")
        .arg(lost ? QStringLiteral("lost after %1 ms").arg(lostAfterMs) : QStringLiteral("not lost"))
        .arg(firstBufferMs)
        .arg(framesWritten);
}

QuietRun recordQuietly(AudioBackend& backend, int device, const QString& file, int seconds)
{
    QuietRun run;
    InputDevice input(backend);
    input.setDeviceId(device);
    input.setSampleRate(8000);
    input.setMode(InputDevice::Mono);
    RecordingWriter writer(input);
    writer.setFileName(file);
    QElapsedTimer t;
    t.start();
    try {
        input.start();
    } catch (const Failure&) {
        run.lost = true;
        run.lostAfterMs = 0;
        return run;
    }
    qint64 looked = 0;
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(50);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        const qint64 now = t.elapsed();
        run.lost = input.lost(int(now - looked));
        looked = now;
        if (run.firstBufferMs < 0 && input.samplesDelivered() > 0)
            run.firstBufferMs = now;
        if (now >= 1000 && !writer.isEnabled())
            writer.setEnabled(true); // armed for a second, then recording
        if (run.lost)
            run.lostAfterMs = now;
        if (run.lost || now >= seconds * 1000)
            loop.quit();
    });
    tick.start();
    loop.exec();
    writer.setEnabled(false);
    input.waitIdle();
    input.release();
    run.framesWritten = writer.framesWritten();
    return run;
}

} // namespace tamblor::audio::measure
