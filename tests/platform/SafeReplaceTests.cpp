// Replacing a file through a working file beside it: all or nothing.
#include "platform/Failure.h"
#include "platform/FileReleaser.h"
#include "platform/NativeFile.h"
#include "platform/SafeReplace.h"
#include "tests/support/Failures.h"
#include "tests/support/TestEnv.h"
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>
#ifdef __linux__
#include <sys/stat.h>
#endif

using namespace tamblor;

namespace {

// Every entry of a folder, hidden ones included.
QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

void writeText(NativeFile& file, const QByteArray& text) { file.writeAt(0, text.constData(), size_t(text.size())); }

} // namespace

class SafeReplaceTest : public TempRootTest {
protected:
    void SetUp() override
    {
        TempRootTest::SetUp();
        QDir().mkpath(folder());
    }
    QString folder() const { return native("w"); }
    QString at(const QString& name) const { return folder() + '/' + name; }
};

TEST_F(SafeReplaceTest, TheTargetChangesOnlyAtCommitAndNothingIsLeftBeside)
{
    const QString target = at("song.wav");
    writeAllBytes(target, "old sound");
    {
        SafeReplace replace(target);
        writeText(replace.create(), "new sound");
        EXPECT_EQ(readAllBytes(target), "old sound");
        EXPECT_TRUE(QFileInfo(replace.workingPath()).isHidden());
        EXPECT_EQ(QFileInfo(replace.workingPath()).absolutePath(), QFileInfo(target).absolutePath());
        EXPECT_EQ(readAllBytes(replace.workingPath()), "new sound");
        replace.commit();
    }
    EXPECT_EQ(readAllBytes(target), "new sound");
    EXPECT_EQ(entries(folder()), QStringList{"song.wav"});

    // A target that does not exist yet is made; a writer that closes the file and writes by
    // name (as libsndfile does) is committed the same way.
    const QString fresh = at("fresh.wav");
    SafeReplace replace(fresh);
    replace.create().close();
    writeAllBytes(replace.workingPath(), "written by name");
    replace.commit();
    EXPECT_EQ(readAllBytes(fresh), "written by name");
    EXPECT_EQ(entries(folder()), (QStringList{"fresh.wav", "song.wav"}));
}

TEST_F(SafeReplaceTest, AnAdoptedFileTakesTheTargetsPlaceAndIsNeverRemovedOnFailure)
{
    const QString target = at("slot.wav");
    writeAllBytes(target, "old take");
    writeAllBytes(at("slot.new"), "new take");
    {
        SafeReplace replace(target, at("slot.new"));
        replace.adopt();
        EXPECT_EQ(readAllBytes(target), "old take");
        replace.commit();
    }
    EXPECT_EQ(readAllBytes(target), "new take");
    EXPECT_EQ(entries(folder()), QStringList{"slot.wav"});

    // Given up, or failing to take the place of a folder: the adopted file stays as it was.
    writeAllBytes(at("slot.new"), "kept take");
    {
        SafeReplace replace(target, at("slot.new"));
        replace.adopt();
    }
    EXPECT_EQ(readAllBytes(at("slot.new")), "kept take");
    QDir().mkpath(at("busy"));
    writeAllBytes(at("busy/inside"), "x");
    {
        SafeReplace replace(at("busy"), at("slot.new"));
        replace.adopt();
        EXPECT_THROW(replace.commit(), Failure);
    }
    EXPECT_EQ(readAllBytes(at("slot.new")), "kept take");
    EXPECT_EQ(readAllBytes(target), "new take");
    // Nothing to adopt, or no name given: refused.
    SafeReplace missing(target, at("none.new"));
    EXPECT_THROW(missing.adopt(), Failure);
    SafeReplace unnamed(target);
    EXPECT_THROW(unnamed.adopt(), Failure);
}

TEST_F(SafeReplaceTest, ACancelOrAFailedCommitRemovesTheWorkingFileAndKeepsTheTarget)
{
    const QString target = at("song.wav");
    writeAllBytes(target, "old sound");
    {
        SafeReplace replace(target);
        writeText(replace.create(), "half");
    } // cancelled: never committed
    EXPECT_EQ(readAllBytes(target), "old sound");
    EXPECT_EQ(entries(folder()), QStringList{"song.wav"});

    // The rename cannot replace a folder that holds something.
    const QString busy = at("busy.wav");
    QDir().mkpath(busy + "/inside");
    SafeReplace replace(busy);
    writeText(replace.create(), "new");
    try {
        replace.commit();
        ADD_FAILURE() << "replaced a folder";
    } catch (const Failure& f) {
        EXPECT_NE(f.number(), 0);
    }
    EXPECT_TRUE(QFileInfo(busy + "/inside").isDir());
    EXPECT_EQ(entries(folder()), (QStringList{"busy.wav", "song.wav"}));
}

TEST_F(SafeReplaceTest, AChosenWorkingNameIsNeverTakenFromAnExistingFile)
{
    const QString target = at("song.wav");
    const QString numbered = at("song01.wav");
    writeAllBytes(target, "old sound");
    writeAllBytes(numbered, "someone else's");
    {
        SafeReplace replace(target, numbered);
        EXPECT_EQ(failureNumber([&] { replace.create(); }), Failure::FileAlreadyExists);
    }
    EXPECT_EQ(readAllBytes(numbered), "someone else's");
    EXPECT_EQ(readAllBytes(target), "old sound");

    QFile::remove(numbered);
    SafeReplace replace(target, numbered);
    writeText(replace.create(), "shorter");
    EXPECT_EQ(readAllBytes(numbered), "shorter");
    replace.commit();
    EXPECT_EQ(readAllBytes(target), "shorter");
    EXPECT_FALSE(QFileInfo::exists(numbered));
}

#ifdef __linux__
TEST_F(SafeReplaceTest, APipeInTheTargetsPlaceIsReplacedWithoutWaitingForAWriter)
{
    const QString target = at("pipe.wav");
    ASSERT_EQ(::mkfifo(QFile::encodeName(target).constData(), 0600), 0);
    SafeReplace replace(target);
    writeText(replace.create(), "sound");
    replace.commit(); // would wait for ever if the pipe were opened to hold the old file
    EXPECT_TRUE(QFileInfo(target).isFile());
    EXPECT_EQ(readAllBytes(target), "sound");
}

TEST_F(SafeReplaceTest, AFileHandedToTheReleaserIsClosedSoon)
{
    const auto openHandles = [] { return QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size(); };
    writeAllBytes(at("old.wav"), "old");
    const auto before = openHandles();
    NativeFile file = NativeFile::open(at("old.wav"), NativeFile::Mode::Read);
    ASSERT_EQ(openHandles(), before + 1);
    closeInBackground(std::move(file));
    EXPECT_FALSE(file.isOpen());
    QElapsedTimer waited;
    waited.start();
    while (openHandles() > before && waited.elapsed() < 10000)
        QThread::msleep(5);
    EXPECT_EQ(openHandles(), before);
}
#endif
