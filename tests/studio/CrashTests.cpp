// A take cut short by SIGKILL: the file is a valid wave file holding the audio up to at most
// half a second before the kill; the next start lists the slot as reserved, and "Delete File
// Index" completes it from its file instead of giving its audio away, counting the audio the
// file holds even where its header says there is none.
#include "core/Core.h"
#include "library/IndexRecord.h"
#include "library/SoundLibrary.h"
#include "library/maintenance/IndexMaintenance.h"
#include "audio/files/AudioFileReader.h"
#include "audio/format/RiffReader.h"
#include "audio/format/SndFormat.h"
#include "tests/audio/devices/SignalMeasure.h"
#include "tests/support/CoreLibraryFixture.h"
#include "tests/support/WavBytes.h"
#include <QDateTime>
#include <QFileInfo>
#include <QProcess>
#include <QtEndian>
#include <chrono>
#include <csignal>
#include <sndfile.h>
#include <thread>

using namespace tamblor;
namespace measure = tamblor::audio::measure;

namespace {

class CrashTest : public CoreLibraryTest {};

} // namespace

TEST_F(CrashTest, AKilledTakeKeepsItsAudioAndIsCompletedAtTheNextStart)
{
    QDir().mkpath(native("C/Tamblor"));
    // 44100 stereo, start mode Off, unity gain; slot 1 in use, slot 2 free.
    writeAllBytes(native("C/Tamblor/MyComp.ini"), settingsBytes({{3, 3}, {5, 1}, {6, 0}, {11, 16384}}));
    writeAllBytes(native("C/Tamblor/Schedule.dat"), indexRecordBytes("1", "FIRST", "5", "12-01-26") + indexRecordBytes("0", "", "0", ""));
    const QString file = native("C/Tamblor/SF0002.wav");

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TAMBLOR_ROOT", root());
    env.insert("TAMBLOR_AUDIO", "virtual-realtime");
    child.setProcessEnvironment(env);
    child.start(TAMBLOR_TAKE_CHILD, {});
    ASSERT_TRUE(child.waitForStarted(10000));
    ASSERT_TRUE(child.waitForReadyRead(20000)) << child.readAllStandardError().toStdString();
    const QByteArray line = child.readLine().trimmed();
    ASSERT_TRUE(line.startsWith("writing ")) << line.toStdString();
    const qint64 startedMs = line.mid(8).toLongLong();

    // Let it record a while, then kill it without warning.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const auto killedAt = std::chrono::steady_clock::now();
    ::kill(pid_t(child.processId()), SIGKILL);
    ASSERT_TRUE(child.waitForFinished(10000));
    const qint64 killedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(killedAt.time_since_epoch()).count();

    // A valid wave file, every frame in order from the first, up to half a second before the kill.
    const measure::WavContents wav = measure::readWav(file);
    ASSERT_EQ(wav.sampleRate, 44100);
    ASSERT_EQ(wav.channels, 2);
    const size_t frames = wav.samples.size() / 2;
    const double producedBeforeKill = double(killedMs - startedMs) / 1000.0 * 44100.0;
    EXPECT_GE(double(frames), producedBeforeKill - 0.5 * 44100.0)
        << frames << " frames kept of about " << producedBeforeKill;
    ASSERT_GT(frames, 0u);
    std::fprintf(stderr, "killed after %.3f s of input: %.3f s kept in the file\n", producedBeforeKill / 44100.0,
                 double(frames) / 44100.0);
    const int16_t first = wav.samples[0];
    for (size_t i = 0; i < frames; ++i) {
        ASSERT_EQ(wav.samples[2 * i], int16_t((first + int64_t(i)) % 32768)) << "frame " << i;
    }

    // The next start: still reserved, and reported.
    ASSERT_NO_THROW(core->startUp());
    EXPECT_EQ(readAllBytes(native("C/Tamblor/Schedule.dat")).mid(39, 1), "2");
    IndexMaintenance maintenance(*core, *library);
    maintenance.ViewFileIndex();
    EXPECT_EQ(lastTold(), QString(IndexMaintenance::ReportText) + "2, ");

    // "Delete File Index" completes it from its file: name, the file's length and date.
    maintenance.DeleteFileIndex();
    const int seconds = int(std::lround(double(frames) / 44100.0));
    const QString date = LibraryLayout::recordDateText(QFileInfo(file).lastModified().date());
    EXPECT_EQ(readAllBytes(native("C/Tamblor/Schedule.dat")),
              indexRecordBytes("1", "FIRST", "5", "12-01-26") + indexRecordBytes("1", "(No Name 002 ****)", QString::number(seconds), date));
    EXPECT_EQ(measure::readWav(file).samples.size(), wav.samples.size()); // the audio is still there
}

TEST_F(CrashTest, DeleteFileIndexFreesOnlyReservedSlotsWithoutAudio)
{
    ASSERT_NO_THROW(core->startUp());
    writeAllBytes(native("C/Tamblor/Schedule.dat"),
                  indexRecordBytes("2", "", "7", "11-30-26") + indexRecordBytes("2", "", "8", "11-30-26") + indexRecordBytes("2", "", "9", "11-30-26") +
                      indexRecordBytes("2", "", "3", "11-30-26") + indexRecordBytes("1", "KEPT", "4", "11-30-26"));
    library->close();
    library->open();
    // 1: a take of 3 s; 2: an empty file; 3: no file; 4: a header without audio.
    measure::writeWav(native("C/Tamblor/SF0001.wav"), 8000, 1, std::vector<int16_t>(3 * 8000, 100));
    writeAllBytes(native("C/Tamblor/SF0002.wav"), {});
    measure::writeWav(native("C/Tamblor/SF0004.wav"), 8000, 1, {});
    const QString date = LibraryLayout::recordDateText(QFileInfo(native("C/Tamblor/SF0001.wav")).lastModified().date());

    IndexMaintenance(*core, *library).DeleteFileIndex();
    EXPECT_EQ(readAllBytes(native("C/Tamblor/Schedule.dat")),
              indexRecordBytes("1", "(No Name 001 ****)", "3", date) + indexRecordBytes("0", "", "8", "11-30-26") +
                  indexRecordBytes("0", "", "9", "11-30-26") + indexRecordBytes("0", "", "3", "11-30-26") + indexRecordBytes("1", "KEPT", "4", "11-30-26"));
    EXPECT_EQ(measure::readWav(native("C/Tamblor/SF0001.wav")).samples.size(), 3u * 8000u);
}

// Killed before the writer's first header update: the header says "RIFF of 8 bytes, no data",
// as libsndfile leaves it, but 3 s of audio follow it. "Delete File Index" completes the slot
// with those 3 s, and the players count the same frames.
TEST_F(CrashTest, DeleteFileIndexCountsTheAudioAfterAHeaderThatSaysNone)
{
    ASSERT_NO_THROW(core->startUp());
    const audio::WaveFormat format = audio::WaveFormat::pcm(8000, 1, 16);
    // The header the take writer leaves before any sample (the file copied while still open).
    const QString scratch = native("C/Tamblor/open.wav");
    SNDFILE* open = audio::openSndWriter(scratch, format);
    const QByteArray header = readAllBytes(scratch);
    sf_close(open);
    ASSERT_EQ(header.size(), 44);
    ASSERT_EQ(header.mid(4, 4), QByteArray("\x08\0\0\0", 4));  // RIFF size
    ASSERT_EQ(header.mid(40, 4), QByteArray("\0\0\0\0", 4)); // data size
    const QByteArray audio = wavtest::pcmBytes(std::vector<int16_t>(3 * 8000, 100), 16);
    writeAllBytes(native("C/Tamblor/SF0001.wav"), header + audio);
    // The same with a RIFF size that covers the header only.
    QByteArray covered = header;
    covered.replace(4, 4, QByteArray("\x24\0\0\0", 4));
    writeAllBytes(native("C/Tamblor/SF0002.wav"), covered + audio + QByteArray(1, 'x')); // half a frame more
    writeAllBytes(native("C/Tamblor/Schedule.dat"), indexRecordBytes("2", "", "0", "11-30-26") + indexRecordBytes("2", "", "0", "11-30-26"));
    library->close();
    library->open();
    const QString date = LibraryLayout::recordDateText(QFileInfo(native("C/Tamblor/SF0001.wav")).lastModified().date());
    const QString date2 = LibraryLayout::recordDateText(QFileInfo(native("C/Tamblor/SF0002.wav")).lastModified().date());

    IndexMaintenance(*core, *library).DeleteFileIndex();
    EXPECT_EQ(readAllBytes(native("C/Tamblor/Schedule.dat")),
              indexRecordBytes("1", "(No Name 001 ****)", "3", date) + indexRecordBytes("1", "(No Name 002 ****)", "3", date2));
    for (const char* file : {"C/Tamblor/SF0001.wav", "C/Tamblor/SF0002.wav"}) {
        SCOPED_TRACE(file);
        const audio::RiffLayout layout = audio::RiffReader::read(native(file));
        EXPECT_EQ(layout.dataOffset, 44u);
        EXPECT_EQ(layout.frames(), 3 * 8000);
        audio::AudioFileReader reader;
        reader.setFileName(native(file));
        EXPECT_EQ(reader.length(), 3000);
    }
}
