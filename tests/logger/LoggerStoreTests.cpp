// What the logger keeps and what it deletes: the bext chunk read back byte by byte (and a FLAC
// segment's comments), retention that deletes only the logger's own old files and never a held
// span, the disk forecast, the watchdog's datagrams and the clock's synchronisation.
#include "LoggerFixture.h"
#include "LoggerTestSupport.h"
#include "logger/LoggerReader.h"
#include "logger/Retention.h"
#include "logger/SegmentTimes.h"
#include "logger/Watchdog.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sndfile.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace tamblor::logger;
using namespace logger_test;

TEST_F(LoggerTest, EachWaveSegmentCarriesABextChunkWithItsStartTimeReferenceOffsetAndLoudness)
{
    settings("Logger/Format", "wav24");
    backend().setInputSignal(tamblor::audio::sources::tone(1000, 10000));
    startAt(utcMs(17, 59, 50));
    run(70000);
    logger->stop();
    const auto rows = logger->store().segments();
    ASSERT_EQ(rows.size(), 2u);
    const SegmentRecord& r = rows[1];
    const Bext b = readBext(readAllBytes(r.path));
    ASSERT_TRUE(b.found);
    EXPECT_EQ(b.version, 2);
    EXPECT_EQ(b.date.toStdString(), "2026-12-07");
    EXPECT_EQ(b.time.toStdString(), "18:00:00");
    EXPECT_EQ(b.timeReference, 18ULL * 3600 * 44100);
    EXPECT_TRUE(b.description.contains("UTC offset +0000")) << b.description.toStdString();
    EXPECT_EQ(b.originatorReference.toStdString(), "2026-12-07T180000+0000");
    // The loudness of version 2, in hundredths, written at the close.
    EXPECT_NEAR(b.loudnessValue / 100.0, r.figures.integratedLufs, 0.01);
    EXPECT_NEAR(b.maxTruePeak / 100.0, r.figures.truePeakDbtp, 0.01);
    EXPECT_NEAR(b.maxMomentary / 100.0, r.figures.maxMomentaryLufs, 0.01);
    EXPECT_NEAR(b.maxShortTerm / 100.0, r.figures.maxShortTermLufs, 0.01);
    EXPECT_EQ(b.loudnessRange, int16_t(std::lround(r.figures.rangeLu * 100)));
    // 24-bit PCM, every frame in the data chunk.
    EXPECT_EQ(qint64(b.dataBytes), r.frames * 3);
    EXPECT_EQ(readSamples(r.path).frames, r.frames);
}

TEST_F(LoggerTest, TheHeaderOfASegmentBeingWrittenIsNeverMoreThanAFewSecondsBehind)
{
    // What a program killed outright leaves on disk is the file as it stands while it is written.
    startAt(utcMs(9, 0, 0));
    qint64 headerSize = -1;
    for (int s = 0; s < 25; ++s) {
        run(1000);
        const SegmentRecord* open = logger->recorder()->current();
        ASSERT_NE(open, nullptr);
        const QByteArray bytes = readAllBytes(open->path);
        const Bext b = readBext(bytes);
        ASSERT_TRUE(b.found);
        // The sizes agree with each other, so any reader takes the file as it stands, and the
        // header is the same length throughout.
        const qint64 header = qint64(b.riffBytes) + 8 - qint64(b.dataBytes);
        if (headerSize < 0)
            headerSize = header;
        EXPECT_EQ(header, headerSize) << s;
        const qint64 onDisk = bytes.size() - headerSize;
        EXPECT_GE(onDisk, qint64(b.dataBytes)) << s;
        EXPECT_LE(onDisk - qint64(b.dataBytes), 10 * 88200) << s;
        EXPECT_GE(onDisk, qint64(s) * 88200) << s;
    }
    logger->stop();
}

TEST_F(LoggerTest, AFlacSegmentCarriesTheSameFactsAsComments)
{
    settings("Logger/Format", "flac");
    settings("Logger/Channels", 2);
    startAt(utcMs(6, 59, 55));
    run(10000);
    logger->stop();
    const QStringList files = segmentFiles(folder());
    ASSERT_EQ(files.size(), 2);
    EXPECT_TRUE(files[1].endsWith("2026-12-07T070000+0000.flac"));
    SF_INFO info{};
    SNDFILE* f = sf_open(QFile::encodeName(files[1]).constData(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_FLAC);
    EXPECT_EQ(info.channels, 2);
    const QString comment = QString::fromUtf8(sf_get_string(f, SF_STR_COMMENT));
    const QString date = QString::fromUtf8(sf_get_string(f, SF_STR_DATE));
    sf_close(f);
    EXPECT_TRUE(comment.contains("UTC offset +0000")) << comment.toStdString();
    EXPECT_TRUE(comment.contains(QString("time reference %1 frames").arg(7LL * 3600 * 44100))) << comment.toStdString();
    EXPECT_TRUE(date.startsWith("2026-12-07T07:00:00")) << date.toStdString();
    // The counting signal runs on across the two files.
    const FileSamples a = readSamples(files[0]), b = readSamples(files[1]);
    ASSERT_GT(a.frames, 0);
    ASSERT_GT(b.frames, 0);
    EXPECT_EQ(b.samples[0], int16_t(a.frames % 32768));
    EXPECT_EQ(a.frames + b.frames, given_);
}

namespace {

// A segment row with its file (of `bytes` bytes) in the logger's folder.
SegmentRecord keptSegment(LoggerStore& store, const QString& folder, qint64 startMs, int bytes = 1000)
{
    SegmentRecord r = closedRow(folder, startMs, 60, 44100);
    QDir().mkpath(QFileInfo(r.path).absolutePath());
    writeAllBytes(r.path, QByteArray(bytes, 'x'));
    store.insert(r, 0);
    return r;
}

} // namespace

TEST_F(LoggerTest, RetentionDeletesOnlyTheLoggersOwnOldSegmentsAndNeverAHeldSpanAndTheForecastCountsWhatIsKept)
{
    startAt(utcMs(12, 0, 0));
    run(1000);
    logger->stop();
    LoggerStore& store = logger->store();
    const qint64 day = 86400000;
    const qint64 now = nowMs();
    const SegmentRecord old50 = keptSegment(store, folder(), now - 50 * day);
    const SegmentRecord old43 = keptSegment(store, folder(), now - 43 * day);
    const SegmentRecord young = keptSegment(store, folder(), now - 41 * day, 5000000);
    // Straddling the limit: its end is within the period, so it stays.
    const SegmentRecord edge = keptSegment(store, folder(), now - 42 * day - 1800000);
    // A row whose file is not in the logger's folder, and a file of someone else's there.
    SegmentRecord stray = keptSegment(store, native("C/Elsewhere"), now - 60 * day);
    const QString foreign = QDir(folder()).filePath(QFileInfo(old50.path).dir().dirName() + "/notes.txt");
    writeAllBytes(foreign, "keep me");
    const qint64 hold = store.placeHold({0, old43.startMs + 600000, old43.startMs + 1200000, "complaint 17"});

    Retention retention(store, {folder()}, 42);
    RetentionReport r = retention.apply(now);
    EXPECT_EQ(r.deleted, 1);
    EXPECT_EQ(r.held, 1);
    EXPECT_EQ(r.refused, 1);
    EXPECT_FALSE(QFileInfo::exists(old50.path));
    EXPECT_TRUE(QFileInfo::exists(old43.path));
    EXPECT_TRUE(QFileInfo::exists(young.path));
    EXPECT_TRUE(QFileInfo::exists(edge.path));
    EXPECT_TRUE(QFileInfo::exists(stray.path));
    EXPECT_TRUE(QFileInfo::exists(foreign));
    // Lifted, the hold no longer keeps it.
    store.liftHold(hold, now);
    r = retention.apply(now);
    EXPECT_EQ(r.deleted, 1);
    EXPECT_FALSE(QFileInfo::exists(old43.path));
    EXPECT_TRUE(QFileInfo::exists(young.path));
    // Deleted rows stay, marked, for the record.
    EXPECT_EQ(store.keptBefore(now).size(), 4u); // young, edge, stray and today's

    // The forecast counts the kept files with the free space; a rate no disk holds 42 days of
    // raises the alarm.
    const SpaceForecast f = retention.forecast(88200);
    EXPECT_GT(f.freeBytes, 0);
    EXPECT_GE(f.keptBytes, 5000000);
    EXPECT_NEAR(f.bytesPerDay, 88200.0 * 86400, 1);
    EXPECT_NEAR(f.capacityDays, double(f.freeBytes + f.keptBytes) / f.bytesPerDay, 1e-9);
    EXPECT_EQ(f.belowRetention, f.capacityDays < 42);
    EXPECT_TRUE(retention.forecast(1e12).belowRetention);
}

TEST_F(LoggerTest, TheWatchdogIsFedOnlyWhileFramesArrive)
{
    const QString path = QDir(root()).filePath("notify.sock");
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    auto received = [&] {
        QStringList messages;
        char buffer[256];
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
            messages << QString::fromLatin1(buffer, int(n));
        return messages;
    };
    startAt(utcMs(12, 0, 0));
    logger->stop();
    logger.reset();
    received();
    logger = std::make_unique<Logger>(*core, starter);
    logger->setTimed(false);
    logger->setWatchdog(Watchdog(path, 1000000)); // a period of one second
    logger->start();
    elapsedMs_ = 0;
    given_ = 0;
    EXPECT_TRUE(received().contains("READY=1\nSTATUS=Recording"));
    run(3000);
    EXPECT_GE(received().count("WATCHDOG=1"), 5);
    backend().stallInput(true);
    run(3000);
    EXPECT_EQ(received().count("WATCHDOG=1"), 0);
    backend().stallInput(false);
    run(2000);
    EXPECT_GE(received().count("WATCHDOG=1"), 2);
    logger->stop();
    EXPECT_TRUE(received().contains("STOPPING=1"));
    ::close(fd);
}

TEST(ClockSyncTest, TheSystemsAnswerIsTakenAsItIsAndUnknownWhenNoneCanTell)
{
    auto answering = [](std::optional<QString> timedatectl, std::optional<QString> chrony) {
        return ClockSync([=](const QString& program, const QStringList&) {
            return program == "timedatectl" ? timedatectl : chrony;
        });
    };
    EXPECT_EQ(answering(QString("yes\n"), std::nullopt).state().toStdString(), "yes");
    EXPECT_EQ(answering(QString("no\n"), std::nullopt).state().toStdString(), "no");
    EXPECT_EQ(answering(std::nullopt, QString("Reference ID : 1\nLeap status     : Normal\n")).state().toStdString(), "yes");
    EXPECT_EQ(answering(std::nullopt, QString("Leap status     : Not synchronised\n")).state().toStdString(), "no");
    EXPECT_EQ(answering(std::nullopt, std::nullopt).state().toStdString(), "unknown");
}

TEST_F(LoggerTest, TheLoggersDatabaseIsAFileOfItsOwnBesideTheProgramsAndADamagedOneIsSetAside)
{
    QDir().mkpath(native("C/Tamblor"));
    writeAllBytes(native("C/Tamblor/Logger.db"), QByteArray("not a database at all, not even close", 37));
    tamblor::store::ProgramDatabase program(*core);
    startAt(utcMs(12, 0, 0));
    run(1000);
    logger->stop();
    ASSERT_TRUE(program.isOpen());
    ASSERT_TRUE(logger->store().isOpen());
    EXPECT_NE(program.nativePath(), logger->store().database().nativePath());
    EXPECT_EQ(logger->store().database().connection().queryInt("PRAGMA application_id"), LoggerStore::ApplicationId);
    EXPECT_EQ(logger->store().database().connection().queryText("PRAGMA journal_mode").toStdString(), "wal");
    EXPECT_EQ(logger->store().database().connection().queryInt("PRAGMA user_version"), LoggerStore::kind().migrations.size());
    EXPECT_TRUE(QFileInfo::exists(logger->store().database().setAsidePath()));
    EXPECT_TRUE(told.join('\n').contains("The logger's database")) << told.join('\n').toStdString();
    EXPECT_EQ(logger->store().segments().size(), 1u);
}

namespace {

// A Logger.db as the logger's first version made it: its tables from the first step alone,
// written the way the store opens a file (WAL, synchronous), with rows of every kind in it.
class LoggerUpgradeTest : public CoreTest {
protected:
    QString path() const { return native("C/Tamblor/Logger.db"); }
    void makeVersion1()
    {
        QDir().mkpath(native("C/Tamblor"));
        tamblor::store::SqliteConnection c(path());
        ASSERT_EQ(c.queryText("PRAGMA journal_mode = WAL").toStdString(), "wal");
        c.exec("PRAGMA synchronous = FULL");
        c.exec("BEGIN IMMEDIATE");
        c.exec(LoggerStore::kind().migrations.at(0));
        c.exec("PRAGMA user_version = 1");
        c.exec("COMMIT");
        c.exec(QString("PRAGMA application_id = %1").arg(LoggerStore::ApplicationId));
        c.exec("INSERT INTO runs (id, started_ms, ended_ms) VALUES (1, 1000, 7200000), (2, 7300000, NULL)");
        // A closed segment with every figure, one deleted by retention and checked, and the one
        // a run left unclosed.
        c.exec("INSERT INTO segments (id, run_id, path, start_ms, utc_offset_s, boundary_ms, end_ms, sample_rate, "
               "channels, planned_frames, frames, result, reason, losses, integrated_lufs, range_lu, true_peak_dbtp, "
               "max_momentary_lufs, max_short_term_lufs, longest_silence_s, clipped_runs, ppm, ppm_warning, "
               "clock_sync, sha256, deleted_ms, checked_ms, check_problem) VALUES "
               "(1, 1, '/seg/a.wav', 3600000, 3600, 3600000, 7200000, 44100, 2, 158760000, 158759000, 'Gap', "
               "'1000 frames lost', '5:1000', -23.5, 6.25, -1.5, -12.0, -15.0, 3.5, 2, 12.5, 0, 'yes', 'abc123', "
               "NULL, 9000000, NULL), "
               "(2, 1, '/seg/b.flac', 0, 0, 0, 3600000, 48000, 1, 172800000, 172800000, 'OK', '', '', -20.0, 4.0, "
               "-3.0, -10.0, -11.0, 0.0, 0, -250.0, 1, 'no', 'def456', 5000000, 4000000, 'its sha256 differs'), "
               "(3, 2, '/seg/c.wav', 7300000, 3600, 7200000, 10800000, 44100, 1, 154350000, 44100, NULL, '', '', "
               "NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 0, 'unknown', '', NULL, NULL, NULL)");
        c.exec("INSERT INTO gaps (start_ms, end_ms, frames, cause) VALUES (7200000, 7300000, 4410000, 'not running')");
        c.exec("INSERT INTO holds (start_ms, end_ms, note) VALUES (3600000, 4200000, 'complaint 17')");
    }
    qint64 userVersion()
    {
        tamblor::store::SqliteConnection c(path(), tamblor::store::SqliteConnection::Access::ReadOnly);
        return c.queryInt("PRAGMA user_version");
    }
};

} // namespace

TEST_F(LoggerUpgradeTest, TheMainProgramLeavesAVersion1FileAsItIsAndTheLoggerBringsItUpToDateWithItsRows)
{
    makeVersion1();
    ASSERT_FALSE(HasFatalFailure());
    // The main program's reader never migrates: the file stays closed to it, told once, and
    // not a byte of it changes (the write-ahead log included).
    const QByteArray before = readAllBytes(path());
    const QByteArray walBefore = readAllBytes(path() + "-wal");
    auto reader = std::make_unique<LoggerReader>(*core);
    core->startUp();
    for (int look = 0; look < 2; ++look) {
        const LoggerStatus s = reader->status();
        EXPECT_TRUE(s.database);
        EXPECT_FALSE(s.open);
        EXPECT_FALSE(s.lastSegment.has_value());
        EXPECT_TRUE(s.problem.contains("older version")) << s.problem.toStdString();
        EXPECT_TRUE(reader->rows(0, 20000000).segments.empty());
    }
    ASSERT_EQ(told.size(), 1) << told.join('\n').toStdString();
    EXPECT_EQ(told[0].toStdString(),
              "The logger's database C:\\Tamblor\\Logger.db could not be read (it is of an older version, brought up "
              "to date when its own program next opens it). It was left as it is; the Logger window and page show no "
              "coverage until it can be read.");
    EXPECT_EQ(readAllBytes(path()), before);
    EXPECT_EQ(readAllBytes(path() + "-wal"), walBefore);
    EXPECT_EQ(userVersion(), 1);
    // The export's reading of a span refuses it too, rather than reading it wrongly.
    EXPECT_THROW(LoggerStore::readSpan(path(), 0, 20000000), tamblor::Failure);

    // The logger's own opening brings it to the current version, nothing set aside or told.
    told.clear();
    LoggerStore store(*core);
    store.database().open();
    ASSERT_TRUE(store.isOpen()) << store.database().report().toStdString();
    EXPECT_TRUE(store.database().setAsidePath().isEmpty());
    EXPECT_TRUE(told.isEmpty()) << told.join('\n').toStdString();
    EXPECT_EQ(store.database().connection().queryInt("PRAGMA user_version"), LoggerStore::kind().migrations.size());

    const std::vector<SegmentRecord> rows = store.segments(); // by start: b, a, c
    ASSERT_EQ(rows.size(), 3u);
    const SegmentRecord& a = rows[1];
    EXPECT_EQ(a.id, 1);
    EXPECT_EQ(a.path.toStdString(), "/seg/a.wav");
    EXPECT_EQ(a.startMs, 3600000);
    EXPECT_EQ(a.utcOffsetSeconds, 3600);
    EXPECT_EQ(a.boundaryMs, 3600000);
    EXPECT_EQ(a.endMs, 7200000);
    EXPECT_EQ(a.sampleRate, 44100);
    EXPECT_EQ(a.channels, 2);
    EXPECT_EQ(a.plannedFrames, 158760000);
    EXPECT_EQ(a.frames, 158759000);
    EXPECT_TRUE(a.closed);
    EXPECT_EQ(a.result, SegmentResult::Gap);
    EXPECT_EQ(a.reason.toStdString(), "1000 frames lost");
    EXPECT_EQ(a.losses, (std::vector<Loss>{{5, 1000}}));
    EXPECT_DOUBLE_EQ(a.figures.integratedLufs, -23.5);
    EXPECT_DOUBLE_EQ(a.figures.rangeLu, 6.25);
    EXPECT_DOUBLE_EQ(a.figures.truePeakDbtp, -1.5);
    EXPECT_DOUBLE_EQ(a.figures.maxMomentaryLufs, -12.0);
    EXPECT_DOUBLE_EQ(a.figures.maxShortTermLufs, -15.0);
    EXPECT_DOUBLE_EQ(a.figures.longestSilenceSeconds, 3.5);
    EXPECT_EQ(a.figures.clippedRuns, 2);
    EXPECT_DOUBLE_EQ(a.ppm, 12.5);
    EXPECT_EQ(a.clockSync.toStdString(), "yes");
    EXPECT_EQ(a.sha256.toStdString(), "abc123");
    EXPECT_FALSE(a.deletedMs.has_value());
    EXPECT_EQ(store.checkProblem(1), QString());
    // The columns that came with the second folder hold their defaults: the copy whole, and no
    // second copy.
    auto defaults = store.database().connection().prepare(
        "SELECT count(*) FROM segments WHERE problem = '' AND second_path IS NULL AND second_frames = 0 "
        "AND second_sha256 = '' AND second_problem = ''");
    ASSERT_TRUE(defaults.step());
    EXPECT_EQ(defaults.int64At(0), 3);

    const SegmentRecord& b = rows[0];
    EXPECT_EQ(b.result, SegmentResult::Ok);
    EXPECT_EQ(b.deletedMs, 5000000);
    EXPECT_DOUBLE_EQ(b.ppm, -250.0);
    EXPECT_EQ(store.checkProblem(2), QString("its sha256 differs"));
    const SegmentRecord& c = rows[2];
    EXPECT_FALSE(c.closed);
    EXPECT_FALSE(c.result.has_value());
    EXPECT_EQ(c.figures.integratedLufs, -HUGE_VAL);
    ASSERT_EQ(store.unclosed().size(), 1u);
    EXPECT_EQ(store.unclosed()[0].id, 3);

    const auto run = store.runBefore(0);
    ASSERT_TRUE(run.has_value());
    EXPECT_EQ(run->id, 2);
    EXPECT_FALSE(run->endedMs.has_value());
    EXPECT_EQ(store.runBefore(2)->endedMs, 7200000);
    ASSERT_EQ(store.gaps().size(), 1u);
    EXPECT_EQ(store.gaps()[0].cause.toStdString(), "not running");
    EXPECT_EQ(store.gaps()[0].frames, 4410000);
    ASSERT_EQ(store.holds().size(), 1u);
    EXPECT_EQ(store.holds()[0].note.toStdString(), "complaint 17");

    // And the main program reads it at its next look, with nothing more told.
    const LoggerStatus s = reader->status();
    ASSERT_TRUE(s.open) << s.problem.toStdString();
    ASSERT_TRUE(s.lastSegment.has_value());
    EXPECT_EQ(s.lastSegment->id, 3);
    EXPECT_EQ(reader->rows(0, 20000000).segments.size(), 3u);
    EXPECT_EQ(LoggerStore::readSpan(path(), 0, 20000000).segments.size(), 2u);
    EXPECT_TRUE(told.isEmpty()) << told.join('\n').toStdString();
}
