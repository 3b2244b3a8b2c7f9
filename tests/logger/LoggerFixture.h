#pragma once
// The logger on the core over a fresh root, its input the virtual card stepped together with
// the core's clock: run(ms) moves both on in steps, the card `ppm` fast, and polls the logger
// after each step as its timer would.
#include "audio/devices/VirtualBackend.h"
#include "logger/Logger.h"
#include "platform/ProgramStarter.h"
#include "tests/support/CoreFixture.h"
#include <QSettings>
#include <cmath>

class LoggerTest : public CoreTest {
protected:
    void SetUp() override
    {
        CoreTest::SetUp();
        settings("Logger/SegmentMinutes", 1);
        settings("Logger/Rate", 44100);
        settings("Logger/Channels", 1);
        backend().setInputSignal(tamblor::audio::sources::counter());
    }
    void TearDown() override
    {
        logger.reset();
        CoreTest::TearDown();
    }
    void settings(const QString& key, const QVariant& value)
    {
        QSettings s(native("C/Tamblor/Tamblor.ini"), QSettings::IniFormat);
        s.setValue(key, value);
    }
    tamblor::audio::VirtualBackend& backend() { return static_cast<tamblor::audio::VirtualBackend&>(core->audio()); }

    // A logger made and started at `startMs` on the core's clock.
    void startAt(qint64 startMs)
    {
        core->clock().setFixed(QDateTime::fromMSecsSinceEpoch(startMs));
        logger = std::make_unique<tamblor::logger::Logger>(*core, starter);
        logger->setTimed(false);
        logger->setClockSync(tamblor::logger::ClockSync(
            [](const QString&, const QStringList&) -> std::optional<QString> { return QString("yes\n"); }));
        if (!core->isStarted())
            core->startUp();
        logger->start();
        startMs_ = startMs;
        elapsedMs_ = 0;
        given_ = 0;
    }
    // Moves the clock and the card on by `ms`, polling every `stepMs`.
    void run(qint64 ms, qint64 stepMs = 100)
    {
        const int rate = logger->settings().rate;
        for (qint64 done = 0; done < ms; done += stepMs) {
            const qint64 step = std::min(stepMs, ms - done);
            elapsedMs_ += step;
            core->clock().advance(step);
            const qint64 due = std::llround(double(elapsedMs_) * rate * (1.0 + ppm * 1e-6) / 1000.0);
            backend().advance(size_t(due - given_));
            given_ = due;
            logger->input().syncWorker();
            logger->poll();
        }
        logger->input().waitIdle();
    }
    qint64 nowMs() const { return core->clock().now().toMSecsSinceEpoch(); }
    QString folder() const { return logger->settings().folder; }

    tamblor::RecordingStarter starter;
    std::unique_ptr<tamblor::logger::Logger> logger;
    double ppm = 0;
    qint64 startMs_ = 0;
    qint64 elapsedMs_ = 0;
    qint64 given_ = 0;
};
