// The frame of an input due at an instant, from what it delivered against the steady clock.
#include "audio/devices/DeliveryClock.h"
#include <gtest/gtest.h>

using namespace tamblor::audio;

namespace {

constexpr int Rate = 44100;

TEST(DeliveryClock, NothingIsDueBeforeTheStreamFirstDelivers)
{
    DeliveryClock clock;
    clock.restart(Rate, 5000); // an earlier stream delivered 5000 frames
    clock.look(5000, 100);
    clock.look(5000, 1100); // a second on, still nothing from this stream
    EXPECT_FALSE(clock.running());
    EXPECT_EQ(clock.dueAt(2000), 5000u);

    clock.look(6024, 1300); // the first buffer: 1024 frames
    ASSERT_TRUE(clock.running());
    EXPECT_EQ(clock.lastLookMs(), 1300);
    EXPECT_EQ(clock.dueAt(1300), 6024u);
    EXPECT_EQ(clock.dueAt(1400), 6024u + 4410u); // carried on at the rate
}

TEST(DeliveryClock, TheLeastLateLookCountsAndAStallDoesNotPullItBack)
{
    DeliveryClock clock;
    clock.restart(Rate, 0);
    // Buffers of 1024 frames, looked at every 50 ms: the looks lag by up to a buffer.
    for (qint64 ms = 50; ms <= 2000; ms += 50)
        clock.look(quint64(ms * Rate / 1000 / 1024 * 1024), ms);
    // The least late look is the one at 1650 ms (72765 frames due, 72704 delivered: 61 short),
    // carried on to 2000 ms: 88200 - 61.
    const quint64 due = clock.dueAt(2000);
    EXPECT_EQ(due, 88139u);
    EXPECT_EQ(clock.dueAt(3000) - due, quint64(Rate)); // at the rate

    // The stream stalls for 0.7 s: the looks stand still, the due frame goes on.
    const quint64 held = quint64(2000 * Rate / 1000 / 1024 * 1024);
    for (qint64 ms = 2050; ms <= 2700; ms += 50)
        clock.look(held, ms);
    EXPECT_EQ(clock.lastLookMs(), 2700);
    EXPECT_EQ(clock.dueAt(2700), due + quint64(700 * Rate / 1000));
    // The backlog arrives at once: never less than what was delivered.
    clock.look(held + 40000, 2750);
    EXPECT_EQ(clock.dueAt(2750), held + 40000);
}

TEST(DeliveryClock, LooksOlderThanTheWindowNoLongerCount)
{
    // A card a little slow: after one early look well ahead, every look is 441 frames (10 ms)
    // behind it. Once that look is older than the window, the later ones count.
    DeliveryClock clock;
    clock.restart(Rate, 0);
    clock.look(44100, 1000);
    for (qint64 ms = 1100; ms <= 1000 + DeliveryClock::WindowMs; ms += 100)
        clock.look(quint64(ms * Rate / 1000 - 441), ms);
    EXPECT_EQ(clock.dueAt(20000), quint64(20000 * Rate / 1000));
    clock.look(quint64(11100 * Rate / 1000 - 441), 11100);
    EXPECT_EQ(clock.dueAt(20000), quint64(20000 * Rate / 1000 - 441));

    // A restart forgets the stream before.
    clock.restart(Rate, 0);
    EXPECT_FALSE(clock.running());
    EXPECT_EQ(clock.dueAt(20000), 0u);
}

} // namespace
