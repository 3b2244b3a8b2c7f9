#include "editor/EditorMath.h"
#include <gtest/gtest.h>

using namespace tamblor::editor;

TEST(EditorMath, ColumnStepRoundsThenKeepsWholeFourByteBlocks)
{
    EXPECT_EQ(columnStep(176400, 376), 468); // 469.1 -> 469 -> 468
    EXPECT_EQ(columnStep(1000, 100), 8);     // 10 -> 8
    EXPECT_EQ(columnStep(1250, 100), 12);    // 12.5 -> 12 (halves to even) -> 12
    EXPECT_EQ(columnStep(1350, 100), 12);    // 13.5 -> 14 -> 12
    EXPECT_EQ(columnStep(300, 100), 0);      // fewer than 4 bytes a column
    EXPECT_EQ(columnStep(1000, 0), 0);
}

TEST(EditorMath, ColumnsAndBytesConvertWithHalvesToEven)
{
    EXPECT_EQ(columnToByte(10, 100, 100000, 0), 10000);
    EXPECT_EQ(columnToByte(1, 4, 10, 0), 2);  // 2.5 -> 2
    EXPECT_EQ(columnToByte(3, 4, 10, 0), 8);  // 7.5 -> 8
    EXPECT_EQ(columnToByte(-1, 100, 1000, 0), -10);
    EXPECT_DOUBLE_EQ(columnToByteExact(1, 4, 10, 5), 7.5);
    EXPECT_EQ(byteToColumn(25, 0, 100, 10), 2); // 2.5 -> 2
    EXPECT_EQ(byteToColumn(35, 0, 100, 10), 4); // 3.5 -> 4
    EXPECT_EQ(byteToColumn(1500, 1000, 1000, 100), 50);
    EXPECT_EQ(byteToColumn(500, 0, 0, 100), 0); // nothing in view
}

TEST(EditorMath, ColumnHoldsTheLargestMagnitudeTiesToTheLater)
{
    EXPECT_EQ(columnPeak(-500, 500, 0, 0), 500);
    EXPECT_EQ(columnPeak(-700, 10, 0, 700), 700);
    EXPECT_EQ(columnPeak(-700, 10, 5, 6), -700);
    EXPECT_EQ(columnPeak(-3, 2, -9, 4), -9);
    EXPECT_EQ(columnPeak(-32768, 0, 0, 0), -32768);
    EXPECT_EQ(from8Bit(0), -32768);
    EXPECT_EQ(from8Bit(128), 0);
    EXPECT_EQ(from8Bit(255), 32512);
}

TEST(EditorMath, TimeTextAndGeneralNumbers)
{
    EXPECT_EQ(timeText(59), "00:00:59");
    EXPECT_EQ(timeText(3600), "01:00:00");
    EXPECT_EQ(timeText(3725), "01:02:05");
    EXPECT_EQ(timeText(100 * 3600 + 61), "100:01:01");
    EXPECT_EQ(generalNumber(0), "0");
    EXPECT_EQ(generalNumber(30000.0 / 1761000.0), "0.0170357751277683");
    EXPECT_EQ(generalNumber(2.5), "2.5");
    EXPECT_EQ(generalNumber(1761000.0 / 1761000.0), "1");
}

TEST(EditorMath, CutRemovesWholeChunksEndingInsideTheMarks)
{
    // Chunks end at 4096, 8192, 12288, 16384, 20480 ...: those ending at 12288 and 16384 go.
    CutRange r = cutRange(100000, 10000, 20000);
    EXPECT_EQ(r.from, 8192);
    EXPECT_EQ(r.to, 16384);
    // Marks on chunk ends are included.
    r = cutRange(100000, 8192, 16384);
    EXPECT_EQ(r.from, 4096);
    EXPECT_EQ(r.to, 16384);
    // Everything, when the marks cover the whole data.
    r = cutRange(10000, 0, 10000);
    EXPECT_EQ(r.from, 0);
    EXPECT_EQ(r.to, 10000);
    r = cutRange(10000, -50, 99999);
    EXPECT_EQ(r.removed(), 10000);
    // The last, shorter chunk ends at the data size.
    r = cutRange(10000, 9000, 10000);
    EXPECT_EQ(r.from, 8192);
    EXPECT_EQ(r.to, 10000);
    // No selection: both marks just before the view's start remove nothing.
    EXPECT_EQ(cutRange(10000, -10, -10).removed(), 0);
    // A stretch inside one chunk removes nothing either.
    EXPECT_EQ(cutRange(10000, 100, 200).removed(), 0);
    EXPECT_EQ(cutRange(0, 0, 100).removed(), 0);
}

TEST(EditorMath, ProgressNeverDividesByZeroAndNamesAreNumbered)
{
    EXPECT_EQ(progressText(4200, 10000), " 42 %");
    EXPECT_EQ(progressText(10000, 10000), " 100 %");
    EXPECT_EQ(progressText(199, 199), " 100 %"); // a hundredth of 199 is 1 byte: capped
    EXPECT_EQ(progressText(99, 199), " 99 %");
    EXPECT_EQ(progressText(30, 60), " 50 %");    // under 100 bytes: percent of the size
    EXPECT_EQ(progressText(0, 0), " 100 %");
    EXPECT_EQ(numberedName("c:\\Tamblor\\SONG", 1), "c:\\Tamblor\\SONG01.wav");
    EXPECT_EQ(numberedName("c:\\Tamblor\\SONG", 9), "c:\\Tamblor\\SONG09.wav");
    EXPECT_EQ(numberedName("c:\\Tamblor\\SONG", 10), "c:\\Tamblor\\SONG10.wav");
    EXPECT_EQ(numberedName("c:\\Tamblor\\SONG", 123), "c:\\Tamblor\\SONG123.wav");
}
