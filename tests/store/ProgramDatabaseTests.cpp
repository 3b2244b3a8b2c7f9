#include "store/ProgramDatabase.h"
#include "store/ProgramState.h"
#include "store/Schema.h"
#include "store/TakeFiguresStore.h"
#include "tests/support/CoreFixture.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <cmath>
#include <limits>
#include <set>

using namespace tamblor;
using namespace tamblor::store;

class ProgramDatabaseTest : public CoreTest {
protected:
    void SetUp() override
    {
        CoreTest::SetUp();
        core->clock().setFixed(QDateTime(QDate(2026, 12, 7), QTime(8, 7, 51)));
        QDir().mkpath(native("C/Tamblor"));
    }
    QString dbPath() const { return native("C/Tamblor/Tamblor.db"); }
    // The files of the Tamblor folder whose names start with "Tamblor.db".
    QStringList dbFiles() const
    {
        return QDir(native("C/Tamblor")).entryList({"Tamblor.db*"}, QDir::Files, QDir::Name);
    }
    std::set<QString> columns(SqliteConnection& c, const QString& table)
    {
        std::set<QString> names;
        Statement s = c.prepare("SELECT name FROM pragma_table_info(?1)");
        s.bind(1, table);
        while (s.step())
            names.insert(s.textAt(0));
        return names;
    }
    // A database of ours with one value stored, closed again.
    void makeOurs()
    {
        ProgramDatabase db(*core);
        db.open();
        ASSERT_TRUE(db.isOpen());
        ProgramState(db).setValue("kept", "yes");
    }
};

TEST_F(ProgramDatabaseTest, ANewDatabaseIsWriteAheadLoggedWithFullSyncAndTheCurrentTablesAndKeepsWhatIsWritten)
{
    ProgramDatabase db(*core);
    QSignalSpy opened(&db, &ProgramDatabase::opened);
    db.open();
    ASSERT_TRUE(db.isOpen());
    EXPECT_EQ(opened.count(), 1);
    EXPECT_TRUE(db.report().isEmpty());
    EXPECT_EQ(db.nativePath(), dbPath());
    EXPECT_TRUE(QFileInfo::exists(dbPath()));

    auto& c = db.connection();
    EXPECT_EQ(c.queryText("PRAGMA journal_mode"), "wal");
    EXPECT_EQ(c.queryInt("PRAGMA synchronous"), 2); // FULL
    EXPECT_EQ(c.queryInt("PRAGMA foreign_keys"), 1);
    EXPECT_EQ(c.queryInt("PRAGMA user_version"), Schema::currentVersion());
    EXPECT_EQ(c.queryInt("PRAGMA application_id"), Schema::ApplicationId);

    // A run refers to its take's figures and keeps no copy of them.
    const auto runs = columns(c, "runs");
    EXPECT_TRUE(runs.count("figures_id"));
    for (const char* name : {"peak_dbfs", "integrated_lufs", "lra_lu", "true_peak_dbtp", "longest_silence_s"})
        EXPECT_FALSE(runs.count(name)) << name;

    ProgramState(db).setNumber("heartbeat", 1234567890123);
    db.close();
    EXPECT_FALSE(db.isOpen());
    EXPECT_THROW(db.connection(), Failure);

    ProgramDatabase again(*core);
    again.open();
    ASSERT_TRUE(again.isOpen());
    EXPECT_TRUE(again.report().isEmpty());
    EXPECT_EQ(ProgramState(again).number("heartbeat"), 1234567890123);
    EXPECT_EQ(dbFiles(), QStringList({"Tamblor.db", "Tamblor.db-shm", "Tamblor.db-wal"}));
    EXPECT_TRUE(lastTold().isEmpty());
}

TEST_F(ProgramDatabaseTest, AFileThatIsNoDatabaseIsSetAsideWithItsJournalReportedAndANewOneBegun)
{
    const QByteArray junk = QByteArray("These are not the bytes of a database.\n").repeated(40);
    writeAllBytes(dbPath(), junk);
    writeAllBytes(dbPath() + "-wal", "a log of something else");

    ProgramDatabase db(*core);
    db.open();
    ASSERT_TRUE(db.isOpen());
    const QString aside = native("C/Tamblor/Tamblor.db.damaged-20261207-080751");
    EXPECT_EQ(db.setAsidePath(), aside);
    EXPECT_EQ(readAllBytes(aside), junk);
    EXPECT_EQ(readAllBytes(aside + "-wal"), "a log of something else");
    EXPECT_EQ(db.report(),
              "The program's database C:\\Tamblor\\Tamblor.db could not be used (it is not a database). It was set "
              "aside as C:\\Tamblor\\Tamblor.db.damaged-20261207-080751 and a new, empty one begun: the record events "
              "must be entered again. Recording by hand is not affected.");
    EXPECT_EQ(lastTold(), db.report());
    EXPECT_EQ(db.connection().queryInt("SELECT count(*) FROM events"), 0);
    EXPECT_EQ(db.connection().queryText("PRAGMA journal_mode"), "wal");

    // A second damaged file the same second gets a name of its own.
    db.close();
    writeAllBytes(dbPath(), junk);
    QFile::remove(dbPath() + "-wal");
    QFile::remove(dbPath() + "-shm");
    db.open();
    ASSERT_TRUE(db.isOpen());
    EXPECT_EQ(db.setAsidePath(), aside + "-2");
    EXPECT_EQ(readAllBytes(aside + "-2"), junk);
    EXPECT_EQ(readAllBytes(aside), junk);
}

TEST_F(ProgramDatabaseTest, ADatabaseWithDamagedPagesIsSetAsideNotEmptied)
{
    makeOurs();
    QByteArray bytes = readAllBytes(dbPath());
    ASSERT_GE(bytes.size(), 4096);
    // The first page's tree (after the 100-byte file header) holds the list of tables.
    bytes.replace(100, 400, QByteArray(400, '\xa5'));
    writeAllBytes(dbPath(), bytes);

    ProgramDatabase db(*core);
    db.open();
    ASSERT_TRUE(db.isOpen());
    EXPECT_EQ(readAllBytes(native("C/Tamblor/Tamblor.db.damaged-20261207-080751")), bytes);
    EXPECT_TRUE(db.report().startsWith("The program's database C:\\Tamblor\\Tamblor.db could not be used ("));
    EXPECT_FALSE(ProgramState(db).value("kept"));
}

TEST_F(ProgramDatabaseTest, AnotherProgramsDatabaseIsSetAsideAsForeignAndANewerOneOfOursIsLeftAlone)
{
    {
        SqliteConnection other(dbPath());
        other.exec("CREATE TABLE songs (title TEXT); INSERT INTO songs VALUES ('one')");
    }
    const QByteArray theirs = readAllBytes(dbPath());
    ProgramDatabase db(*core);
    db.open();
    ASSERT_TRUE(db.isOpen());
    EXPECT_EQ(readAllBytes(native("C/Tamblor/Tamblor.db.foreign-20261207-080751")), theirs);
    EXPECT_TRUE(db.report().contains("(it is a database of another program)"));
    EXPECT_EQ(db.connection().queryInt("SELECT count(*) FROM sqlite_master WHERE name = 'songs'"), 0);
    db.connection().exec(QString("PRAGMA user_version = %1").arg(Schema::currentVersion() + 1));
    db.close();

    const QStringList before = dbFiles();
    const QByteArray newer = readAllBytes(dbPath());
    db.open();
    EXPECT_FALSE(db.isOpen());
    EXPECT_EQ(db.report(), "The program's database C:\\Tamblor\\Tamblor.db could not be opened (it was written by a "
                           "newer version of the program). It was left as it is; record events are off until it can "
                           "be opened. Recording by hand is not affected.");
    EXPECT_EQ(dbFiles(), before);
    EXPECT_EQ(readAllBytes(dbPath()), newer);
}

TEST_F(ProgramDatabaseTest, TheProgramStartsWithADamagedDatabaseAndSaysSo)
{
    writeAllBytes(dbPath(), "garbage");
    ProgramDatabase db(*core);
    ASSERT_NO_THROW(core->startUp());
    EXPECT_TRUE(db.isOpen());
    EXPECT_TRUE(lastTold().contains("Tamblor.db.damaged-20261207-080751"));
    core->endProgram();
    EXPECT_FALSE(db.isOpen());
}

TEST_F(ProgramDatabaseTest, TakeFiguresAreOneRowPerTakeCurrentOnlyForTheFileTheyWereMeasuredFromAndKeptForTheirRuns)
{
    ProgramDatabase db(*core);
    db.open();
    ASSERT_TRUE(db.isOpen());
    TakeFiguresStore figures(db);
    QSignalSpy changed(&figures, &TakeFiguresStore::figuresChanged);
    const QString file = native("C/Tamblor/SF0007.wav");
    writeAllBytes(file, QByteArray(1000, 'x'));
    const auto key = TakeFiguresStore::keyOf(file);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->size, 1000);

    TakeFigures f;
    f.slot = 7;
    f.fileSize = key->size;
    f.fileMtimeMs = key->mtimeMs;
    f.frames = 441000;
    f.sampleRate = 44100;
    f.channels = 2;
    f.peakDbfs = -0.5;
    f.integratedLufs = -21.3;
    f.lraLu = 6.1;
    f.truePeakDbtp = -2.4;
    f.longestSilenceS = 0.25;
    f.silenceBelowDbfs = -60.0;
    f.clippedRuns = 0;
    f.measuredAtMs = 1765094871000;
    f.id = figures.store(f);
    EXPECT_GT(f.id, 0);
    EXPECT_EQ(figures.find(7), f);
    EXPECT_EQ(figures.byId(f.id), f);
    EXPECT_EQ(figures.current(7, file), f);
    EXPECT_FALSE(figures.find(8));

    // The same take measured again: its row is replaced in place; a figure not measured stays empty.
    TakeFigures again = f;
    again.id = 0;
    again.integratedLufs.reset();
    EXPECT_EQ(figures.store(again), f.id);
    f.integratedLufs.reset();
    EXPECT_EQ(figures.find(7), f);
    EXPECT_EQ(db.connection().queryInt("SELECT count(*) FROM take_figures"), 1);

    // The file changed since: the figures are kept but are not current.
    writeAllBytes(file, QByteArray(1200, 'y'));
    EXPECT_FALSE(figures.current(7, file));
    EXPECT_TRUE(figures.find(7));
    QFile::remove(file);
    EXPECT_FALSE(figures.current(7, file));

    // Digital silence: minus infinity is kept as minus infinity, not as "not measured".
    TakeFigures quiet;
    quiet.slot = 9;
    quiet.peakDbfs = quiet.integratedLufs = quiet.truePeakDbtp = -std::numeric_limits<double>::infinity();
    quiet.lraLu = 0.0;
    quiet.longestSilenceS = 10.0;
    quiet.id = figures.store(quiet);
    EXPECT_EQ(figures.find(9), quiet);
    EXPECT_TRUE(figures.find(9)->measured());
    EXPECT_TRUE(std::isinf(*figures.find(9)->peakDbfs));
    TakeFigures unreadable;
    unreadable.slot = 10;
    figures.store(unreadable);
    EXPECT_FALSE(figures.find(10)->measured());

    // A run refers to the take in slot 7. A new take in that slot gets a row of its own; the
    // run keeps the row of its take, which is in no slot any more.
    db.connection().exec("INSERT INTO runs (event_name, scheduled_start, figures_id, recorded_at) "
                         "VALUES ('NEWS', 1000, " + QString::number(f.id) + ", 1000)");
    TakeFigures next = f;
    next.peakDbfs = -3.0;
    const int64_t nextId = figures.storeNewTake(next);
    EXPECT_NE(nextId, f.id);
    EXPECT_EQ(figures.find(7)->id, nextId);
    EXPECT_EQ(*figures.find(7)->peakDbfs, -3.0);
    ASSERT_TRUE(figures.byId(f.id));
    EXPECT_EQ(figures.byId(f.id)->slot, 0);
    EXPECT_EQ(*figures.byId(f.id)->peakDbfs, -0.5);

    // Slot 7 freed: its row goes (no run refers to it); the run's row stays.
    figures.remove(7);
    EXPECT_FALSE(figures.find(7));
    EXPECT_FALSE(figures.byId(nextId));
    EXPECT_TRUE(figures.byId(f.id));
    // Slot 9 freed with a run referring to its row: let go, kept.
    db.connection().exec("INSERT INTO runs (event_name, scheduled_start, figures_id, recorded_at) "
                         "VALUES ('QUIET', 2000, " + QString::number(quiet.id) + ", 2000)");
    figures.remove(9);
    EXPECT_FALSE(figures.find(9));
    ASSERT_TRUE(figures.byId(quiet.id));
    EXPECT_EQ(figures.byId(quiet.id)->slot, 0);
    EXPECT_EQ(changed.count(), 7);
    EXPECT_EQ(changed.at(0).at(0).toInt(), 7);

    db.close();
    EXPECT_FALSE(figures.find(7));
    EXPECT_THROW(figures.store(f), Failure);
}

TEST_F(ProgramDatabaseTest, AVersionOneDatabaseMigratesItsRunsFiguresToRowsTheRunsReferToAndANewerOneIsRefused)
{
    {
        // A database as the first version of the program left it.
        SqliteConnection v1(dbPath());
        v1.exec("PRAGMA journal_mode = WAL");
        v1.exec(Schema::migrations().at(0));
        v1.exec("PRAGMA user_version = 1");
        v1.exec(QString("PRAGMA application_id = %1").arg(Schema::ApplicationId));
        v1.exec("INSERT INTO events (id, name, start_s, changed_at) VALUES (1, 'NEWS', 61200, 5)");
        // An OK run with its figures, a Silent one (-inf kept in the run), a Missed one without.
        v1.exec("INSERT INTO runs (id, event_id, event_name, scheduled_start, slot, result, peak_dbfs, "
                "integrated_lufs, lra_lu, true_peak_dbtp, longest_silence_s, detail, recorded_at) VALUES "
                "(1, 1, 'NEWS', 1000, 2, 'OK', -1.5, -23.1, 4.2, -1.2, 0.5, 'fine', 1100), "
                "(2, 1, 'NEWS', 2000, 3, 'Silent', -9e999, -9e999, 0.0, -9e999, 120.0, 'quiet', 2100), "
                "(3, 1, 'NEWS', 3000, 0, 'Missed', NULL, NULL, NULL, NULL, NULL, '', 3100)");
        // The slots' figures: one measured, one of silence (its -inf left out), one not measurable.
        v1.exec("INSERT INTO take_figures (slot, file_size, file_mtime, peak_dbfs, integrated_lufs, lra_lu, "
                "true_peak_dbtp, longest_silence_s, measured_at) VALUES "
                "(2, 4000, 77, -1.0, -20.0, 5.0, -0.8, 0.3, 1200), "
                "(3, 5000, 88, NULL, NULL, NULL, NULL, 120.0, 2200), "
                "(4, 6000, 99, NULL, NULL, NULL, NULL, NULL, 3200)");
    }
    ProgramDatabase db(*core);
    db.open();
    ASSERT_TRUE(db.isOpen()) << db.report().toStdString();
    EXPECT_TRUE(db.report().isEmpty());
    auto& c = db.connection();
    EXPECT_EQ(c.queryInt("PRAGMA user_version"), Schema::currentVersion());
    EXPECT_EQ(c.queryInt("SELECT count(*) FROM pragma_foreign_key_check"), 0);
    EXPECT_EQ(c.queryInt("SELECT count(*) FROM line_events"), 0);
    EXPECT_FALSE(columns(c, "runs").count("peak_dbfs"));
    EXPECT_EQ(c.queryInt("SELECT count(*) FROM runs"), 3);
    EXPECT_EQ(c.queryInt("SELECT count(*) FROM take_figures"), 5);

    // Each run with figures refers to a row of its own that holds them; the Missed run to none.
    TakeFiguresStore figures(db);
    auto refersTo = [&c](int run) {
        Statement s = c.prepare("SELECT figures_id FROM runs WHERE id = ?1");
        s.bind(1, run);
        EXPECT_TRUE(s.step());
        return s.optionalInt64At(0);
    };
    ASSERT_TRUE(refersTo(1));
    const auto ok = figures.byId(*refersTo(1));
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->slot, 0); // which file the run measured is not known; no slot's figures
    EXPECT_EQ(*ok->peakDbfs, -1.5);
    EXPECT_EQ(*ok->integratedLufs, -23.1);
    EXPECT_EQ(*ok->lraLu, 4.2);
    EXPECT_EQ(*ok->truePeakDbtp, -1.2);
    EXPECT_EQ(*ok->longestSilenceS, 0.5);
    EXPECT_EQ(*ok->silenceBelowDbfs, -50.0);
    EXPECT_EQ(ok->measuredAtMs, 1100);
    ASSERT_TRUE(refersTo(2));
    const auto silent = figures.byId(*refersTo(2));
    ASSERT_TRUE(silent);
    EXPECT_TRUE(std::isinf(*silent->peakDbfs) && *silent->peakDbfs < 0);
    EXPECT_EQ(*silent->longestSilenceS, 120.0);
    EXPECT_FALSE(refersTo(3));

    // The slots keep their figures, current for the same files, silence as minus infinity.
    const auto two = figures.find(2);
    ASSERT_TRUE(two);
    EXPECT_NE(two->id, ok->id);
    EXPECT_TRUE(two->measuredFrom(4000, 77));
    EXPECT_EQ(*two->peakDbfs, -1.0);
    EXPECT_EQ(*two->integratedLufs, -20.0);
    const auto three = figures.find(3);
    ASSERT_TRUE(three);
    EXPECT_TRUE(std::isinf(*three->peakDbfs) && std::isinf(*three->integratedLufs) && std::isinf(*three->truePeakDbtp));
    EXPECT_EQ(*three->lraLu, 0.0);
    const auto four = figures.find(4);
    ASSERT_TRUE(four);
    EXPECT_FALSE(four->measured());

    // Stored as the current version from now on; a file of a version after it is refused and left alone.
    c.exec(QString("PRAGMA user_version = %1").arg(Schema::currentVersion() + 1));
    db.close();
    const QByteArray newer = readAllBytes(dbPath());
    db.open();
    EXPECT_FALSE(db.isOpen());
    EXPECT_TRUE(db.report().contains("newer version of the program")) << db.report().toStdString();
    EXPECT_EQ(readAllBytes(dbPath()), newer);
    EXPECT_EQ(Schema::currentVersion(), 5);
}
