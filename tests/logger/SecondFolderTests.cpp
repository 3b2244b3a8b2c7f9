// The second folder: every frame written to both copies as it comes; a copy whose disk fills up,
// turns read-only or cannot be written at all ends there with the alarm naming its folder, and the
// other keeps every frame. Retention deletes both copies, the forecast stands on the tighter disk
// and the daily check reads both.
#include "LoggerFixture.h"
#include "LoggerTestSupport.h"
#include "logger/Retention.h"
#include "tests/support/TestEnv.h"
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <fcntl.h>
#include <unistd.h>

using namespace tamblor::logger;
using namespace logger_test;

namespace {

// The descriptor this process has the file at `path` open on; -1 when none.
int descriptorOf(const QString& path)
{
    const QString wanted = QFileInfo(path).canonicalFilePath();
    QDirIterator it("/proc/self/fd", QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QString link = it.next();
        if (QFileInfo(link).symLinkTarget() == wanted)
            return QFileInfo(link).fileName().toInt();
    }
    return -1;
}

// What a failing disk does to a file being written, done to the descriptor the logger holds.
enum class Failing { Full, ReadOnly };
bool makeFail(const QString& path, Failing how)
{
    const int fd = descriptorOf(path);
    // A full disk answers every write with ENOSPC (as /dev/full does); a disk remounted
    // read-only, with EBADF for a descriptor that may no longer write.
    const int other = how == Failing::Full ? ::open("/dev/full", O_WRONLY) : ::open("/dev/null", O_RDONLY);
    if (fd < 0 || other < 0)
        return false;
    const bool done = ::dup2(other, fd) == fd;
    ::close(other);
    return done;
}

class SecondFolderTest : public LoggerTest {
protected:
    void SetUp() override
    {
        LoggerTest::SetUp();
        settings("Logger/SecondFolder", second());
    }
    QString second() const { return native("D/LoggerCopy"); }
    QString told() const { return LoggerTest::told.join('\n'); }
};

// The same with each way a disk fails.
class FailingDiskTest : public SecondFolderTest, public ::testing::WithParamInterface<Failing> {};

std::string failingName(const ::testing::TestParamInfo<Failing>& info)
{
    return info.param == Failing::Full ? "Full" : "ReadOnly";
}

} // namespace

TEST_F(SecondFolderTest, EveryFrameGoesToBothFoldersAndTheRowNamesBothCopies)
{
    startAt(utcMs(10, 0, 30));
    run(90000);
    logger->stop();
    const QStringList first = segmentFiles(folder());
    const QStringList copies = segmentFiles(second());
    ASSERT_EQ(first.size(), 2);
    ASSERT_EQ(copies.size(), 2);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(QFileInfo(first[i]).fileName(), QFileInfo(copies[i]).fileName());
    EXPECT_EQ(joinCounting(first).wrong, 0);
    EXPECT_EQ(joinCounting(first).frames, given_);
    EXPECT_EQ(joinCounting(copies).wrong, 0);
    EXPECT_EQ(joinCounting(copies).frames, given_);
    const auto rows = logger->store().segments();
    ASSERT_EQ(rows.size(), 2u);
    for (const SegmentRecord& r : rows) {
        EXPECT_EQ(r.second.path, copies[&r - rows.data()]);
        EXPECT_EQ(r.second.frames, r.frames);
        EXPECT_EQ(r.second.sha256, fileSha256(r.second.path));
        EXPECT_TRUE(r.problem.isEmpty());
        EXPECT_TRUE(r.second.problem.isEmpty());
        EXPECT_EQ(r.wholePath(), r.path);
    }
    // Without a second folder a row has one copy.
    settings("Logger/SecondFolder", QString());
    startAt(utcMs(10, 5, 0));
    run(2000);
    logger->stop();
    EXPECT_FALSE(logger->store().segments().back().second.exists());
}

TEST_P(FailingDiskTest, TheSecondDiskFailingMidSegmentRaisesTheAlarmAndTheFirstKeepsEveryFrame)
{
    startAt(utcMs(10, 0, 30));
    run(10000);
    ASSERT_TRUE(makeFail(logger->recorder()->current()->second.path, GetParam()));
    run(50000);
    ASSERT_TRUE(core->notices().isRaised("logger-copy-" + second()));
    EXPECT_TRUE(told().contains("copy in " + second() + " failed")) << told().toStdString();
    // The next segment is tried in the second folder again (its disk is back) and is whole.
    run(20000);
    logger->stop();
    const auto rows = logger->store().segments();
    ASSERT_EQ(rows.size(), 2u);
    const SegmentRecord& hit = rows[0];
    EXPECT_EQ(hit.result, SegmentResult::Short) << hit.reason.toStdString(); // begun at :30, never DiskFull
    EXPECT_TRUE(hit.problem.isEmpty());
    EXPECT_TRUE(hit.second.problem.startsWith("writing failed")) << hit.second.problem.toStdString();
    EXPECT_TRUE(hit.reason.contains("copy in " + second())) << hit.reason.toStdString();
    EXPECT_EQ(hit.frames, 30 * 44100);
    const FileSamples kept = readSamples(hit.second.path);
    EXPECT_GE(kept.frames, 9 * 44100);
    EXPECT_LT(kept.frames, 11 * 44100);
    EXPECT_EQ(hit.second.frames, kept.frames);
    EXPECT_EQ(joinCounting({hit.second.path}).wrong, 0);
    EXPECT_EQ(hit.second.sha256, fileSha256(hit.second.path));
    const SegmentRecord& next = rows[1];
    EXPECT_TRUE(next.second.problem.isEmpty());
    EXPECT_EQ(next.second.frames, next.frames);
    EXPECT_FALSE(core->notices().isRaised("logger-copy-" + second()));
    // The first folder holds every frame end to end, and no span is without a file.
    const Joined j = joinCounting(segmentFiles(folder()));
    EXPECT_EQ(j.wrong, 0);
    EXPECT_EQ(j.frames, given_);
    EXPECT_TRUE(logger->store().gaps().empty());
}

TEST_P(FailingDiskTest, TheFirstDiskFailingMidSegmentLeavesTheSecondWithEveryFrame)
{
    startAt(utcMs(10, 0, 30));
    run(10000);
    ASSERT_TRUE(makeFail(logger->recorder()->current()->path, GetParam()));
    run(60000);
    logger->stop();
    EXPECT_TRUE(told().contains("copy in " + folder() + " failed")) << told().toStdString();
    const auto rows = logger->store().segments();
    ASSERT_EQ(rows.size(), 2u);
    const SegmentRecord& hit = rows[0];
    EXPECT_EQ(hit.result, SegmentResult::Short) << hit.reason.toStdString();
    EXPECT_TRUE(hit.problem.startsWith("writing failed")) << hit.problem.toStdString();
    EXPECT_LT(hit.frames, 11 * 44100);
    EXPECT_EQ(hit.second.frames, 30 * 44100);
    EXPECT_EQ(hit.wholePath(), hit.second.path);
    EXPECT_TRUE(logger->store().gaps().empty());
    const Joined j = joinCounting(segmentFiles(second()));
    EXPECT_EQ(j.wrong, 0);
    EXPECT_EQ(j.frames, given_);
}

INSTANTIATE_TEST_SUITE_P(Disks, FailingDiskTest, ::testing::Values(Failing::Full, Failing::ReadOnly), failingName);

TEST_F(SecondFolderTest, ASecondFolderThatCannotBeMadeIsAnAlarmAndTheFirstRecords)
{
    // A file where the folder should be: no segment can be made below it.
    QDir().mkpath(QFileInfo(second()).absolutePath());
    writeAllBytes(second(), "not a folder");
    startAt(utcMs(10, 0, 30));
    run(40000);
    logger->stop();
    EXPECT_TRUE(told().contains("copy in " + second() + " failed")) << told().toStdString();
    const auto rows = logger->store().segments();
    ASSERT_EQ(rows.size(), 2u);
    for (const SegmentRecord& r : rows) {
        EXPECT_TRUE(r.second.problem.contains("could not be made")) << r.second.problem.toStdString();
        EXPECT_EQ(r.second.frames, 0);
        EXPECT_TRUE(r.problem.isEmpty());
    }
    EXPECT_EQ(joinCounting(segmentFiles(folder())).frames, given_);
    EXPECT_TRUE(logger->store().gaps().empty());
}

TEST_F(SecondFolderTest, RetentionDeletesBothCopiesAndTheCheckReadsBoth)
{
    startAt(utcMs(10, 0, 30));
    run(60000);
    logger->stop();
    auto rows = logger->store().segments();
    ASSERT_EQ(rows.size(), 2u);
    // The daily check: a changed copy in the second folder is found, named by its path.
    QFile f(rows[0].second.path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.seek(f.size() - 2);
    f.write("\x55\x55", 2);
    f.close();
    QSignalSpy done(logger.get(), &Logger::checkFinished);
    ASSERT_TRUE(logger->checkFiles());
    ASSERT_TRUE(done.wait(10000));
    EXPECT_EQ(done.at(0).at(0).toInt(), 4); // two segments, two copies each
    EXPECT_EQ(done.at(0).at(1).toInt(), 1);
    const auto problem = logger->store().checkProblem(rows[0].id);
    ASSERT_TRUE(problem.has_value());
    EXPECT_TRUE(problem->contains(rows[0].second.path)) << problem->toStdString();
    EXPECT_EQ(logger->store().checkProblem(rows[1].id)->toStdString(), "");

    // Forty-three days on, both copies of both go.
    Retention retention(logger->store(), {folder(), second()}, 42);
    const RetentionReport r = retention.apply(nowMs() + 43LL * 86400000);
    EXPECT_EQ(r.deleted, 2) << r.failures.join("; ").toStdString();
    for (const SegmentRecord& s : rows)
        for (const QString& path : s.paths())
            EXPECT_FALSE(QFileInfo::exists(path)) << path.toStdString();
}

TEST_F(SecondFolderTest, TheForecastStandsOnTheTighterDisk)
{
    startAt(utcMs(10, 0, 30));
    run(60000);
    logger->stop();
    // Both folders are on one disk here; the second holds less of the logger's own (a copy lost),
    // so it holds fewer days.
    const auto rows = logger->store().segments();
    QFile::remove(rows[0].second.path);
    Retention retention(logger->store(), {folder(), second()}, 42);
    const SpaceForecast a = retention.forecastOf(0, 88200);
    const SpaceForecast b = retention.forecastOf(1, 88200);
    EXPECT_LT(b.keptBytes, a.keptBytes);
    const SpaceForecast tight = retention.forecast(88200);
    EXPECT_EQ(tight.folder, QDir::cleanPath(QFileInfo(second()).absoluteFilePath()));
    EXPECT_LE(tight.capacityDays, a.capacityDays);
}
