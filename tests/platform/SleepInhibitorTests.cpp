// The sleep inhibitor against a logind of the test's own on a private bus: it asks for a
// "sleep" block lock, holds the descriptor it is given and lets go of it after, waiting for the
// answer or not; with no logind there it says why.
#include "platform/SleepInhibitor.h"
#include "tests/support/FakeLogind.h"
#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

using test_support::FakeLogind;

namespace {

class SleepInhibitorTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(logind.startBus()); }
    FakeLogind logind;
};

} // namespace

TEST_F(SleepInhibitorTest, HoldsASleepBlockLockFromLogindAndLetsGoAfter)
{
    ASSERT_TRUE(logind.serve());
    tamblor::SleepInhibitor inhibitor(logind.address());
    ASSERT_TRUE(inhibitor.acquire("Tamblor logger", "Recording")) << inhibitor.reason().toStdString();
    ASSERT_EQ(logind.locks().size(), 1u);
    EXPECT_EQ(logind.locks()[0].asked, (QStringList{"sleep", "Tamblor logger", "Recording", "block"}));
    EXPECT_TRUE(inhibitor.isHeld());
    EXPECT_TRUE(logind.held(0, true));
    inhibitor.release();
    EXPECT_FALSE(inhibitor.isHeld());
    EXPECT_FALSE(logind.held(0, false));
}

TEST_F(SleepInhibitorTest, ARequestIsAnsweredLaterAndAReleaseBeforeTheAnswerHoldsNothing)
{
    ASSERT_TRUE(logind.serve());
    tamblor::SleepInhibitor inhibitor(logind.address());
    int answers = 0;
    bool held = false;
    ASSERT_TRUE(inhibitor.request("Tamblor", "Recording slot 5", [&](bool h) {
        ++answers;
        held = h;
    }));
    EXPECT_TRUE(inhibitor.isPending());
    for (int i = 0; i < 300 && answers == 0; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    ASSERT_EQ(answers, 1);
    EXPECT_TRUE(held);
    EXPECT_TRUE(inhibitor.isHeld());
    EXPECT_FALSE(inhibitor.isPending());
    EXPECT_EQ(logind.locks().back().asked.value(2).toStdString(), "Recording slot 5");
    EXPECT_TRUE(logind.held(0, true));

    // Asked again and let go of at once: the answer that comes is dropped with its lock.
    ASSERT_TRUE(inhibitor.request("Tamblor", "Event \"News\" due at 17:00", [&](bool) { ++answers; }));
    EXPECT_FALSE(logind.held(0, false));
    inhibitor.release();
    for (int i = 0; i < 100 && logind.locks().size() < 2; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    ASSERT_EQ(logind.locks().size(), 2u);
    EXPECT_FALSE(logind.held(1, false));
    EXPECT_EQ(answers, 1);
    EXPECT_FALSE(inhibitor.isHeld());
}

TEST_F(SleepInhibitorTest, WithoutLogindItSaysWhyAndHoldsNothing)
{
    tamblor::SleepInhibitor inhibitor(logind.address());
    EXPECT_FALSE(inhibitor.acquire("Tamblor logger", "Recording"));
    EXPECT_FALSE(inhibitor.isHeld());
    EXPECT_FALSE(inhibitor.reason().isEmpty());
    // No bus at all: the request fails at once, with no answer to come.
    tamblor::SleepInhibitor nowhere("unix:path=/nonexistent/bus");
    bool answered = false;
    EXPECT_FALSE(nowhere.request("Tamblor", "Recording", [&](bool) { answered = true; }));
    EXPECT_TRUE(nowhere.reason().startsWith("no system bus")) << nowhere.reason().toStdString();
    QCoreApplication::processEvents();
    EXPECT_FALSE(answered);
}
