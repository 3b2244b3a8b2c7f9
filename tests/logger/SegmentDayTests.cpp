// Whole days through the segment cutter on a counting input at a low rate (so that a day runs in
// a moment): the number of segments on a normal day and on both days the clocks change in
// London, their names, and every frame in exactly one file, in order.
#include "LoggerTestSupport.h"
#include "logger/SegmentRecorder.h"
#include "logger/SegmentTimes.h"
#include "tests/support/LondonTime.h"
#include "tests/support/TestEnv.h"
#include <QDir>
#include <QFileInfo>
#include <cmath>

using namespace tamblor::logger;
using namespace logger_test;

namespace {

struct DayRun {
    std::vector<SegmentRecord> closed;
    qint64 given = 0;
};

// Records a counting input (`ratio` times the nominal rate) from `fromMs` to `toMs`, noting it
// every `stepMs`, as the logger's polls do.
DayRun record(const RecorderSettings& settings, qint64 fromMs, qint64 toMs, double ratio = 1.0, qint64 stepMs = 10000)
{
    DayRun run;
    SegmentRecorder r(settings);
    r.closed = [&](SegmentRecord& rec) { run.closed.push_back(rec); };
    r.begin(fromMs);
    std::vector<int16_t> buffer;
    for (qint64 t = fromMs + stepMs; t <= toMs; t += stepMs) {
        const qint64 due = std::llround(double(t - fromMs) * settings.rate * ratio / 1000.0);
        buffer.resize(size_t(due - run.given) * size_t(settings.channels));
        for (qint64 i = run.given; i < due; ++i)
            for (int c = 0; c < settings.channels; ++c)
                buffer[size_t(i - run.given) * size_t(settings.channels) + size_t(c)] = int16_t(i % 32768);
        r.noteInput(due, t);
        r.addFrames(buffer.data(), due - run.given);
        run.given = due;
    }
    r.end();
    return run;
}

// The files joined end to end carry the counting signal with no frame lost or doubled.
void expectCountedEndToEnd(const QStringList& files, qint64 given)
{
    qint64 frame = 0;
    for (const QString& f : files) {
        const FileSamples s = readSamples(f);
        ASSERT_GT(s.frames, 0) << f.toStdString();
        for (qint64 i = 0; i < s.frames; ++i) {
            if (s.samples[size_t(i * s.channels)] != int16_t((frame + i) % 32768)) {
                FAIL() << "frame " << frame + i << " wrong in " << f.toStdString() << " at " << i;
            }
        }
        frame += s.frames;
    }
    EXPECT_EQ(frame, given);
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
    const DayRun run = record(s, localMs(2026, 12, 6, 23, 59, 30), localMs(2026, 12, 8, 0, 0, 30));
    const QStringList names = namesOn("2026-12-07");
    ASSERT_EQ(names.size(), 24);
    for (int h = 0; h < 24; ++h)
        EXPECT_EQ(names[h].toStdString(), "2026-12-07T" + QString("%1").arg(h, 2, 10, QChar('0')).toStdString() + "0000+0000.wav");
    ASSERT_EQ(run.closed.size(), 26u);
    for (size_t i = 1; i + 1 < run.closed.size(); ++i) {
        EXPECT_EQ(run.closed[i].frames, 3600 * s.rate) << i;
        EXPECT_EQ(run.closed[i].plannedFrames, 3600 * s.rate) << i;
        EXPECT_EQ(run.closed[i].result, SegmentResult::Ok) << run.closed[i].reason.toStdString();
    }
    EXPECT_EQ(run.closed.front().result, SegmentResult::Short);
    EXPECT_EQ(run.closed.front().frames, 30 * s.rate);
    EXPECT_EQ(run.closed.back().result, SegmentResult::Short);
    expectCountedEndToEnd(segmentFiles(s.folder), run.given);
}

TEST_F(SegmentDay, TheDayTheClocksGoForwardHas23Segments)
{
    const RecorderSettings s = settings();
    const DayRun run = record(s, localMs(2026, 3, 28, 23, 59, 30), localMs(2026, 3, 30, 0, 0, 30));
    const QStringList names = namesOn("2026-03-29");
    ASSERT_EQ(names.size(), 23);
    EXPECT_EQ(names[0].toStdString(), "2026-03-29T000000+0000.wav");
    EXPECT_EQ(names[1].toStdString(), "2026-03-29T020000+0100.wav");
    EXPECT_EQ(names[22].toStdString(), "2026-03-29T230000+0100.wav");
    for (size_t i = 1; i + 1 < run.closed.size(); ++i)
        EXPECT_EQ(run.closed[i].frames, 3600 * s.rate) << i;
    expectCountedEndToEnd(segmentFiles(s.folder), run.given);
}

TEST_F(SegmentDay, TheDayTheClocksGoBackHas25SegmentsAndTheRepeatedHourTwoNames)
{
    const RecorderSettings s = settings();
    const DayRun run = record(s, localMs(2026, 10, 24, 23, 59, 30), localMs(2026, 10, 26, 0, 0, 30));
    const QStringList names = namesOn("2026-10-25");
    ASSERT_EQ(names.size(), 25);
    EXPECT_TRUE(names.contains("2026-10-25T010000+0100.wav"));
    EXPECT_TRUE(names.contains("2026-10-25T010000+0000.wav"));
    for (size_t i = 1; i + 1 < run.closed.size(); ++i)
        EXPECT_EQ(run.closed[i].frames, 3600 * s.rate) << i;
    expectCountedEndToEnd(segmentFiles(s.folder), run.given);
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
