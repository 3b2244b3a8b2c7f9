#include "library/SoundLibrary.h"
#include "platform/Failure.h"
#include "library/maintenance/IndexMaintenance.h"
#include "wavefiles/LibraryPrinter.h"
#include "tests/support/LibraryFixture.h"
#include <QFile>
#include <QProcess>

using namespace tamblor;

namespace {
QByteArray record(const char* status, const char* name) { return indexRecordBytes(status, name, "125", "12-05-26"); }
} // namespace

class MaintenanceTest : public LibraryTest {
protected:
    void startWith(const QByteArray& index)
    {
        writeAllBytes(indexPath(), index);
        ASSERT_TRUE(app->start());
    }
};

TEST_F(MaintenanceTest, ReportListsReservedSlotsAndReleaseFreesOnlyThem)
{
    QByteArray index;
    for (int n = 1; n <= 40; ++n)
        index += record(n == 12 || n == 40 ? "2" : (n % 3 ? "1" : "0"), "X");
    startWith(index);
    IndexMaintenance m(*app, *library);
    m.ViewFileIndex();
    EXPECT_EQ(app->messageText(),
              "The following WaveFiles do not exist but are not available for use:  12, 40, ");

    m.DeleteFileIndex();
    const QByteArray after = indexBytes();
    ASSERT_EQ(after.size(), index.size());
    for (int n = 1; n <= 40; ++n) {
        QByteArray expected = index.mid((n - 1) * 39, 39);
        if (n == 12 || n == 40)
            expected[0] = '0'; // other fields unchanged
        EXPECT_EQ(after.mid((n - 1) * 39, 39), expected) << n;
    }
}

TEST_F(MaintenanceTest, ReportWithoutReservedSlotsShowsNothing)
{
    startWith(record("1", "A") + record("0", "B"));
    IndexMaintenance(*app, *library).ViewFileIndex();
    EXPECT_EQ(app->windows().find(WindowName::frmError), nullptr);
}

TEST(LibraryPrinter, EntryLinesRightAlignTheNumberInThreeColumns)
{
    const QString name = IndexRecord::fit("SPOT NEWS", 25);
    EXPECT_EQ(LibraryPrinter::entryLine(name, "02:05", 7), "     SPOT NEWS                 02:05   7");
    EXPECT_TRUE(LibraryPrinter::entryLine(name, "02:05", 42).endsWith("02:05  42"));
    EXPECT_TRUE(LibraryPrinter::entryLine(name, " 1:02:05", 123).endsWith(" 1:02:05 123"));
}

TEST_F(MaintenanceTest, PrintedJobHoldsTheLinesInOrder)
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

TEST_F(MaintenanceTest, EmptyListPrintsOnlyTheBlankLines)
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
