// Fixed-slot events: each take is written to its slot's working file beside the library, which
// takes the slot's place only when the take is OK. A full library (900 slots used) records them,
// a take that is not OK leaves the slot's file byte for byte and is kept where the operator finds
// it, and a take the program did not finish is found and kept at the next start. The working file
// is no slot: nothing that lists or maintains slots sees it.
#include "StudioFixture.h"
#include "library/LibraryLayout.h"
#include "library/SoundLibrary.h"
#include "library/maintenance/IndexMaintenance.h"
#include "studio/TakeReading.h"
#include "tests/audio/devices/SignalMeasure.h"
#include <QDir>
#include <QFileInfo>
#include <cmath>

using namespace tamblor;
using namespace tamblor::audio;
using namespace tamblor::schedule;
using RS = RecordingSession;

namespace {

class FixedSlotTest : public StudioTest {
protected:
    void SetUp() override
    {
        StudioTest::SetUp();
        // 44100 stereo, start mode Off, unity gain.
        writeSettings({{3, 3}, {5, 1}, {6, 0}, {11, 16384}});
    }
    static QByteArray rec(const char* status, const QString& name, const QString& length = "0",
                          const QString& date = "12-01-26")
    {
        return indexRecordBytes(status, name, length, date);
    }
    // Every one of the 900 slots used, slot 5 holding the old spot (3 s at 1234) with its file;
    // `freeSlot` (0: none) is free.
    void fullLibrary(int freeSlot = 0)
    {
        QList<QByteArray> records;
        for (int slot = 1; slot <= LibraryLayout::MaxSlots; ++slot)
            records << (slot == 5           ? rec("1", "SPOT OLD", "3")
                        : slot == freeSlot ? rec("0", "")
                                           : rec("1", QString("TAKE %1").arg(slot), "1"));
        writeIndex(records);
        measure::writeWav(slotFile(5), 44100, 2, std::vector<int16_t>(2 * 3 * 44100, 1234));
    }
    qint64 addSpot()
    {
        RecordEvent spot = event("SPOT", QTime(16, 55), 60);
        spot.destination = Destination::FixedSlot;
        spot.fixedSlot = 5;
        return add(spot);
    }
    QString workingFile() const { return native("C/Tamblor/SF0005.NEW"); }
    QString keptFile(int n) const { return native(QString("C/Tamblor/TK0005_%1.wav").arg(n)); }
    // The index without one record (what must not change around it).
    QByteArray indexWithout(int slot) const
    {
        QByteArray all = indexBytes();
        return all.remove(39 * (slot - 1), 39);
    }
};

} // namespace

TEST_F(FixedSlotTest, InAFullLibraryAnOKTakeReplacesTheFixedSlotWithItsFramesAndFigures)
{
    fullLibrary();
    startAt(local(2026, 12, 7, 16, 50));
    const QByteArray before = indexBytes();
    studio->measurer().request(5);
    studio->measurer().finishAll();
    const auto oldFigures = studio->figures().current(5, slotFile(5));
    ASSERT_TRUE(oldFigures);
    const QByteArray oldFile = readAllBytes(slotFile(5));
    backend().setInputSignal(sources::counter());
    const qint64 id = addSpot();

    // Under way: the take is in the working file; no slot is reserved, the index and slot 5's
    // file are as they were, and nothing that lists or maintains slots sees the working file.
    runUntil(ms(local(2026, 12, 7, 16, 55, 30)));
    ASSERT_EQ(take().state(), RS::State::Writing);
    EXPECT_TRUE(take().intoWorkingFile());
    EXPECT_EQ(take().slot(), 5);
    EXPECT_TRUE(QFileInfo(workingFile()).isFile());
    EXPECT_EQ(indexBytes(), before);
    EXPECT_EQ(readAllBytes(slotFile(5)), oldFile);
    EXPECT_EQ(studio->library().firstFreeSlot(), LibraryLayout::MaxSlots + 1);
    EXPECT_EQ(LibraryLayout::slotOfFileName(QFileInfo(workingFile()).fileName()), 0);
    told.clear();
    IndexMaintenance maintenance(*core, studio->library());
    maintenance.ViewFileIndex();
    EXPECT_TRUE(told.isEmpty()) << told.join("\n").toStdString();
    maintenance.DeleteFileIndex();
    EXPECT_EQ(indexBytes(), before);
    EXPECT_TRUE(QFileInfo(workingFile()).isFile());
    ASSERT_EQ(runsOf(id).size(), 1u);
    EXPECT_TRUE(runsOf(id)[0].underWay());
    EXPECT_EQ(runsOf(id)[0].slot, 5);

    runUntil(ms(local(2026, 12, 7, 17, 0)));
    const auto runs = runsOf(id);
    ASSERT_EQ(runs.size(), 1u);
    const RecordRun& run = runs[0];
    EXPECT_EQ(run.result, RunResult::OK) << run.detail.toStdString();
    EXPECT_EQ(run.slot, 5);
    EXPECT_EQ(run.lengthFrames, 60 * 44100);
    // The working file became slot 5's file: exactly the planned frames, the first the one due
    // at 16:55 (two seconds after the input opened, as the counter numbers them).
    EXPECT_FALSE(QFileInfo::exists(workingFile()));
    const auto wav = measure::readWav(slotFile(5));
    ASSERT_EQ(wav.samples.size(), size_t(2 * 60 * 44100));
    for (size_t i = 0; i < wav.samples.size(); i += 2)
        ASSERT_EQ(wav.samples[i], int16_t((88200 + i / 2) % 32768)) << "frame " << i / 2;
    EXPECT_EQ(TakeReading::passesOver(workingFile()), 1);
    // Slot 5's entry is the new take's; every other slot is as it was.
    EXPECT_EQ(recordBytes(5), rec("1", "SPOT", "60", "12-07-26"));
    QByteArray others = before;
    EXPECT_EQ(indexWithout(5), others.remove(39 * 4, 39));
    // The new take's figures are slot 5's, current for its file; the run refers to them.
    const auto figures = studio->figures().current(5, slotFile(5));
    ASSERT_TRUE(figures);
    EXPECT_EQ(figures->id, run.figuresId);
    EXPECT_EQ(figures->frames, 60 * 44100);
    EXPECT_EQ(oldFigures->frames, 3 * 44100);
    EXPECT_GT(*figures->peakDbfs, -0.01);
    EXPECT_NEAR(*oldFigures->peakDbfs, 20 * std::log10(1234.0 / 32768.0), 0.01);
    EXPECT_TRUE(QDir(native("C/Tamblor")).entryList({"TK*"}, QDir::Files).isEmpty());
}

TEST_F(FixedSlotTest, ATakeThatIsNotOKLeavesTheSlotByteForByteAndIsKeptWhereTheOperatorFindsIt)
{
    fullLibrary();
    startAt(local(2026, 12, 7, 16, 50));
    const QByteArray before = indexBytes();
    const QByteArray oldFile = readAllBytes(slotFile(5));
    const qint64 id = addSpot();

    // Day one, silent: no slot is free, so the take is kept beside the library as a wave file.
    backend().setInputSignal(sources::silence());
    runUntil(ms(local(2026, 12, 7, 17, 0)));
    auto runs = runsOf(id);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].result, RunResult::Silent);
    EXPECT_EQ(runs[0].slot, 0);
    EXPECT_TRUE(runs[0].detail.endsWith("Slot 5 keeps its take; this one is in C:\\Tamblor\\TK0005_1.wav (no slot "
                                        "was free)."))
        << runs[0].detail.toStdString();
    EXPECT_EQ(readAllBytes(slotFile(5)), oldFile);
    EXPECT_EQ(indexBytes(), before);
    EXPECT_FALSE(QFileInfo::exists(workingFile()));
    EXPECT_EQ(measure::readWav(keptFile(1)).samples.size(), size_t(2 * 60 * 44100));
    ASSERT_TRUE(runs[0].figures);
    EXPECT_TRUE(std::isinf(*runs[0].peakDbfs()));
    EXPECT_TRUE(lastTold().contains("TK0005_1.wav")) << lastTold().toStdString();

    // Day two, silent again: a take kept earlier is never written over.
    const QByteArray dayOne = readAllBytes(keptFile(1));
    runUntil(ms(local(2026, 12, 8, 17, 0)));
    runs = runsOf(id);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].result, RunResult::Silent);
    EXPECT_TRUE(runs[0].detail.contains("TK0005_2.wav")) << runs[0].detail.toStdString();
    EXPECT_EQ(readAllBytes(keptFile(1)), dayOne);
    EXPECT_TRUE(QFileInfo(keptFile(2)).isFile());

    // Day three, a slot is free and the input fails 20 s in: the short take goes to the free
    // slot, as a take of a free slot always did, and slot 5 still has its old take.
    studio->library().release(7);
    backend().setInputSignal(sources::tone(1000.0, 8000));
    runUntil(ms(local(2026, 12, 9, 16, 55, 20)));
    ASSERT_EQ(take().state(), RS::State::Writing);
    EXPECT_EQ(studio->library().read(7)->Status, SlotStatus::Free) << "no slot is taken for the take";
    backend().failInput();
    runUntil(ms(local(2026, 12, 9, 17, 0)));
    runs = runsOf(id);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].result, RunResult::Short) << runs[0].detail.toStdString();
    EXPECT_EQ(runs[0].slot, 7);
    EXPECT_TRUE(runs[0].detail.endsWith("Slot 5 keeps its take; this one is in slot 7.")) << runs[0].detail.toStdString();
    EXPECT_EQ(recordBytes(7).left(1), "1");
    EXPECT_TRUE(recordBytes(7).mid(1, 25).startsWith("SPOT "));
    EXPECT_EQ(qint64(measure::readWav(slotFile(7)).samples.size() / 2), runs[0].lengthFrames);
    EXPECT_EQ(studio->figures().current(7, slotFile(7))->id, runs[0].figuresId);
    EXPECT_EQ(readAllBytes(slotFile(5)), oldFile);
    EXPECT_EQ(recordBytes(5), rec("1", "SPOT OLD", "3"));
    EXPECT_FALSE(QFileInfo::exists(workingFile()));
}

TEST_F(FixedSlotTest, ATakeCutOffByTheProgramsEndIsFoundAndKeptAtTheNextStartNeverDeleted)
{
    fullLibrary(9);
    startAt(local(2026, 12, 7, 16, 50));
    const QByteArray oldFile = readAllBytes(slotFile(5));
    backend().setInputSignal(sources::tone(1000.0, 8000));
    const qint64 id = addSpot();

    // Killed 30 s into the take: no end of the program, the working file as it was written.
    runUntil(ms(local(2026, 12, 7, 16, 55, 30)));
    ASSERT_EQ(take().state(), RS::State::Writing);
    studio.reset();
    const qint64 held = qint64(measure::readWav(workingFile()).samples.size() / 2);
    ASSERT_GT(held, 29 * 44100);
    newCore();
    newStudio();
    startAt(local(2026, 12, 7, 17, 5));

    // Interrupted, replacing nothing: kept in the free slot, with its figures.
    auto runs = runsOf(id);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].result, RunResult::Interrupted);
    EXPECT_EQ(runs[0].lengthFrames, held);
    EXPECT_EQ(runs[0].slot, 9);
    EXPECT_TRUE(runs[0].detail.contains("kept in slot 9")) << runs[0].detail.toStdString();
    EXPECT_TRUE(runs[0].detail.contains("Slot 5 keeps its take")) << runs[0].detail.toStdString();
    EXPECT_FALSE(QFileInfo::exists(workingFile()));
    EXPECT_EQ(qint64(measure::readWav(slotFile(9)).samples.size() / 2), held);
    EXPECT_EQ(recordBytes(9), rec("1", "SPOT", "30", "12-07-26"));
    EXPECT_EQ(readAllBytes(slotFile(5)), oldFile);
    scheduler().finishChecks();
    QCoreApplication::processEvents();
    ASSERT_TRUE(runsOf(id)[0].peakDbfs());
    EXPECT_NEAR(*runsOf(id)[0].peakDbfs(), 20 * std::log10(8000.0 / 32768.0), 0.1);

    // The next day the program ends in order 20 s into the take, with the library full now:
    // the run says Short and where the take is, and nothing is left for the next start.
    runUntil(ms(local(2026, 12, 8, 16, 55, 20)));
    ASSERT_EQ(take().state(), RS::State::Writing);
    restart();
    startAt(local(2026, 12, 8, 17, 5));
    runs = runsOf(id);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].result, RunResult::Short) << runs[0].detail.toStdString();
    EXPECT_EQ(runs[0].slot, 0);
    EXPECT_TRUE(runs[0].detail.contains("The program ended during the take.")) << runs[0].detail.toStdString();
    EXPECT_TRUE(runs[0].detail.contains("TK0005_1.wav")) << runs[0].detail.toStdString();
    EXPECT_FALSE(QFileInfo::exists(workingFile()));
    EXPECT_GT(measure::readWav(keptFile(1)).samples.size(), size_t(2 * 19 * 44100));

    // A working file that no run knows of (left by a program that ended before its run was
    // stored) is kept and reported at the start; one holding only a header is removed.
    restart();
    QFile::copy(keptFile(1), workingFile());
    const QByteArray leftOver = readAllBytes(workingFile());
    measure::writeWav(native("C/Tamblor/SF0006.NEW"), 44100, 2, {});
    told.clear();
    startAt(local(2026, 12, 8, 18, 0));
    EXPECT_FALSE(QFileInfo::exists(workingFile()));
    EXPECT_FALSE(QFileInfo::exists(native("C/Tamblor/SF0006.NEW")));
    EXPECT_EQ(readAllBytes(keptFile(2)), leftOver);
    EXPECT_TRUE(told.join("\n").contains("A take for slot 5 was found in C:\\Tamblor\\SF0005.NEW"))
        << told.join("\n").toStdString();
    EXPECT_EQ(readAllBytes(slotFile(5)), oldFile);
}

TEST_F(FixedSlotTest, AWorkingTakeNormalizedAfterRecordingReplacesTheSlotAsNormalizedWithThoseFigures)
{
    fullLibrary();
    startAt(local(2026, 12, 7, 16, 50));
    RecordEvent spot = event("SPOT", QTime(16, 55), 10);
    spot.destination = Destination::FixedSlot;
    spot.fixedSlot = 5;
    spot.after = AfterRecording::LoudnessNormalize;
    spot.loudnessLufs = -23.0;
    spot.ceilingDbtp = -1.0;
    const qint64 id = add(spot);
    backend().setInputSignal(sources::tone(1000.0, 4000));
    runUntil(ms(local(2026, 12, 7, 16, 57)));

    const RecordRun run = runsOf(id).at(0);
    EXPECT_EQ(run.result, RunResult::OK) << run.detail.toStdString();
    EXPECT_EQ(run.slot, 5);
    EXPECT_TRUE(run.detail.startsWith("Loudness normalized to -23 LUFS (")) << run.detail.toStdString();
    EXPECT_FALSE(QFileInfo::exists(workingFile()));
    const TakeReading inSlot = *TakeReading::of(slotFile(5));
    EXPECT_EQ(inSlot.frames, 10 * 44100);
    EXPECT_NEAR(inSlot.integratedLufs, -23.0, 0.1);
    // Read as recorded and once more as normalized; the figures are those of the second.
    EXPECT_EQ(TakeReading::passesOver(workingFile()), 2);
    const auto figures = studio->figures().current(5, slotFile(5));
    ASSERT_TRUE(figures && figures->integratedLufs);
    EXPECT_EQ(figures->id, run.figuresId);
    EXPECT_NEAR(*figures->integratedLufs, -23.0, 0.1);
    EXPECT_EQ(recordBytes(5), rec("1", "SPOT", "10", "12-07-26"));
}

TEST_F(FixedSlotTest, ATakeStillBeingReadBackWhenTheProgramEndsReplacesTheSlotWithItsEntryAndFigures)
{
    fullLibrary();
    startAt(local(2026, 12, 7, 16, 50));
    RecordEvent spot = event("SPOT", QTime(16, 55), 10);
    spot.destination = Destination::FixedSlot;
    spot.fixedSlot = 5;
    const qint64 id = add(spot);
    backend().setInputSignal(sources::tone(1000.0, 8000));
    runUntil(ms(local(2026, 12, 7, 16, 55, 5)));
    while (take().state() != RS::State::Idle)
        step();
    // Ended at once, with the reading back under way.
    restart();
    startAt(local(2026, 12, 7, 17, 0));
    const RecordRun run = runsOf(id).at(0);
    EXPECT_EQ(run.result, RunResult::OK) << run.detail.toStdString();
    EXPECT_EQ(run.slot, 5);
    EXPECT_EQ(recordBytes(5), rec("1", "SPOT", "10", "12-07-26"));
    EXPECT_EQ(measure::readWav(slotFile(5)).samples.size(), size_t(2 * 10 * 44100));
    const auto figures = studio->figures().current(5, slotFile(5));
    ASSERT_TRUE(figures);
    EXPECT_EQ(figures->id, run.figuresId);
    EXPECT_FALSE(QFileInfo::exists(workingFile()));
}
