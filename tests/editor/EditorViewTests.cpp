#include "app/ButtonColour.h"
#include "audio/devices/FilePlayer.h"
#include "audio/devices/VirtualBackend.h"
#include "audio/widgets/Oscope.h"
#include "browse/DriveList.h"
#include "browse/FileList.h"
#include "browse/FolderList.h"
#include "tests/editor/EditorFiles.h"
#include "audio/jobs/Job.h"
#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace tamblor;
using namespace edtest;
using namespace wavtest;

namespace {

// 100 columns of 100 stereo frames each, with known extremes per column.
std::vector<int16_t> knownStereo()
{
    std::vector<int16_t> s(2 * 10000, 0);
    auto frame = [&](int column, int k, int left, int right) {
        s[size_t(2 * (column * 100 + k))] = int16_t(left);
        s[size_t(2 * (column * 100 + k) + 1)] = int16_t(right);
    };
    frame(1, 10, -500, 0);
    frame(1, 20, 500, 0);
    frame(2, 0, -700, 5);
    frame(2, 1, 10, 700);
    for (int k = 0; k < 100; ++k)
        frame(3, k, 1000 + k * 10, -3000);
    for (int c = 4; c < 100; ++c)
        frame(c, 50, c * 100, -(c * 100) / 2);
    return s;
}

} // namespace

TEST_F(EditorTest, WindowOpensOnTamblorFolderWithItsControls)
{
    EXPECT_EQ(editor->windowTitle(), "Editor");
    EXPECT_EQ(editor->Dir1->path(), "c:\\Tamblor");
    EXPECT_EQ(editor->File1->pattern(), "*.wav;*.tmp");
    EXPECT_EQ(editor->Drive1->drive(), "c:");
    const std::pair<const char*, const char*> captions[] = {
        {"cmd1", "1  S"}, {"cmd2", "10 S"}, {"cmd3", "1 M"}, {"cmd4", "10 M"}, {"cmd5", "Full"},
        {"cmdBegin", "<<"}, {"cmdRwd", "<"}, {"cmdFF", ">"}, {"cmdPlay", "&Play"}, {"cmdStop", "&Stop"},
        {"cmdGain", "Gain"}};
    for (auto [name, caption] : captions) {
        auto* b = editor->findChild<QPushButton*>(name);
        ASSERT_TRUE(b) << name;
        EXPECT_EQ(b->text(), caption);
    }
    EXPECT_EQ(editor->cmdFF->toolTip(), "Fast Forward in increments of track bar range");
    EXPECT_EQ(buttonColour(editor->cmdPlay), QColor(0x00, 0x80, 0x00));
    const std::pair<const char*, const char*> actions[] = {
        {"mnuLoad", "Load"}, {"mnuExit", "Exit"}, {"mnuExportStart", "Export Start"},
        {"mnuExportStop", "Export Stop"}, {"mnuExport", "Export"}, {"mnuDelete", "Delete"}};
    for (auto [name, caption] : actions) {
        auto* a = editor->findChild<QAction*>(name);
        ASSERT_TRUE(a) << name;
        EXPECT_EQ(a->text(), caption);
    }
    EXPECT_EQ(editor->mnuFiles->title(), "Files");
    EXPECT_FALSE(editor->lblUp->isVisible());
    EXPECT_FALSE(editor->Oscope->isEnabled());
    EXPECT_EQ(editor->Oscope->gain(), 10);
    EXPECT_TRUE(editor->findChild<audio::FilePlayer*>("WavePlayer"));
    EXPECT_EQ(editor->Timer1->interval(), 25);
    EXPECT_FALSE(editor->Timer1->isActive());

    // Nothing loaded: the view and transport buttons do nothing.
    for (QPushButton* b : {editor->cmd1, editor->cmd5, editor->cmdBegin, editor->cmdRwd, editor->cmdFF, editor->cmdPlay})
        QTest::mouseClick(b, Qt::LeftButton);
    EXPECT_EQ(editor->ViewLength, 0);
    EXPECT_FALSE(editor->WavePlayer->isPlaying());
    // A click on the list with nothing chosen loads nothing.
    editor->LoadChosenFile();
    EXPECT_TRUE(app->fields<EditorFields>().EditorFilePath.isEmpty());
}

TEST_F(EditorTest, BrowsingFollowsDriveAndFolderAndReportsAVanishedDrive)
{
    QDir().mkpath(native("D/Music"));
    writeAllBytes(native("D/Music/Take.WAV"), wav(1, 2, 44100, 16, QByteArray(400, 0)));
    editor->Drive1->refresh();
    editor->Drive1->setDrive("d");
    EXPECT_EQ(editor->Dir1->path(), "d:\\");
    editor->Dir1->setPath("d:\\Music");
    EXPECT_EQ(editor->File1->path(), "d:\\Music");
    ASSERT_EQ(editor->File1->count(), 1);

    // The drive's folder disappears (a medium taken out): the folder list stays where it was.
    editor->Drive1->setDrive("c");
    EXPECT_EQ(editor->Dir1->path(), "c:\\");
    QDir(native("D")).removeRecursively();
    editor->Drive1->setDrive("d");
    EXPECT_EQ(app->messageText(), "76 Path not found");
    EXPECT_EQ(editor->Dir1->path(), "c:\\");
    EXPECT_EQ(editor->Drive1->drive(), "c:");

    // "Load" shows the lists again and hides the display.
    editor->mnuLoad->trigger();
    EXPECT_FALSE(editor->Oscope->isVisible());
    EXPECT_TRUE(editor->File1->isVisible());
}

TEST_F(EditorTest, DrawsSixteenBitStereoColumnsWithTheirExtremes)
{
    put("Known.wav", wav(1, 2, 44100, 16, pcmBytes(knownStereo(), 16)));
    setColumns(100);
    load("Known.wav");
    ASSERT_TRUE(editor->isLoaded());
    EXPECT_EQ(app->fields<EditorFields>().EditorFilePath, "c:\\Tamblor\\Known.wav");
    EXPECT_FALSE(editor->File1->isVisible());
    EXPECT_FALSE(editor->Dir1->isVisible());
    EXPECT_FALSE(editor->Drive1->isVisible());
    EXPECT_TRUE(editor->Oscope->isVisible());
    EXPECT_TRUE(editor->Oscope->isEnabled());
    EXPECT_EQ(editor->ColumnCount, 100);
    EXPECT_EQ(editor->ViewStart, 0);
    EXPECT_EQ(editor->ViewLength, 40000);
    EXPECT_EQ(editor->ColumnStep, 400);
    EXPECT_EQ(editor->BytesPerSecond, 176400);
    ASSERT_EQ(editor->PeakBuffer.size(), 100u);
    EXPECT_EQ(editor->PeakBuffer[0], 0);
    EXPECT_EQ(editor->PeakBuffer[1], 500);  // -500 and 500 tie: the later
    EXPECT_EQ(editor->PeakBuffer[2], 700);  // -700 and 700 tie: the second channel
    EXPECT_EQ(editor->PeakBuffer[3], -3000);
    for (int c = 4; c < 100; ++c)
        EXPECT_EQ(editor->PeakBuffer[size_t(c)], c * 100) << c;
    EXPECT_EQ(editor->Oscope->columns(), QVector<int16_t>(editor->PeakBuffer.begin(), editor->PeakBuffer.end()));
    EXPECT_EQ(editor->Oscope->locator(), 0);
    EXPECT_EQ(editor->lblUp->text(), "00:00:00");

    // One view forward lies wholly past the data: every column is silent.
    QTest::mouseClick(editor->cmdFF, Qt::LeftButton);
    EXPECT_EQ(editor->ViewStart, 40000);
    EXPECT_EQ(editor->PeakBuffer, std::vector<int16_t>(100, 0));
    // "<<" returns to the start.
    QTest::mouseClick(editor->cmdBegin, Qt::LeftButton);
    EXPECT_EQ(editor->ViewStart, 0);
    EXPECT_EQ(editor->PeakBuffer[50], 5000);

    // A wider display draws the same view over its new columns.
    setColumns(200);
    QCoreApplication::processEvents();
    EXPECT_EQ(editor->ColumnCount, 200);
    EXPECT_EQ(editor->ColumnStep, 200);
    ASSERT_EQ(editor->PeakBuffer.size(), 200u);
    EXPECT_EQ(editor->PeakBuffer[101], 5000); // frame 5050 now lies in the second half column
    EXPECT_EQ(editor->Oscope->columns().size(), 200);
}

TEST_F(EditorTest, DrawsEightBitMonoOnTheSixteenBitScale)
{
    QByteArray data(800, char(128));
    data[8] = char(0);    // column 1
    data[16] = char(255); // column 2
    data[24] = char(0);   // column 3: both ends
    data[25] = char(255);
    put("Mono8.wav", wav(1, 1, 8000, 8, data));
    setColumns(100);
    load("Mono8.wav");
    ASSERT_TRUE(editor->isLoaded());
    EXPECT_EQ(editor->BytesPerSecond, 8000);
    EXPECT_EQ(editor->ColumnStep, 8);
    EXPECT_EQ(editor->PeakBuffer[0], 0);
    EXPECT_EQ(editor->PeakBuffer[1], -32768);
    EXPECT_EQ(editor->PeakBuffer[2], 32512);
    EXPECT_EQ(editor->PeakBuffer[3], -32768);
    EXPECT_EQ(editor->PeakBuffer[4], 0);
}

TEST_F(EditorTest, ZoomButtonsSetTheViewAtTheLocator)
{
    // Three seconds of 16-bit stereo at 44100 over 376 columns.
    std::vector<int16_t> s(size_t(2 * 44100 * 3), 1000);
    put("Three.wav", wav(1, 2, 44100, 16, pcmBytes(s, 16)));
    setColumns(376);
    load("Three.wav");
    ASSERT_TRUE(editor->isLoaded());
    const int64_t length = 529200 + 44;
    EXPECT_EQ(editor->ColumnCount, 376);

    editor->Oscope->setLocator(94);
    QTest::mouseClick(editor->cmd1, Qt::LeftButton);
    EXPECT_EQ(editor->ViewStart, 132300); // column 94 of 376 over 529200 bytes
    EXPECT_EQ(editor->ViewLength, 176400);
    EXPECT_EQ(editor->ColumnStep, 468);

    editor->Oscope->setLocator(0);
    QTest::mouseClick(editor->cmd2, Qt::LeftButton);
    EXPECT_EQ(editor->ViewStart, 132300);
    EXPECT_EQ(editor->ViewLength, 1764000);
    QTest::mouseClick(editor->cmd3, Qt::LeftButton);
    EXPECT_EQ(editor->ViewLength, 10584000);
    // Past the data every column is 0, and nothing is read there.
    EXPECT_EQ(editor->PeakBuffer[375], 0);
    EXPECT_EQ(editor->PeakBuffer[0], 1000);
    QTest::mouseClick(editor->cmd4, Qt::LeftButton);
    EXPECT_EQ(editor->ViewLength, length); // ten minutes cut to the file's length

    // "Full": the locator's byte becomes the start mark and the player's position.
    editor->Oscope->setLocator(188);
    const int64_t expected = editor->columnToByte(188);
    QTest::mouseClick(editor->cmd5, Qt::LeftButton);
    EXPECT_EQ(app->fields<EditorFields>().ExportStart, expected);
    EXPECT_EQ(editor->ViewStart, 0);
    EXPECT_EQ(editor->ViewLength, length);
    EXPECT_EQ(editor->WavePlayer->position(), expected - expected % 4);

    // "<" goes one view back (not below 0) and reloads the whole data.
    QTest::mouseClick(editor->cmd1, Qt::LeftButton);
    const int64_t zoomedAt = editor->ViewStart;
    QTest::mouseClick(editor->cmdRwd, Qt::LeftButton);
    EXPECT_EQ(editor->ViewStart, std::max<int64_t>(0, zoomedAt - 176400));
    EXPECT_EQ(editor->ViewLength, 529200);
    EXPECT_EQ(editor->WavePlayer->position(), editor->ViewStart - editor->ViewStart % 4);
    QTest::mouseClick(editor->cmdRwd, Qt::LeftButton);
    EXPECT_EQ(editor->ViewStart, 0);
}

TEST_F(EditorTest, ClicksMoveThePlayPositionAndSelectionsAreReadOut)
{
    put("Known.wav", wav(1, 2, 44100, 16, pcmBytes(knownStereo(), 16)));
    setColumns(100);
    load("Known.wav");
    ASSERT_TRUE(editor->isLoaded());

    QTest::mouseClick(editor->Oscope, Qt::LeftButton, {}, QPoint(30, 40));
    EXPECT_EQ(editor->WavePlayer->position(), 12000);
    EXPECT_EQ(editor->Oscope->locator(), 30);
    EXPECT_EQ(editor->Label2->text(), QString::number(12000 / 1761000.0, 'g', 15) + "       12000");
    EXPECT_EQ(editor->Label1->text(), "-1 -1");

    // Middle and right buttons do not move the play position.
    QTest::mouseClick(editor->Oscope, Qt::MiddleButton, {}, QPoint(70, 40));
    EXPECT_EQ(editor->WavePlayer->position(), 12000);

    // A drag selects; its release shows the columns.
    QTest::mousePress(editor->Oscope, Qt::LeftButton, {}, QPoint(10, 40));
    QTest::mouseRelease(editor->Oscope, Qt::LeftButton, {}, QPoint(20, 40));
    EXPECT_EQ(editor->Oscope->selectionStart(), 10);
    EXPECT_EQ(editor->Oscope->selectionEnd(), 20);
    EXPECT_EQ(editor->Label1->text(), "10 20");

    // Releasing the right button opens the pop-up menu.
    QTest::mouseClick(editor->Oscope, Qt::RightButton, {}, QPoint(15, 40));
    EXPECT_TRUE(editor->mnuHiddenPopup->isVisible());
    editor->mnuHiddenPopup->hide();
    EXPECT_EQ(editor->Label1->text(), "10 20");
    EXPECT_EQ(editor->WavePlayer->position(), 4000); // the left press at 10
}

TEST_F(EditorTest, PlaysASelectionAndStopsAtItsEnd)
{
    auto& backend = dynamic_cast<audio::VirtualBackend&>(app->audio());
    put("Known.wav", wav(1, 2, 44100, 16, pcmBytes(knownStereo(), 16)));
    setColumns(100);
    load("Known.wav");
    ASSERT_TRUE(editor->isLoaded());
    QTest::mousePress(editor->Oscope, Qt::LeftButton, {}, QPoint(10, 40));
    QTest::mouseRelease(editor->Oscope, Qt::LeftButton, {}, QPoint(20, 40));

    editor->mnuLoad->trigger(); // the lists shown again ...
    EXPECT_TRUE(editor->File1->isVisible());
    QTest::mouseClick(editor->cmdPlay, Qt::LeftButton);
    editor->WavePlayer->waitIdle();
    ASSERT_TRUE(editor->WavePlayer->isPlaying());
    EXPECT_FALSE(editor->File1->isVisible()); // ... and the file list hidden once playing starts
    EXPECT_TRUE(editor->lblUp->isVisible());
    EXPECT_TRUE(editor->Timer1->isActive());
    EXPECT_EQ(buttonColour(editor->cmdPlay), QColor(0x80, 0xFF, 0x80));
    EXPECT_EQ(editor->WavePlayer->position(), 4000); // column 10 of 100 over 40000 bytes

    backend.advance(999); // 3996 bytes later
    editor->WavePlayer->waitIdle();
    editor->Timer1_Timer();
    EXPECT_EQ(editor->Oscope->locator(), 20); // 7996 bytes: column 19.99
    EXPECT_TRUE(editor->WavePlayer->isPlaying());
    backend.advance(1);
    editor->WavePlayer->waitIdle();
    editor->Timer1_Timer();
    EXPECT_FALSE(editor->WavePlayer->isPlaying()); // the end mark reached: stopped
    EXPECT_FALSE(editor->Timer1->isActive());
    EXPECT_EQ(buttonColour(editor->cmdPlay), QColor(0x00, 0x80, 0x00));
    EXPECT_EQ(editor->lblUp->text(), "00:00:00");
}

TEST_F(EditorTest, PlayingPastTheRightEdgeTurnsThePage)
{
    auto& backend = dynamic_cast<audio::VirtualBackend&>(app->audio());
    std::vector<int16_t> s(size_t(2 * 44100 * 3), 0);
    put("Three.wav", wav(1, 2, 44100, 16, pcmBytes(s, 16)));
    setColumns(100);
    load("Three.wav");
    QTest::mouseClick(editor->cmd1, Qt::LeftButton); // one second in view
    QTest::mouseClick(editor->cmdPlay, Qt::LeftButton);
    editor->WavePlayer->waitIdle();
    ASSERT_TRUE(editor->WavePlayer->isPlaying());
    backend.advance(44100 + 441);
    editor->WavePlayer->waitIdle();
    editor->Timer1_Timer();
    EXPECT_EQ(editor->ViewStart, 176400);
    EXPECT_EQ(editor->Oscope->locator(), 0);
    EXPECT_EQ(editor->lblUp->text(), "00:00:01"); // 178164 bytes / 176000, rounded
    QTest::mouseClick(editor->cmdStop, Qt::LeftButton);
    EXPECT_FALSE(editor->WavePlayer->isPlaying());
    EXPECT_FALSE(editor->Timer1->isActive());
}

TEST_F(EditorTest, TimeConvertAndGainSteps)
{
    editor->PositionSeconds = 3725;
    editor->TimeConvert();
    EXPECT_EQ(editor->PositionText, "01:02:05");
    QTest::mouseClick(editor->cmdGain, Qt::LeftButton);
    EXPECT_EQ(editor->cmdGain->text(), "Gain 11");
    EXPECT_EQ(editor->Oscope->gain(), 11);
    for (int i = 0; i < 39; ++i)
        editor->cmdGain_Click();
    EXPECT_EQ(editor->cmdGain->text(), "Gain 50");
    editor->cmdGain_Click();
    EXPECT_EQ(editor->cmdGain->text(), "Gain 0");
    EXPECT_EQ(editor->Oscope->gain(), 0);
    for (int i = 0; i < 51; ++i)
        editor->cmdGain_Click();
    EXPECT_EQ(editor->GainStep, 0);
}

TEST_F(EditorTest, MarksTakeThePlayPositionAndExportOpensTheSendWindow)
{
    put("Known.wav", wav(1, 2, 44100, 16, pcmBytes(knownStereo(), 16)));
    setColumns(100);
    load("Known.wav");
    QTest::mouseClick(editor->Oscope, Qt::LeftButton, {}, QPoint(25, 40));
    editor->mnuExportStart->trigger();
    QTest::mouseClick(editor->Oscope, Qt::LeftButton, {}, QPoint(75, 40));
    editor->mnuExportStop->trigger();
    EXPECT_EQ(app->fields<EditorFields>().ExportStart, 10000);
    EXPECT_EQ(app->fields<EditorFields>().ExportStop, 30000);

    int opened = 0;
    app->windows().registerWindow(WindowName::frmSend, [&](Application& a) {
        ++opened;
        return new Form(a, WindowName::frmSend);
    });
    editor->mnuExport->trigger();
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(app->windows().find(WindowName::frmSend));
}

TEST_F(EditorTest, MalformedFilesAreRefusedWithoutACrash)
{
    const QByteArray good = wav(1, 2, 44100, 16, QByteArray(4000, 1));
    QByteArray truncatedHeader = good.left(30);
    const QByteArray noData = riff(chunk("fmt ", fmtBody(audio::WaveFormat::pcm(44100, 2, 16))));
    QByteArray zeroChannels = good;
    zeroChannels[22] = 0;
    const std::pair<const char*, QByteArray> files[] = {
        {"Empty.wav", QByteArray()}, {"Header.wav", truncatedHeader}, {"NoData.wav", noData},
        {"Noise.wav", QByteArray(5000, 'x')}, {"Chan.wav", zeroChannels}};
    put("Good.wav", good);
    setColumns(100);
    for (const auto& [name, bytes] : files) {
        put(name, bytes);
        load("Good.wav");
        ASSERT_TRUE(editor->isLoaded());
        prompts->asked.clear();
        load(name);
        EXPECT_FALSE(editor->isLoaded()) << name;
        ASSERT_EQ(prompts->asked.size(), 1u) << name;
        EXPECT_EQ(prompts->asked[0].text, "Error loading file");
        EXPECT_EQ(prompts->asked[0].title, "Tamblor");
        EXPECT_FALSE(editor->Oscope->isEnabled());
        EXPECT_FALSE(editor->memMapFile().isActive());
        EXPECT_TRUE(editor->Oscope->columns().isEmpty());
        // Nothing to play, cut or draw afterwards.
        QTest::mouseClick(editor->cmdPlay, Qt::LeftButton);
        EXPECT_FALSE(editor->WavePlayer->isPlaying());
        QTest::mouseClick(editor->cmd5, Qt::LeftButton);
    }
    // A file gone between load and rewind is refused by the reload the same way.
    load("Good.wav");
    QFile::remove(native("C/Tamblor/Good.wav"));
    prompts->asked.clear();
    QTest::mouseClick(editor->cmdRwd, Qt::LeftButton);
    ASSERT_EQ(prompts->asked.size(), 1u);
    EXPECT_EQ(prompts->asked[0].text, "Error loading file");
    EXPECT_FALSE(editor->isLoaded());
}

TEST_F(EditorTest, NonPcmLoadsFromTheListButTheReloadRefusesIt)
{
    // Tag 6 (A-law) with 16-bit sized frames: drawn as though it were PCM.
    put("Float.wav", wav(6, 2, 44100, 16, pcmBytes(knownStereo(), 16)));
    setColumns(100);
    load("Float.wav");
    EXPECT_TRUE(editor->isLoaded());
    EXPECT_TRUE(prompts->asked.empty());
    EXPECT_EQ(editor->PeakBuffer[50], 5000);
    QTest::mouseClick(editor->cmdRwd, Qt::LeftButton);
    ASSERT_EQ(prompts->asked.size(), 1u);
    EXPECT_EQ(prompts->asked[0].text, "Only PCM-Wave files can be loaded");
    EXPECT_FALSE(editor->memMapFile().isActive());
    EXPECT_TRUE(editor->Oscope->columns().isEmpty());
}

TEST_F(EditorTest, ADrawingGivesWayToANewLoadAndToTheWindowGoingAway)
{
    std::vector<int16_t> quiet(2 * 10000, 0);
    put("Quiet.wav", wav(1, 2, 44100, 16, pcmBytes(quiet, 16)));
    put("Known.wav", wav(1, 2, 44100, 16, pcmBytes(knownStereo(), 16)));
    setColumns(100);
    load("Quiet.wav");
    editor->waitBytes = 0; // every drawing runs while the window goes on

    // A new file chosen while the old one draws: the picture is the new file's.
    editor->DrawWave();
    EXPECT_TRUE(editor->isBusy());
    load("Known.wav");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editor->isBusy(); }, 60000));
    EXPECT_EQ(app->fields<EditorFields>().EditorFilePath, "c:\\Tamblor\\Known.wav");
    EXPECT_EQ(editor->PeakBuffer[99], 9900);
    EXPECT_EQ(editor->Oscope->columns()[99], 9900);

    // "Exit" closes the window while it draws; the drawing ends with it.
    QPointer<frmEditor> exiting(editor);
    editor->DrawWave();
    editor->mnuExit->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(exiting.isNull());
    EXPECT_FALSE(app->windows().find(WindowName::frmEditor));
    editor = app->windows().show<frmEditor>(WindowName::frmEditor);
    setColumns(100);
    load("Known.wav");
    editor->waitBytes = 0;

    // The window destroyed in the middle of a drawing: the drawing just ends.
    QPointer<frmEditor> alive(editor);
    editor->DrawWave();
    delete editor;
    EXPECT_TRUE(alive.isNull());
    QCoreApplication::processEvents(); // nothing of the drawing arrives
}

TEST_F(EditorTest, TheWindowAnswersWhileALargeDrawingRunsAndShowsItsColumnsAsTheyCome)
{
    std::vector<int16_t> s(2 * 10000, 0);
    for (int c = 0; c < 100; ++c)
        s[size_t(2 * (c * 100 + 50))] = int16_t(100 * c);
    put("Known.wav", wav(1, 2, 44100, 16, pcmBytes(s, 16)));
    setColumns(100);
    load("Known.wav");
    editor->waitBytes = 0;
    editor->drawJob().setStepwise(true); // held at each delivery until the window has shown it
    QPointer<frmEditor> alive(editor);
    bool answered = false, drawnMeanwhile = false;
    QObject::connect(&editor->drawJob(), &jobs::Job::started, editor, [&] {
        // A click on "Gain" while the columns are being measured.
        QTimer::singleShot(0, editor, [&] {
            drawnMeanwhile = editor->isBusy();
            QTest::mouseClick(editor->cmdGain, Qt::LeftButton);
            answered = editor->cmdGain->text() == "Gain 11";
        });
    });
    QTest::mouseClick(editor->cmd5, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editor->isBusy(); }, 60000));
    EXPECT_TRUE(answered);
    EXPECT_TRUE(drawnMeanwhile);
    EXPECT_EQ(editor->PeakBuffer[99], 9900);
    EXPECT_EQ(editor->Oscope->columns()[99], 9900);
}

TEST_F(EditorTest, AFileShortenedOnDiskAfterLoadingDrawsWithoutACrash)
{
    // A file another program cuts short while it is loaded: the pages past its new end are
    // gone from the mapping, so a drawing that still trusts the old size would fault.
    std::vector<int16_t> loud(2 * 400000, 0);
    for (size_t i = 0; i < loud.size(); ++i)
        loud[i] = int16_t(i % 2 ? -12000 : 12000);
    const QString path = put("Shrinks.wav", wav(1, 2, 44100, 16, pcmBytes(loud, 16)));
    setColumns(100);
    load("Shrinks.wav");
    ASSERT_TRUE(editor->isLoaded());
    EXPECT_EQ(std::abs(editor->PeakBuffer[99]), 12000);
    {
        QFile f(path);
        ASSERT_TRUE(f.resize(4096));
    }
    // A zoom, a page turn and the full view all draw again over the shortened file.
    QTest::mouseClick(editor->cmd5, Qt::LeftButton);
    EXPECT_EQ(editor->PeakBuffer[99], 0);
    QTest::mouseClick(editor->cmdFF, Qt::LeftButton);
    QTest::mouseClick(editor->cmdBegin, Qt::LeftButton);
    EXPECT_EQ(std::abs(editor->PeakBuffer[0]), 12000);
    EXPECT_EQ(editor->PeakBuffer[99], 0);
}

TEST_F(EditorTest, DrawsTwentyFourAndThirtyTwoBitSamplesByTheirTopSixteenBits)
{
    // 100 columns of 100 frames; a sample's top 16 bits are what the column shows.
    const auto sampleBytes = [](int64_t v, int bytes) {
        QByteArray b;
        for (int i = 0; i < bytes; ++i)
            b += char((v >> (8 * i)) & 0xff);
        return b;
    };
    QByteArray mono24;
    for (int f = 0; f < 10000; ++f)
        mono24 += sampleBytes(f == 5010 ? 0x123400 : f == 7020 ? -0x123400 : 0, 3);
    put("Mono24.wav", wav(1, 1, 44100, 24, mono24));
    QByteArray stereo32;
    for (int f = 0; f < 10000; ++f) {
        stereo32 += sampleBytes(f == 5010 ? 0x12347FFF : 0, 4);
        stereo32 += sampleBytes(f == 6010 ? -0x12340000 + 0x1234 : f == 5010 ? 0x00107FFF : 0, 4);
    }
    put("Stereo32.wav", wav(1, 2, 44100, 32, stereo32));
    setColumns(100);

    load("Mono24.wav");
    ASSERT_TRUE(editor->isLoaded());
    ASSERT_EQ(editor->PeakBuffer.size(), 100u);
    for (int c = 0; c < 100; ++c)
        EXPECT_EQ(editor->PeakBuffer[size_t(c)], c == 50 ? 4660 : c == 70 ? -4660 : 0) << "24-bit column " << c;

    load("Stereo32.wav");
    ASSERT_TRUE(editor->isLoaded());
    ASSERT_EQ(editor->PeakBuffer.size(), 100u);
    for (int c = 0; c < 100; ++c)
        EXPECT_EQ(editor->PeakBuffer[size_t(c)], c == 50 ? 4660 : c == 60 ? -4660 : 0) << "32-bit column " << c;
}
