// The logger seen from the main program: Logger.db read-only (never made, written or set aside;
// a damaged or locked one told once), the logger's lock looked at, and the coverage of each
// hour judged from rows the logger's store wrote, across both changes of London's clocks.
#include "core/SingleInstance.h"
#include "logger/Logger.h"
#include "logger/LoggerCoverage.h"
#include "logger/LoggerReader.h"
#include "logger/SegmentTimes.h"
#include "LoggerTestSupport.h"
#include "store/SqliteConnection.h"
#include "tests/support/CoreFixture.h"
#include "tests/support/LondonTime.h"
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <set>

using namespace tamblor::logger;
using logger_test::localMs;

namespace {

constexpr qint64 Minute = 60000;
constexpr int Rate = 8000;

class LoggerCoverageTest : public CoreTest {
protected:
    // The logger's own store, read-write, as the logger has it (made first: it creates the file).
    void startWriter()
    {
        writer = std::make_unique<LoggerStore>(*core);
        reader = std::make_unique<LoggerReader>(*core);
        core->startUp();
        ASSERT_TRUE(writer->isOpen());
    }
    // A closed segment of `minutes` from `startMs`, stored by the logger's store.
    SegmentRecord segment(qint64 startMs, int minutes, SegmentResult result, const QString& reason = {},
                          qint64 frames = -1)
    {
        SegmentRecord r = logger_test::closedRow(native("C/Tamblor/Logger"), startMs, minutes, Rate);
        r.frames = frames < 0 ? r.plannedFrames : frames;
        r.result = result;
        r.reason = reason;
        writer->insert(r, 0);
        return r;
    }
    const CoverageCell& cellAt(const CoverageDay& day, int hour, int nth = 0)
    {
        for (const CoverageCell& c : day.cells)
            if (c.hour == hour && nth-- == 0)
                return c;
        static CoverageCell none;
        ADD_FAILURE() << "no cell at " << hour;
        return none;
    }

    LondonTime london;
    std::unique_ptr<LoggerStore> writer;
    std::unique_ptr<LoggerReader> reader;
};

} // namespace

TEST_F(LoggerCoverageTest, TheMainProgramReadsTheLoggersRowsButCannotWriteThem)
{
    startWriter();
    segment(localMs(2026, 12, 7, 16, 0), 60, SegmentResult::Ok);
    const SegmentRecord last = segment(localMs(2026, 12, 7, 17, 0), 60, SegmentResult::Silent, "dead air for 40 min");
    const LoggerStatus s = reader->status();
    EXPECT_TRUE(s.database);
    ASSERT_TRUE(s.open);
    EXPECT_TRUE(reader->store().database().isReadOnly());
    ASSERT_TRUE(s.lastSegment.has_value());
    EXPECT_EQ(s.lastSegment->startMs, last.startMs);
    EXPECT_EQ(s.lastSegment->result, SegmentResult::Silent);
    EXPECT_EQ(s.retentionDays, 42);
    EXPECT_GT(s.forecast.bytesPerDay, 0);
    // Every write through the main program's connection is refused by SQLite itself.
    EXPECT_THROW(reader->store().beginRun(1), tamblor::Failure);
    EXPECT_THROW(reader->store().markDeleted(last.id, 1), tamblor::Failure);
    EXPECT_EQ(writer->segments().size(), 2u);
    EXPECT_FALSE(writer->segments()[1].deletedMs.has_value());
    // Rows the logger writes later are seen at the next look.
    segment(localMs(2026, 12, 7, 18, 0), 60, SegmentResult::Ok);
    EXPECT_EQ(reader->rows(0, localMs(2026, 12, 8, 0, 0)).segments.size(), 3u);
}

TEST_F(LoggerCoverageTest, ADamagedLoggerDatabaseIsToldOnceAndLeftWhereItIs)
{
    const QByteArray garbage(8192, 'x');
    QDir().mkpath(native("C/Tamblor"));
    writeAllBytes(native("C/Tamblor/Logger.db"), garbage);
    reader = std::make_unique<LoggerReader>(*core);
    core->startUp();
    for (int look = 0; look < 3; ++look) {
        const LoggerStatus s = reader->status();
        EXPECT_TRUE(s.database);
        EXPECT_FALSE(s.open);
        EXPECT_TRUE(s.problem.contains("not a database")) << s.problem.toStdString();
    }
    ASSERT_EQ(told.size(), 1) << told.join('\n').toStdString();
    EXPECT_TRUE(told[0].contains("left as it is")) << told[0].toStdString();
    EXPECT_EQ(readAllBytes(native("C/Tamblor/Logger.db")), garbage);
    EXPECT_EQ(QDir(native("C/Tamblor")).entryList({"Logger.db*"}, QDir::Files), QStringList{"Logger.db"});
}

TEST_F(LoggerCoverageTest, ALockedLoggerDatabaseIsToldOnceAndReadOnceTheLockIsGone)
{
    startWriter();
    segment(localMs(2026, 12, 7, 9, 0), 60, SegmentResult::Ok);
    reader->store().database().close();
    writer.reset();
    told.clear();
    {
        // Another program holds the file exclusively (a rebuild, a copy tool).
        tamblor::store::SqliteConnection holder(native("C/Tamblor/Logger.db"));
        holder.exec("PRAGMA locking_mode = EXCLUSIVE");
        holder.exec("BEGIN EXCLUSIVE");
        holder.exec("INSERT INTO runs (started_ms) VALUES (5)");
        EXPECT_FALSE(reader->status().open);
        EXPECT_FALSE(reader->status().open);
        ASSERT_EQ(told.size(), 1) << told.join('\n').toStdString();
        EXPECT_TRUE(told[0].contains("locked")) << told[0].toStdString();
        holder.exec("ROLLBACK");
    }
    const LoggerStatus s = reader->status();
    ASSERT_TRUE(s.open) << s.problem.toStdString();
    ASSERT_TRUE(s.lastSegment.has_value());
    EXPECT_EQ(told.size(), 1);
}

TEST_F(LoggerCoverageTest, WithoutALoggerNothingIsMadeOrToldAndItCountsAsRunningOnlyWhileItHoldsItsLock)
{
    // A root the logger never ran on: nothing is made, nothing told, nothing running.
    reader = std::make_unique<LoggerReader>(*core);
    core->startUp();
    EXPECT_FALSE(reader->status().database);
    EXPECT_FALSE(reader->status().running);
    EXPECT_TRUE(reader->coverage(QDate(2026, 12, 7), 7).rows().segments.empty());
    {
        tamblor::SingleInstance logger(core->drives().root(), Logger::LockName);
        ASSERT_EQ(logger.claim(), tamblor::SingleInstance::Claim::First);
        const LoggerStatus s = reader->status();
        EXPECT_TRUE(s.running);
        EXPECT_EQ(s.pid, QCoreApplication::applicationPid());
        // Looking does not take the lock: the logger's second start is still turned away.
        tamblor::SingleInstance second(core->drives().root(), Logger::LockName);
        second.setAnswerTimeout(200);
        EXPECT_NE(second.claim(), tamblor::SingleInstance::Claim::First);
    }
    EXPECT_FALSE(reader->status().running);
    // A lock file left by a process that is gone is not a running logger.
    writeAllBytes(QDir(core->drives().root()).filePath("TamblorLogger.lock"), "999999999\nlogger_tests\n\n");
    EXPECT_FALSE(reader->status().running);
    EXPECT_FALSE(QFileInfo::exists(native("C/Tamblor/Logger.db")));
    EXPECT_FALSE(QFileInfo::exists(native("C/Tamblor/Logger")));
    EXPECT_TRUE(told.isEmpty()) << lastTold().toStdString();
}

TEST_F(LoggerCoverageTest, AReaderLeavesOnlySqlitesEmptyLogAndIndexWhichTheLoggersNextRunTakesOver)
{
    const QString db = native("C/Tamblor/Logger.db");
    startWriter();
    segment(localMs(2026, 12, 7, 9, 0), 60, SegmentResult::Ok);
    reader->store().database().close();
    writer.reset(); // the logger stopped: SQLite folds its log into the file and removes it
    ASSERT_FALSE(QFileInfo::exists(db + "-wal"));
    ASSERT_FALSE(QFileInfo::exists(db + "-shm"));
    const QByteArray bytes = readAllBytes(db);

    // The main program looks while the logger does not run. SQLite's read-only connection makes
    // the log's shared index and an empty log beside the file, and cannot remove them at its
    // close (only a connection that may write folds the log in); the file itself is untouched.
    ASSERT_TRUE(reader->status().open);
    EXPECT_EQ(reader->rows(0, localMs(2026, 12, 8, 0, 0)).segments.size(), 1u);
    reader->store().database().close();
    EXPECT_EQ(readAllBytes(db), bytes);
    ASSERT_TRUE(QFileInfo::exists(db + "-wal"));
    EXPECT_EQ(QFileInfo(db + "-wal").size(), 0);
    EXPECT_TRUE(QFileInfo::exists(db + "-shm"));

    // The logger's next run takes them over as its own: nothing set aside or told, its rows
    // written and read by both, and at its close (the last connection) both are gone.
    told.clear();
    writer = std::make_unique<LoggerStore>(*core);
    writer->database().open();
    ASSERT_TRUE(writer->isOpen());
    EXPECT_TRUE(writer->database().setAsidePath().isEmpty());
    segment(localMs(2026, 12, 7, 10, 0), 60, SegmentResult::Ok);
    EXPECT_EQ(reader->rows(0, localMs(2026, 12, 8, 0, 0)).segments.size(), 2u);
    reader->store().database().close();
    writer.reset();
    EXPECT_FALSE(QFileInfo::exists(db + "-wal"));
    EXPECT_FALSE(QFileInfo::exists(db + "-shm"));
    EXPECT_TRUE(told.isEmpty()) << told.join('\n').toStdString();
    tamblor::store::SqliteConnection after(db, tamblor::store::SqliteConnection::Access::ReadOnly);
    EXPECT_EQ(after.queryInt("SELECT count(*) FROM segments"), 2);
    EXPECT_EQ(after.queryText("PRAGMA integrity_check").toStdString(), "ok");
}

TEST_F(LoggerCoverageTest, EachHourShowsTheWorstOfWhatCoversIt)
{
    startWriter();
    const QDate day(2026, 12, 7);
    auto at = [](int h, int m) { return localMs(2026, 12, 7, h, m); };
    segment(at(0, 0), 60, SegmentResult::Ok);
    // Quarter-hour segments: one silent quarter makes the hour Silent.
    segment(at(1, 0), 15, SegmentResult::Ok);
    segment(at(1, 15), 15, SegmentResult::Silent, "dead air for 15 min");
    segment(at(1, 30), 15, SegmentResult::Clipped, "3 runs at full scale");
    segment(at(1, 45), 15, SegmentResult::Ok);
    segment(at(2, 0), 60, SegmentResult::Gap, "2 losses, 0.35 s filled with silence");
    segment(at(3, 0), 60, SegmentResult::DiskFull, "the disk is full", 20 * 60 * Rate);
    writer->addGap({0, at(3, 20), at(4, 10), 0, "the disk was full"});
    segment(at(4, 10), 50, SegmentResult::Short, "begun after its boundary");
    const SegmentRecord deleted = segment(at(5, 0), 60, SegmentResult::Ok);
    writer->markDeleted(deleted.id, at(20, 0));
    // 06:00 has nothing at all; 07:00 begins late with nothing to say why.
    segment(at(7, 30), 30, SegmentResult::Short);
    segment(at(8, 0), 60, SegmentResult::Ok);
    writer->placeHold({0, at(8, 15), at(8, 45), "complaint 17"});

    const LoggerCoverage coverage(reader->rows(LoggerCoverage::span(day, 1).first, LoggerCoverage::span(day, 1).second),
                                  at(9, 30));
    const CoverageDay d = coverage.day(day);
    ASSERT_EQ(d.cells.size(), 24u);
    const std::vector<std::pair<int, CoverageState>> expected{
        {0, CoverageState::Ok},         {1, CoverageState::Silent},      {2, CoverageState::Gap},
        {3, CoverageState::DiskFull},   {4, CoverageState::Unrecorded}, {5, CoverageState::Deleted},
        {6, CoverageState::Missing},    {7, CoverageState::Missing},     {8, CoverageState::Ok},
        {9, CoverageState::Missing},    {10, CoverageState::Future},     {23, CoverageState::Future}};
    for (const auto& [hour, state] : expected)
        EXPECT_EQ(stateKey(cellAt(d, hour).state).toStdString(), stateKey(state).toStdString())
            << hour << "\n" << cellAt(d, hour).reason.toStdString();
    // The hover names the hour, its state, each file and each cause.
    EXPECT_TRUE(cellAt(d, 1).reason.startsWith("Mon 2026-12-07 01:00")) << cellAt(d, 1).reason.toStdString();
    EXPECT_TRUE(cellAt(d, 1).reason.contains("Silent: dead air for 15 min"));
    EXPECT_TRUE(cellAt(d, 1).reason.contains("2026-12-07T011500+0000.wav"));
    EXPECT_TRUE(cellAt(d, 4).reason.contains("03:20:00\u201304:10:00 not recorded: the disk was full"));
    EXPECT_TRUE(cellAt(d, 5).reason.contains("deleted by retention on 2026-12-07 (it was OK)"));
    EXPECT_TRUE(cellAt(d, 6).reason.contains("06:00:00\u201307:00:00 no recording (the logger is not running)"));
    EXPECT_TRUE(cellAt(d, 7).reason.contains("07:00:00\u201307:30:00 no recording"));
    EXPECT_TRUE(cellAt(d, 8).held);
    EXPECT_FALSE(cellAt(d, 9).held);
    EXPECT_TRUE(cellAt(d, 8).reason.contains("On hold 2026-12-07 08:15 \u2013 2026-12-07 08:45: complaint 17"));
    EXPECT_TRUE(cellAt(d, 9).reason.contains("09:00:00\u201309:30:00 no recording"));
    EXPECT_TRUE(cellAt(d, 10).reason.contains("Not yet recorded"));
    // Every state has a colour of its own.
    std::set<QString> colours;
    for (int i = 0; i < CoverageStateCount; ++i)
        colours.insert(stateColour(CoverageState(i)));
    EXPECT_EQ(colours.size(), size_t(CoverageStateCount));
}

TEST_F(LoggerCoverageTest, TheSegmentBeingWrittenShowsAsRecordingWhileTheLoggerRuns)
{
    startWriter();
    const qint64 start = localMs(2026, 12, 7, 14, 0);
    SegmentRecord open = logger_test::closedRow(native("C/Tamblor/Logger"), start, 60, Rate);
    open.closed = false;
    open.result.reset();
    open.frames = 0;
    writer->insert(open, 0);
    CoverageRows rows = reader->rows(start - 1, start + 60 * Minute);
    rows.loggerRunning = true;
    const CoverageCell running = LoggerCoverage(rows, start + 20 * Minute).judge(LoggerCoverage::hoursOf(QDate(2026, 12, 7))[14]);
    EXPECT_EQ(running.state, CoverageState::Recording) << running.reason.toStdString();
    const auto position = LoggerCoverage(rows, start + 20 * Minute).positionAt(start + 10 * Minute);
    ASSERT_TRUE(position.has_value());
    EXPECT_EQ(position->frame, 600 * Rate);
    // The logger gone without closing it: Short until its next start completes the row.
    rows.loggerRunning = false;
    const CoverageCell ended = LoggerCoverage(rows, start + 20 * Minute).judge(LoggerCoverage::hoursOf(QDate(2026, 12, 7))[14]);
    EXPECT_EQ(ended.state, CoverageState::Missing) << ended.reason.toStdString();
    EXPECT_TRUE(ended.reason.contains("ended without closing it")) << ended.reason.toStdString();
}

TEST_F(LoggerCoverageTest, TheDayTheClocksGoForwardHas23HoursAndTheDayTheyGoBack25)
{
    startWriter();
    // 29 March 2026: 01:00 GMT becomes 02:00 BST.
    const auto spring = LoggerCoverage::hoursOf(QDate(2026, 3, 29));
    ASSERT_EQ(spring.size(), 23u);
    EXPECT_EQ(spring[0].label.toStdString(), "00:00 +0000");
    EXPECT_EQ(spring[1].label.toStdString(), "02:00 +0100");
    EXPECT_EQ(spring[1].hour, 2);
    EXPECT_EQ(spring[22].label.toStdString(), "23:00 +0100");
    // 25 October 2026: 02:00 BST becomes 01:00 GMT, so 01:00 comes twice.
    const auto autumn = LoggerCoverage::hoursOf(QDate(2026, 10, 25));
    ASSERT_EQ(autumn.size(), 25u);
    EXPECT_EQ(autumn[1].label.toStdString(), "01:00 +0100");
    EXPECT_EQ(autumn[2].label.toStdString(), "01:00 +0000");
    EXPECT_EQ(autumn[1].hour, 1);
    EXPECT_EQ(autumn[2].hour, 1);
    EXPECT_EQ(autumn[2].startMs - autumn[1].startMs, 3600000);
    EXPECT_EQ(autumn[24].label.toStdString(), "23:00 +0000");

    // The two hours called 01:00 are two segments with two names and two results.
    const qint64 firstOne = autumn[1].startMs, secondOne = autumn[2].startMs;
    segment(autumn[0].startMs, 60, SegmentResult::Ok);
    const SegmentRecord bst = segment(firstOne, 60, SegmentResult::Ok);
    const SegmentRecord gmt = segment(secondOne, 60, SegmentResult::Silent, "dead air for 50 min");
    EXPECT_TRUE(bst.path.endsWith("2026-10-25T010000+0100.wav"));
    EXPECT_TRUE(gmt.path.endsWith("2026-10-25T010000+0000.wav"));
    const auto [from, to] = LoggerCoverage::span(QDate(2026, 10, 25), 1);
    EXPECT_EQ(to - from, 25 * 3600000LL);
    const LoggerCoverage coverage(reader->rows(from, to), autumn[3].startMs);
    const CoverageDay day = coverage.day(QDate(2026, 10, 25));
    EXPECT_EQ(cellAt(day, 1, 0).state, CoverageState::Ok);
    EXPECT_EQ(cellAt(day, 1, 1).state, CoverageState::Silent);
    EXPECT_TRUE(cellAt(day, 1, 1).reason.contains("01:00\u201302:00 +0000")) << cellAt(day, 1, 1).reason.toStdString();
    // A minute of the second 01:00 plays from the second file.
    const auto p = coverage.positionAt(secondOne + 30 * Minute);
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->path, gmt.path);
    EXPECT_EQ(p->frame, 30LL * 60 * Rate);

    // The spring day's rows are found by its 23 hours.
    const auto [springFrom, springTo] = LoggerCoverage::span(QDate(2026, 3, 29), 1);
    EXPECT_EQ(springTo - springFrom, 23 * 3600000LL);
}

TEST_F(LoggerCoverageTest, AClickedMinutePlaysFromTheFrameDueThenOrFromWhatFollows)
{
    startWriter();
    const qint64 nine = localMs(2026, 12, 7, 9, 0);
    const SegmentRecord a = segment(nine, 60, SegmentResult::Ok);
    const SegmentRecord late = segment(nine + 80 * Minute, 40, SegmentResult::Short);
    const SegmentRecord gone = segment(nine + 120 * Minute, 60, SegmentResult::Ok);
    writer->markDeleted(gone.id, nine + 200 * Minute);
    const LoggerCoverage coverage(reader->rows(nine, nine + 180 * Minute), nine + 300 * Minute);

    auto p = coverage.positionAt(nine + 37 * Minute);
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->path, a.path);
    EXPECT_EQ(p->segmentId, a.id);
    EXPECT_EQ(p->frame, 37LL * 60 * Rate);
    // 10:05 was not recorded: the click plays the segment that begins later in that hour.
    p = coverage.positionAt(nine + 65 * Minute, nine + 120 * Minute);
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->path, late.path);
    EXPECT_EQ(p->frame, 0);
    EXPECT_FALSE(coverage.positionAt(nine + 65 * Minute, nine + 70 * Minute).has_value());
    // A deleted file plays nothing.
    EXPECT_FALSE(coverage.positionAt(nine + 150 * Minute, nine + 180 * Minute).has_value());
}
