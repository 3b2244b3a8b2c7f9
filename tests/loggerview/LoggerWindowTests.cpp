// The Logger window over rows the logger's own store wrote: the days by hours in the colours of
// their results with the reason on hover, the status line, both changes of London's clocks, the
// way back through the days, and a click that plays the segment file (WAV or FLAC) from the
// clicked minute on the virtual sound card.
#include "app/Application.h"
#include "audio/devices/VirtualBackend.h"
#include "core/SingleInstance.h"
#include "logger/Logger.h"
#include "logger/LoggerReader.h"
#include "logger/LoggerStore.h"
#include "logger/SegmentTimes.h"
#include "loggerexport/frmLoggerExport.h"
#include "loggerview/frmLogger.h"
#include "tests/logger/LoggerTestSupport.h"
#include "tests/support/AppFixture.h"
#include "tests/support/LayoutCheck.h"
#include "tests/support/LondonTime.h"
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

using namespace tamblor;
using namespace tamblor::logger;

namespace {

constexpr qint64 Minute = 60000;
// A low rate keeps an hour's file small; the player plays any rate the card takes.
constexpr int Rate = 1000;

qint64 local(const QDate& d, int h, int m = 0)
{
    return QDateTime(d, QTime(h, m), Qt::LocalTime).toMSecsSinceEpoch();
}

class LoggerWindowTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        writer = std::make_unique<LoggerStore>(*app);
        reader = std::make_unique<LoggerReader>(*app);
        app->windows().registerWindow(WindowName::frmLogger, [this](Application& a) { return new frmLogger(a, *reader); });
        app->windows().registerWindow(WindowName::frmLoggerExport, [](Application& a) { return new frmLoggerExport(a); });
        ASSERT_TRUE(app->start());
        setNow(local(Today, 12, 30));
        backend = dynamic_cast<audio::VirtualBackend*>(&app->audio());
        ASSERT_TRUE(backend);
    }
    void TearDown() override
    {
        app->windows().destroyAll();
        reader.reset();
        writer.reset();
        AppTest::TearDown();
    }
    void setNow(qint64 ms) { app->clock().setFixed(QDateTime::fromMSecsSinceEpoch(ms)); }
    frmLogger* open()
    {
        auto* w = app->windows().show<frmLogger>(WindowName::frmLogger);
        if (w)
            grid = w->findChild<QTableWidget*>("grdCoverage");
        return w;
    }
    // A segment row, and with `encoding` its file, `minutes` of a counting input through the cutter.
    SegmentRecord segment(qint64 startMs, int minutes, SegmentResult result, const QString& reason = {},
                          std::optional<FileEncoding> encoding = std::nullopt)
    {
        SegmentRecord r;
        const QString folder = native("C/Tamblor/Logger/" + SegmentTimes::localDate(startMs).toString("yyyy-MM-dd"));
        r.path = folder + "/" + SegmentTimes::stamp(startMs) + (encoding ? suffixOf(*encoding) : QString(".wav"));
        r.startMs = r.boundaryMs = startMs;
        r.endMs = startMs + minutes * Minute;
        r.utcOffsetSeconds = SegmentTimes::utcOffsetSeconds(startMs);
        r.sampleRate = Rate;
        r.channels = 1;
        r.plannedFrames = r.frames = qint64(minutes) * 60 * Rate;
        r.closed = true;
        r.result = result;
        r.reason = reason;
        if (encoding) {
            RecorderSettings rs;
            rs.folder = native("C/Tamblor/Logger");
            rs.encoding = *encoding;
            rs.rate = Rate;
            rs.channels = 1;
            logger_test::recordCounting(rs, startMs, r.endMs, 1.0, 10000);
        }
        writer->insert(r, 0);
        return r;
    }
    // Clicks the cell `across` (0..1) of its width.
    void click(QTableWidgetItem* item, double across)
    {
        ASSERT_TRUE(item);
        const QRect r = grid->visualItemRect(item);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, QPoint(r.left() + int(across * r.width()), r.center().y()));
    }
    // The left channel of what the card was given.
    std::vector<int16_t> played()
    {
        std::vector<int16_t> left;
        const auto out = backend->outputSamples();
        for (size_t i = 0; i < out.size(); i += 2)
            left.push_back(out[i]);
        return left;
    }
    void expectPlayedFrom(qint64 frame, size_t count)
    {
        backend->advance(count);
        const auto left = played();
        ASSERT_GE(left.size(), count);
        for (size_t i = 0; i < count; ++i)
            ASSERT_EQ(left[i], int16_t((frame + qint64(i)) % 32768)) << "frame " << frame + qint64(i);
    }
    // The minute of "... from HH:MM:00" after `prefix`; -1 when the text is not that.
    static int playedMinute(const QString& text, const QString& prefix)
    {
        EXPECT_TRUE(text.startsWith(prefix)) << text.toStdString();
        bool ok = false;
        const int minute = text.mid(prefix.size(), 2).toInt(&ok);
        return ok && text.endsWith(":00") ? minute : -1;
    }
    QString status(frmLogger* w) { return w->findChild<QLabel*>("lblStatus")->text(); }

    static inline const QDate Today{2026, 12, 7};
    LondonTime london;
    std::unique_ptr<LoggerStore> writer;
    std::unique_ptr<LoggerReader> reader;
    audio::VirtualBackend* backend = nullptr;
    QTableWidget* grid = nullptr;
};

} // namespace

TEST_F(LoggerWindowTest, TheGridShowsEachHourInTheColourOfItsResultWithTheReasonOnHover)
{
    segment(local(Today, 8), 60, SegmentResult::Ok);
    segment(local(Today, 9), 60, SegmentResult::Silent, "dead air for 41 min");
    segment(local(Today, 11, 20), 40, SegmentResult::Short, "begun after its boundary");
    segment(local(Today.addDays(-1), 17), 60, SegmentResult::DiskFull, "the disk is full", std::nullopt);
    writer->placeHold({0, local(Today, 9, 10), local(Today, 9, 20), "complaint 17"});

    frmLogger* w = open();
    ASSERT_TRUE(w);
    ASSERT_EQ(grid->rowCount(), 7);
    EXPECT_EQ(grid->verticalHeaderItem(0)->text().toStdString(), "Mon 07 Dec");
    EXPECT_EQ(grid->verticalHeaderItem(6)->text().toStdString(), "Tue 01 Dec");
    auto colour = [&](const QDate& d, int h) { return w->cellItem(d, h)->background().color(); };
    EXPECT_EQ(colour(Today, 8), QColor(stateColour(CoverageState::Ok)));
    EXPECT_EQ(colour(Today, 9), QColor(stateColour(CoverageState::Silent)));
    EXPECT_EQ(colour(Today, 12), QColor(stateColour(CoverageState::Missing)));
    EXPECT_EQ(colour(Today, 13), QColor(stateColour(CoverageState::Future)));
    EXPECT_EQ(colour(Today.addDays(-1), 17), QColor(stateColour(CoverageState::DiskFull)));
    EXPECT_EQ(colour(Today.addDays(-6), 0), QColor(stateColour(CoverageState::Missing)));
    EXPECT_TRUE(w->cellItem(Today, 9)->toolTip().contains("Silent: dead air for 41 min"));
    EXPECT_TRUE(w->cellItem(Today, 9)->toolTip().contains("2026-12-07T090000+0000.wav"));
    EXPECT_TRUE(w->cellItem(Today, 9)->toolTip().contains("complaint 17"));
    EXPECT_EQ(w->cellItem(Today, 9)->text().toStdString(), "H");
    EXPECT_TRUE(w->cellItem(Today, 12)->toolTip().contains("no recording (the logger is not running)"));
    // The legend names every colour.
    for (int i = 0; i < CoverageStateCount; ++i) {
        auto* l = w->findChild<QLabel*>(QString("lblLegend_%1").arg(i));
        ASSERT_TRUE(l);
        EXPECT_EQ(l->text(), stateText(CoverageState(i)));
        EXPECT_TRUE(w->findChild<QLabel*>(QString("lblSwatch_%1").arg(i))->styleSheet().contains(stateColour(CoverageState(i))));
    }
    EXPECT_TRUE(status(w).contains("The logger is not running.")) << status(w).toStdString();
    EXPECT_TRUE(status(w).contains("Last segment: 2026-12-07 11:20:00 +0000, Short (2026-12-07T112000+0000.wav)"))
        << status(w).toStdString();
    EXPECT_TRUE(status(w).contains("The disk holds")) << status(w).toStdString();
    EXPECT_TRUE(status(w).contains("42 are kept")) << status(w).toStdString();
    layoutcheck::saveScreenshot(w, "frmLogger-week");

    // The logger started: the status follows at the next look.
    SingleInstance logger(app->drives().root(), Logger::LockName);
    ASSERT_EQ(logger.claim(), SingleInstance::Claim::First);
    w->showDays(Today);
    EXPECT_TRUE(status(w).contains("The logger is running (process")) << status(w).toStdString();
    EXPECT_FALSE(w->cellItem(Today, 12)->toolTip().contains("not running"));
}

TEST_F(LoggerWindowTest, WithoutALoggerTheWindowSaysSoAndMakesNothing)
{
    // A root the logger never ran on: its store gone with its file.
    writer.reset();
    reader->store().database().close();
    for (const QString& f : QDir(native("C/Tamblor")).entryList({"Logger.db*"}, QDir::Files))
        ASSERT_TRUE(QFile::remove(native("C/Tamblor/" + f)));
    frmLogger* w = open();
    ASSERT_TRUE(w);
    EXPECT_TRUE(status(w).contains("There is no logger database on this root")) << status(w).toStdString();
    EXPECT_EQ(w->cellItem(Today, 3)->background().color(), QColor(stateColour(CoverageState::Missing)));
    click(w->cellItem(Today, 3), 0.5);
    EXPECT_EQ(w->playback().state(), PlaybackSession::State::Idle);
    EXPECT_TRUE(w->findChild<QLabel*>("lblPlaying")->text().contains("Nothing recorded is kept from 03:30"));
    EXPECT_FALSE(QFileInfo::exists(native("C/Tamblor/Logger.db")));
    EXPECT_FALSE(QFileInfo::exists(native("C/Tamblor/Logger")));
}

TEST_F(LoggerWindowTest, TheDaysGoBackAWeekAtATimeAndNeverPastToday)
{
    segment(local(QDate(2026, 11, 28), 5), 60, SegmentResult::Clipped, "2 runs at full scale");
    frmLogger* w = open();
    ASSERT_TRUE(w);
    auto* later = w->findChild<QPushButton*>("cmdLater");
    EXPECT_FALSE(later->isEnabled());
    EXPECT_EQ(w->findChild<QLabel*>("lblSpan")->text(), QString::fromUtf8("2026-12-01 \u2013 2026-12-07"));
    w->findChild<QPushButton*>("cmdEarlier")->click();
    EXPECT_EQ(w->newest(), QDate(2026, 11, 30));
    EXPECT_TRUE(later->isEnabled());
    EXPECT_EQ(w->cellItem(QDate(2026, 11, 28), 5)->background().color(), QColor(stateColour(CoverageState::Clipped)));
    // More days at once.
    w->findChild<QComboBox*>("cboDays")->setCurrentIndex(1);
    EXPECT_EQ(grid->rowCount(), 14);
    later->click();
    EXPECT_EQ(w->newest(), Today);
    EXPECT_FALSE(later->isEnabled());
}

TEST_F(LoggerWindowTest, BothChangesOfTheClocksShowTheirRealHours)
{
    setNow(local(QDate(2026, 10, 26), 12));
    segment(local(QDate(2026, 10, 25), 0), 60, SegmentResult::Ok);
    const qint64 firstOne = local(QDate(2026, 10, 25), 0) + 3600000;
    segment(firstOne, 60, SegmentResult::Ok);
    segment(firstOne + 3600000, 60, SegmentResult::Silent, "dead air for 55 min");
    frmLogger* w = open();
    ASSERT_TRUE(w);
    const QDate autumn(2026, 10, 25);
    QTableWidgetItem* bst = w->cellItem(autumn, 1, 0);
    QTableWidgetItem* gmt = w->cellItem(autumn, 1, 1);
    ASSERT_TRUE(bst && gmt);
    EXPECT_EQ(bst->background().color(), QColor(stateColour(CoverageState::Ok)));
    EXPECT_EQ(gmt->background().color(), QColor(stateColour(CoverageState::Silent)));
    EXPECT_TRUE(bst->toolTip().startsWith("Sun 2026-10-25 01:00 +0100\u201301:00 +0000: OK")) << bst->toolTip().toStdString();
    EXPECT_TRUE(gmt->toolTip().contains("01:00\u201302:00 +0000")) << gmt->toolTip().toStdString();
    EXPECT_TRUE(grid->verticalHeaderItem(1)->toolTip().contains("25 hours"));
    layoutcheck::saveScreenshot(w, "frmLogger-autumn");
    // Half the width each.
    EXPECT_NEAR(grid->visualItemRect(bst).width() * 2, grid->visualItemRect(w->cellItem(autumn, 2)).width(), 2);
    // Export opens on the hour clicked, in the pass clicked: the second 01:00 is GMT's.
    click(gmt, 0.5);
    w->findChild<QPushButton*>("cmdExport")->click();
    auto* exporting = qobject_cast<frmLoggerExport*>(app->windows().find(WindowName::frmLoggerExport));
    ASSERT_TRUE(exporting);
    EXPECT_EQ(exporting->startMs(), firstOne + 3600000);
    EXPECT_EQ(exporting->endMs(), firstOne + 2 * 3600000);
    click(bst, 0.5);
    w->findChild<QPushButton*>("cmdExport")->click();
    EXPECT_EQ(exporting->startMs(), firstOne);
    EXPECT_EQ(exporting->endMs(), firstOne + 3600000);

    setNow(local(QDate(2026, 3, 30), 12));
    w->showDays(QDate(2026, 3, 30));
    const QDate spring(2026, 3, 29);
    EXPECT_EQ(w->cellItem(spring, 1), nullptr);
    ASSERT_TRUE(w->cellItem(spring, 2));
    EXPECT_TRUE(w->cellItem(spring, 2)->toolTip().contains("02:00\u201303:00 +0100"));
    EXPECT_TRUE(grid->item(1, 2)->toolTip().contains("01:00 does not exist"));
    EXPECT_TRUE(grid->verticalHeaderItem(1)->toolTip().contains("23 hours"));
}

TEST_F(LoggerWindowTest, AClickPlaysTheSegmentFromTheClickedMinuteAndStopEndsIt)
{
    const SegmentRecord wav = segment(local(Today, 9), 60, SegmentResult::Ok, {}, FileEncoding::Wav16);
    const SegmentRecord flac = segment(local(Today, 10), 60, SegmentResult::Ok, {}, FileEncoding::Flac);
    frmLogger* w = open();
    ASSERT_TRUE(w);
    auto* playing = w->findChild<QLabel*>("lblPlaying");
    auto* stop = w->findChild<QPushButton*>("cmdStop");
    EXPECT_FALSE(stop->isEnabled());

    // An hour is a few dozen pixels wide: a click lands on the minute under its pixel, near
    // where it was aimed, and plays from exactly the minute it says.
    click(w->cellItem(Today, 9), 37.5 / 60.0);
    ASSERT_EQ(w->playback().state(), PlaybackSession::State::Playing);
    EXPECT_EQ(w->playback().player().fileName(), wav.path);
    int minute = playedMinute(playing->text(), "Playing 2026-12-07T090000+0000.wav from 09:");
    EXPECT_NEAR(minute, 37, 1);
    EXPECT_TRUE(stop->isEnabled());
    expectPlayedFrom(minute * 60LL * Rate, 3000);

    // The FLAC segment of the next hour, near its minute 5.
    backend->clearOutput();
    click(w->cellItem(Today, 10), 5.5 / 60.0);
    ASSERT_EQ(w->playback().state(), PlaybackSession::State::Playing);
    EXPECT_EQ(w->playback().player().fileName(), flac.path);
    minute = playedMinute(playing->text(), "Playing 2026-12-07T100000+0000.flac from 10:");
    EXPECT_NEAR(minute, 5, 1);
    expectPlayedFrom(minute * 60LL * Rate, 3000);

    stop->click();
    EXPECT_EQ(w->playback().state(), PlaybackSession::State::Idle);
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_TRUE(playing->text().isEmpty());
    // The first minute and the last.
    click(w->cellItem(Today, 9), 0.0);
    expectPlayedFrom(0, 100);
    w->playback().handle(PlaybackSession::Event::Stop);
    click(w->cellItem(Today, 9), 0.999);
    EXPECT_EQ(playing->text().toStdString(), "Playing 2026-12-07T090000+0000.wav from 09:59:00");
}
