#include "app/Application.h"
#include "app/PromptService.h"
#include "core/SettingsFile.h"
#include "platform/Failure.h"
#include "tests/support/AppFixture.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace tamblor;

class StartupTest : public AppTest {};

TEST_F(StartupTest, FirstStartMakesFoldersAndEmptyFilesAndReadsZeros)
{
    ASSERT_TRUE(app->start());
    EXPECT_TRUE(QFileInfo(native("C/Tamblor")).isDir());
    EXPECT_TRUE(QFileInfo(native("C/Program Files/Tamblor")).isDir());
    EXPECT_TRUE(QFileInfo::exists(native("C/Tamblor/MyComp.ini")));
    EXPECT_EQ(QFileInfo(native("C/Tamblor/MyComp.ini")).size(), 0);
    EXPECT_EQ(QFileInfo(native("C/Tamblor/Schedule.dat")).size(), 0);
    const SharedState& s = app->state();
    EXPECT_EQ(s.PlayDevice, 0);
    EXPECT_EQ(s.RecordDevice, 0);
    EXPECT_EQ(s.FormatIndex, 0);
    EXPECT_EQ(s.DriveLetter, "C");
    EXPECT_EQ(s.ChannelMode, 0);
    EXPECT_EQ(s.RecordStartMode, 0);
    EXPECT_EQ(s.VoxThreshold, 0);
    EXPECT_EQ(s.StopDelay, 0);
    EXPECT_EQ(s.RemoteControl, 0);
}

namespace {
QByteArray records(std::initializer_list<int16_t> values)
{
    QByteArray b;
    for (int16_t v : values) {
        b.append(char(v & 0xff));
        b.append(char((v >> 8) & 0xff));
    }
    return b;
}
} // namespace

TEST_F(StartupTest, SettingsAreSigned16BitLittleEndianRecords)
{
    writeAllBytes(native("C/Tamblor/MyComp.ini"), records({2, 1, 3, 1, 1, 1, -200, 7, 2}));
    ASSERT_TRUE(app->start());
    const SharedState& s = app->state();
    EXPECT_EQ(s.PlayDevice, 2);
    EXPECT_EQ(s.RecordDevice, 1);
    EXPECT_EQ(s.FormatIndex, 3);
    EXPECT_EQ(s.DriveLetter, "D");
    EXPECT_EQ(s.ChannelMode, 1);
    EXPECT_EQ(s.RecordStartMode, 1);
    EXPECT_EQ(s.VoxThreshold, -200);
    EXPECT_EQ(s.StopDelay, 7);
    EXPECT_EQ(s.RemoteControl, 2);

    SettingsFile settings(app->drives());
    settings.open();
    EXPECT_EQ(settings.read(SettingsRecord::Reserved), 0); // an 18-byte file has no record 10 or 11
    EXPECT_EQ(settings.read(SettingsRecord::RecordLevel), 0);
    settings.write(SettingsRecord::RecordLevel, 12345);
    settings.close();
    const QByteArray bytes = readAllBytes(native("C/Tamblor/MyComp.ini"));
    ASSERT_EQ(bytes.size(), 22); // records 10 and 11 appended, 10 zero
    EXPECT_EQ(bytes.mid(18, 2), QByteArray(2, '\0'));
    EXPECT_EQ(bytes.mid(20, 2), QByteArray::fromHex("3930")); // 12345 low byte first
    settings.open();
    EXPECT_EQ(settings.read(SettingsRecord::RecordLevel), 12345);
    settings.close();
}

TEST_F(StartupTest, DriveRecordAndOddLengthSettingsFile)
{
    // Record 4 = 23 is "Z"; a trailing odd byte is no record at all.
    writeAllBytes(native("C/Tamblor/MyComp.ini"), records({0, 0, 0, 23, 1}) + QByteArray(1, '\x7f'));
    ASSERT_TRUE(app->start());
    EXPECT_EQ(app->state().DriveLetter, "Z");
    EXPECT_EQ(app->state().ChannelMode, 1);
    EXPECT_EQ(app->state().RecordStartMode, 0);
}

TEST_F(StartupTest, NonsenseDriveRecordFallsBackToC)
{
    writeAllBytes(native("C/Tamblor/MyComp.ini"), records({0, 0, 0, -300}));
    ASSERT_TRUE(app->start());
    EXPECT_EQ(app->state().DriveLetter, "C");
}

TEST_F(StartupTest, UnwritableRootIsReportedAndStartFails)
{
    // A file where the Tamblor folder should be: the folder cannot be made.
    QDir().mkpath(native("C"));
    writeAllBytes(native("C/Tamblor"), "not a folder");
    EXPECT_FALSE(app->start());
    ASSERT_EQ(prompts->asked.size(), 1u);
    EXPECT_EQ(prompts->asked[0].text, "75 Path/File access error");
}

TEST_F(StartupTest, StartStepsRunOnceTheSettingsAreReadAndTheirFailureFailsTheStart)
{
    writeAllBytes(native("C/Tamblor/MyComp.ini"), records({0, 0, 0, 1}));
    QString driveSeen;
    app->addStartStep([&] { driveSeen = app->state().DriveLetter; });
    app->addStartStep([] { throw Failure(Failure::PermissionDenied); });
    EXPECT_FALSE(app->isStarted());
    EXPECT_FALSE(app->start());
    EXPECT_EQ(driveSeen, "D");
    ASSERT_EQ(prompts->asked.size(), 1u);
    EXPECT_EQ(prompts->asked[0].text, "70 Permission denied");
}

TEST_F(StartupTest, AStepAddedAfterTheStartRunsAtOnce)
{
    ASSERT_TRUE(app->start());
    int runs = 0;
    app->addStartStep([&] { ++runs; });
    EXPECT_EQ(runs, 1);
}
