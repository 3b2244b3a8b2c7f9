#include "browse/DriveList.h"
#include "browse/FileList.h"
#include "browse/FolderList.h"
#include "platform/DriveMap.h"
#include "platform/Failure.h"
#include "tests/support/Failures.h"
#include "tests/support/TestEnv.h"
#include <QDir>
#include <QSignalSpy>
#include <QTest>

using namespace tamblor;

class BrowseTest : public TempRootTest {
protected:
    void SetUp() override
    {
        TempRootTest::SetUp();
        drives = std::make_unique<DriveMap>(root());
        QDir().mkpath(native("C/Tamblor/Jingles"));
        QDir().mkpath(native("C/Tamblor/adverts"));
        QDir().mkpath(native("D/Music"));
    }
    std::unique_ptr<DriveMap> drives;
};

TEST_F(BrowseTest, FileListOffersOnlyMatchingNamesWithoutRegardToCase)
{
    for (const char* name : {"b.WAV", "a.wav", "C.Tmp", "notes.txt", "wav", "x.wave"})
        writeAllBytes(native(QString("C/Tamblor/") + name), "x");
    FileList files(*drives);
    files.setPattern("*.wav;*.tmp");
    files.setPath("c:\\Tamblor");
    QStringList shown;
    for (int i = 0; i < files.count(); ++i)
        shown << files.item(i)->text();
    EXPECT_EQ(shown, QStringList({"a.wav", "b.WAV", "C.Tmp"}));
    EXPECT_EQ(files.listIndex(), -1);
    EXPECT_EQ(files.fileName(), "");
    EXPECT_TRUE(files.select("B.wav"));
    EXPECT_EQ(files.fileName(), "b.WAV");

    QSignalSpy clicked(&files, &FileList::fileClicked);
    emit files.itemClicked(files.item(0));
    EXPECT_EQ(clicked.count(), 1);

    files.setPath("c:\\Nowhere");
    EXPECT_EQ(files.count(), 0);
}

TEST_F(BrowseTest, FolderListShowsTheChainAndSubfoldersAndRefusesMissingFolders)
{
    FolderList dirs(*drives);
    QSignalSpy changed(&dirs, &FolderList::pathChanged);
    dirs.setPath("c:\\Tamblor\\");
    EXPECT_EQ(dirs.path(), "c:\\Tamblor");
    EXPECT_EQ(changed.count(), 1);
    ASSERT_EQ(dirs.count(), 4); // c:\, Tamblor, adverts, Jingles
    EXPECT_EQ(dirs.item(0)->text(), "c:\\");
    EXPECT_EQ(dirs.item(1)->text().trimmed(), "Tamblor");
    EXPECT_EQ(dirs.item(2)->text().trimmed(), "adverts");
    EXPECT_EQ(dirs.item(3)->text().trimmed(), "Jingles");
    EXPECT_EQ(dirs.selectedPath(), "c:\\Tamblor");

    dirs.setCurrentRow(3);
    EXPECT_EQ(dirs.selectedPath(), "c:\\Tamblor\\Jingles");
    emit dirs.itemActivated(dirs.item(3)); // a double click opens it
    EXPECT_EQ(dirs.path(), "c:\\Tamblor\\Jingles");
    emit dirs.itemActivated(dirs.item(0));
    EXPECT_EQ(dirs.path(), "c:\\");

    EXPECT_EQ(failureNumber([&] { dirs.setPath("c:\\Missing"); }), Failure::PathNotFound);
    EXPECT_EQ(dirs.path(), "c:\\");
    EXPECT_EQ(FolderList::normalize("d:"), "d:\\");
    EXPECT_EQ(FolderList::normalize("C:/a//b/"), "C:\\a\\b");
}

TEST_F(BrowseTest, DriveListShowsExistingDrivesAndChoosesByLetter)
{
    DriveList list(*drives);
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.itemText(0), "c:");
    EXPECT_EQ(list.itemText(1), "d:");
    EXPECT_EQ(list.drive(), "c:");
    QSignalSpy changed(&list, &DriveList::driveChanged);
    EXPECT_TRUE(list.setDrive("D:\\Music"));
    EXPECT_EQ(list.drive(), "d:");
    EXPECT_EQ(changed.count(), 1);
    EXPECT_FALSE(list.setDrive("q"));
    EXPECT_EQ(list.drive(), "d:");
    QDir().mkpath(native("E"));
    list.refresh();
    EXPECT_EQ(list.count(), 3);
    EXPECT_EQ(list.drive(), "d:");
    EXPECT_EQ(changed.count(), 1); // reading the list again is no choice of the operator
}

TEST_F(BrowseTest, FolderListReportsChoicesOpensWithEnterAndNamesTheFailures)
{
    FolderList dirs(*drives);
    QSignalSpy clicked(&dirs, &FolderList::entryClicked);
    dirs.setPath("c:\\Tamblor");
    EXPECT_EQ(clicked.count(), 0); // filling the list is no choice of the operator
    EXPECT_EQ(dirs.rowOf("C:\\TAMBLOR\\jingles"), 3);
    EXPECT_EQ(dirs.entryPath(2), "c:\\Tamblor\\adverts");
    EXPECT_EQ(dirs.entryPath(9), "");

    dirs.setFocus();
    QTest::keyClick(&dirs, Qt::Key_Down);
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked.at(0).at(0).toString(), "c:\\Tamblor\\adverts");
    QTest::keyClick(&dirs, Qt::Key_Return);
    EXPECT_EQ(dirs.path(), "c:\\Tamblor\\adverts");

    // A folder removed behind the list's back: the failure is reported and the list re-read.
    dirs.setPath("c:\\Tamblor");
    QDir(native("C/Tamblor/Jingles")).removeRecursively();
    QSignalSpy failed(&dirs, &FolderList::pathFailed);
    emit dirs.itemActivated(dirs.item(dirs.rowOf("c:\\Tamblor\\Jingles")));
    ASSERT_EQ(failed.count(), 1);
    EXPECT_EQ(failed.at(0).at(0).toInt(), int(Failure::PathNotFound));
    EXPECT_EQ(dirs.path(), "c:\\Tamblor");
    EXPECT_EQ(dirs.rowOf("c:\\Tamblor\\Jingles"), -1);

    // A missing drive is a missing path, or an unavailable device when the list is told so.
    const auto failureOf = [&dirs](const QString& path) { return failureNumber([&] { dirs.setPath(path); }); };
    EXPECT_EQ(failureOf("e:\\"), int(Failure::PathNotFound));
    dirs.setMissingDriveUnavailable(true);
    EXPECT_EQ(failureOf("e:\\"), int(Failure::DeviceUnavailable));
    EXPECT_EQ(failureOf("c:\\Nowhere"), int(Failure::PathNotFound));
    EXPECT_EQ(failureOf("c:\\Tamblor\\.."), int(Failure::PathNotFound));
    EXPECT_EQ(dirs.path(), "c:\\Tamblor");
}

TEST_F(BrowseTest, DriveListCanReadTheDrivesAgainWhenOpened)
{
    DriveList list(*drives);
    QDir().mkpath(native("E"));
    list.showPopup();
    list.hidePopup();
    EXPECT_EQ(list.count(), 2); // read only on request
    list.setRefreshOnOpen(true);
    QSignalSpy changed(&list, &DriveList::driveChanged);
    list.showPopup();
    list.hidePopup();
    EXPECT_EQ(list.count(), 3);
    EXPECT_EQ(list.itemText(2), "e:");
    EXPECT_EQ(changed.count(), 0);
}
