#pragma once
// The studio on the core alone, as a program without windows runs it: index and settings bytes
// written before start-up, the virtual card stepped by the test, the clock stepped 50 ms at a
// time in the time zone of London, long quiet stretches skipped.
#include "audio/devices/InputDevice.h"
#include "audio/devices/VirtualBackend.h"
#include "schedule/EventStore.h"
#include "schedule/RunStore.h"
#include "studio/Studio.h"
#include "tests/support/CoreFixture.h"
#include "tests/support/IndexBytes.h"
#include "tests/support/LondonTime.h"
#include <QCoreApplication>
#include <QtEndian>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>

class StudioTest : public CoreTest {
protected:
    void SetUp() override
    {
        london_.emplace();
        CoreTest::SetUp();
        newStudio();
    }
    void TearDown() override
    {
        studio.reset();
        CoreTest::TearDown();
        london_.reset();
    }
    // The studio's clock is off: the tests step it.
    void newStudio()
    {
        studio = std::make_unique<tamblor::Studio>(*core);
        studio->setTimerRunning(false);
    }
    // A program ended and made again over the same root (not started).
    void restart()
    {
        core->endProgram();
        studio.reset();
        newCore();
        newStudio();
    }
    void startAt(const QDateTime& t)
    {
        core->clock().setFixed(t);
        ASSERT_NO_THROW(core->startUp());
        ASSERT_TRUE(studio->database().isOpen());
    }

    static QDateTime local(int y, int mo, int d, int h, int mi, int s = 0)
    {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
    }
    static qint64 ms(const QDateTime& t) { return t.toMSecsSinceEpoch(); }
    qint64 now() const { return core->clock().now().toMSecsSinceEpoch(); }

    // Settings records (1-based) of MyComp.ini; records not given are 0.
    void writeSettings(const std::map<int, int16_t>& records)
    {
        writeAllBytes(native("C/Tamblor/MyComp.ini"), settingsBytes(records));
    }
    int16_t settingsRecord(int n) const
    {
        const QByteArray bytes = readAllBytes(native("C/Tamblor/MyComp.ini"));
        return bytes.size() >= 2 * n ? qFromLittleEndian<int16_t>(bytes.constData() + 2 * (n - 1)) : 0;
    }
    void writeIndex(const QList<QByteArray>& records)
    {
        QByteArray all;
        for (const QByteArray& r : records)
            all += r;
        writeAllBytes(indexPath(), all);
    }
    QString indexPath() const { return native("C/Tamblor/Schedule.dat"); }
    QByteArray indexBytes() const { return readAllBytes(indexPath()); }
    // One 39-byte record of the index as it is on disk.
    QByteArray recordBytes(int n) const { return indexBytes().mid(39 * (n - 1), 39); }
    QString slotFile(int n) const { return native(QString::asprintf("C/Tamblor/SF%04d.wav", n)); }

    tamblor::audio::VirtualBackend& backend() { return dynamic_cast<tamblor::audio::VirtualBackend&>(core->audio()); }
    tamblor::Scheduler& scheduler() { return studio->scheduler(); }
    tamblor::RecordingSession& take() { return studio->recording(); }

    tamblor::schedule::RecordEvent event(const QString& name, QTime start, int lengthSeconds,
                                         int weekdays = tamblor::schedule::RecordEvent::EveryDay)
    {
        tamblor::schedule::RecordEvent e;
        e.name = name;
        e.start = start;
        e.weekdays = weekdays;
        e.lengthSeconds = lengthSeconds;
        return e;
    }
    qint64 add(tamblor::schedule::RecordEvent e)
    {
        studio->events().add(e);
        return e.id;
    }
    std::vector<tamblor::schedule::RecordRun> runsOf(qint64 eventId) { return studio->runs().list(eventId); }

    // One step of 50 ms: the clock, the input (at its own rate), the studio's tick and the
    // programme watch's measuring of what it handed on.
    void step()
    {
        core->clock().advance(tamblor::Studio::TickMs);
        backend().advanceMs(tamblor::Studio::TickMs);
        take().input().waitIdle();
        studio->tick();
        studio->watch().waitIdle();
    }
    // Runs until a local instant; while nothing is due for a while, the clock jumps to just
    // before the next opening (the steady clock with it: no step of the clock).
    void runUntil(qint64 until)
    {
        scheduler().tick();
        while (now() < until) {
            const bool busy = take().state() != tamblor::RecordingSession::State::Idle || scheduler().recording();
            const auto next = scheduler().next();
            const qint64 quietUntil = std::min(until, next ? next->occurrence.startMs - 2500 : until);
            if (!busy && quietUntil - now() > 1000) {
                core->clock().advance(quietUntil - now());
                scheduler().tick();
                continue;
            }
            step();
        }
        scheduler().finishChecks();
        QCoreApplication::processEvents();
    }

    std::unique_ptr<tamblor::Studio> studio;

private:
    std::optional<LondonTime> london_;
};
