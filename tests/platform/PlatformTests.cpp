#include "platform/Clock.h"
#include "platform/DriveMap.h"
#include "platform/Failure.h"
#include "platform/NumericText.h"
#include "platform/RecordFile.h"
#include "platform/StderrCapture.h"
#include "tests/support/TestEnv.h"
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <cstdio>
#include <unistd.h>

using namespace tamblor;

TEST(NumericText, LeadingNumberReadsTheLongestNumberPrefix)
{
    EXPECT_EQ(leadingNumber("  42abc"), 42);
    EXPECT_EQ(leadingNumber("-17"), -17);
    EXPECT_EQ(leadingNumber("3.5x"), 3.5);
    EXPECT_EQ(leadingNumber("1e3"), 1000);
    EXPECT_EQ(leadingNumber("1e"), 1);
    EXPECT_EQ(leadingNumber("x12"), 0);
    EXPECT_EQ(leadingNumber(""), 0);
    EXPECT_EQ(leadingNumber("-"), 0);
    EXPECT_EQ(leadingNumber(":"), 0);
    EXPECT_EQ(leadingNumber(".5"), 0.5);
}

TEST(NumericText, RoundsHalvesToEvenAndGuards16Bits)
{
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(3.5), 4);
    EXPECT_EQ(roundHalfEven(-2.5), -2);
    EXPECT_EQ(roundHalfEven(2.6), 3);
    EXPECT_EQ(toInt16(32767.4), 32767);
    EXPECT_EQ(toInt16(-32768), -32768);
    try {
        toInt16(32768);
        FAIL() << "no overflow";
    } catch (const Failure& f) {
        EXPECT_EQ(f.text(), "6 Overflow");
    }
    EXPECT_THROW(toInt16(-32768.6), Failure);
    EXPECT_THROW(toInt32(3e9), Failure);
}

TEST(Failure, CarriesClassicNumbersAndTexts)
{
    EXPECT_EQ(Failure(53).text(), "53 File not found");
    EXPECT_EQ(Failure(75).text("  "), "75  Path/File access error");
    EXPECT_EQ(Failure::fromErrno(ENOSPC).number(), 61);
    EXPECT_EQ(Failure::fromErrno(EACCES).number(), 70);
    EXPECT_EQ(Failure::fromErrno(ENOENT).number(), 53);
    EXPECT_STREQ(Failure(76).what(), "76 Path not found");
}

class DriveMapTest : public TempRootTest {};

TEST_F(DriveMapTest, ResolvesDosPathsCaseInsensitivelyBelowDriveFolders)
{
    DriveMap map(root());
    EXPECT_TRUE(QDir(native("C")).exists()); // drive C is made on first use
    QDir().mkpath(native("C/Tamblor"));
    writeAllBytes(native("C/Tamblor/SF0005.wav"), "x");
    EXPECT_EQ(map.toNative("c:\\tamblor\\sf0005.WAV"), native("C/Tamblor/SF0005.wav"));
    EXPECT_EQ(map.toNative("C:\\Tamblor\\New.wav"), native("C/Tamblor/New.wav"));
    EXPECT_TRUE(map.fileExists("C:\\TAMBLOR\\SF0005.WAV"));
    EXPECT_FALSE(map.folderExists("C:\\TAMBLOR\\SF0005.WAV"));
    // ".." never climbs out of the drive
    EXPECT_EQ(map.toNative("c:\\..\\..\\etc"), native("C/etc"));
    EXPECT_EQ(map.toDos(native("C/Tamblor/SF0005.wav")), "C:\\Tamblor\\SF0005.wav");
    EXPECT_EQ(map.toDos("/somewhere/else"), "");
}

TEST_F(DriveMapTest, ListsExistingDrivesInLetterOrderAndCreatesOnlyLastLevel)
{
    DriveMap map(root());
    QDir().mkpath(native("F"));
    QDir().mkpath(native("D"));
    EXPECT_EQ(map.drives(), (QList<QChar>{'C', 'D', 'F'}));
    EXPECT_TRUE(map.createFolder("D:\\Tamblor"));
    EXPECT_TRUE(map.folderExists("d:\\tamblor"));
    EXPECT_FALSE(map.createFolder("E:\\Tamblor")); // drive E missing: parent does not exist
    EXPECT_GT(map.freeBytes('C'), 0);
}

class RecordFileTest : public TempRootTest {};

TEST_F(RecordFileTest, OneBasedRecordsZeroFilledGrowthAndEndOfFile)
{
    QDir().mkpath(native("C"));
    const QString path = native("C/r.dat");
    RecordFile f(path, 39);
    f.open();
    EXPECT_TRUE(QFile::exists(path));
    QByteArray rec;
    EXPECT_FALSE(f.read(1, rec));
    EXPECT_TRUE(f.eof());
    f.write(3, QByteArray(39, 'a'));
    EXPECT_EQ(QFile(path).size(), 117);
    ASSERT_TRUE(f.read(2, rec));
    EXPECT_EQ(rec, QByteArray(39, '\0'));
    ASSERT_TRUE(f.read(3, rec));
    EXPECT_EQ(rec, QByteArray(39, 'a'));
    EXPECT_FALSE(f.read(4, rec));
    f.write(1, "short"); // padded with zero bytes to the record length
    ASSERT_TRUE(f.read(1, rec));
    EXPECT_EQ(rec, QByteArray("short") + QByteArray(34, '\0'));
    EXPECT_EQ(f.recordCount(), 3);
}

TEST_F(RecordFileTest, PartialLastRecordReadsAsEndOfFileAndIsRewrittenWhole)
{
    const QString path = native("C/r.dat");
    writeAllBytes(path, QByteArray(39 + 10, 'z'));
    RecordFile f(path, 39);
    f.open();
    QByteArray rec;
    EXPECT_TRUE(f.read(1, rec));
    EXPECT_FALSE(f.read(2, rec));
    f.write(2, QByteArray(39, 'b'));
    EXPECT_EQ(QFile(path).size(), 78);
}

TEST(Clock, FixedClockAndSecondsSinceMidnight)
{
    Clock c;
    c.setFixed(QDateTime(QDate(2026, 12, 5), QTime(8, 7, 51)));
    EXPECT_EQ(c.secondsSinceMidnight(), 8 * 3600 + 7 * 60 + 51);
    c.advance(9000);
    EXPECT_EQ(c.secondsSinceMidnight(), 8 * 3600 + 8 * 60);
    // The fraction is rounded, halves to even.
    c.setFixed(QDateTime(QDate(2026, 12, 5), QTime(8, 7, 51, 600)));
    EXPECT_EQ(c.secondsSinceMidnight(), 29272);
    c.setFixed(QDateTime(QDate(2026, 12, 5), QTime(8, 7, 51, 400)));
    EXPECT_EQ(c.secondsSinceMidnight(), 29271);
    c.setFixed(QDateTime(QDate(2026, 12, 5), QTime(8, 7, 52, 500)));
    EXPECT_EQ(c.secondsSinceMidnight(), 29272);
    c.setFixed(QDateTime(QDate(2026, 12, 5), QTime(23, 59, 59, 700)));
    EXPECT_EQ(c.secondsSinceMidnight(), 86400);
    c.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(c.dateSeparator(), "/");
    c.setLocale(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(c.dateSeparator(), ".");
}

TEST(StderrCapture, HoldsBackWhatLibrariesPrintAndPutsTheStreamBack)
{
    {
        StderrCapture probing;
        std::fprintf(stderr, "ALSA lib confmisc.c: cannot find card '0'\n");
        ASSERT_EQ(::write(STDERR_FILENO, "jack server is not running\n", 27), 27);
        EXPECT_EQ(probing.release(), QByteArray("ALSA lib confmisc.c: cannot find card '0'\njack server is not running\n"));
        EXPECT_EQ(probing.release(), QByteArray()); // once only
    }
    // The stream is the terminal's again: a new capture starts empty and sees only its own.
    StderrCapture next;
    std::fprintf(stderr, "x");
    EXPECT_EQ(next.release(), "x");
}
