// The library window's meters on the stepped virtual input: a step from silence to a signal
// that reaches full scale and back, with the program's clock moved on by the test.
#include "LibraryWindowFixture.h"
#include "audio/widgets/LevelScale.h"
#include "tests/support/LayoutCheck.h"
#include <QDir>

using namespace tamblor;
using namespace tamblor::audio;

namespace {

// The colour at the top of a vertical meter, where its clip light is.
QColor clipLight(LevelMeter* m) { return m->grab().toImage().pixelColor(m->width() / 2, 1); }

} // namespace

TEST_F(LibraryWindowTest, MetersHoldThePeakFallBackAndKeepTheClipLightUntilClicked)
{
    // 44100 per second, stereo, Momentary: the first press arms. The record level at +6 dB
    // takes the 20000 burst past full scale.
    writeSettings({{3, 3}, {5, 1}, {6, 2}, {11, 32767}});
    open();
    backend().setInputSignal(sources::burst(8192, 4096, 0, 20000));
    click(w->cmdRecord);
    ASSERT_EQ(studio->recording().recordState(), 1);

    feed(8192);
    for (LevelMeter* m : {w->Level1, w->Level2}) {
        EXPECT_EQ(m->displayDb(), kMeterFloorDb);
        EXPECT_FALSE(m->isClipped());
    }
    const QColor dark = clipLight(w->Level1);

    feed(4096); // the step up: the bar rises at once
    for (LevelMeter* m : {w->Level1, w->Level2}) {
        EXPECT_EQ(m->value(), 32767);
        EXPECT_NEAR(m->displayDb(), 0.0, 0.01);
        EXPECT_NEAR(m->peakHoldDb(), 0.0, 0.01);
        EXPECT_TRUE(m->isClipped());
    }
    EXPECT_EQ(clipLight(w->Level1), QColor(255, 0, 0));

    feed(8192); // the step down: silence does not pull the bar down, time does
    EXPECT_EQ(w->Level1->value(), 0);
    EXPECT_NEAR(w->Level1->displayDb(), 0.0, 0.01);
    app->clock().advance(850);
    EXPECT_NEAR(w->Level1->displayDb(), -10.0, 0.01);
    EXPECT_NEAR(w->Level1->peakHoldDb(), 0.0, 0.01);
    // A picture for a person: bars at -10 dB, hold marks and clip lights at the top.
    EXPECT_TRUE(layoutcheck::saveScreenshot(w, "library-meters"));
    app->clock().advance(850);
    EXPECT_NEAR(w->Level1->displayDb(), -20.0, 0.01); // 20 dB in 1.7 s
    EXPECT_NEAR(w->Level2->displayDb(), -20.0, 0.01);
    app->clock().advance(299);
    EXPECT_NEAR(w->Level1->peakHoldDb(), 0.0, 0.01); // held for 2 s
    app->clock().advance(851);
    EXPECT_NEAR(w->Level1->peakHoldDb(), -10.0, 0.01); // then falling like the bar
    feed(4096);
    tick();
    app->clock().advance(10000);
    for (LevelMeter* m : {w->Level1, w->Level2}) {
        EXPECT_EQ(m->displayDb(), kMeterFloorDb);
        EXPECT_EQ(m->peakHoldDb(), kMeterFloorDb);
        EXPECT_TRUE(m->isClipped()); // the clip light stays lit until acknowledged
    }

    // A click puts out the light of the meter clicked.
    QTest::mouseClick(w->Level1, Qt::LeftButton);
    EXPECT_FALSE(w->Level1->isClipped());
    EXPECT_TRUE(w->Level2->isClipped());
    EXPECT_EQ(clipLight(w->Level1), dark);
    EXPECT_EQ(clipLight(w->Level2), QColor(255, 0, 0));

    // Stopping the take leaves the light on as well: the operator has not seen it yet.
    click(w->cmdStop);
    EXPECT_TRUE(w->Level2->isClipped());
}
