#include "store/ProgramDatabase.h"
#include "store/ProgramState.h"
#include "store/Schema.h"
#include "store/TakeFiguresStore.h"
#include "tests/support/CoreFixture.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
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

    const auto events = columns(c, "events");
    for (const char* name : {"name", "start_s", "weekdays", "on_date", "end_kind", "length_s", "end_s", "input_device",
                             "input_format", "input_channels", "destination", "name_template", "fixed_slot",
                             "after_action", "target", "ceiling", "enabled"})
        EXPECT_TRUE(events.count(name)) << name;
    const auto runs = columns(c, "runs");
    for (const char* name : {"event_id", "scheduled_start", "first_sample_at", "length_frames", "slot", "result",
                             "peak_dbfs", "integrated_lufs", "lra_lu", "true_peak_dbtp", "longest_silence_s", "seen"})
        EXPECT_TRUE(runs.count(name)) << name;
    const auto figures = columns(c, "take_figures");
    for (const char* name : {"slot", "file_size", "file_mtime", "peak_dbfs", "integrated_lufs", "lra_lu",
                             "true_peak_dbtp", "longest_silence_s", "measured_at"})
        EXPECT_TRUE(figures.count(name)) << name;

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

TEST_F(ProgramDatabaseTest, TakeFiguresAreKeptBySlotAndAreCurrentOnlyForTheFileTheyWereMeasuredFrom)
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
    f.peakDbfs = -0.5;
    f.integratedLufs = -21.3;
    f.lraLu = 6.1;
    f.truePeakDbtp = -2.4;
    f.longestSilenceS = 0.25;
    f.measuredAtMs = 1765094871000;
    figures.store(f);
    EXPECT_EQ(figures.find(7), f);
    EXPECT_EQ(figures.current(7, file), f);
    EXPECT_FALSE(figures.find(8));

    // Stored again (measured anew): replaced, not added; a figure not measured stays empty.
    f.integratedLufs.reset();
    figures.store(f);
    EXPECT_EQ(figures.find(7), f);
    EXPECT_EQ(db.connection().queryInt("SELECT count(*) FROM take_figures"), 1);

    // The file changed since: the figures are kept but are not current.
    writeAllBytes(file, QByteArray(1200, 'y'));
    EXPECT_FALSE(figures.current(7, file));
    EXPECT_TRUE(figures.find(7));
    QFile::remove(file);
    EXPECT_FALSE(figures.current(7, file));

    figures.remove(7);
    EXPECT_FALSE(figures.find(7));
    EXPECT_EQ(changed.count(), 3);
    EXPECT_EQ(changed.at(0).at(0).toInt(), 7);

    db.close();
    EXPECT_FALSE(figures.find(7));
    EXPECT_THROW(figures.store(f), Failure);
}
