#include "audio/devices/FilePlayer.h"
#include "audio/devices/VirtualBackend.h"
#include "audio/files/WaveFile.h"
#include "audio/jobs/Job.h"
#include "audio/widgets/Oscope.h"
#include "tests/editor/EditorFiles.h"
#include "tests/support/FileSizeLimit.h"
#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QFileInfo>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace tamblor;
using namespace edtest;
using namespace wavtest;

namespace {

// The sample bytes of a wave file, read through the wave object.
QByteArray dataOf(const QString& path)
{
    audio::WaveFile w;
    w.setFileName(path);
    QByteArray out(w.dataSize(), 0);
    const int64_t got = w.read(out.data(), out.size());
    out.truncate(got);
    return out;
}

} // namespace

class CutTest : public EditorTest {
protected:
    // 100000 bytes of 16-bit stereo over 100 columns: column x is byte 1000 * x.
    QString loadSong(const QString& name = "SONG.wav")
    {
        data = pattern(100000);
        const QString path = put(name, wav(1, 2, 44100, 16, data));
        setColumns(100);
        load(name);
        EXPECT_TRUE(editor->isLoaded());
        return path;
    }
    void select(int from, int to)
    {
        QTest::mousePress(editor->Oscope, Qt::LeftButton, {}, QPoint(from, 40));
        QTest::mouseRelease(editor->Oscope, Qt::LeftButton, {}, QPoint(to, 40));
    }
    QByteArray data;
};

TEST_F(CutTest, SelectionTenToTwentyThousandRemovesBytes8192To16383)
{
    const QString path = loadSong();
    select(10, 20);
    editor->mnuDelete->trigger();
    EXPECT_EQ(app->fields<EditorFields>().ExportStart, 10000);
    EXPECT_EQ(app->fields<EditorFields>().ExportStop, 20000);
    EXPECT_EQ(dataOf(path), data.left(8192) + data.mid(16384));
    EXPECT_EQ(editor->Label1->text(), " 100 %");
    EXPECT_FALSE(QFile::exists(native("C/Tamblor/SONG01.wav")));
    EXPECT_EQ(editor->cutCopyName(), "c:\\Tamblor\\SONG01.wav");
    // The same view, redrawn over the shorter file; the selection is gone.
    EXPECT_EQ(editor->ViewLength, 100000);
    EXPECT_EQ(editor->waveFile().dataSize(), 100000 - 8192);
    EXPECT_EQ(editor->Oscope->selectionStart(), -1);
    EXPECT_EQ(editor->PeakBuffer[99], 0); // past the new end of the data
    EXPECT_NE(editor->PeakBuffer[0], 0);
    EXPECT_TRUE(editor->memMapFile().isActive());
    EXPECT_TRUE(app->messageText().isEmpty());
}

TEST_F(CutTest, WithoutSelectionNothingGoesAndAWholeSelectionEmptiesTheData)
{
    const QString path = loadSong();
    editor->DeleteBytes(); // both marks just before the view: nothing removed, still rewritten
    EXPECT_EQ(app->fields<EditorFields>().ExportStart, -1000);
    EXPECT_EQ(app->fields<EditorFields>().ExportStop, -1000);
    EXPECT_EQ(dataOf(path), data);

    select(0, 100);
    editor->DeleteBytes();
    EXPECT_EQ(dataOf(path), QByteArray());
    audio::WaveFile w;
    w.setFileName(path);
    EXPECT_EQ(w.dataSize(), 0);
    EXPECT_EQ(w.sampleRate(), 44100);
    EXPECT_EQ(w.format().channels, 2);
}

TEST_F(CutTest, CopiesTakeTheNextFreeNumberedName)
{
    writeAllBytes(native("C/Tamblor/SONG01.wav"), "one");
    writeAllBytes(native("C/Tamblor/SONG02.wav"), "two");
    QDir().mkpath(native("C/Tamblor/SONG03.wav")); // a folder of that name is passed over too
    const QString path = loadSong();
    select(10, 20);
    editor->DeleteBytes();
    EXPECT_EQ(editor->cutCopyName(), "c:\\Tamblor\\SONG04.wav");
    EXPECT_FALSE(QFile::exists(native("C/Tamblor/SONG04.wav")));
    EXPECT_EQ(readAllBytes(native("C/Tamblor/SONG01.wav")), "one");
    EXPECT_EQ(readAllBytes(native("C/Tamblor/SONG02.wav")), "two");
    EXPECT_EQ(dataOf(path).size(), 100000 - 8192);

    // A .tmp file is copied under .wav candidates, and the result keeps the .tmp name.
    const QString tmp = loadSong("TAKE.tmp");
    select(10, 20);
    editor->DeleteBytes();
    EXPECT_EQ(editor->cutCopyName(), "c:\\Tamblor\\TAKE01.wav");
    EXPECT_FALSE(QFile::exists(native("C/Tamblor/TAKE01.wav")));
    EXPECT_EQ(dataOf(tmp), data.left(8192) + data.mid(16384));
}

TEST_F(CutTest, AFailedWriteLeavesTheOriginalIntactAndIsReported)
{
    const QString path = loadSong();
    const QByteArray before = readAllBytes(path);
    select(10, 20);
    // The file system refuses to grow any file past 50000 bytes while the copy is written.
    {
        FileSizeLimit full(50000);
        editor->DeleteBytes();
    }

    EXPECT_EQ(readAllBytes(path), before);
    EXPECT_FALSE(QFile::exists(native("C/Tamblor/SONG01.wav")));
    EXPECT_FALSE(app->messageText().isEmpty());
    EXPECT_FALSE(editor->isDeleting());
    // The editor still works on the untouched file.
    EXPECT_TRUE(editor->isLoaded());
    editor->DeleteBytes();
    EXPECT_EQ(dataOf(path), data.left(8192) + data.mid(16384));
}

TEST_F(CutTest, TheReplacementFailingKeepsTheOriginalAndRemovesTheCopy)
{
    const QString path = loadSong();
    select(10, 20);
    // The original's name is taken by a folder of the same name once the copy is made: the
    // rename cannot replace it. Simulated by turning the original into a non-empty folder while
    // the job is held at its progress step.
    editor->waitBytes = 0;
    editor->cutJob().setStepwise(true);
    bool replaced = false;
    QObject::connect(&editor->cutJob(), &jobs::Job::progressed, editor, [&] {
        if (replaced)
            return;
        replaced = true;
        QFile::remove(path);
        QDir().mkpath(path + "/inside");
    });
    editor->DeleteBytes();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editor->isDeleting(); }, 60000));
    EXPECT_TRUE(replaced);
    EXPECT_FALSE(app->messageText().isEmpty());
    EXPECT_TRUE(QFileInfo(path).isDir());
    EXPECT_TRUE(QFileInfo(path + "/inside").isDir());
    EXPECT_FALSE(QFileInfo::exists(native("C/Tamblor/SONG01.wav")));
}

TEST_F(CutTest, ATakeCutShortIsEditedAsTheWholeFramesThere)
{
    // The header claims twice the data, and the file ends inside a frame.
    data = pattern(100000);
    QByteArray bytes = wav(1, 2, 44100, 16, data, 200000);
    bytes.chop(2);
    const QString path = put("TAKE.wav", bytes);
    setColumns(100);
    load("TAKE.wav");
    ASSERT_TRUE(editor->isLoaded());
    EXPECT_EQ(editor->ViewLength, 100000 - 4);
    select(10, 20);
    editor->DeleteBytes();
    EXPECT_EQ(app->messageText(), "");
    const QByteArray kept = data.left(8192) + data.mid(16384, 100000 - 4 - 16384);
    EXPECT_EQ(dataOf(path), kept);
    const QByteArray after = readAllBytes(path);
    EXPECT_EQ(after.size(), 44 + kept.size());
    EXPECT_EQ(after.mid(40, 4), le32(uint32_t(kept.size())));
    EXPECT_EQ(after.mid(4, 4), le32(uint32_t(after.size() - 8)));
}

TEST_F(CutTest, DeletingStopsThePlayerFirstAndNeedsALoadedFile)
{
    const QString path = loadSong();
    QTest::mouseClick(editor->cmdPlay, Qt::LeftButton);
    editor->WavePlayer->waitIdle();
    ASSERT_TRUE(editor->WavePlayer->isPlaying());
    select(10, 20);
    editor->DeleteBytes();
    EXPECT_FALSE(editor->WavePlayer->isPlaying());
    EXPECT_FALSE(editor->Timer1->isActive());
    EXPECT_EQ(dataOf(path).size(), 100000 - 8192);

    // Nothing loaded (the last load failed): nothing is copied anywhere.
    put("Bad.wav", "RIFF");
    load("Bad.wav");
    ASSERT_FALSE(editor->isLoaded());
    const QStringList before = QDir(native("C/Tamblor")).entryList(QDir::Files);
    editor->DeleteBytes();
    EXPECT_EQ(QDir(native("C/Tamblor")).entryList(QDir::Files), before);
    EXPECT_FALSE(app->messageText().isEmpty());
}

TEST_F(CutTest, TinyFilesShowProgressWithoutDividingByZero)
{
    const QByteArray tiny = pattern(40);
    const QString path = put("Tiny.wav", wav(1, 2, 44100, 16, tiny));
    setColumns(100);
    load("Tiny.wav");
    ASSERT_TRUE(editor->isLoaded());
    select(0, 100);
    editor->DeleteBytes();
    EXPECT_EQ(editor->Label1->text(), " 100 %");
    EXPECT_EQ(dataOf(path), QByteArray());
}

TEST_F(CutTest, AVanishedFileOrAClosedWindowLeavesEverythingAsItWas)
{
    const QString path = loadSong();
    select(10, 20);
    QFile::remove(path);
    editor->DeleteBytes();
    EXPECT_EQ(app->messageText(), "53 File not found");
    EXPECT_EQ(QDir(native("C/Tamblor")).entryList(QDir::Files).filter("SONG"), QStringList());

    // The window is closed in the middle of the copy: the original stays, the half copy goes.
    loadSong();
    select(10, 20);
    const QByteArray before = readAllBytes(path);
    editor->waitBytes = 0;
    editor->cutJob().setStepwise(true);
    QPointer<frmEditor> alive(editor);
    QObject::connect(&editor->cutJob(), &jobs::Job::progressed, editor, [&] { editor->close(); });
    alive->DeleteBytes();
    ASSERT_TRUE(QTest::qWaitFor([&] { return alive.isNull(); }, 60000));
    EXPECT_EQ(readAllBytes(path), before);
    EXPECT_FALSE(QFile::exists(native("C/Tamblor/SONG01.wav")));
    EXPECT_EQ(QDir(native("C/Tamblor")).entryList({"SONG*"}, QDir::Files | QDir::Hidden), QStringList({"SONG.wav"}));
}

TEST_F(CutTest, TheCutsProgressReachesTheWindowWhileItsJobRuns)
{
    const QString path = loadSong();
    select(10, 20);
    editor->waitBytes = 0;
    editor->cutJob().setStepwise(true); // held at each step until the window has shown it
    std::vector<QString> shown;
    bool busyMeanwhile = true;
    QObject::connect(&editor->cutJob(), &jobs::Job::progressed, editor, [&] {
        shown.push_back(editor->Label1->text());
        busyMeanwhile = busyMeanwhile && editor->isDeleting();
    });
    editor->DeleteBytes();
    EXPECT_EQ(editor->Label1->text(), " 0 %"); // the job has only started
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editor->isBusy(); }, 60000));
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), " 100 %");
    EXPECT_TRUE(busyMeanwhile);
    EXPECT_EQ(dataOf(path), data.left(8192) + data.mid(16384));
    EXPECT_EQ(editor->PeakBuffer[99], 0); // redrawn over the shorter file
    EXPECT_TRUE(app->messageText().isEmpty());
}
