// The figures of every take: measured in the background when a take is complete (whoever ended
// it) and when a file is first selected, stored with the slot in the program's database, shown
// in the library window's details, and measured again once the file has changed (a normalize).
#include "LibraryWindowFixture.h"
#include "audio/files/Normalize.h"
#include "audio/jobs/Job.h"
#include "store/TakeFiguresStore.h"
#include "tests/audio/devices/SignalMeasure.h"
#include "tests/support/SoxFiles.h"
#include <QDir>
#include <cmath>

using namespace tamblor;
using namespace tamblor::audio;

namespace {

constexpr int kRate = 44100;

// `silentFrames` of nothing, then a 1 kHz sine of peak `dbfs` on both channels.
VirtualSignal silenceThenTone(uint64_t silentFrames, double dbfs)
{
    const double amplitude = 32767.0 * std::pow(10.0, dbfs / 20.0);
    return [=](int16_t* out, size_t frames, int channels, int rate, uint64_t first) {
        for (size_t i = 0; i < frames; ++i) {
            const uint64_t at = first + i;
            const int16_t v =
                at < silentFrames ? 0 : int16_t(std::lround(amplitude * std::sin(2 * M_PI * 1000.0 * double(at) / rate)));
            for (int c = 0; c < channels; ++c)
                out[i * size_t(channels) + size_t(c)] = v;
        }
    };
}

std::vector<int16_t> sine(size_t frames, double dbfs)
{
    std::vector<int16_t> s(frames * 2);
    const double amplitude = 32767.0 * std::pow(10.0, dbfs / 20.0);
    for (size_t i = 0; i < frames; ++i)
        s[2 * i] = s[2 * i + 1] = int16_t(std::lround(amplitude * std::sin(2 * M_PI * 1000.0 * double(i) / kRate)));
    return s;
}

class FiguresTest : public LibraryWindowTest {
protected:
    TakeMeasurer& measurer() { return studio->measurer(); }
    store::TakeFiguresStore& figures() { return studio->figures(); }
    // Runs the window's timer for a second, as it looks at the selected file once a second.
    void tickASecond()
    {
        for (int i = 0; i < 1000 / Studio::TickMs; ++i)
            tick();
    }
};

} // namespace

TEST_F(FiguresTest, ANewTakeIsMeasuredStoredAndShownAndMeasuredAgainAfterANormalize)
{
    writeSettings({{3, 3}, {5, 1}, {6, 0}, {11, 16384}}); // 44100 stereo, a press writes at once
    open();
    ASSERT_TRUE(studio->database().isOpen());
    // Two seconds of digital silence, then a tone at -20 dBFS.
    backend().setInputSignal(silenceThenTone(2 * kRate, -20.0));
    click(w->cmdRecord);
    const int slot = studio->recording().slot();
    for (int i = 0; i < 12; ++i) {
        feed(kRate / 2);
        tick();
    }
    EXPECT_EQ(measurer().measuring(), 0); // nothing is measured while the take is written
    click(w->cmdStop);
    ASSERT_EQ(selectedSlot(), slot);
    EXPECT_EQ(measurer().measuring(), slot); // in the background, from the end of the take
    EXPECT_EQ(w->lblFigures->text(), "measuring...");

    measurer().finishAll();
    const std::optional<store::TakeFigures> f = figures().current(slot, slotFile(slot));
    ASSERT_TRUE(f);
    EXPECT_NEAR(*f->peakDbfs, -20.0, 0.01);
    EXPECT_NEAR(*f->truePeakDbtp, -20.0, 0.05);
    EXPECT_NEAR(*f->longestSilenceS, 2.0, 0.001);
    // The blocks that reach from the silence into the tone count a little below it, and their
    // rise spreads the short-term values: a loudness just under -20 and a range of some LU.
    EXPECT_NEAR(*f->integratedLufs, -20.1, 0.1);
    EXPECT_GT(*f->lraLu, 1.0);
    EXPECT_LT(*f->lraLu, 8.0);
    EXPECT_EQ(w->lblFigures->text(), "-20.2 LUFS  LRA 4.8  TP -20.0 dBTP");
    EXPECT_EQ(w->lblFigures->toolTip(), "Peak -20.0 dBFS, longest silence 2.0 s");

    // Current figures are not measured again, however often the file is looked at.
    tickASecond();
    clickSlot(slot);
    EXPECT_EQ(measurer().measuring(), 0);

    // Normalized to -16 LUFS (by the normalizer's own job): the once-a-second look at the
    // selected file finds it changed and measures it again.
    jobs::Job normalize;
    QString path = slotFile(slot);
    normalize.start([&path](jobs::JobControl&) { NormalizeToLoudness(path, {-16.0, -1.0}); });
    normalize.finish();
    ASSERT_FALSE(normalize.failure());
    EXPECT_FALSE(figures().current(slot, slotFile(slot)));
    tickASecond();
    EXPECT_EQ(measurer().measuring(), slot);
    measurer().finishAll();
    // The gain that brought -20.2 to -16.0 raised the peaks by as much.
    EXPECT_EQ(w->lblFigures->text(), "-16.0 LUFS  LRA 4.8  TP -15.8 dBTP");
    EXPECT_NEAR(*figures().current(slot, slotFile(slot))->peakDbfs, -20.0 + (-16.0 - *f->integratedLufs), 0.05);

    // The next take shows its own number and no figures of the file selected before it.
    click(w->cmdRecord);
    ASSERT_NE(studio->recording().slot(), slot);
    EXPECT_EQ(w->lblFigures->text(), "");
    feed(kRate / 2);
    tick();
    click(w->cmdStop);
    measurer().finishAll();
}

TEST_F(FiguresTest, AFileNotRecordedHereIsMeasuredWhenFirstSelectedAndOneThatCannotBeIsNotTriedAgain)
{
    writeIndex({rec("1", "imported", "5"), rec("1", "adpcm", "1"), rec("1", "no file"), rec("1", "ms adpcm", "2")});
    QDir().mkpath(native("C/Tamblor"));
    measure::writeWav(slotFile(1), kRate, 2, sine(5 * kRate, -12.0));
    // Slot 4: MS-ADPCM, decoded and measured as any other take (a tone at 0.6 of full scale).
    ASSERT_TRUE(soxtest::makeTone(slotFile(4), {"-e", "ms-adpcm"}, 22050, 2, 2.0));
    // Slot 2: a header that promises more than the file holds is refused by the reader.
    writeAllBytes(slotFile(2), QByteArray("RIFF\x10\x00\x00\x00WAVEjunk", 16));
    open();
    EXPECT_EQ(measurer().measuring(), 0); // nothing is measured before it is asked for

    clickSlot(1);
    EXPECT_EQ(w->lblFigures->text(), "measuring...");
    measurer().finishAll();
    EXPECT_EQ(w->lblFigures->text(), "-12.0 LUFS  LRA 0.0  TP -12.0 dBTP");
    EXPECT_EQ(w->lblFigures->toolTip(), "Peak -12.0 dBFS, longest silence 0.0 s");

    clickSlot(2);
    measurer().finishAll();
    EXPECT_EQ(w->lblFigures->text(), "not measurable");
    const std::optional<store::TakeFigures> refused = figures().current(2, slotFile(2));
    ASSERT_TRUE(refused);
    EXPECT_FALSE(refused->integratedLufs);
    tickASecond();
    EXPECT_EQ(measurer().measuring(), 0); // stored as such: not tried again

    clickSlot(3); // no file: nothing to measure
    EXPECT_EQ(measurer().measuring(), 0);
    EXPECT_EQ(w->lblFigures->text(), "");

    clickSlot(4);
    EXPECT_EQ(measurer().measuring(), 4);
    measurer().finishAll();
    const std::optional<store::TakeFigures> adpcm = figures().current(4, slotFile(4));
    ASSERT_TRUE(adpcm);
    ASSERT_TRUE(adpcm->measured());
    EXPECT_NEAR(*adpcm->peakDbfs, 20 * std::log10(0.6), 0.3);
    EXPECT_NEAR(*adpcm->integratedLufs, 20 * std::log10(0.6), 0.3);
    EXPECT_EQ(adpcm->sampleRate, 22050);
    EXPECT_EQ(adpcm->channels, 2);
    EXPECT_NEAR(double(adpcm->frames.value_or(0)), 2.0 * 22050, 1024);
    EXPECT_EQ(w->lblFigures->text(), QString("%1 LUFS  LRA %2  TP %3 dBTP")
                                         .arg(*adpcm->integratedLufs, 0, 'f', 1)
                                         .arg(*adpcm->lraLu, 0, 'f', 1)
                                         .arg(*adpcm->truePeakDbtp, 0, 'f', 1));

    // Back on slot 1: shown at once from the database.
    clickSlot(1);
    EXPECT_EQ(measurer().measuring(), 0);
    EXPECT_EQ(w->lblFigures->text(), "-12.0 LUFS  LRA 0.0  TP -12.0 dBTP");

    // A slot freed loses its figures.
    studio->library().release(1);
    EXPECT_FALSE(figures().find(1));
}

TEST_F(FiguresTest, ATakeEndedWithoutTheWindowIsMeasuredToo)
{
    writeSettings({{3, 3}, {5, 1}, {6, 0}, {11, 16384}});
    open();
    w->close();
    flushDeletes();
    backend().setInputSignal(silenceThenTone(0, -6.0));
    RecordingSession& take = studio->recording();
    take.applySettings();
    take.handle(RecordingSession::Event::Press);
    ASSERT_EQ(take.state(), RecordingSession::State::Writing);
    backend().advance(3 * kRate);
    take.input().waitIdle();
    take.handle(RecordingSession::Event::Stop); // as the scheduler ends a take
    measurer().finishAll();
    const std::optional<store::TakeFigures> f = figures().current(take.slot(), slotFile(take.slot()));
    ASSERT_TRUE(f);
    EXPECT_NEAR(*f->integratedLufs, -6.0, 0.05);
}
