#include "core/Core.h"
#include "core/TimeText.h"
#include "library/SoundLibrary.h"
#include "platform/Failure.h"
#include <QSignalSpy>
#include "tests/support/CoreLibraryFixture.h"
#include <QFile>
#include <QFileInfo>

using namespace tamblor;

class SoundLibraryTest : public CoreTest {
protected:
    void SetUp() override
    {
        CoreTest::SetUp();
        startWith(QByteArray());
    }
    // Restarts the program over an index holding `bytes`.
    void startWith(const QByteArray& bytes)
    {
        index.reset();
        core.reset();
        writeAllBytes(native("C/Tamblor/Schedule.dat"), bytes);
        newCore();
        index = std::make_unique<SoundLibrary>(*core);
        ASSERT_NO_THROW(core->startUp());
    }
    QByteArray indexBytes() const { return readAllBytes(native("C/Tamblor/Schedule.dat")); }
    std::unique_ptr<SoundLibrary> index;
};

TEST_F(SoundLibraryTest, RecordLayoutIsFourBlankPaddedFields)
{
    IndexRecord r;
    r.Status = SlotStatus::Used;
    r.setSoundName("SPOT NEWS");
    r.setLengthText("3725");
    r.setRecordDate("12-05-26");
    EXPECT_EQ(r.toBytes(), QByteArray("1SPOT NEWS                3725 12-05-26"));
    r.setSoundName("ABCDEFGHIJKLMNOPQRSTUVWXYZ1234"); // 30 characters: cut to 25
    EXPECT_EQ(r.SoundName, "ABCDEFGHIJKLMNOPQRSTUVWXY");
    r.setSoundName("ABC");
    EXPECT_EQ(r.SoundName, "ABC" + QString(22, ' '));
    EXPECT_EQ(r.toBytes().size(), 39);
}

TEST_F(SoundLibraryTest, BytesOutsideAsciiSurviveAndUnrepresentableBecomeQuestionMarks)
{
    QByteArray raw = QByteArray("1CAF\xC9 \xFF") + QByteArray(19, ' ') + "5    01-02-03";
    ASSERT_EQ(raw.size(), 39);
    const IndexRecord r = IndexRecord::fromBytes(raw);
    EXPECT_EQ(r.SoundName.left(6), QString::fromUtf8("CAFÉ ÿ"));
    EXPECT_EQ(r.toBytes(), raw);
    IndexRecord w;
    w.setSoundName(QString::fromUtf8("Ω→x"));
    EXPECT_EQ(w.toBytes().mid(1, 3), QByteArray("??x"));
}

TEST_F(SoundLibraryTest, NamesAreOneWindows1252BytePerCharacterUpperCasedWithoutExpansion)
{
    startWith(indexRecordBytes("1", "OLD", "12", "01-01-26"));
    index->rename(1, QString::fromUtf8("Straße €9 šœž ÿµ"));
    EXPECT_EQ(indexBytes().mid(1, 25), QByteArray("STRA\xDF" "E \x80" "9 \x8A\x8C\x8E \x9F\xB5") + QByteArray(9, ' '));
    EXPECT_EQ(index->record(1).SoundName.trimmed(), QString::fromUtf8("STRAßE €9 ŠŒŽ Ÿµ"));

    // Upper case never lengthens a name: its 25th character stays in the field.
    index->rename(1, QString::fromUtf8("abcdefghijklmnopqrstuvwxß"));
    EXPECT_EQ(indexBytes().mid(1, 25), QByteArray("ABCDEFGHIJKLMNOPQRSTUVWX\xDF"));

    // What the code page cannot hold becomes one "?" per character, a surrogate pair included.
    index->rename(1, QString::fromUtf8("😀 Ω x"));
    EXPECT_EQ(indexBytes().mid(1, 25), QByteArray("? ? X") + QByteArray(20, ' '));
    EXPECT_EQ(indexBytes().size(), 39);
}

TEST_F(SoundLibraryTest, IndexBytes0x80To0x9FReadAsTheirWindows1252Characters)
{
    QByteArray raw = QByteArray("1\x80\x85\x8A\x91\x92\x96\x99\x9F\x81") + QByteArray(16, ' ') + "5    01-02-03";
    ASSERT_EQ(raw.size(), 39);
    startWith(raw);
    const auto r = index->read(1);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->SoundName.left(8), QString::fromUtf8("€…Š‘’–™Ÿ"));
    // Written back unchanged, the byte the code page leaves unassigned too.
    index->write(1, *r);
    EXPECT_EQ(indexBytes(), raw);
}

TEST_F(SoundLibraryTest, FirstRecordingOfAnEmptyIndexGetsSlotOneAndCompletes)
{
    EXPECT_EQ(index->firstFreeSlot(), 1);
    writeAllBytes(native("C/Tamblor/SF0001.WAV"), "old take"); // an old file of the slot
    EXPECT_EQ(index->reserveFreeSlot(), 1);
    EXPECT_EQ(indexBytes(), QByteArray("2") + QByteArray(25, ' ') + QByteArray(13, ' '));
    EXPECT_FALSE(QFile::exists(native("C/Tamblor/SF0001.WAV")));
    EXPECT_FALSE(QFile::exists(native("C/Tamblor/SF0001.wav")));

    index->complete(1, 3725, QDate(2026, 12, 5));
    EXPECT_EQ(indexBytes(), QByteArray("1(No Name 001 ****)       3725 12-05-26"));
    EXPECT_EQ(index->record(1).LengthText, "3725 ");
}

TEST_F(SoundLibraryTest, CompletionAcrossMidnightAddsADay)
{
    ASSERT_EQ(index->reserveFreeSlot(), 1);
    index->complete(1, secondsAcrossMidnight(86390, 15), QDate(2027, 1, 1));
    EXPECT_EQ(indexBytes(), QByteArray("1(No Name 001 ****)       25   01-01-27"));
}

TEST_F(SoundLibraryTest, LowestFreeSlotIsReusedBeforeTheFileGrows)
{
    startWith(indexRecordBytes("1", "A") + indexRecordBytes("0", "B") + indexRecordBytes("2") + indexRecordBytes("x"));
    EXPECT_EQ(index->firstFreeSlot(), 2);
    startWith(indexRecordBytes("1", "A") + indexRecordBytes("2") + indexRecordBytes("1"));
    EXPECT_EQ(index->firstFreeSlot(), 4); // just past the end
    startWith(indexRecordBytes("1") + QByteArray(39, '\0'));
    EXPECT_EQ(index->firstFreeSlot(), 2); // a never-written record is free
}

TEST_F(SoundLibraryTest, NineHundredSlotsInUseRefuseTheNextRecording)
{
    QByteArray full;
    for (int i = 0; i < 900; ++i)
        full += indexRecordBytes(i % 2 ? "1" : "2", "X");
    startWith(full);
    EXPECT_EQ(index->firstFreeSlot(), 901);
    EXPECT_EQ(index->reserveFreeSlot(), 0);
    EXPECT_EQ(indexBytes(), full);
}

TEST_F(SoundLibraryTest, IndexOfPartialLengthTreatsTheTailAsPastTheEnd)
{
    startWith(indexRecordBytes("1", "A") + QByteArray("1GARBAGE"));
    EXPECT_EQ(index->reserveFreeSlot(), 2);
    EXPECT_EQ(indexBytes().size(), 78); // the partial record is rewritten whole
}

TEST_F(SoundLibraryTest, WritingPastTheEndGrowsWithFreeRecords)
{
    startWith(indexRecordBytes("1") + indexRecordBytes("1") + indexRecordBytes("1"));
    index->write(10, IndexRecord::fromBytes(indexRecordBytes("1", "TEN")));
    EXPECT_EQ(indexBytes().size(), 390);
    for (int n = 4; n <= 9; ++n) {
        const auto r = index->read(n);
        ASSERT_TRUE(r);
        EXPECT_FALSE(r->isUsed());
        EXPECT_FALSE(r->isReserved());
    }
    EXPECT_FALSE(index->read(11));
}

TEST_F(SoundLibraryTest, RenameUpperCasesAndRetimeKeepsTheRest)
{
    startWith(indexRecordBytes("1", "OLD", "12", "01-01-26"));
    index->rename(1, "morning news");
    index->retime(1, 3725);
    EXPECT_EQ(indexBytes(), QByteArray("1MORNING NEWS             3725 01-01-26"));
    index->release(1);
    EXPECT_EQ(indexBytes().left(1), "0");
}

TEST_F(SoundLibraryTest, SlotFileNamesAndDefaultNames)
{
    EXPECT_EQ(index->slotFilePath(5), "C:\\Tamblor\\SF0005.wav");
    core->state().DriveLetter = "D";
    EXPECT_EQ(index->slotFilePath(900), "D:\\Tamblor\\SF0900.wav");
    EXPECT_EQ(LibraryLayout::defaultName(5), "(No Name 005 ****)");
    EXPECT_EQ(LibraryLayout::defaultName(123), "(No Name 123 ****)");
    EXPECT_EQ(LibraryLayout::recordDateText(QDate(2026, 12, 5)), "12-05-26");
    EXPECT_EQ(LibraryLayout::slotOfFileName("sf0012.WAV"), 12);
    EXPECT_EQ(LibraryLayout::slotOfFileName("SF12.wav"), 0);
    EXPECT_TRUE(LibraryLayout::isLibraryFileName("schedule.DAT"));
    EXPECT_TRUE(LibraryLayout::isLibraryFileName("MYCOMP.ini"));
    EXPECT_TRUE(LibraryLayout::isLibraryFileName("Sf0001.Wav"));
    EXPECT_FALSE(LibraryLayout::isLibraryFileName("SF0001.wav.bak"));
    // A fixed slot's working take and a take kept beside the library are the library's own
    // files, but no slot's.
    EXPECT_EQ(LibraryLayout::workingTakeFileName(5), "SF0005.NEW");
    EXPECT_EQ(LibraryLayout::slotOfWorkingTakeName("sf0005.new"), 5);
    EXPECT_EQ(LibraryLayout::slotOfWorkingTakeName("SF0005.wav"), 0);
    EXPECT_EQ(LibraryLayout::slotOfFileName("SF0005.NEW"), 0);
    EXPECT_EQ(LibraryLayout::keptTakeFileName(5, 2), "TK0005_2.wav");
    EXPECT_EQ(LibraryLayout::slotOfFileName("TK0005_2.wav"), 0);
    EXPECT_TRUE(LibraryLayout::isLibraryFileName("SF0005.NEW"));
    EXPECT_TRUE(LibraryLayout::isLibraryFileName("tk0005_12.WAV"));
    EXPECT_FALSE(LibraryLayout::isLibraryFileName("TK0005.wav"));
    EXPECT_EQ(index->soundFolderFilePath("SF0005.NEW"), "D:\\Tamblor\\SF0005.NEW");
}

TEST_F(SoundLibraryTest, EveryChangedSlotIsSignalledOnceAndAnUnchangedWriteIsNot)
{
    startWith(indexRecordBytes("1", "OLD", "12", "01-01-26") + indexRecordBytes("2"));
    QSignalSpy changed(index.get(), &SoundLibrary::slotChanged);
    index->rename(1, "old"); // the same bytes: nothing changed
    EXPECT_EQ(changed.count(), 0);
    index->rename(1, "new");
    index->retime(1, 5);
    index->complete(2, 7, QDate(2026, 12, 5));
    ASSERT_EQ(changed.count(), 3);
    EXPECT_EQ(changed[0][0].toInt(), 1);
    EXPECT_EQ(changed[1][0].toInt(), 1);
    EXPECT_EQ(changed[2][0].toInt(), 2);
    EXPECT_EQ(index->reserveFreeSlot(), 3); // past the end: a new record
    ASSERT_EQ(changed.count(), 4);
    EXPECT_EQ(changed[3][0].toInt(), 3);
    index->release(3);
    EXPECT_EQ(changed.count(), 5);
    EXPECT_TRUE(index->record(3).isFree());
}

TEST_F(SoundLibraryTest, TheIndexIsOpenFromTheStartToTheEndOfTheProgram)
{
    EXPECT_TRUE(index->isOpen());
    EXPECT_EQ(index->indexPath(), native("C/Tamblor/Schedule.dat"));
    core->endProgram();
    EXPECT_FALSE(index->isOpen());
    EXPECT_THROW(index->read(1), Failure);
}
