// Whole days through the segment cutter on a counting input at a low rate (so that a day runs in
// a moment): the number of segments on a normal day and on both days the clocks change in
// London, their names, and every frame in exactly one file, in order.
#include "LoggerTestSupport.h"
#include "logger/SegmentTimes.h"
#include "tests/support/LondonTime.h"
#include "tests/support/TestEnv.h"
#include <QDir>
#include <QFileInfo>

using namespace tamblor::logger;
using namespace logger_test;

namespace {

// A whole day and its edges recorded hourly, at 200 Hz, the input noted every 10 s; every frame is
// in exactly one file, in order.
Recorded recordDay(const RecorderSettings& s, qint64 fromMs, qint64 toMs)
{
    const Recorded run = recordCounting(s, fromMs, toMs, 1.0, 10000);
    const Joined j = joinCounting(segmentFiles(s.folder));
    EXPECT_EQ(j.wrong, 0);
    EXPECT_EQ(j.frames, run.given);
    for (size_t i = 1; i + 1 < run.rows.size(); ++i)
        EXPECT_EQ(run.rows[i].frames, 3600 * s.rate) << i;
    return run;
}

class SegmentDay : public TempRootTest {
protected:
    RecorderSettings settings()
    {
        RecorderSettings s;
        s.folder = native("Logger");
        s.rate = 200;
        s.channels = 1;
        s.segmentMinutes = 60;
        return s;
    }
    QStringList namesOn(const QString& day)
    {
        return QDir(native("Logger/" + day)).entryList({"*.wav"}, QDir::Files, QDir::Name);
    }
    LondonTime london;
};

} // namespace

TEST_F(SegmentDay, ANormalDayHas24SegmentsEachAWholeHour)
{
    const RecorderSettings s = settings();
    const Recorded run = recordDay(s, localMs(2026, 12, 6, 23, 59, 30), localMs(2026, 12, 8, 0, 0, 30));
    const QStringList names = namesOn("2026-12-07");
    ASSERT_EQ(names.size(), 24);
    for (int h = 0; h < 24; ++h)
        EXPECT_EQ(names[h].toStdString(), "2026-12-07T" + QString("%1").arg(h, 2, 10, QChar('0')).toStdString() + "0000+0000.wav");
    ASSERT_EQ(run.rows.size(), 26u);
    for (size_t i = 1; i + 1 < run.rows.size(); ++i) {
        EXPECT_EQ(run.rows[i].plannedFrames, 3600 * s.rate) << i;
        EXPECT_EQ(run.rows[i].result, SegmentResult::Ok) << run.rows[i].reason.toStdString();
    }
    EXPECT_EQ(run.rows.front().result, SegmentResult::Short);
    EXPECT_EQ(run.rows.front().frames, 30 * s.rate);
    EXPECT_EQ(run.rows.back().result, SegmentResult::Short);
}

TEST_F(SegmentDay, TheDayTheClocksGoForwardHas23Segments)
{
    const RecorderSettings s = settings();
    recordDay(s, localMs(2026, 3, 28, 23, 59, 30), localMs(2026, 3, 30, 0, 0, 30));
    const QStringList names = namesOn("2026-03-29");
    ASSERT_EQ(names.size(), 23);
    EXPECT_EQ(names[0].toStdString(), "2026-03-29T000000+0000.wav");
    EXPECT_EQ(names[1].toStdString(), "2026-03-29T020000+0100.wav");
    EXPECT_EQ(names[22].toStdString(), "2026-03-29T230000+0100.wav");
}

TEST_F(SegmentDay, TheDayTheClocksGoBackHas25SegmentsAndTheRepeatedHourTwoNames)
{
    const RecorderSettings s = settings();
    recordDay(s, localMs(2026, 10, 24, 23, 59, 30), localMs(2026, 10, 26, 0, 0, 30));
    const QStringList names = namesOn("2026-10-25");
    ASSERT_EQ(names.size(), 25);
    EXPECT_TRUE(names.contains("2026-10-25T010000+0100.wav"));
    EXPECT_TRUE(names.contains("2026-10-25T010000+0000.wav"));
}

TEST_F(SegmentDay, QuarterHourSegmentsAndTheBoundariesAroundAChangeOfTheClocks)
{
    // 15-minute segments: 96 on a normal day; boundaries in UTC across both changes.
    EXPECT_EQ(SegmentTimes::boundaryAfter(localMs(2026, 3, 29, 0, 50), 15), localMs(2026, 3, 29, 2, 0));
    EXPECT_EQ(SegmentTimes::boundaryAfter(localMs(2026, 3, 29, 0, 45), 15), localMs(2026, 3, 29, 2, 0));
    const qint64 firstOne = localMs(2026, 10, 25, 0, 30) + 3600000; // 01:30 BST
    EXPECT_EQ(SegmentTimes::boundaryAfter(firstOne, 60), firstOne + 1800000); // 01:00 GMT
    EXPECT_EQ(SegmentTimes::stamp(firstOne + 1800000).toStdString(), "2026-10-25T010000+0000");
    EXPECT_EQ(SegmentTimes::boundaryAtOrBefore(localMs(2026, 12, 7, 17, 7, 3), 15), localMs(2026, 12, 7, 17, 0));
    EXPECT_EQ(SegmentTimes::boundaryAtOrBefore(localMs(2026, 12, 7, 17, 15), 15), localMs(2026, 12, 7, 17, 15));
    EXPECT_EQ(SegmentTimes::framesSinceMidnight(localMs(2026, 7, 1, 1, 0), 48000), 3600LL * 48000);
    EXPECT_EQ(SegmentTimes::offsetText(-12600).toStdString(), "-0330");
}

TEST_F(SegmentDay, ALocalTimeNamesOneInstantTwoInTheRepeatedHourAndNoneInTheSkippedOne)
{
    const qint64 h = 3600000;
    const qint64 autumnUtc = QDateTime(QDate(2026, 10, 25), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    using V = std::vector<qint64>;
    EXPECT_EQ(SegmentTimes::instantsOf(QDate(2026, 10, 25), QTime(0, 59, 59)), V{autumnUtc - 1000});
    EXPECT_EQ(SegmentTimes::instantsOf(QDate(2026, 10, 25), QTime(1, 0)), (V{autumnUtc, autumnUtc + h}));
    EXPECT_EQ(SegmentTimes::instantsOf(QDate(2026, 10, 25), QTime(1, 59, 59, 999)),
              (V{autumnUtc + h - 1, autumnUtc + 2 * h - 1}));
    EXPECT_EQ(SegmentTimes::instantsOf(QDate(2026, 10, 25), QTime(2, 0)), V{autumnUtc + 2 * h});
    EXPECT_EQ(SegmentTimes::instantsOf(QDate(2026, 3, 29), QTime(1, 30)), V{});
    EXPECT_EQ(SegmentTimes::instantsOf(QDate(2026, 3, 29), QTime(2, 0)), V{localMs(2026, 3, 29, 2, 0)});
    EXPECT_EQ(SegmentTimes::instantsOf(QDate(2026, 12, 7), QTime(17, 0)), V{localMs(2026, 12, 7, 17, 0)});
    EXPECT_EQ(SegmentTimes::instantsOf(QDate(), QTime(17, 0)), V{});
}
