// Events as stored that cannot run: each is named with what is wrong, and the longest take the
// index can hold is the limit; events that can run have no problem.
#include "schedule/RecordEvent.h"
#include <gtest/gtest.h>

using namespace tamblor::schedule;

namespace {
RecordEvent daily(int seconds)
{
    RecordEvent e;
    e.name = "NEWS";
    e.start = QTime(17, 0);
    e.weekdays = RecordEvent::EveryDay;
    e.lengthSeconds = seconds;
    return e;
}
} // namespace

TEST(RecordEventTest, ARowThatCannotRunSaysWhyAndOneThatCanSaysNothing)
{
    EXPECT_EQ(daily(60).problem(), "");
    EXPECT_EQ(daily(RecordEvent::MaxSeconds).problem(), "");
    EXPECT_EQ(daily(0).problem(), "its length of 0 seconds is not longer than 0.");
    EXPECT_EQ(daily(-60).problem(), "its length of -60 seconds is not longer than 0.");
    EXPECT_EQ(daily(108000).problem(), "its length of 108000 seconds is longer than the 99999 seconds a take can have.");

    RecordEvent fixed = daily(60);
    fixed.destination = Destination::FixedSlot;
    fixed.fixedSlot = 0;
    EXPECT_EQ(fixed.problem(), "it records into a fixed slot but names none from 1 to 900.");
    fixed.fixedSlot = 901;
    EXPECT_FALSE(fixed.problem().isEmpty());
    fixed.fixedSlot = 900;
    EXPECT_EQ(fixed.problem(), "");

    RecordEvent noDay = daily(60);
    noDay.weekdays = 0;
    EXPECT_EQ(noDay.problem(), "it has no day to record on.");
    noDay.date = QDate(2026, 12, 8); // a one-shot event needs no weekday
    EXPECT_EQ(noDay.problem(), "");

    // An end at a time of day: at the start is 0 s; before the start is the next day.
    RecordEvent byEnd = daily(0);
    byEnd.endKind = EndKind::TimeOfDay;
    byEnd.end = QTime(17, 0);
    EXPECT_EQ(byEnd.problem(), "its end is its start.");
    byEnd.end = QTime(16, 59);
    EXPECT_EQ(byEnd.problem(), "");
}
