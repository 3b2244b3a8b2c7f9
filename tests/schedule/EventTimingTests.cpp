#include "schedule/EventTiming.h"
#include "schedule/NameTemplate.h"
#include <QDateTime>
#include <QTimeZone>
#include "tests/support/LondonTime.h"
#include <gtest/gtest.h>

using namespace tamblor::schedule;

namespace {

// Runs a test in the time zone of London.
class LondonTimeTest : public ::testing::Test {
protected:
    LondonTime london_;
    static qint64 utc(int y, int mo, int d, int h, int mi, int s = 0)
    {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc()).toMSecsSinceEpoch();
    }
    static RecordEvent at(QTime start, int weekdays = RecordEvent::EveryDay, int length = 120)
    {
        RecordEvent e;
        e.name = "NEWS";
        e.start = start;
        e.weekdays = weekdays;
        e.lengthSeconds = length;
        return e;
    }
};

} // namespace

TEST_F(LondonTimeTest, ATimeThatOccursTwiceWhenTheClocksGoBackStartsOnce)
{
    const RecordEvent e = at(QTime(1, 30));
    // 01:30 BST is 00:30 UTC; an hour later 01:30 GMT comes round again.
    const auto first = EventTiming::nextStart(e, utc(2026, 10, 24, 23, 0));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->startMs, utc(2026, 10, 25, 0, 30));
    EXPECT_EQ(first->day, QDate(2026, 10, 25));
    EXPECT_FALSE(first->moved);
    EXPECT_EQ(first->endMs - first->startMs, 120000);

    const auto next = EventTiming::nextStart(e, first->startMs + 1);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->startMs, utc(2026, 10, 26, 1, 30)); // the next day, in GMT
    EXPECT_EQ(EventTiming::startsBetween(e, utc(2026, 10, 24, 23, 0), utc(2026, 10, 25, 23, 0)).size(), 1u);
    // An end at a time of day across the change: 00:45 to 02:15 on the wall is 2 h 30 min.
    RecordEvent across = e;
    across.start = QTime(0, 45);
    across.endKind = EndKind::TimeOfDay;
    across.end = QTime(2, 15);
    const auto o = EventTiming::occurrenceOn(across, QDate(2026, 10, 25));
    ASSERT_TRUE(o);
    EXPECT_EQ(o->endMs - o->startMs, 150 * 60 * 1000);
}

TEST_F(LondonTimeTest, ATimeThatDoesNotExistWhenTheClocksGoForwardStartsAtTheChangeMarkedAsMoved)
{
    const RecordEvent e = at(QTime(1, 30));
    const auto o = EventTiming::nextStart(e, utc(2026, 3, 28, 23, 0));
    ASSERT_TRUE(o);
    EXPECT_EQ(o->startMs, utc(2026, 3, 29, 1, 0)); // 02:00 BST
    EXPECT_TRUE(o->moved);
    EXPECT_EQ(QDateTime::fromMSecsSinceEpoch(o->startMs).toLocalTime().time(), QTime(2, 0));
    EXPECT_EQ(o->endMs - o->startMs, 120000);
    const auto next = EventTiming::nextStart(e, o->startMs + 1);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->startMs, utc(2026, 3, 30, 0, 30)); // 01:30 BST
    EXPECT_FALSE(next->moved);
    EXPECT_EQ(EventTiming::startsBetween(e, utc(2026, 3, 28, 23, 0), utc(2026, 3, 29, 23, 0)).size(), 1u);

    // Around the change and on an ordinary day nothing moves.
    EXPECT_FALSE(EventTiming::instantOf(QDate(2026, 3, 29), QTime(0, 59, 59)).moved);
    EXPECT_EQ(EventTiming::instantOf(QDate(2026, 3, 29), QTime(2, 0)).ms, utc(2026, 3, 29, 1, 0));
    EXPECT_EQ(EventTiming::instantOf(QDate(2026, 12, 7), QTime(17, 0)).ms, utc(2026, 12, 7, 17, 0));
    EXPECT_EQ(EventTiming::instantOf(QDate(2026, 7, 1), QTime(17, 0)).ms, utc(2026, 7, 1, 16, 0));
}

TEST_F(LondonTimeTest, WeekdaySetsOneShotDatesAndEndsAtATimeOfDay)
{
    // Monday 7 December 2026.
    const RecordEvent weekdays = at(QTime(17, 0), RecordEvent::Weekdays);
    EXPECT_EQ(EventTiming::nextStart(weekdays, utc(2026, 12, 7, 17, 0))->startMs, utc(2026, 12, 7, 17, 0));
    EXPECT_EQ(EventTiming::nextStart(weekdays, utc(2026, 12, 11, 17, 0, 1))->startMs, utc(2026, 12, 14, 17, 0));
    EXPECT_EQ(EventTiming::startsBetween(weekdays, utc(2026, 12, 7, 0, 0), utc(2026, 12, 14, 0, 0)).size(), 5u);

    const RecordEvent weekend =
        at(QTime(9, 0), RecordEvent::weekdayBit(Qt::Saturday) | RecordEvent::weekdayBit(Qt::Sunday));
    EXPECT_EQ(EventTiming::nextStart(weekend, utc(2026, 12, 7, 0, 0))->day, QDate(2026, 12, 12));
    EXPECT_FALSE(EventTiming::nextStart(at(QTime(9, 0), 0), utc(2026, 12, 7, 0, 0)));

    RecordEvent once = at(QTime(6, 10), 0);
    once.date = QDate(2026, 12, 9);
    EXPECT_EQ(EventTiming::nextStart(once, utc(2026, 12, 7, 0, 0))->startMs, utc(2026, 12, 9, 6, 10));
    EXPECT_FALSE(EventTiming::nextStart(once, utc(2026, 12, 9, 6, 10, 1))); // done
    EXPECT_FALSE(EventTiming::occurrenceOn(once, QDate(2026, 12, 16)));

    // 23:30 to 00:15: the end is on the next day.
    RecordEvent night = at(QTime(23, 30));
    night.endKind = EndKind::TimeOfDay;
    night.end = QTime(0, 15);
    const auto o = EventTiming::occurrenceOn(night, QDate(2026, 12, 7));
    ASSERT_TRUE(o);
    EXPECT_EQ(o->endMs, utc(2026, 12, 8, 0, 15));
    EXPECT_EQ(EventTiming::underWayAt(night, utc(2026, 12, 8, 0, 10))->day, QDate(2026, 12, 7));
    EXPECT_FALSE(EventTiming::underWayAt(night, utc(2026, 12, 8, 0, 15)));
    EXPECT_FALSE(EventTiming::underWayAt(night, utc(2026, 12, 7, 23, 29, 59)));
}

TEST(NameTemplate, FieldsOfTheScheduledStartAndTheCutOfASlotName)
{
    const QDateTime start(QDate(2026, 12, 7), QTime(17, 0));
    EXPECT_EQ(NameTemplate::expand("{name} {time} {date}", "NEWS", start), "NEWS 17:00 07.12");
    EXPECT_FALSE(NameTemplate::isCut("{name} {time} {date}", "NEWS", start));
    // A name that holds a field is taken as it is; unknown braces stay.
    EXPECT_EQ(NameTemplate::expand("{name}-{x}", "A{date}", start), "A{date}-{x}");

    const QString longName = "Sponsor spot of the week";
    EXPECT_EQ(NameTemplate::expandUncut("{name} {date}", longName, start), "Sponsor spot of the week 07.12");
    EXPECT_EQ(NameTemplate::expand("{name} {date}", longName, start), "Sponsor spot of the week ");
    EXPECT_EQ(NameTemplate::expand("{name} {date}", longName, start).size(), NameTemplate::MaxLength);
    EXPECT_TRUE(NameTemplate::isCut("{name} {date}", longName, start));
    // Held to the code page of the index, one character for each character typed.
    EXPECT_EQ(NameTemplate::expand("{name} \u2192 \u20ac", "Caf\u00e9", start), "Caf\u00e9 ? \u20ac");
}
