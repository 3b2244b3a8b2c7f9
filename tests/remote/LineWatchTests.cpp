// The watch over virtual lines in stepped time: each function's input with its polarity and
// debounce, the outputs by function (power held while open, everything else at rest at open,
// the end-of-message pulse), and a port that fails, is told, and is opened again.
#include "remote/LineMonitor.h"
#include "remote/LineWatch.h"
#include "remote/VirtualLines.h"
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace tamblor::remote;

namespace {

struct VirtualWatch {
    std::shared_ptr<VirtualWiring> wiring = std::make_shared<VirtualWiring>();
    LineMap map = LineMap::defaults(LinePort::Kind::Virtual);
    LineWatch watch{[this](const LineMap& m) { return std::make_unique<VirtualLines>(wiring, m.port); }};
    std::vector<LineEvent> events;

    VirtualWatch()
    {
        QObject::connect(&watch, &LineWatch::event, [this](const LineEvent& e) { events.push_back(e); });
    }
    int record() const { return map.input(InputFunction::Record).line; }
    // Steps the wiring's clock in polls of 10 ms.
    void run(int milliseconds)
    {
        for (int t = 0; t < milliseconds; t += 10) {
            wiring->advanceMs(std::min(10, milliseconds - t));
            watch.poll();
        }
    }
};

} // namespace

TEST(LineWatchTest, EachFunctionsInputIsDebouncedAndNamed)
{
    VirtualWatch v;
    v.watch.start(v.map);
    ASSERT_TRUE(v.watch.isOpen());
    v.wiring->set(v.record(), true);
    v.run(10);
    EXPECT_TRUE(v.events.empty());
    EXPECT_FALSE(v.watch.closed(InputFunction::Record));
    v.run(20);
    ASSERT_EQ(v.events.size(), 1u);
    EXPECT_EQ(v.events[0].kind, LineEvent::Kind::Closed);
    EXPECT_EQ(v.events[0].function, InputFunction::Record);
    EXPECT_EQ(v.events[0].line, "IN2");
    EXPECT_EQ(v.events[0].acceptedUs - v.events[0].atUs, 20000);
    EXPECT_TRUE(v.watch.closed(InputFunction::Record));

    // The stop and play inputs; a short pulse on play is ignored.
    v.wiring->set(v.map.input(InputFunction::Play).line, true);
    v.run(10);
    v.wiring->set(v.map.input(InputFunction::Play).line, false);
    v.wiring->set(v.map.input(InputFunction::Stop).line, true);
    v.run(50);
    ASSERT_EQ(v.events.size(), 3u);
    EXPECT_EQ(v.events[1].kind, LineEvent::Kind::Ignored);
    EXPECT_EQ(v.events[1].function, InputFunction::Play);
    EXPECT_EQ(v.events[1].pulseUs, 10000);
    EXPECT_EQ(v.events[2].kind, LineEvent::Kind::Closed);
    EXPECT_EQ(v.events[2].function, InputFunction::Stop);
}

TEST(LineWatchTest, AnInvertedInputIsClosedWhileTheLineIsReleasedAndAContactClosedAtOpenIsNoEdge)
{
    VirtualWatch v;
    v.map.input(InputFunction::Record).inverted = true;
    v.map.input(InputFunction::Record).debounceMs = 50;
    v.watch.start(v.map);
    v.run(100);
    EXPECT_TRUE(v.events.empty()); // closed from the start
    EXPECT_TRUE(v.watch.closed(InputFunction::Record));
    v.wiring->set(v.record(), true);
    v.run(40);
    EXPECT_TRUE(v.events.empty());
    v.run(20);
    ASSERT_EQ(v.events.size(), 1u);
    EXPECT_EQ(v.events[0].kind, LineEvent::Kind::Opened);
}

TEST(LineWatchTest, OutputsRestAtOpenPowerIsHeldAndTheEndOfMessageIsAPulse)
{
    VirtualWatch v;
    v.watch.start(v.map);
    const int power = v.map.output(OutputFunction::Power), eom = v.map.output(OutputFunction::Eom);
    const int tally = v.map.output(OutputFunction::Tally);
    EXPECT_TRUE(v.wiring->output(power));
    EXPECT_FALSE(v.wiring->output(tally));
    EXPECT_FALSE(v.wiring->output(eom));
    v.watch.setOutput(OutputFunction::Tally, true);
    EXPECT_TRUE(v.wiring->output(tally));
    v.watch.pulseOutput(OutputFunction::Eom);
    EXPECT_TRUE(v.wiring->output(eom));
    v.run(490);
    EXPECT_TRUE(v.wiring->output(eom));
    v.run(10);
    EXPECT_FALSE(v.wiring->output(eom));
    EXPECT_TRUE(v.wiring->output(tally));
    v.watch.stop();
    EXPECT_FALSE(v.wiring->output(tally));
    EXPECT_FALSE(v.wiring->output(power));
}

TEST(LineWatchTest, AnUnpluggedPortIsToldLookedForAgainAndTakenUpWhereItWas)
{
    VirtualWatch v;
    v.watch.start(v.map);
    QSignalSpy changed(&v.watch, &LineWatch::problemChanged);
    v.watch.setOutput(OutputFunction::Tally, true);
    v.wiring->unplug();
    v.run(10);
    ASSERT_EQ(changed.size(), 1);
    ASSERT_TRUE(v.watch.problem());
    EXPECT_EQ(v.watch.problem()->cause, PortProblem::Cause::Unplugged);
    EXPECT_TRUE(v.watch.problem()->text().startsWith("virtual went away while in use"));

    // Every few seconds it is looked for again; while it is not there, it is missing.
    v.run(LineWatch::RetryMs);
    EXPECT_EQ(v.wiring->opens(), 1);
    ASSERT_TRUE(v.watch.problem());
    EXPECT_EQ(v.watch.problem()->cause, PortProblem::Cause::Missing);

    // Plugged in with the start contact closed meanwhile: opened again, the closure counted.
    v.wiring->plugIn();
    v.wiring->set(v.record(), true);
    v.run(LineWatch::RetryMs + 10);
    EXPECT_EQ(v.wiring->opens(), 2);
    EXPECT_FALSE(v.watch.problem());
    EXPECT_TRUE(v.watch.isOpen());
    ASSERT_EQ(v.events.size(), 1u);
    EXPECT_EQ(v.events[0].kind, LineEvent::Kind::Closed);
    EXPECT_TRUE(v.wiring->output(v.map.output(OutputFunction::Tally))); // the outputs set again
    EXPECT_TRUE(v.wiring->output(v.map.output(OutputFunction::Power)));
}

TEST(LineWatchTest, APortTakenByAnotherProgramIsToldWithItsCause)
{
    VirtualWatch v;
    v.wiring->refuse(PortProblem{{}, PortProblem::Cause::Taken, "Device or resource busy", {}});
    v.watch.start(v.map);
    ASSERT_TRUE(v.watch.problem());
    EXPECT_EQ(v.watch.problem()->text(),
              "virtual is taken by another program (Device or resource busy). The remote lines are read as soon "
              "as that program lets it go.");
    v.wiring->refuse(std::nullopt);
    v.run(LineWatch::RetryMs + 10);
    EXPECT_TRUE(v.watch.isOpen());
    EXPECT_FALSE(v.watch.problem());
}

TEST(LineWatchTest, TheDefaultMapsWireThePinsTheCaptionsName)
{
    const LineMap parallel = LineMap::defaults(LinePort::Kind::Parallel);
    const QStringList pins = LineMap::inputNames(LinePort::Kind::Parallel);
    EXPECT_EQ(pins.at(parallel.input(InputFunction::Record).line), "pin 12");
    EXPECT_EQ(pins.at(parallel.input(InputFunction::Stop).line), "pin 13");
    const LineMap serial = LineMap::defaults(LinePort::Kind::Serial);
    EXPECT_EQ(LineMap::inputNames(LinePort::Kind::Serial).at(serial.input(InputFunction::Record).line), "DSR");
    EXPECT_EQ(LineMap::outputNames(LinePort::Kind::Serial).at(serial.output(OutputFunction::Power)), "DTR");
    for (const InputWiring& w : serial.inputs)
        EXPECT_EQ(w.debounceMs, 20);
}

TEST(LineMonitorTest, EveryEdgeIsPrintedWithItsLineAndLevelUntilStopped)
{
    auto wiring = std::make_shared<VirtualWiring>();
    wiring->set(1, true); // closed before the watch begins: shown as the level now
    LineMonitor monitor([&](const QString& device) { return std::make_unique<VirtualLines>(wiring, device); });
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    int polls = 0;
    const int status = monitor.run("virtual", out, err, [&] {
        ++polls;
        wiring->advanceMs(10);
        if (polls == 3)
            wiring->set(2, true);
        if (polls == 5)
            wiring->set(2, false);
        if (polls == 6)
            wiring->pulse(0);
        return polls < 10;
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(errText.isEmpty());
    const QStringList lines = outText.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << outText.toStdString();
    EXPECT_TRUE(lines[0].startsWith("Watching virtual (virtual). The inputs now:  IN0 released  IN1 asserted"));
    EXPECT_TRUE(lines[1].endsWith("  IN2     asserted (on)")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].endsWith("  IN2     released (off)"));
    EXPECT_TRUE(lines[3].endsWith("  IN0     pulse (counted, too short to read its level)"));
}

TEST(LineMonitorTest, APortThatGoesAwayEndsItWithTheCause)
{
    auto wiring = std::make_shared<VirtualWiring>();
    LineMonitor monitor([&](const QString& device) { return std::make_unique<VirtualLines>(wiring, device); });
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    int polls = 0;
    const int status = monitor.run("virtual", out, err, [&] {
        if (++polls == 3)
            wiring->unplug();
        return polls < 10;
    });
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(errText.startsWith("tamblor: virtual went away while in use")) << errText.toStdString();
}
