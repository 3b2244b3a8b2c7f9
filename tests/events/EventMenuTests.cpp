// The main menu's line about the record events as the program's clock goes on, and the question
// before the operator ends the program while an event is due or recording.
#include "EventsFixture.h"
#include "app/MenuNotice.h"
#include "app/PromptService.h"

using namespace tamblor;
using schedule::RecordEvent;
using schedule::RecordRun;
using schedule::RunResult;

namespace {

class EventMenuTest : public EventsTest {
protected:
    void advance(int seconds) { app->clock().advance(qint64(seconds) * 1000); }
    void setNow(QDate day, QTime time) { app->clock().setFixed(QDateTime(day, time)); }
};

} // namespace

TEST_F(EventMenuTest, TheLineCountsDownToTheNextEventShowsItRecordingAndMovesOn)
{
    EXPECT_EQ(menuLine(), "") << "no events, nothing to say";
    const RecordEvent news = storeEvent("NEWS", QTime(17, 0), 120);
    EXPECT_EQ(menuLine(), "Next: NEWS at 17:00, in 12 min");
    advance(1);
    EXPECT_EQ(menuLine(), "Next: NEWS at 17:00, in 12 min") << "minutes are counted up";
    advance(60);
    EXPECT_EQ(menuLine(), "Next: NEWS at 17:00, in 11 min");
    setNow(QDate(2026, 12, 7), QTime(16, 59, 15));
    EXPECT_EQ(menuLine(), "Next: NEWS at 17:00, in 45 s");

    // An earlier event added shows at once; disabled, the next one shows again.
    const RecordEvent spot = storeEvent("SPOT", QTime(16, 59, 30), 30);
    EXPECT_EQ(menuLine(), "Next: SPOT at 16:59:30, in 15 s");
    studio->events().setEnabled(spot.id, false);
    EXPECT_EQ(menuLine(), "Next: NEWS at 17:00, in 45 s");

    // While the take is under way.
    setNow(QDate(2026, 12, 7), QTime(17, 0, 0));
    RecordRun r = storeRun(news, QDate(2026, 12, 7), QTime(17, 0), std::nullopt);
    advance(1);
    EXPECT_EQ(menuLine(), "Recording NEWS");
    advance(120);
    r.result = RunResult::OK;
    r.firstSampleMs = r.scheduledStartMs;
    studio->runs().update(r);
    EXPECT_EQ(menuLine(), "Next: NEWS at 17:00, in 23 h 57 min");

    // Friday's news done, the next is Monday's: more than a day ahead, it is named by its day.
    setNow(QDate(2026, 12, 11), QTime(17, 10));
    EXPECT_EQ(menuLine(), "Next: NEWS on 12/14/2026 17:00");
    // A clock set back plans again.
    setNow(QDate(2026, 12, 7), QTime(16, 0));
    EXPECT_EQ(menuLine(), "Next: NEWS at 17:00, in 60 min");
    setNow(QDate(2026, 12, 7), QTime(15, 59, 59));
    EXPECT_EQ(menuLine(), "Next: NEWS at 17:00, in 1 h 00 min");
    setNow(QDate(2026, 12, 7), QTime(14, 59));
    EXPECT_EQ(menuLine(), "Next: NEWS at 17:00, in 2 h 01 min");
}

TEST_F(EventMenuTest, EndingByTheOperatorWhileAnEventIsDueAsksNamingItAndNoKeepsTheProgram)
{
    storeEvent("NEWS", QTime(17, 0), 120);
    prompts->answers = {QMessageBox::No};
    action("mnuExit")->trigger();
    ASSERT_EQ(prompts->asked.size(), 1u);
    const QString asked = prompts->asked[0].text;
    EXPECT_TRUE(asked.contains("\"NEWS\" is due at 17:00 today (in 12 min)")) << asked.toStdString();
    EXPECT_FALSE(app->isEnding());
    EXPECT_TRUE(menu->isVisible());

    // Closing the main menu's window asks as Exit does; Yes ends the program.
    prompts->answers = {QMessageBox::Yes};
    menu->close();
    EXPECT_EQ(prompts->asked.size(), 2u);
    EXPECT_TRUE(app->isEnding());
}

TEST_F(EventMenuTest, TheQuestionNamesTheEventRecordingAndTomorrowsEventAndNothingFurtherAhead)
{
    const RecordEvent news = storeEvent("NEWS", QTime(17, 0), 120);
    setNow(QDate(2026, 12, 7), QTime(17, 0, 30));
    RecordRun r = runOf(news, QDate(2026, 12, 7), QTime(17, 0), std::nullopt);
    r.firstSampleMs = r.scheduledStartMs;
    studio->runs().append(r);
    auto* notice = app->menuNotice();
    ASSERT_TRUE(notice);
    EXPECT_TRUE(notice->endQuestion(app->clock().now()).startsWith("\"NEWS\" is being recorded."));

    r.result = RunResult::OK;
    studio->runs().update(r);
    EXPECT_TRUE(notice->endQuestion(app->clock().now()).startsWith("\"NEWS\" is due at 17:00 tomorrow (in 23 h 59 min)"))
        << notice->endQuestion(app->clock().now()).toStdString();
    // On Friday evening the next is Monday's: more than 24 hours ahead, nothing is asked.
    setNow(QDate(2026, 12, 11), QTime(17, 10));
    EXPECT_EQ(notice->endQuestion(app->clock().now()), "");
    action("mnuExit")->trigger();
    EXPECT_TRUE(prompts->asked.empty());
    EXPECT_TRUE(app->isEnding());
}

TEST_F(EventMenuTest, AnEndFromOutsideAsksNothing)
{
    storeEvent("NEWS", QTime(17, 0), 120);
    app->endFromOutside();
    EXPECT_TRUE(prompts->asked.empty());
    EXPECT_TRUE(app->isEnding());
}

TEST_F(EventMenuTest, ResultsWaitingToBeSeenAreCountedUnderTheLineUntilSeen)
{
    const RecordEvent news = storeEvent("NEWS", QTime(17, 0), 120);
    storeRun(news, QDate(2026, 12, 4), QTime(17, 0), RunResult::Missed);
    EXPECT_EQ(menuLine(), "Next: NEWS at 17:00, in 12 min\n1 result to see in Tools, Record Events");
    storeRun(news, QDate(2026, 12, 3), QTime(17, 0), RunResult::OK);
    storeRun(news, QDate(2026, 12, 2), QTime(17, 0), RunResult::DeviceBusy);
    EXPECT_EQ(menuLine(), "Next: NEWS at 17:00, in 12 min\n2 results to see in Tools, Record Events");
    studio->runs().markAllSeen();
    EXPECT_EQ(menuLine(), "Next: NEWS at 17:00, in 12 min");
}
