// The debounce of one input: a change counts once it has lasted the debounce time, a shorter
// pulse is ignored with its length, a bouncing closure held across the debounce counts once.
#include "remote/Debouncer.h"
#include <gtest/gtest.h>

using namespace tamblor::remote;
using Kind = Debouncer::Outcome::Kind;

namespace {
constexpr int64_t ms = 1000;
}

TEST(DebounceTest, AChangeCountsOnceItHasLastedTheDebounceWithTheTimeItBegan)
{
    Debouncer d(20);
    std::vector<Debouncer::Outcome> out;
    d.feed(100 * ms, true, out);
    d.advance(119 * ms, out);
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(d.closed());
    EXPECT_TRUE(d.rawClosed());
    d.advance(120 * ms, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].kind, Kind::Changed);
    EXPECT_TRUE(out[0].closed);
    EXPECT_EQ(out[0].atUs, 100 * ms);
    EXPECT_TRUE(d.closed());
    d.advance(500 * ms, out);
    EXPECT_EQ(out.size(), 1u); // held on: counted once
}

TEST(DebounceTest, APulseShorterThanTheDebounceIsIgnoredWithItsLength)
{
    Debouncer d(20);
    std::vector<Debouncer::Outcome> out;
    d.feed(100 * ms, true, out);
    d.feed(108 * ms, false, out);
    d.advance(200 * ms, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].kind, Kind::Ignored);
    EXPECT_EQ(out[0].lengthUs, 8 * ms);
    EXPECT_TRUE(out[0].closed);
    EXPECT_FALSE(d.closed());
}

TEST(DebounceTest, ABouncingClosureHeldAcrossTheDebounceCountsOnce)
{
    Debouncer d(20);
    std::vector<Debouncer::Outcome> out;
    // The contact bounces for 3 ms, then stays closed.
    d.feed(100 * ms, true, out);
    d.feed(101 * ms, false, out);
    d.feed(102 * ms, true, out);
    d.feed(102500, false, out);
    d.feed(103 * ms, true, out);
    d.advance(150 * ms, out);
    int changes = 0;
    for (const auto& o : out)
        if (o.kind == Kind::Changed) {
            ++changes;
            EXPECT_EQ(o.atUs, 103 * ms);
        }
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(d.closed());
}

TEST(DebounceTest, AChangeAcceptedAtTheNextEdgeWhenNoPollCameBetween)
{
    Debouncer d(20);
    std::vector<Debouncer::Outcome> out;
    d.feed(100 * ms, true, out);
    d.feed(300 * ms, false, out); // the closure lasted 200 ms: it counted before this open began
    d.advance(330 * ms, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].kind, Kind::Changed);
    EXPECT_TRUE(out[0].closed);
    EXPECT_EQ(out[1].kind, Kind::Changed);
    EXPECT_FALSE(out[1].closed);
    EXPECT_EQ(out[1].atUs, 300 * ms);
}

TEST(DebounceTest, WithoutADebounceEveryChangeCountsAtOnce)
{
    Debouncer d(0);
    std::vector<Debouncer::Outcome> out;
    d.feed(100 * ms, true, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(out[0].closed);
}

TEST(DebounceTest, APulseSeenByItsCountOnlyIsIgnored)
{
    Debouncer d(20);
    std::vector<Debouncer::Outcome> out;
    d.feedPulse(100 * ms, false, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].kind, Kind::Ignored);
    EXPECT_EQ(out[0].lengthUs, 0);
    EXPECT_FALSE(d.closed());
}
