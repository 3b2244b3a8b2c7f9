// The studio on the core alone, with no window and no display: a scheduled take on the virtual
// card, the settings applied by the studio from the start (the record level, the cards), the
// cards found again by name when their numbers move, and a card that is gone told to the
// operator as a lasting condition, never replaced by another in an unattended take.
#include "StudioFixture.h"
#include "audio/devices/FilePlayer.h"
#include "core/DeviceChoice.h"
#include "core/ProgramSettings.h"
#include "tests/audio/devices/SignalMeasure.h"
#include <QFileInfo>
#include <algorithm>
#include <cstdlib>

using namespace tamblor;
using namespace tamblor::audio;
using namespace tamblor::schedule;

namespace {

int peakOf(const std::vector<int16_t>& samples)
{
    int peak = 0;
    for (int16_t s : samples)
        peak = std::max(peak, std::abs(int(s)));
    return peak;
}

} // namespace

TEST_F(StudioTest, TheCoreAloneRunsAScheduledTakeWithTheRecordLevelStoredBeforeStart)
{
    // Nothing here can show a window: the program is a QCoreApplication.
    ASSERT_FALSE(QCoreApplication::instance()->inherits("QGuiApplication"));
    // 44100 stereo, start mode Off, the level at -6 dB (8192 of unity 16384); slot 1 in use.
    writeSettings({{3, 3}, {5, 1}, {6, 0}, {11, 8192}});
    writeIndex({indexRecordBytes("1", "ONE", "5", "12-01-26")});
    startAt(local(2026, 12, 7, 16, 59));
    EXPECT_EQ(take().input().gain(), 8192) << "applied at start, before any window";
    backend().setInputSignal(sources::tone(1000, 16000));

    const qint64 id = add(event("NEWS", QTime(17, 0), 10));
    runUntil(ms(local(2026, 12, 7, 17, 0, 12)));

    const std::vector<RecordRun> runs = runsOf(id);
    ASSERT_EQ(runs.size(), 1u);
    ASSERT_TRUE(runs[0].result);
    EXPECT_EQ(*runs[0].result, RunResult::OK) << runs[0].detail.toStdString();
    EXPECT_EQ(runs[0].slot, 2);
    EXPECT_EQ(runs[0].lengthFrames, 10 * 44100);
    const measure::WavContents wav = measure::readWav(slotFile(2));
    ASSERT_EQ(wav.sampleRate, 44100);
    ASSERT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.samples.size(), size_t(10 * 44100 * 2));
    // The tone peaks at 16000 on the card: the take at half of it.
    EXPECT_NEAR(peakOf(wav.samples), 8000, 2);
}

TEST_F(StudioTest, TheRecordLevelAndThePreferencesClicksReachTheSessionsAtOnce)
{
    writeSettings({{1, 1}, {2, 0}, {3, 3}, {5, 0}, {6, 1}});
    backend().setOutputDevices({"Speakers", "Headphones"});
    startAt(local(2026, 12, 7, 9, 0));
    EXPECT_EQ(take().input().gain(), 16384) << "a first start records at unity";
    EXPECT_EQ(studio->playback().player().deviceId(), 1) << "the play device, with no window open";
    EXPECT_TRUE(take().automatic()) << "the VOX start mode means automatic start";
    EXPECT_EQ(take().input().channels(), 1);

    core->setRecordLevel(32768);
    EXPECT_EQ(take().input().gain(), 32768);
    EXPECT_EQ(settingsRecord(11), 32767) << "the record holds at most 32767";
    EXPECT_EQ(core->state().RecordLevel, 32768);

    core->state().ChannelMode = 1;
    core->state().RecordStartMode = 0;
    core->noteSettingsChanged();
    EXPECT_EQ(take().input().channels(), 2);
    EXPECT_FALSE(take().automatic());
}

TEST_F(StudioTest, ACardWhoseNumberMovedIsFoundAgainByNameAndTheNumberStoredAnew)
{
    backend().setInputDevices({"Built-in", "USB Mixer"});
    backend().setOutputDevices({"Built-in", "USB Mixer"});
    writeSettings({{1, 1}, {2, 1}, {3, 3}});
    startAt(local(2026, 12, 7, 9, 0));
    // The first start keeps the names beside the numbers.
    ProgramSettings kept(core->drives());
    EXPECT_EQ(kept.deviceName(ProgramSettings::Device::Record), "USB Mixer");
    EXPECT_EQ(kept.deviceName(ProgramSettings::Device::Play), "USB Mixer");

    // Another card plugged in before the mixer: every number after it moves on.
    restart();
    backend().setInputDevices({"Built-in", "Webcam", "USB Mixer"});
    backend().setOutputDevices({"HDMI", "Built-in", "USB Mixer"});
    startAt(local(2026, 12, 8, 9, 0));
    EXPECT_EQ(core->state().RecordDevice, 2);
    EXPECT_EQ(core->state().PlayDevice, 2);
    EXPECT_EQ(settingsRecord(2), 2) << "MyComp.ini holds the number found";
    EXPECT_EQ(settingsRecord(1), 2);
    EXPECT_EQ(take().input().deviceId(), 2);
    EXPECT_EQ(studio->playback().player().deviceId(), 2);
    EXPECT_TRUE(core->notices().raisedConditions().empty());
}

TEST_F(StudioTest, ACardThatIsGoneIsNamedAtStartAndAnEventRecordsNothingFromAnother)
{
    backend().setInputDevices({"Built-in", "USB Mixer"});
    writeSettings({{2, 1}, {3, 3}, {5, 1}});
    writeIndex({indexRecordBytes("1", "ONE", "5", "12-01-26")});
    startAt(local(2026, 12, 7, 9, 0));

    // The mixer unplugged: the webcam now has its number.
    restart();
    backend().setInputDevices({"Built-in", "Webcam"});
    startAt(local(2026, 12, 7, 16, 58));
    ASSERT_TRUE(core->notices().isRaised(DeviceChoice::keyFor(DeviceChoice::Device::Record)));
    const std::vector<Notice> conditions = core->notices().raisedConditions();
    ASSERT_EQ(conditions.size(), 1u);
    EXPECT_EQ(conditions[0].source, "devices");
    EXPECT_EQ(conditions[0].severity, Notice::Severity::Error);
    EXPECT_EQ(conditions[0].subject, "USB Mixer");
    EXPECT_TRUE(lastTold().contains("\"USB Mixer\"")) << lastTold().toStdString();
    EXPECT_EQ(core->state().RecordDevice, 1) << "the number is left as it was";

    backend().setInputSignal(sources::tone(1000, 8000));
    const qint64 id = add(event("NEWS", QTime(17, 0), 10));
    runUntil(ms(local(2026, 12, 7, 17, 0, 12)));
    const std::vector<RecordRun> runs = runsOf(id);
    ASSERT_EQ(runs.size(), 1u);
    ASSERT_TRUE(runs[0].result);
    EXPECT_EQ(*runs[0].result, RunResult::DeviceBusy);
    EXPECT_TRUE(runs[0].detail.contains("USB Mixer")) << runs[0].detail.toStdString();
    EXPECT_FALSE(QFileInfo::exists(slotFile(2))) << "nothing recorded from the webcam";

    // Plugged in again and chosen anew in the preferences: the condition is over.
    backend().setInputDevices({"Built-in", "Webcam", "USB Mixer"});
    core->state().RecordDevice = 2;
    emit core->settingsApplied();
    EXPECT_FALSE(core->notices().isRaised(DeviceChoice::keyFor(DeviceChoice::Device::Record)));
}
