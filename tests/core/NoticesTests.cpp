// Notices as values: a failure keeps its number, source and subject; a lasting condition is one
// raise and one clear, however often it is found; a program without windows logs them as lines.
#include "core/NoticeLog.h"
#include "core/Notices.h"
#include "platform/Clock.h"
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <cstdio>
#include <string>

using namespace tamblor;

namespace {

std::string contentsOf(std::FILE* f)
{
    std::fflush(f);
    std::rewind(f);
    std::string out;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, f))
        out += buffer;
    return out;
}

} // namespace

TEST(NoticesTest, AFailureIsAValueWithItsNumberSourceAndSubject)
{
    Clock clock;
    clock.setFixed(QDateTime(QDate(2026, 12, 7), QTime(17, 0, 3)));
    Notices notices(clock);
    QSignalSpy posted(&notices, &Notices::posted);
    notices.fail("recording", Failure(Failure::DiskFull), "C:\\Tamblor\\SF0004.wav");
    ASSERT_EQ(posted.size(), 1);
    const Notice n = posted.at(0).at(0).value<Notice>();
    EXPECT_EQ(n.number, 61);
    EXPECT_EQ(n.text, "61 Disk full");
    EXPECT_EQ(n.source, "recording");
    EXPECT_EQ(n.subject, "C:\\Tamblor\\SF0004.wav");
    EXPECT_EQ(n.severity, Notice::Severity::Error);
    EXPECT_EQ(n.time, clock.now());
    EXPECT_TRUE(n.key.isEmpty());
    ASSERT_EQ(notices.history().size(), 1u);
}

TEST(NoticesTest, AConditionIsRaisedOnceUntilClearedAndClearedOnce)
{
    Clock clock;
    Notices notices(clock);
    QSignalSpy posted(&notices, &Notices::posted);
    QSignalSpy cleared(&notices, &Notices::cleared);

    notices.raise("silence", "silence alarm", "Silence on slot 2");
    notices.raise("silence", "silence alarm", "Silence on slot 2"); // found again: no news
    EXPECT_EQ(posted.size(), 1);
    EXPECT_TRUE(notices.isRaised("silence"));
    notices.raise("silence", "silence alarm", "Silence on slot 3"); // another text is news
    EXPECT_EQ(posted.size(), 2);
    notices.raise("device.record", "devices", "The recording device is not there");
    EXPECT_EQ(notices.raisedConditions().size(), 2u);

    notices.clear("silence");
    notices.clear("silence");
    notices.clear("never raised");
    ASSERT_EQ(cleared.size(), 1);
    EXPECT_EQ(cleared.at(0).at(0).value<Notice>().text, "Silence on slot 3");
    EXPECT_FALSE(notices.isRaised("silence"));
    ASSERT_EQ(notices.raisedConditions().size(), 1u);
    EXPECT_EQ(notices.raisedConditions()[0].key, "device.record");
}

TEST(NoticesTest, AProgramWithoutWindowsLogsEachNoticeAsOneLine)
{
    Clock clock;
    clock.setFixed(QDateTime(QDate(2026, 12, 7), QTime(17, 0, 3)));
    Notices notices(clock);
    std::FILE* log = std::tmpfile();
    ASSERT_TRUE(log);
    {
        NoticeLog logger(notices, log);
        notices.fail("recording", Failure(Failure::DeviceIOError), "57 Device I/O error (recording device \"USB\")",
                     "USB");
        notices.tell("scheduler", "Record event \"NEWS\" at 17:00: Missed.\nThe program was not running.");
        notices.raise("silence", "silence alarm", "Silence on slot 2");
        notices.clear("silence");
    }
    notices.tell("scheduler", "after the log went"); // no longer written
    const std::string text = contentsOf(log);
    std::fclose(log);
    const QStringList lines = QString::fromStdString(text).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << text;
    EXPECT_TRUE(lines[0].startsWith(clock.now().toString(Qt::ISODateWithMs)));
    EXPECT_TRUE(lines[0].endsWith("error recording: 57 Device I/O error (recording device \"USB\") (USB)")) << text;
    EXPECT_TRUE(lines[1].endsWith("info scheduler: Record event \"NEWS\" at 17:00: Missed. / The program was not running."))
        << text;
    EXPECT_TRUE(lines[2].contains("warning silence alarm: Silence on slot 2")) << text;
    EXPECT_TRUE(lines[3].startsWith("cleared: ")) << text;
}
