#include "app/Application.h"
#include "library/SlotIndex.h"
#include "tests/support/AppFixture.h"
#include <QFile>
#include <QFileInfo>

using namespace tamblor;

class SlotIndexTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        startWith(QByteArray());
    }
    // Restarts the program over an index holding `bytes`.
    void startWith(const QByteArray& bytes)
    {
        index.reset();
        app.reset();
        writeAllBytes(native("C/Tamblor/Schedule.dat"), bytes);
        newApp();
        ASSERT_TRUE(app->start());
        index = std::make_unique<SlotIndex>(*app);
    }
    QByteArray indexBytes() const { return readAllBytes(native("C/Tamblor/Schedule.dat")); }
    static QByteArray record(const char* status, const char* name = "", const char* len = "", const char* date = "")
    {
        IndexRecord r;
        r.setStatus(status);
        r.setSoundName(name);
        r.setLengthText(len);
        r.setRecordDate(date);
        return r.toBytes();
    }
    std::unique_ptr<SlotIndex> index;
};

TEST_F(SlotIndexTest, RecordLayoutIsFourBlankPaddedFields)
{
    IndexRecord r;
    r.setStatus("1");
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

TEST_F(SlotIndexTest, BytesOutsideAsciiSurviveAndUnrepresentableBecomeQuestionMarks)
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

TEST_F(SlotIndexTest, NamesAreOneWindows1252BytePerCharacterUpperCasedWithoutExpansion)
{
    startWith(record("1", "OLD", "12", "01-01-26"));
    index->rename(1, QString::fromUtf8("Straße €9 šœž ÿµ"));
    EXPECT_EQ(indexBytes().mid(1, 25), QByteArray("STRA\xDF" "E \x80" "9 \x8A\x8C\x8E \x9F\xB5") + QByteArray(9, ' '));
    EXPECT_EQ(app->state().IndexRecord.SoundName.trimmed(), QString::fromUtf8("STRAßE €9 ŠŒŽ Ÿµ"));

    // Upper case never lengthens a name: its 25th character stays in the field.
    index->rename(1, QString::fromUtf8("abcdefghijklmnopqrstuvwxß"));
    EXPECT_EQ(indexBytes().mid(1, 25), QByteArray("ABCDEFGHIJKLMNOPQRSTUVWX\xDF"));

    // What the code page cannot hold becomes one "?" per character, a surrogate pair included.
    index->rename(1, QString::fromUtf8("😀 Ω x"));
    EXPECT_EQ(indexBytes().mid(1, 25), QByteArray("? ? X") + QByteArray(20, ' '));
    EXPECT_EQ(indexBytes().size(), 39);
}

TEST_F(SlotIndexTest, IndexBytes0x80To0x9FReadAsTheirWindows1252Characters)
{
    QByteArray raw = QByteArray("1\x80\x85\x8A\x91\x92\x96\x99\x9F\x81") + QByteArray(16, ' ') + "5    01-02-03";
    ASSERT_EQ(raw.size(), 39);
    startWith(raw);
    ASSERT_TRUE(index->read(1));
    EXPECT_EQ(app->state().IndexRecord.SoundName.left(8), QString::fromUtf8("€…Š‘’–™Ÿ"));
    // Written back unchanged, the byte the code page leaves unassigned too.
    index->write(1);
    EXPECT_EQ(indexBytes(), raw);
}

TEST_F(SlotIndexTest, FirstRecordingOfAnEmptyIndexGetsSlotOneAndCompletes)
{
    state().TimeText.clear();
    ASSERT_TRUE(index->chooseFreeSlot());
    EXPECT_EQ(state().CurrentSlot, 1);
    writeAllBytes(native("C/Tamblor/SF0001.WAV"), "old take"); // an old file of the slot
    index->reserveCurrentSlot();
    EXPECT_EQ(indexBytes(), QByteArray("2") + QByteArray(25, ' ') + QByteArray(13, ' '));
    EXPECT_FALSE(QFile::exists(native("C/Tamblor/SF0001.WAV")));
    EXPECT_FALSE(QFile::exists(native("C/Tamblor/SF0001.wav")));

    index->completeCurrentSlot(8 * 3600, 8 * 3600 + 3725, QDate(2026, 12, 5));
    EXPECT_EQ(indexBytes(), QByteArray("1(No Name 001 ****)       3725 12-05-26"));
    EXPECT_EQ(state().Seconds, 3725);
}

TEST_F(SlotIndexTest, CompletionAcrossMidnightAddsADay)
{
    ASSERT_TRUE(index->chooseFreeSlot());
    index->reserveCurrentSlot();
    index->completeCurrentSlot(86390, 15, QDate(2027, 1, 1));
    EXPECT_EQ(indexBytes(), QByteArray("1(No Name 001 ****)       25   01-01-27"));
}

TEST_F(SlotIndexTest, LowestFreeSlotIsReusedBeforeTheFileGrows)
{
    startWith(record("1", "A") + record("0", "B") + record("2") + record("x"));
    ASSERT_TRUE(index->chooseFreeSlot());
    EXPECT_EQ(state().CurrentSlot, 2);
    startWith(record("1", "A") + record("2") + record("1"));
    ASSERT_TRUE(index->chooseFreeSlot());
    EXPECT_EQ(state().CurrentSlot, 4); // just past the end
    startWith(record("1") + QByteArray(39, '\0'));
    ASSERT_TRUE(index->chooseFreeSlot());
    EXPECT_EQ(state().CurrentSlot, 2); // a never-written record is free
}

TEST_F(SlotIndexTest, NineHundredSlotsInUseRefuseTheNextRecording)
{
    QByteArray full;
    for (int i = 0; i < 900; ++i)
        full += record(i % 2 ? "1" : "2", "X");
    startWith(full);
    EXPECT_FALSE(index->chooseFreeSlot());
    EXPECT_EQ(state().CurrentSlot, 901);
    EXPECT_EQ(indexBytes(), full);
    EXPECT_STREQ(SlotIndex::LimitMessage, "Maximum Number of Sound Files is 900.");
}

TEST_F(SlotIndexTest, IndexOfPartialLengthTreatsTheTailAsPastTheEnd)
{
    startWith(record("1", "A") + QByteArray("1GARBAGE"));
    ASSERT_TRUE(index->chooseFreeSlot());
    EXPECT_EQ(state().CurrentSlot, 2);
    index->reserveCurrentSlot();
    EXPECT_EQ(indexBytes().size(), 78); // the partial record is rewritten whole
}

TEST_F(SlotIndexTest, WritingPastTheEndGrowsWithFreeRecords)
{
    startWith(record("1") + record("1") + record("1"));
    state().IndexRecord = IndexRecord::fromBytes(record("1", "TEN"));
    index->write(10);
    EXPECT_EQ(indexBytes().size(), 390);
    for (int n = 4; n <= 9; ++n) {
        ASSERT_TRUE(index->read(n));
        EXPECT_FALSE(state().IndexRecord.isUsed());
        EXPECT_FALSE(state().IndexRecord.isReserved());
    }
    EXPECT_FALSE(index->read(11));
}

TEST_F(SlotIndexTest, RenameUpperCasesAndRetimeKeepsTheRest)
{
    startWith(record("1", "OLD", "12", "01-01-26"));
    index->rename(1, "morning news");
    index->retime(1, "3725");
    EXPECT_EQ(indexBytes(), QByteArray("1MORNING NEWS             3725 01-01-26"));
    index->release(1);
    EXPECT_EQ(indexBytes().left(1), "0");
}

TEST_F(SlotIndexTest, SlotFileNamesAndDefaultNames)
{
    EXPECT_EQ(index->slotFilePath(5), "C:\\Tamblor\\SF0005.wav");
    state().DriveLetter = "D";
    EXPECT_EQ(index->slotFilePath(900), "D:\\Tamblor\\SF0900.wav");
    EXPECT_EQ(SlotIndex::defaultName(5), "(No Name 005 ****)");
    EXPECT_EQ(SlotIndex::defaultName(123), "(No Name 123 ****)");
    EXPECT_EQ(SlotIndex::recordDateText(QDate(2026, 12, 5)), "12-05-26");
}
