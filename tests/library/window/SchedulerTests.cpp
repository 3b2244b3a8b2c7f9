// Record events run by the scheduler with nobody at the window: the real take on the virtual
// card in stepped time (50 ms of clock and of input per step, long quiet stretches skipped), in
// the time zone of London. Every result comes from its cause; the takes are checked frame by
// frame in their files.
#include "LibraryWindowFixture.h"
#include "schedule/EventStore.h"
#include "schedule/RunStore.h"
#include "store/ProgramState.h"
#include "tests/audio/devices/SignalMeasure.h"
#include <QFileInfo>
#include <csignal>
#include <sys/resource.h>

using namespace tamblor;
using namespace tamblor::audio;
using namespace tamblor::schedule;
using RS = RecordingSession;

namespace {

class SchedulerTest : public LibraryWindowTest {
protected:
    void SetUp() override
    {
        const char* tz = std::getenv("TZ");
        savedTz_ = tz ? std::optional<std::string>(tz) : std::nullopt;
        setenv("TZ", "Europe/London", 1);
        tzset();
        LibraryWindowTest::SetUp();
        // 44100 stereo, start mode Off, unity gain; slot 1 in use.
        writeSettings({{3, 3}, {5, 1}, {6, 0}, {11, 16384}});
        writeIndex({rec("1", "ONE", "5")});
    }
    void TearDown() override
    {
        LibraryWindowTest::TearDown();
        if (savedTz_)
            setenv("TZ", savedTz_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    static QDateTime local(int y, int mo, int d, int h, int mi, int s = 0)
    {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
    }
    static qint64 ms(const QDateTime& t) { return t.toMSecsSinceEpoch(); }
    qint64 now() const { return app->clock().now().toMSecsSinceEpoch(); }

    // Starts the program at a local time.
    void startAt(const QDateTime& t)
    {
        app->clock().setFixed(t);
        ASSERT_TRUE(app->start());
        ASSERT_TRUE(studio->database().isOpen());
    }
    // A program ended and started again at a local time (the database and index stay).
    void restartAt(const QDateTime& t)
    {
        app->endProgram();
        newApp();
        startAt(t);
    }
    Scheduler& scheduler() { return studio->scheduler(); }
    RS& take() { return studio->recording(); }

    RecordEvent event(const QString& name, QTime start, int lengthSeconds, int weekdays = RecordEvent::EveryDay)
    {
        RecordEvent e;
        e.name = name;
        e.start = start;
        e.weekdays = weekdays;
        e.lengthSeconds = lengthSeconds;
        return e;
    }
    qint64 add(RecordEvent e)
    {
        studio->events().add(e);
        return e.id;
    }

    // One step of 50 ms: the clock, the input, the sessions' tick and the scheduler's.
    void step()
    {
        app->clock().advance(Scheduler::TickMs);
        backend().advance(44100 * Scheduler::TickMs / 1000);
        take().input().waitIdle();
        studio->tick();
        scheduler().tick();
    }
    // Runs until a local instant; while nothing is due for a while, the clock moves in jumps
    // (a tick every 5 s, so the heartbeat is written as in a running program).
    void runUntil(qint64 until)
    {
        while (now() < until) {
            const bool busy = take().state() != RS::State::Idle || scheduler().recording();
            const auto next = scheduler().next();
            const qint64 quietUntil = std::min(until, next ? next->occurrence.startMs - 2500 : until);
            if (!busy && quietUntil - now() > 5000) {
                app->clock().advance(std::min<qint64>(5000, quietUntil - now()));
                scheduler().tick();
                continue;
            }
            step();
        }
        scheduler().finishChecks();
        QCoreApplication::processEvents();
    }
    std::vector<RecordRun> runsOf(qint64 eventId) { return studio->runs().list(eventId); }
    // The frames of a slot's file.
    measure::WavContents wav(int slot) { return measure::readWav(slotFile(slot)); }

private:
    std::optional<std::string> savedTz_;
};

} // namespace

TEST_F(SchedulerTest, AWeekdayEventRecordsAnExactTakeFromTheFrameDueAtItsStartIntoTheFirstFreeSlot)
{
    startAt(local(2026, 12, 7, 16, 58)); // a Monday
    backend().setInputSignal(sources::counter());
    RecordEvent news = event("NEWS", QTime(17, 0), 120, RecordEvent::Weekdays);
    news.nameTemplate = "{name} {time} {date}";
    const qint64 id = add(news);
    ASSERT_TRUE(scheduler().next());
    EXPECT_EQ(scheduler().next()->occurrence.startMs, ms(local(2026, 12, 7, 17, 0)));

    // The input opens two seconds before the start, and nothing is written yet.
    runUntil(ms(local(2026, 12, 7, 16, 59, 57)));
    EXPECT_EQ(take().state(), RS::State::Idle);
    runUntil(ms(local(2026, 12, 7, 16, 59, 58)) + 50);
    EXPECT_EQ(take().state(), RS::State::Armed);
    ASSERT_TRUE(scheduler().recording());
    EXPECT_EQ(scheduler().recording()->name, "NEWS");
    EXPECT_TRUE(runsOf(id).empty());

    runUntil(ms(local(2026, 12, 7, 17, 0, 1)));
    EXPECT_EQ(take().state(), RS::State::Writing);
    ASSERT_EQ(runsOf(id).size(), 1u);
    EXPECT_TRUE(runsOf(id)[0].underWay());
    runUntil(ms(local(2026, 12, 7, 17, 3)));
    EXPECT_EQ(take().state(), RS::State::Idle);
    EXPECT_FALSE(scheduler().recording());

    const auto runs = runsOf(id);
    ASSERT_EQ(runs.size(), 1u);
    const RecordRun& run = runs[0];
    EXPECT_EQ(run.result, RunResult::OK) << run.detail.toStdString();
    EXPECT_EQ(run.slot, 2);
    EXPECT_EQ(run.lengthFrames, 120 * 44100);
    EXPECT_EQ(run.sampleRate, 44100);
    EXPECT_EQ(run.scheduledStartMs, ms(local(2026, 12, 7, 17, 0)));
    EXPECT_EQ(run.firstSampleMs, run.scheduledStartMs);
    EXPECT_FALSE(run.needsAttention());
    ASSERT_TRUE(run.peakDbfs);
    EXPECT_GT(*run.peakDbfs, -0.01);
    EXPECT_EQ(recordBytes(2), rec("1", "NEWS 17:00 07.12", "120", "12-07-26"));

    // The file holds exactly the planned frames, the first being the one due at 17:00: two
    // seconds (88200 frames) after the input opened, as the counter signal numbers them.
    const auto take = wav(2);
    ASSERT_EQ(take.channels, 2);
    ASSERT_EQ(take.samples.size(), size_t(2 * 120 * 44100));
    EXPECT_EQ(take.samples[0], int16_t(88200 % 32768));
    EXPECT_EQ(take.samples[1], int16_t(-(88200 % 32768)));
    const int64_t last = 88200 + 120 * 44100 - 1;
    EXPECT_EQ(take.samples[take.samples.size() - 2], int16_t(last % 32768));
    ASSERT_TRUE(scheduler().lastTiming());
    EXPECT_EQ(scheduler().lastTiming()->firstSample, scheduler().lastTiming()->dueSample);
    EXPECT_EQ(scheduler().lastTiming()->framesWritten, 120 * 44100);

    // The figures of the take are stored with its slot.
    ASSERT_TRUE(studio->figures().current(2, slotFile(2)));
    EXPECT_EQ(studio->figures().current(2, slotFile(2))->peakDbfs, run.peakDbfs);
}
