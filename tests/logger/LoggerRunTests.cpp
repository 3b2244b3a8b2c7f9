// The logger on the virtual card and the stepped clock: cuts at the wall clock on a card that
// runs fast, every frame once, stalls filled, dead air found, restarts, a full disk.
#include "LoggerFixture.h"
#include "LoggerTestSupport.h"
#include "logger/SegmentTimes.h"
#include <QFileInfo>
#include <QCoreApplication>
#include <QFile>
#include <chrono>
#include <csignal>
#include <thread>
#include <sys/resource.h>

using namespace tamblor::logger;
using namespace logger_test;

namespace {

qint64 at(int hh, int mm, int ss, int ms = 0)
{
    return QDateTime(QDate(2026, 12, 7), QTime(hh, mm, ss, ms), Qt::UTC).toMSecsSinceEpoch();
}

// A minute of the counting signal at 44100 with one fill of `seconds` at `atSeconds`: the
// minute still holds a minute (the frames after the fill came at their time), the fill is
// silence, and around it the signal runs on where it stopped.
void expectOneFill(const SegmentRecord& r, double atSeconds, double seconds)
{
    EXPECT_EQ(r.result, SegmentResult::Gap) << r.reason.toStdString();
    ASSERT_EQ(r.losses.size(), 1u);
    EXPECT_NEAR(double(r.losses[0].position), atSeconds * 44100, 4410);
    EXPECT_NEAR(double(r.losses[0].frames), seconds * 44100, 4410);
    EXPECT_NEAR(double(r.frames), 60 * 44100, 4410);
    const FileSamples s = readSamples(r.path);
    const qint64 from = r.losses[0].position, to = from + r.losses[0].frames;
    EXPECT_EQ(s.samples[size_t(from - 1)], int16_t((from - 1) % 32768));
    for (qint64 i = from; i < to; ++i)
        ASSERT_EQ(s.samples[size_t(i)], 0) << i;
    EXPECT_EQ(s.samples[size_t(to)], int16_t(from % 32768));
}

} // namespace

TEST_F(LoggerTest, ACardRunning150PpmFastIsCutWithin10MsOfEveryBoundaryAndNoFrameIsLostOrDoubled)
{
    ppm = 150;
    startAt(at(10, 0, 25, 300));
    run(4 * 60000 + 20000);
    logger->stop();
    const QStringList files = segmentFiles(folder());
    ASSERT_EQ(files.size(), 5);
    EXPECT_EQ(QFileInfo(files[0]).fileName().toStdString(), "2026-12-07T100025+0000.wav");
    EXPECT_EQ(QFileInfo(files[1]).fileName().toStdString(), "2026-12-07T100100+0000.wav");
    const Joined j = joinCounting(files);
    EXPECT_EQ(j.wrong, 0);
    EXPECT_EQ(j.frames, given_);
    // Frame n came in at start + n / (rate × (1 + 150 ppm)): each cut against its boundary.
    const double rate = 44100 * (1 + 150e-6);
    for (int k = 1; k < 5; ++k) {
        const double cutMs = double(startMs_) + double(j.firstFrames[size_t(k)]) * 1000.0 / rate;
        EXPECT_NEAR(cutMs, double(at(10, k, 0)), 10.0) << "cut " << k;
    }
    const auto rows = logger->store().segments();
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].result, SegmentResult::Short);
    for (int k = 1; k < 4; ++k) {
        EXPECT_EQ(rows[size_t(k)].result, SegmentResult::Ok) << rows[size_t(k)].reason.toStdString();
        EXPECT_EQ(rows[size_t(k)].plannedFrames, 60 * 44100);
        // The segment's frames absorb the drift: 150 ppm of a minute more than planned.
        EXPECT_NEAR(double(rows[size_t(k)].frames), 60 * rate, 2.0);
        EXPECT_NEAR(rows[size_t(k)].ppm, 150.0, 5.0);
        EXPECT_EQ(rows[size_t(k)].clockSync.toStdString(), "yes");
        EXPECT_EQ(rows[size_t(k)].sha256, fileSha256(rows[size_t(k)].path));
        EXPECT_EQ(rows[size_t(k)].sha256.size(), 64);
    }
    EXPECT_EQ(rows[4].result, SegmentResult::Short);
}

TEST_F(LoggerTest, AStalledInputIsFilledWithSilenceWhereItStalledAndLaterFramesKeepTheirTime)
{
    startAt(at(10, 0, 0));
    run(20000);
    backend().stallInput(true);
    run(5000);
    backend().stallInput(false);
    run(35000 + 5000);
    logger->stop();
    const auto rows = logger->store().segments();
    ASSERT_EQ(rows.size(), 2u);
    expectOneFill(rows[0], 20, 5);
}

TEST_F(LoggerTest, AnInputThatStallsAndThenDeliversWhatItKeptIsLateNotLostAndNothingIsFilled)
{
    startAt(at(10, 0, 0));
    run(20000);
    backend().holdInput(true);
    run(1600);
    backend().holdInput(false);
    run(38400 + 20000);
    logger->stop();
    const auto rows = logger->store().segments();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].result, SegmentResult::Ok) << rows[0].reason.toStdString();
    EXPECT_TRUE(rows[0].losses.empty());
    // Every frame once and in its place: the cut is the frame due at the boundary, and the
    // drift measured stays that of the card.
    const Joined j = joinCounting(segmentFiles(folder()));
    EXPECT_EQ(j.wrong, 0);
    EXPECT_EQ(j.frames, given_);
    ASSERT_EQ(j.firstFrames.size(), 2u);
    EXPECT_NEAR(double(j.firstFrames[1]), 60 * 44100, 441);
    EXPECT_NEAR(rows[0].ppm, 0.0, 5.0) << "the stall is no drift";
}

TEST_F(LoggerTest, AStallThatLosesPartAndDeliversTheRestLateIsFilledOnlyForWhatWasLostWhereItWasLost)
{
    startAt(at(10, 0, 0));
    run(20000);
    // The server stalls 2.5 s; it keeps the first 1.5 s the card captured and, full, drops the
    // last second, then hands over what it kept.
    backend().holdInput(true);
    run(1500);
    backend().stallInput(true);
    run(1000);
    backend().stallInput(false);
    backend().holdInput(false);
    run(37500 + 5000);
    logger->stop();
    const auto rows = logger->store().segments();
    ASSERT_EQ(rows.size(), 2u);
    expectOneFill(rows[0], 21.5, 1); // after what the server kept
}

TEST_F(LoggerTest, AnInputThatStaysDeadIsFilledAsTimePassesSoTheSegmentsStillCloseOnTime)
{
    startAt(at(10, 0, 0));
    run(30000);
    // A real card hands over whole buffers, so a dead one leaves no part of one behind.
    const qint64 part = given_ % logger->input().bufferFrames();
    backend().advance(size_t(logger->input().bufferFrames() - part));
    given_ += logger->input().bufferFrames() - part;
    backend().stallInput(true);
    run(100000);
    // The minute with no frame at all closed at its boundary, a minute of silence.
    auto rows = logger->store().segments();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].result, SegmentResult::Gap) << rows[1].reason.toStdString();
    EXPECT_NEAR(double(rows[1].frames), 60 * 44100, 4410);
    backend().stallInput(false);
    run(30000);
    logger->stop();
    rows = logger->store().segments();
    ASSERT_EQ(rows.size(), 3u);
    // The input back ten seconds into the third minute: its frames go on where they stopped,
    // at their time.
    EXPECT_NEAR(double(rows[2].frames), 40 * 44100, 4410);
    ASSERT_EQ(rows[2].losses.size(), 1u);
    EXPECT_EQ(rows[2].losses[0].position, 0);
    EXPECT_NEAR(double(rows[2].losses[0].frames), 10 * 44100, 4410);
    ASSERT_EQ(rows[0].losses.size(), 1u);
    const qint64 stoppedAt = rows[0].losses[0].position;
    const FileSamples s = readSamples(rows[2].path);
    EXPECT_EQ(s.samples[size_t(rows[2].losses[0].frames)], int16_t(stoppedAt % 32768));
}

TEST_F(LoggerTest, ASilentMinuteIsFoundSilentAndTheSilenceAlarmRunsItsCommand)
{
    settings("SilenceAlarm/Command", "dead-air-alarm --studio 1");
    settings("SilenceAlarm/Seconds", 20);
    backend().setInputSignal(tamblor::audio::sources::tone(1000, 10000));
    startAt(at(10, 0, 0));
    run(60000);
    backend().setInputSignal(tamblor::audio::sources::silence());
    run(60000);
    backend().setInputSignal(tamblor::audio::sources::tone(1000, 10000));
    run(60000);
    logger->stop();
    const auto rows = logger->store().segments();
    ASSERT_GE(rows.size(), 3u);
    EXPECT_EQ(rows[0].result, SegmentResult::Ok) << rows[0].reason.toStdString();
    EXPECT_EQ(rows[1].result, SegmentResult::Silent) << rows[1].reason.toStdString();
    EXPECT_EQ(rows[2].result, SegmentResult::Ok) << rows[2].reason.toStdString();
    // A 1 kHz tone at -10.3 dBFS, mono heard on two loudspeakers.
    EXPECT_NEAR(rows[0].figures.integratedLufs, -10.3, 1.0);
    // The alarm's command, with the logger's folder as the file it names.
    int deadAir = 0;
    for (const auto& s : starter.started)
        if (s.program == "dead-air-alarm" && s.arguments.value(3) == folder())
            ++deadAir;
    EXPECT_EQ(deadAir, 1);
}

TEST_F(LoggerTest, ARestartMidHourBeginsANewFileByItsTrueStartAndTheSpanBetweenIsARow)
{
    settings("Logger/SegmentMinutes", 60);
    startAt(at(10, 20, 0));
    run(30000);
    logger->stop();
    const QString first = segmentFiles(folder()).value(0);
    const QByteArray firstSha = fileSha256(first);
    logger.reset();
    // Started again 12.5 s later, and then once more within the same second.
    core->clock().advance(12500);
    startAt(nowMs());
    run(3000);
    logger->stop();
    logger.reset();
    startAt(nowMs() + 200);
    run(600);
    logger->stop();
    const QStringList files = segmentFiles(folder());
    ASSERT_EQ(files.size(), 3);
    EXPECT_EQ(QFileInfo(files[1]).fileName().toStdString(), "2026-12-07T102042+0000.wav");
    EXPECT_EQ(QFileInfo(files[2]).fileName().toStdString(), "2026-12-07T102045+0000.wav");
    EXPECT_EQ(fileSha256(first), firstSha);
    const auto gaps = logger->store().gaps();
    ASSERT_EQ(gaps.size(), 2u);
    EXPECT_EQ(gaps[0].startMs, at(10, 20, 30));
    EXPECT_EQ(gaps[0].endMs, at(10, 20, 42, 500));
    EXPECT_EQ(gaps[0].cause.toStdString(), "the logger was stopped");
    const auto rows = logger->store().segments();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].result, SegmentResult::Short);
}

TEST_F(LoggerTest, AFullDiskEndsTheSegmentAsDiskFullAndTheNextBeginsAtItsBoundary)
{
    startAt(at(10, 0, 30));
    run(10000);
    // From here no file may grow past 1 MB (12 s of 44100 mono): the disk is full for it.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved;
    limit.rlim_cur = 1 << 20;
    setrlimit(RLIMIT_FSIZE, &limit);
    run(60000);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    logger->stop();
    const auto rows = logger->store().segments();
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[0].result, SegmentResult::DiskFull) << rows[0].reason.toStdString();
    EXPECT_LT(rows[0].frames, 12 * 44100);
    const FileSamples s = readSamples(rows[0].path);
    EXPECT_EQ(s.frames, rows[0].frames);
    EXPECT_EQ(QFileInfo(rows[1].path).fileName().toStdString(), "2026-12-07T100100+0000.wav");
    // The span from the failure to the boundary has no file; the disk is still full for the
    // next segment, which fails in its turn.
    const auto gaps = logger->store().gaps();
    ASSERT_EQ(gaps.size(), 2u);
    EXPECT_EQ(gaps[0].endMs, at(10, 1, 0));
    EXPECT_EQ(rows[1].result, SegmentResult::DiskFull);
    EXPECT_NEAR(double(gaps[0].startMs), double(at(10, 0, 30) + rows[0].frames * 1000 / 44100), 2.0);
    EXPECT_TRUE(gaps[0].cause.startsWith("writing failed")) << gaps[0].cause.toStdString();
    EXPECT_TRUE(lastTold().contains("could not write") || told.join('\n').contains("could not write"));
}

TEST_F(LoggerTest, AClippedMinuteIsFoundClippedAndADriftBeyond200PpmIsWarnedOf)
{
    ppm = 300;
    // Full scale, both ways, for a minute: a square that clips on every half wave.
    backend().setInputSignal([](int16_t* out, size_t frames, int channels, int, uint64_t first) {
        for (size_t i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c)
                out[i * size_t(channels) + size_t(c)] = ((first + i) / 50) % 2 ? 32767 : -32768;
    });
    startAt(at(11, 0, 0));
    run(60000);
    logger->stop();
    const auto rows = logger->store().segments();
    ASSERT_GE(rows.size(), 1u);
    EXPECT_EQ(rows[0].result, SegmentResult::Clipped) << rows[0].reason.toStdString();
    EXPECT_GT(rows[0].figures.clippedRuns, 1000);
    EXPECT_NEAR(rows[0].ppm, 300, 10);
    EXPECT_TRUE(told.join('\n').contains("runs 300 ppm from the system clock")) << told.join('\n').toStdString();
}

TEST_F(LoggerTest, TheDailyCheckReadsEverySegmentAgainAndRaisesTheAlarmOnAMismatchOrAMissingFile)
{
    settings("Logger/AlarmCommand", "logger-alarm");
    startAt(at(12, 0, 0));
    run(150000);
    logger->stop();
    const auto rows = logger->store().segments();
    ASSERT_EQ(rows.size(), 3u);
    // One file changed by a byte, one gone.
    QByteArray bytes = readAllBytes(rows[0].path);
    bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 1);
    writeAllBytes(rows[0].path, bytes);
    QFile::remove(rows[2].path);
    starter.started.clear();
    int checked = -1, problems = -1;
    QObject::connect(logger.get(), &Logger::checkFinished, [&](int c, int p) {
        checked = c;
        problems = p;
    });
    ASSERT_TRUE(logger->checkFiles());
    for (int i = 0; i < 500 && checked < 0; ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(checked, 3);
    EXPECT_EQ(problems, 2);
    EXPECT_TRUE(logger->store().checkProblem(rows[0].id)->contains("SHA-256"));
    EXPECT_EQ(logger->store().checkProblem(rows[1].id)->toStdString(), "");
    EXPECT_TRUE(logger->store().checkProblem(rows[2].id)->contains("missing"));
    ASSERT_EQ(starter.started.size(), 1u);
    EXPECT_EQ(starter.started[0].program.toStdString(), "logger-alarm");
    EXPECT_EQ(starter.started[0].arguments.value(0).toStdString(), "check");
}
