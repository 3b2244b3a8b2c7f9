// Which other event a new one collides with on the same input, over the weeks ahead: across
// midnight, a one-shot day weeks away, back to back (no collision), another input or a disabled
// event (none).
#include "events/EventCheck.h"
#include <gtest/gtest.h>

using namespace tamblor;
using namespace tamblor::events;
using schedule::RecordEvent;

namespace {

// Monday 7 December 2026, 16:48.
const QDateTime Now(QDate(2026, 12, 7), QTime(16, 48));

RecordEvent event(qint64 id, const char* name, QTime start, int seconds, int weekdays)
{
    RecordEvent e;
    e.id = id;
    e.name = name;
    e.start = start;
    e.lengthSeconds = seconds;
    e.weekdays = weekdays;
    return e;
}

QString meeting(const RecordEvent& e, const std::vector<RecordEvent>& others)
{
    const auto o = firstOverlap(e, others, Now.toMSecsSinceEpoch());
    if (!o)
        return "none";
    return o->other.name + " " + QDateTime::fromMSecsSinceEpoch(o->otherStartMs).toString("ddd dd.MM HH:mm");
}

constexpr int Saturday = 1 << 5;
constexpr int Sunday = 1 << 6;
constexpr int Wednesday = 1 << 2;

} // namespace

TEST(EventCheckTest, AnOverlapIsFoundAcrossMidnightAndWeeksAheadButNotBackToBackOnAnotherInputOrWhenDisabled)
{
    // Saturday 23:30 for an hour meets Sunday's 00:10.
    const RecordEvent late = event(1, "LATE", QTime(23, 30), 3600, Saturday);
    EXPECT_EQ(meeting(late, {event(2, "NIGHT", QTime(0, 10), 60, Sunday)}), "NIGHT Sun 13.12 00:10");

    // A one-shot event on a Wednesday four weeks ahead meets the weekly one that day.
    RecordEvent once = event(3, "ONCE", QTime(17, 1), 60, 0);
    once.date = QDate(2027, 1, 6);
    EXPECT_EQ(meeting(once, {event(4, "NEWS", QTime(17, 0), 120, Wednesday)}), "NEWS Wed 06.01 17:00");

    // One ends as the other starts: no overlap.
    EXPECT_EQ(meeting(event(5, "A", QTime(16, 58), 120, RecordEvent::EveryDay),
                      {event(6, "B", QTime(17, 0), 120, RecordEvent::EveryDay)}),
              "none");

    // Another input, or the other event disabled: no overlap; the event itself is never its own.
    RecordEvent other = event(7, "OTHER", QTime(17, 0), 120, RecordEvent::EveryDay);
    other.device = 1;
    const RecordEvent news = event(8, "NEWS", QTime(17, 0), 120, RecordEvent::EveryDay);
    EXPECT_EQ(meeting(news, {other, news}), "none");
    other.device.reset();
    other.enabled = false;
    EXPECT_EQ(meeting(news, {other}), "none");

    // Of several, the one met first is named.
    EXPECT_EQ(meeting(news, {event(9, "FRIDAY", QTime(17, 1), 60, 1 << 4), event(10, "TUESDAY", QTime(16, 59), 120, 1 << 1)}),
              "TUESDAY Tue 08.12 16:59");
}

TEST(EventCheckTest, AnEventRefusedIsNotCheckedForOverlapsAndADisabledOneWarnsOfNone)
{
    const std::vector<RecordEvent> others{event(1, "NEWS", QTime(17, 0), 120, RecordEvent::EveryDay)};
    RecordEvent e = event(0, "SPOT", QTime(17, 0), 0, RecordEvent::EveryDay);
    EventCheck c = checkEvent(e, others, Now, "/");
    EXPECT_EQ(c.errors, QStringList({"The length must be longer than 0 seconds."}));
    EXPECT_TRUE(c.warnings.isEmpty());
    e.lengthSeconds = 30;
    e.enabled = false;
    c = checkEvent(e, others, Now, "/");
    EXPECT_TRUE(c.storable());
    EXPECT_TRUE(c.warnings.isEmpty());
    e.enabled = true;
    c = checkEvent(e, others, Now, "/");
    ASSERT_EQ(c.warnings.size(), 1);
    EXPECT_TRUE(c.warnings[0].startsWith("\"NEWS\" records from the same input at 12/07/2026 17:00.")) << c.warnings[0].toStdString();
}

TEST(EventCheckTest, ALengthTheIndexCannotHoldIsRefused)
{
    const RecordEvent longest = event(1, "LONG", QTime(6, 0), RecordEvent::MaxSeconds, RecordEvent::EveryDay);
    EXPECT_TRUE(checkEvent(longest, {}, Now, "/").storable());
    const RecordEvent tooLong = event(1, "LONG", QTime(6, 0), RecordEvent::MaxSeconds + 1, RecordEvent::EveryDay);
    const EventCheck check = checkEvent(tooLong, {}, Now, "/");
    ASSERT_EQ(check.errors.size(), 1);
    EXPECT_TRUE(check.errors[0].startsWith("The length must be at most 99999 seconds")) << check.errors[0].toStdString();
}
