// The printed list of the index: its lines, and the PDF written when no printer is installed.
#include "library/IndexRecord.h"
#include "platform/Failure.h"
#include "wavefiles/LibraryPrinter.h"
#include "tests/support/LibraryFixture.h"
#include <QFile>
#include <QProcess>

using namespace tamblor;

using PrinterTest = LibraryTest;

TEST(LibraryPrinter, EntryLinesRightAlignTheNumberInThreeColumns)
{
    const QString name = IndexRecord::fit("SPOT NEWS", 25);
    EXPECT_EQ(LibraryPrinter::entryLine(name, "02:05", 7), "     SPOT NEWS                 02:05   7");
    EXPECT_TRUE(LibraryPrinter::entryLine(name, "02:05", 42).endsWith("02:05  42"));
    EXPECT_TRUE(LibraryPrinter::entryLine(name, " 1:02:05", 123).endsWith(" 1:02:05 123"));
}

TEST_F(PrinterTest, PrintedJobHoldsTheLinesInOrder)
{
    if (!LibraryPrinter::usesPdf())
        GTEST_SKIP() << "a real default printer is installed";
    ASSERT_TRUE(app->start());
    const QString pdf = native("C/Tamblor/list.pdf");
    LibraryPrinter printer(pdf);
    printer.begin();
    printer.printLine(LibraryPrinter::entryLine(IndexRecord::fit("ZEBRA", 25), "00:05", 3));
    printer.printLine(LibraryPrinter::entryLine(IndexRecord::fit("ALPHA", 25), "02:05", 42));
    EXPECT_EQ(printer.end(), pdf);
    QProcess p;
    p.start("pdftotext", {"-layout", pdf, "-"});
    ASSERT_TRUE(p.waitForFinished(20000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    const int zebra = text.indexOf("ZEBRA");
    const int alpha = text.indexOf("ALPHA");
    ASSERT_GE(zebra, 0) << text.toStdString();
    EXPECT_GT(alpha, zebra);
    EXPECT_TRUE(text.contains("00:05")) << text.toStdString();
    EXPECT_TRUE(text.contains("02:05"));
    EXPECT_EQ(text.left(text.indexOf("ZEBRA")).trimmed(), ""); // three blank lines come first
}

TEST_F(PrinterTest, EmptyListPrintsOnlyTheBlankLines)
{
    if (!LibraryPrinter::usesPdf())
        GTEST_SKIP() << "a real default printer is installed";
    ASSERT_TRUE(app->start());
    const QString pdf = native("C/Tamblor/empty.pdf");
    LibraryPrinter printer(pdf);
    printer.begin();
    printer.end();
    EXPECT_TRUE(QFile::exists(pdf));
    EXPECT_THROW(printer.printLine("after the end"), Failure);
}
