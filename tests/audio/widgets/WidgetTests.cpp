// Display components driven as the operator drives them.
#include "audio/widgets/Gauge.h"
#include "audio/widgets/LedDigit.h"
#include "audio/widgets/LevelMeter.h"
#include "audio/widgets/LevelScale.h"
#include "audio/widgets/Oscope.h"
#include "audio/widgets/Slider.h"
#include "audio/widgets/Wheel.h"
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

using namespace tamblor::audio;

namespace {

// The arguments of every emission of a (int, int, int, int) signal.
std::vector<std::array<int, 4>> calls(const QSignalSpy& spy)
{
    std::vector<std::array<int, 4>> out;
    for (const auto& args : spy)
        out.push_back({args[0].toInt(), args[1].toInt(), args[2].toInt(), args[3].toInt()});
    return out;
}

void turnWheel(QWidget* w, int notches)
{
    const QPointF at(w->width() / 2.0, w->height() / 2.0);
    QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w, &e);
}

} // namespace

TEST(Oscope, DragWithTheLeftButtonSelectsColumnsAndReportsEvents)
{
    Oscope o;
    o.resize(300, 100);
    o.show();
    EXPECT_EQ(o.sizeValue(), 600);
    QSignalSpy pressed(&o, &Oscope::buttonPressed), released(&o, &Oscope::buttonReleased);

    QTest::mousePress(&o, Qt::LeftButton, Qt::NoModifier, QPoint(200, 40));
    QTest::mouseMove(&o, QPoint(120, 50));
    QTest::mouseRelease(&o, Qt::LeftButton, Qt::NoModifier, QPoint(80, 50));
    EXPECT_EQ(o.selectionStart(), 80); // dragged leftwards: start is still the smaller column
    EXPECT_EQ(o.selectionEnd(), 200);
    ASSERT_EQ(pressed.count(), 1);
    EXPECT_EQ(calls(pressed)[0], (std::array<int, 4>{1, 0, 200, 40}));
    EXPECT_EQ(calls(released)[0], (std::array<int, 4>{1, 0, 80, 50}));

    // A plain click clears the selection; the right button leaves it alone.
    QTest::mouseClick(&o, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_EQ(o.selectionStart(), -1);
    EXPECT_EQ(o.selectionEnd(), -1);
    QTest::mousePress(&o, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseRelease(&o, Qt::LeftButton, Qt::NoModifier, QPoint(30, 10));
    QTest::mouseClick(&o, Qt::RightButton, Qt::ShiftModifier, QPoint(250, 5));
    EXPECT_EQ(o.selectionStart(), 10);
    EXPECT_EQ(o.selectionEnd(), 30);
    EXPECT_EQ(calls(released).back(), (std::array<int, 4>{2, 1, 250, 5}));
    QTest::mouseClick(&o, Qt::MiddleButton, Qt::ControlModifier, QPoint(5, 5));
    EXPECT_EQ(calls(pressed).back()[0], 4);
    EXPECT_EQ(calls(pressed).back()[1], 2);

    // Past the right edge counts as the last column.
    QTest::mousePress(&o, Qt::LeftButton, Qt::NoModifier, QPoint(100, 10));
    QTest::mouseRelease(&o, Qt::LeftButton, Qt::NoModifier, QPoint(400, 10));
    EXPECT_EQ(o.selectionEnd(), 300);

    o.sel();
    EXPECT_EQ(o.selectionStart(), -1);
}

TEST(Oscope, DisabledDisplayIgnoresTheMouse)
{
    Oscope o;
    o.resize(200, 80);
    o.show();
    o.setEnabled(false);
    QSignalSpy pressed(&o, &Oscope::buttonPressed);
    QTest::mousePress(&o, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    QTest::mouseRelease(&o, Qt::LeftButton, Qt::NoModifier, QPoint(60, 20));
    EXPECT_EQ(pressed.count(), 0);
    EXPECT_EQ(o.selectionStart(), -1);
}

TEST(Oscope, DrawsMirroredColumnsScaledByGain)
{
    Oscope o;
    o.resize(2000, 101); // wider than 1025 columns
    o.show();
    std::vector<int16_t> cols(2000, 0);
    cols[10] = 16384;   // half scale
    cols[1500] = -32768;
    o.drawBuffer(cols.data(), int(cols.size()));
    EXPECT_EQ(o.columns().size(), 2000);
    o.setLocator(700);
    o.setGain(99);
    EXPECT_EQ(o.gain(), 50);
    o.setGain(10);

    const QImage img = o.grab().toImage();
    const QColor fg = Oscope::foregroundColor();
    const auto extent = [&](int x) { // rows drawn in the foreground colour in column x
        int top = -1, bottom = -1;
        for (int y = 0; y < img.height(); ++y)
            if (img.pixelColor(x, y) == fg) {
                if (top < 0)
                    top = y;
                bottom = y;
            }
        return std::make_pair(top, bottom);
    };
    EXPECT_NEAR(extent(10).first, 25, 1);
    EXPECT_NEAR(extent(10).second, 75, 1);
    EXPECT_EQ(extent(1500), std::make_pair(0, 100)); // negative peaks mirror the same way
    EXPECT_EQ(extent(11), std::make_pair(50, 50));   // silence: only the centre line
    EXPECT_EQ(img.pixelColor(700, 10), Oscope::locatorColor());
    EXPECT_EQ(img.pixelColor(5, 10), Oscope::backgroundColor());

    o.setGain(20); // twice as high, clipped at the edges
    const QImage louder = o.grab().toImage();
    EXPECT_EQ(louder.pixelColor(10, 2), fg);

    o.reset();
    EXPECT_TRUE(o.columns().isEmpty());
    EXPECT_EQ(o.locator(), 0);
}

TEST(Slider, ProgramAndUserMovesAreToldApart)
{
    Slider s(Qt::Horizontal);
    s.setMaxValue(16384);
    s.resize(210, 20);
    s.show();
    QSignalSpy changed(&s, &Slider::positionChanged), moved(&s, &Slider::movedByUser);
    s.setPosition(9191);
    s.setPosition(9191); // setting the same position still tells the window
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(moved.count(), 0);
    s.setPosition(99999);
    EXPECT_EQ(s.position(), 16384);

    QTest::mouseClick(&s, Qt::LeftButton, Qt::NoModifier, QPoint(5, 10)); // left end
    EXPECT_EQ(s.position(), 0);
    ASSERT_EQ(moved.count(), 1);
    EXPECT_EQ(moved.takeFirst()[0].toInt(), 0);
    QTest::keyClick(&s, Qt::Key_End);
    EXPECT_EQ(s.position(), 16384);
    turnWheel(&s, -1);
    EXPECT_EQ(s.position(), 16384 - 163);
    EXPECT_EQ(moved.count(), 2);

    Slider v(Qt::Vertical);
    v.setMaxValue(100);
    v.resize(20, 110);
    v.show();
    QTest::mouseClick(&v, Qt::LeftButton, Qt::NoModifier, QPoint(10, 5)); // the top is the maximum
    EXPECT_EQ(v.position(), 100);
}

TEST(Slider, ADisabledSliderIsDrawnAsAGreyOutline)
{
    // A vertical slider at half way: the thumb spans the width in the middle of the height.
    Slider v(Qt::Vertical);
    v.setMaxValue(100);
    v.setPosition(50);
    v.resize(22, 110);
    const QPoint border(1, 55), inside(11, 55);
    const QImage enabled = v.grab().toImage();
    v.setEnabled(false);
    const QImage disabled = v.grab().toImage();
    // Pixels hold 8 bits a colour: the palette's colours are compared as such.
    const QRgb grey = v.palette().color(QPalette::Disabled, QPalette::Text).rgb();
    EXPECT_EQ(enabled.pixel(border), v.palette().color(QPalette::Active, QPalette::Mid).rgb());
    EXPECT_EQ(disabled.pixel(border), grey);
    EXPECT_NE(disabled.pixel(border), enabled.pixel(border));
    // The thumb is filled with the window's colour, not the button's.
    EXPECT_EQ(enabled.pixel(inside), v.palette().color(QPalette::Active, QPalette::Button).rgb());
    EXPECT_EQ(disabled.pixel(inside), v.palette().color(QPalette::Window).rgb());
    // The mouse and the keys no longer move it.
    QTest::mouseClick(&v, Qt::LeftButton, Qt::NoModifier, QPoint(10, 5));
    EXPECT_EQ(v.position(), 50);
}

TEST(Wheel, ValueFollowsDragWheelKeysAndProgramWithinRange)
{
    Wheel w;
    w.setMaxValue(9);
    w.resize(20, 60);
    w.show();
    QSignalSpy changed(&w, &Wheel::valueChanged);
    w.setValue(1);
    EXPECT_EQ(changed.count(), 1);
    QTest::mousePress(&w, Qt::LeftButton, Qt::NoModifier, QPoint(10, 50));
    QTest::mouseMove(&w, QPoint(10, 50 - 3 * Wheel::kPixelsPerStep));
    QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, QPoint(10, 50 - 3 * Wheel::kPixelsPerStep));
    EXPECT_EQ(w.value(), 4);
    turnWheel(&w, 20);
    EXPECT_EQ(w.value(), 9);
    QTest::keyClick(&w, Qt::Key_Down);
    EXPECT_EQ(w.value(), 8);
    w.setMaxValue(2);
    EXPECT_EQ(w.value(), 2);
    w.setValue(-3);
    EXPECT_EQ(w.value(), 0);
    EXPECT_EQ(changed.last()[0].toInt(), 0);
}

TEST(LedDigitAndGauge, ShowTheirValues)
{
    LedDigit d;
    d.setValue(1);
    EXPECT_EQ(d.segments(), 0x06); // b and c
    d.setValue(8);
    EXPECT_EQ(d.segments(), 0x7F);
    d.setValue(12);
    EXPECT_EQ(d.segments(), 0);
    EXPECT_EQ(d.ledColor(), QColor(Qt::red));

    Gauge g;
    g.setCaption("Scanning ");
    g.setValue(42);
    EXPECT_EQ(g.text(), "Scanning 42%");
    g.setValue(250);
    EXPECT_EQ(g.value(), 100);
}

TEST(LevelMeter, RisesAtOnceFallsBackHoldsPeaksAndLatchesClips)
{
    qint64 now = 1000;
    LevelMeter m;
    m.setTimeSource([&now] { return now; });
    m.setValue(32767 / 10); // -20 dBFS
    EXPECT_NEAR(m.displayDb(), -20.0, 0.01);
    m.setValue(0);
    EXPECT_NEAR(m.displayDb(), -20.0, 0.01); // a quiet buffer does not pull it down at once
    now += 850;
    EXPECT_NEAR(m.displayDb(), -30.0, 0.01); // 20 dB in 1.7 s
    EXPECT_NEAR(m.peakHoldDb(), -20.0, 0.01);
    now += 850;
    EXPECT_NEAR(m.displayDb(), -40.0, 0.01);
    now += 299;
    EXPECT_NEAR(m.peakHoldDb(), -20.0, 0.01); // held for 2 s
    now += 1 + 850;
    EXPECT_NEAR(m.peakHoldDb(), -30.0, 0.01); // then falling at the bar's rate
    now += 10000;
    EXPECT_EQ(m.displayDb(), kMeterFloorDb);
    EXPECT_EQ(m.peakHoldDb(), kMeterFloorDb);

    // A louder peak restarts the hold; a softer one within the hold leaves the mark alone.
    m.setValue(32767 / 2); // -6 dBFS
    now += 1500;
    m.setValue(32767 / 10);
    now += 1000;
    EXPECT_NEAR(m.peakHoldDb(), -6.02 - 20.0 * 500 / 1700, 0.01);

    // How often the meter is looked at changes nothing: only the time that passed counts.
    LevelMeter polled;
    qint64 t = 0;
    polled.setTimeSource([&t] { return t; });
    polled.setValue(32767);
    for (int i = 0; i < 100; ++i, t += 17)
        polled.displayDb();
    EXPECT_NEAR(polled.displayDb(), -20.0, 0.01);
    t = 0; // a clock set back holds the meter
    EXPECT_NEAR(polled.displayDb(), -20.0, 0.01);

    // Nor how often it is fed: a lower level fed every 10 ms lets it fall at its rate, down to
    // that level, where it rests.
    LevelMeter fed;
    qint64 f = 0;
    fed.setTimeSource([&f] { return f; });
    fed.setValue(32767);
    for (; f < 850; f += 10)
        fed.setValue(32767 / 100); // -40 dBFS
    EXPECT_NEAR(fed.displayDb(), -10.0, 0.01);
    for (; f < 10000; f += 10)
        fed.setValue(32767 / 100);
    fed.setValue(32767 / 100); // once more as it is read
    EXPECT_NEAR(fed.displayDb(), 20 * std::log10(327.0 / 32767), 0.01) << "resting at what it was fed";

    QSignalSpy clip(&m, &LevelMeter::clipChanged);
    m.setValue(32766);
    EXPECT_FALSE(m.isClipped());
    m.setValue(32767);
    EXPECT_TRUE(m.isClipped());
    now += 60000;
    EXPECT_TRUE(m.isClipped()); // stays lit until put out
    m.resize(14, 150);
    m.show();
    QTest::mouseClick(&m, Qt::LeftButton);
    EXPECT_FALSE(m.isClipped());
    EXPECT_EQ(clip.count(), 2);
}

TEST(LevelScale, MarksSitWhereTheMeterShowsThem)
{
    EXPECT_EQ(meterFraction(0), 1.0);
    EXPECT_EQ(meterFraction(-20), 0.5);
    EXPECT_EQ(meterFraction(-60), 0.0);
    EXPECT_EQ(meterFraction(-100), 0.0);
    EXPECT_LT(meterFraction(-40), meterFraction(-30));
    EXPECT_EQ(peakToDb(0), kMeterFloorDb);
    EXPECT_NEAR(peakToDb(16384), -6.02, 0.01);
    LevelScale s;
    EXPECT_GT(s.sizeHint().height(), s.sizeHint().width());
}
