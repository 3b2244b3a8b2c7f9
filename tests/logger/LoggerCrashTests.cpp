// The logger program killed outright (SIGKILL) while it records: its file opens with all but the
// last moments, and the next start closes the segment's row from the file and records the span
// between the two runs with its cause. A second logger on the same root refuses to start; the
// main program's lock is another and is not in the way.
#include "LoggerFixture.h"
#include "LoggerTestSupport.h"
#include "core/SingleInstance.h"
#include <QProcess>
#include <chrono>
#include <csignal>
#include <thread>

using namespace tamblor::logger;
using namespace logger_test;

TEST_F(LoggerTest, AKilledLoggerLeavesAValidFileAndTheNextStartMeasuresWhatWasLost)
{
    settings("Logger/Rate", 48000);
    settings("Logger/Channels", 2);
    settings("Logger/SegmentMinutes", 60);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TAMBLOR_ROOT", root());
    env.insert("TAMBLOR_AUDIO", "virtual-realtime");
    env.remove("NOTIFY_SOCKET");
    child.setProcessEnvironment(env);
    child.setReadChannel(QProcess::StandardError);
    child.start(TAMBLOR_LOGGER_PROGRAM, {});
    ASSERT_TRUE(child.waitForStarted(10000));
    QByteArray said;
    while (!said.contains("recording into") && child.waitForReadyRead(20000))
        said += child.readAllStandardError();
    if (!said.contains("recording into")) {
        child.kill();
        child.waitForFinished(5000);
        FAIL() << said.toStdString();
    }

    // A second logger on the same root ends at once; the main program's lock is free.
    QProcess second;
    second.setProcessEnvironment(env);
    second.start(TAMBLOR_LOGGER_PROGRAM, {});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 2) << second.readAllStandardError().toStdString();
    tamblor::SingleInstance program(root());
    EXPECT_EQ(program.claim(), tamblor::SingleInstance::Claim::First);

    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    const qint64 killedMs = QDateTime::currentMSecsSinceEpoch();
    ::kill(pid_t(child.processId()), SIGKILL);
    ASSERT_TRUE(child.waitForFinished(10000));

    const QStringList files = segmentFiles(native("C/Tamblor/Logger"));
    ASSERT_EQ(files.size(), 1);
    const FileSamples kept = readSamples(files[0]);
    ASSERT_GT(kept.frames, 0) << "the killed logger's file does not open";
    const Bext b = readBext(readAllBytes(files[0]));
    ASSERT_TRUE(b.found);
    const qint64 onDisk = QFileInfo(files[0]).size() - (qint64(b.riffBytes) + 8 - qint64(b.dataBytes));
    // What the header leaves out is at most ten seconds.
    EXPECT_LE(onDisk - qint64(b.dataBytes), 10 * 48000 * 4);
    EXPECT_EQ(kept.frames * 4, qint64(b.dataBytes));

    // Started again: the open row is closed from its file, the span between is a row.
    logger = std::make_unique<Logger>(*core, starter);
    logger->setTimed(false);
    core->startUp();
    logger->start();
    const qint64 restartMs = QDateTime::currentMSecsSinceEpoch();
    logger->stop();
    const auto rows = logger->store().segments();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].result, SegmentResult::Short);
    EXPECT_EQ(rows[0].frames, kept.frames);
    EXPECT_TRUE(rows[0].reason.contains("without closing")) << rows[0].reason.toStdString();
    EXPECT_EQ(rows[0].sha256, fileSha256(files[0]));
    const auto gaps = logger->store().gaps();
    ASSERT_EQ(gaps.size(), 1u);
    EXPECT_TRUE(gaps[0].cause.contains("without closing")) << gaps[0].cause.toStdString();
    EXPECT_EQ(gaps[0].startMs, rows[0].startMs + kept.frames * 1000 / 48000);
    EXPECT_LE(gaps[0].endMs, restartMs);
    // The loss: from the last frame the file keeps to the restart, no more than ten seconds
    // before the kill.
    EXPECT_GE(gaps[0].startMs, killedMs - 10000);
    std::printf("killed logger: %.2f s kept in the header, %.2f s on disk beyond it, %.2f s lost before the kill\n",
                double(kept.frames) / 48000, double(onDisk - qint64(b.dataBytes)) / (48000 * 4),
                double(killedMs - gaps[0].startMs) / 1000.0);
}

TEST_F(LoggerTest, AHoldPlacedFromTheCommandLineKeepsItsSpanUntilLifted)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TAMBLOR_ROOT", root());
    auto program = [&](const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(TAMBLOR_LOGGER_PROGRAM, args);
        p.waitForFinished(20000);
        return std::make_pair(p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()));
    };
    const auto placed = program({"--hold", "2026-12-07T17:00", "2026-12-07T18:00", "complaint", "17"});
    ASSERT_EQ(placed.first, 0);
    EXPECT_TRUE(placed.second.startsWith("hold 1 placed")) << placed.second.toStdString();
    EXPECT_EQ(program({"--hold", "2026-12-07T18:00", "2026-12-07T17:00"}).first, 2);

    startAt(utcMs(12, 0, 0));
    const auto holds = logger->store().holds();
    ASSERT_EQ(holds.size(), 1u);
    EXPECT_EQ(holds[0].note.toStdString(), "complaint 17");
    EXPECT_EQ(holds[0].endMs - holds[0].startMs, 3600000);
    logger->stop();
    EXPECT_EQ(program({"--lift", "1"}).first, 0);
    EXPECT_TRUE(logger->store().holds().empty());
}
