#include "library/SoundLibrary.h"
#include "platform/Failure.h"
#include "library/maintenance/IndexMaintenance.h"
#include "tests/support/CoreLibraryFixture.h"

using namespace tamblor;

namespace {
QByteArray record(const char* status, const char* name) { return indexRecordBytes(status, name, "125", "12-05-26"); }
} // namespace

class MaintenanceTest : public CoreLibraryTest {
protected:
    void startWith(const QByteArray& index)
    {
        writeAllBytes(indexPath(), index);
        ASSERT_NO_THROW(core->startUp());
    }
};

TEST_F(MaintenanceTest, ReportListsReservedSlotsReleaseFreesOnlyThemAndThenNothingIsListed)
{
    QByteArray index;
    for (int n = 1; n <= 40; ++n)
        index += record(n == 12 || n == 40 ? "2" : (n % 3 ? "1" : "0"), "X");
    startWith(index);
    IndexMaintenance m(*core, *library);
    m.ViewFileIndex();
    EXPECT_EQ(lastTold(),
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
    // With none reserved any more, the report shows nothing.
    told.clear();
    m.ViewFileIndex();
    EXPECT_TRUE(told.isEmpty());
}
