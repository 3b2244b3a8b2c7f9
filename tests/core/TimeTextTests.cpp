#include "core/TimeText.h"
#include "platform/Failure.h"
#include <gtest/gtest.h>

using namespace tamblor;

TEST(TimeText, SecondsToText)
{
    EXPECT_EQ(secondsToTimeText(0), "00:00");
    EXPECT_EQ(secondsToTimeText(59), "00:59");
    EXPECT_EQ(secondsToTimeText(60), "01:00");
    EXPECT_EQ(secondsToTimeText(125), "02:05");
    EXPECT_EQ(secondsToTimeText(3599), "59:59");
    EXPECT_EQ(secondsToTimeText(3600), " 1:00:00");
    EXPECT_EQ(secondsToTimeText(3725), " 1:02:05");
    EXPECT_EQ(secondsToTimeText(36000), "10:00:00");
    EXPECT_EQ(secondsToTimeText(86399), "23:59:59");
    EXPECT_EQ(secondsToTimeText(100000), "27:46:40");
}

TEST(TimeText, TextToSecondsReadsFromTheRight)
{
    auto parse = [](QString t) { return timeTextToSeconds(t); };
    EXPECT_EQ(parse(""), 0);
    EXPECT_EQ(parse("5"), 5);
    EXPECT_EQ(parse("45"), 45);
    EXPECT_EQ(parse("2:05"), 125);
    EXPECT_EQ(parse("02:05"), 125);
    EXPECT_EQ(parse("1:02:05"), 3725);
    EXPECT_EQ(parse(" 1:02:05"), 3725);
    EXPECT_EQ(parse("  2:05 "), 125);
    EXPECT_EQ(parse("145"), 45); // the 1 stands where the separator belongs
    EXPECT_EQ(parse("x"), 0);
    EXPECT_EQ(parse("10:00:00"), 36000);
    EXPECT_EQ(parse("1.5:00"), 90); // part values are leading numbers, totals are whole
    EXPECT_THROW(parse("9999999999:00"), Failure);
}

TEST(TimeText, SecondsAcrossMidnight)
{
    EXPECT_EQ(secondsAcrossMidnight(8 * 3600, 8 * 3600 + 3725), 3725);
    EXPECT_EQ(secondsAcrossMidnight(86390, 15), 25);
    EXPECT_EQ(secondsAcrossMidnight(100, 100), 0);
}

TEST(TimeText, RoundTripOverFiveDigitSeconds)
{
    for (int32_t s = 0; s <= 99999; ++s) {
        QString t = secondsToTimeText(s);
        ASSERT_EQ(timeTextToSeconds(t), s) << s;
    }
}
