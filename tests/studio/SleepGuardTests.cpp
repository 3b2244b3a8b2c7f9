// The studio keeps the machine awake while it records, against a logind of the test's own on a
// private bus: a lock held through a take by hand, from ten minutes before an event through its
// take, and let go of when nothing is due; without logind the takes record all the same and the
// operator is told once.
#include "StudioFixture.h"
#include "tests/support/FakeLogind.h"
#include <QThread>

using namespace tamblor;
using RS = RecordingSession;
using test_support::FakeLogind;

namespace {

// The lines logged (qInfo) while a test runs.
QStringList logged;
void keepLog(QtMsgType, const QMessageLogContext&, const QString& text)
{
    logged << text;
}

class SleepGuardTest : public StudioTest {
protected:
    void SetUp() override
    {
        StudioTest::SetUp();
        ASSERT_TRUE(logind.startBus());
        ASSERT_TRUE(logind.serve());
        studio->sleepGuard().setBusAddress(logind.address());
    }
    void TearDown() override
    {
        studio.reset(); // its locks go before the bus
        StudioTest::TearDown();
    }
    // The guard looks now and logind's answer comes: the reason of the lock held then.
    QString held()
    {
        SleepGuard& guard = studio->sleepGuard();
        guard.update(true);
        for (int i = 0; i < 600 && guard.asking(); ++i) {
            QCoreApplication::processEvents();
            QThread::msleep(5);
        }
        return guard.heldWhy();
    }
    static int loggedAbout(const QString& text)
    {
        int n = 0;
        for (const QString& t : logged)
            n += t.contains(text) ? 1 : 0;
        return n;
    }

    FakeLogind logind;
};

} // namespace

TEST_F(SleepGuardTest, ATakeByHandHoldsTheLockUntilItEnds)
{
    startAt(local(2026, 12, 7, 12, 0));
    EXPECT_EQ(held().toStdString(), "");
    EXPECT_TRUE(logind.locks().empty());

    take().handle(RS::Event::Press);
    ASSERT_NE(take().state(), RS::State::Idle);
    step();
    const QString why = QString("Recording slot %1").arg(take().slot());
    EXPECT_EQ(held(), why);
    ASSERT_EQ(logind.locks().size(), 1u);
    EXPECT_EQ(logind.locks()[0].asked, (QStringList{"sleep", "Tamblor", why, "block"}));
    EXPECT_TRUE(logind.held(0, true));

    // Writing, then ended: the same lock throughout, let go of at the end.
    take().handle(RS::Event::Press);
    step();
    EXPECT_EQ(held(), why);
    EXPECT_EQ(logind.locks().size(), 1u);
    take().handle(RS::Event::Stop);
    ASSERT_EQ(take().state(), RS::State::Idle);
    EXPECT_EQ(held().toStdString(), "");
    EXPECT_FALSE(logind.held(0, false));
}

TEST_F(SleepGuardTest, AnEventKeepsTheMachineAwakeFromTenMinutesBeforeUntilItsTakeEnds)
{
    startAt(local(2026, 12, 7, 16, 45));
    add(event("News", QTime(17, 0), 120));
    EXPECT_EQ(held().toStdString(), "") << "fifteen minutes ahead";
    EXPECT_TRUE(logind.locks().empty());

    core->clock().advance(ms(local(2026, 12, 7, 16, 50, 1)) - now());
    studio->tick();
    EXPECT_EQ(held().toStdString(), "Event \"News\" due at 17:00");
    ASSERT_EQ(logind.locks().size(), 1u);
    EXPECT_TRUE(logind.held(0, true));

    // The take: a lock that says so is taken before the one for the wait goes.
    runUntil(ms(local(2026, 12, 7, 17, 0, 30)));
    ASSERT_TRUE(scheduler().recording());
    EXPECT_EQ(held().toStdString(), "Recording event \"News\"");

    ASSERT_EQ(logind.locks().size(), 2u);
    EXPECT_TRUE(logind.held(1, true));
    EXPECT_FALSE(logind.held(0, false));

    // Over, and the next one is tomorrow: nothing is held.
    runUntil(ms(local(2026, 12, 7, 17, 3)));
    EXPECT_FALSE(scheduler().recording());
    EXPECT_EQ(held().toStdString(), "");
    EXPECT_FALSE(logind.held(1, false));
    EXPECT_EQ(logind.locks().size(), 2u);
}

TEST_F(SleepGuardTest, WithoutLogindATakeRecordsAndItIsLoggedOnceNotShown)
{
    logged.clear();
    const QtMessageHandler previous = qInstallMessageHandler(keepLog);
    studio->sleepGuard().setBusAddress("unix:path=/nonexistent/system_bus_socket");
    startAt(local(2026, 12, 7, 12, 0));
    for (int take_ = 0; take_ < 2; ++take_) {
        take().handle(RS::Event::Press);
        take().handle(RS::Event::Press);
        step();
        EXPECT_TRUE(take().writingNow());
        EXPECT_EQ(held().toStdString(), "");
        take().handle(RS::Event::Stop);
        step();
    }
    EXPECT_EQ(loggedAbout("Takes do not keep the machine from sleeping"), 1) << logged.join('\n').toStdString();
    EXPECT_FALSE(told.join('\n').contains("sleeping")) << "not in the operator's way";
    // A bus with no logind on it: refused, told no more.
    FakeLogind empty;
    ASSERT_TRUE(empty.startBus());
    studio->sleepGuard().setBusAddress(empty.address());
    take().handle(RS::Event::Press);
    EXPECT_EQ(held().toStdString(), "");
    EXPECT_NE(take().state(), RS::State::Idle);
    take().handle(RS::Event::Stop);
    qInstallMessageHandler(previous);
    EXPECT_EQ(loggedAbout("Takes do not keep the machine from sleeping"), 1);
}
