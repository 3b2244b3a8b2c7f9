// The logger's export window on the offscreen platform: segments written by the logger's own
// cutter (every frame numbered), their rows in Logger.db held open by the test as the logger
// holds it, and the window reading them only to read and exporting through its job.
#include "app/Application.h"
#include "audio/jobs/Job.h"
#include "audio/widgets/Gauge.h"
#include "browse/FolderList.h"
#include "logger/LoggerStore.h"
#include "logger/SpanExport.h"
#include "loggerexport/frmLoggerExport.h"
#include "tests/logger/LoggerTestSupport.h"
#include "tests/support/AppFixture.h"
#include "tests/support/LayoutCheck.h"
#include "tests/support/LondonTime.h"
#include <QDateTime>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace tamblor;

namespace {

constexpr int Rate = 8000;
const qint64 T0 = QDateTime(QDate(2026, 12, 7), QTime(9, 0), Qt::LocalTime).toMSecsSinceEpoch();

} // namespace

class LoggerExportWindowTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        store = std::make_unique<logger::LoggerStore>(*app);
        app->windows().registerWindow(WindowName::frmLoggerExport, [](Application& a) {
            return new frmLoggerExport(a, T0 + 30000, T0 + 150000);
        });
        ASSERT_TRUE(app->start());
        ASSERT_TRUE(store->isOpen());
        recordThreeMinutes();
        win = app->windows().show<frmLoggerExport>(WindowName::frmLoggerExport);
        ASSERT_TRUE(win);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(win));
        win->findChild<QLineEdit*>("txtFile")->setText("Complaint 17");
    }
    void TearDown() override
    {
        app->windows().destroyAll();
        store.reset();
        AppTest::TearDown();
    }
    // Three 1-minute segments, stereo, every frame numbered.
    void recordThreeMinutes()
    {
        logger::RecorderSettings rs;
        rs.folder = native("C/Tamblor/Logger");
        rs.rate = Rate;
        rs.channels = 2;
        rs.segmentMinutes = 1;
        logger_test::Recorded recorded = logger_test::recordCounting(rs, T0, T0 + 180000);
        for (logger::SegmentRecord& r : recorded.rows)
            store->insert(r, 0);
    }
    QPushButton* button(const char* name) { return win->findChild<QPushButton*>(name); }
    QString target() const { return native("C/Tamblor/Complaint 17.wav"); }
    QString resultText() const { return win->findChild<QPlainTextEdit*>("txtResult")->toPlainText(); }

    std::unique_ptr<logger::LoggerStore> store;
    QPointer<frmLoggerExport> win;
};

TEST_F(LoggerExportWindowTest, ExportsTheSpanToTheEndWithItsProgress)
{
    EXPECT_EQ(win->startMs(), T0 + 30000);
    EXPECT_EQ(win->endMs(), T0 + 150000);
    EXPECT_EQ(win->targetPath(), target());
    int lastPercent = -1;
    QObject::connect(&win->job(), &jobs::Job::progressed, [&lastPercent](int percent, int) { lastPercent = percent; });
    button("cmdExport")->click();
    EXPECT_TRUE(win->isWorking());
    EXPECT_FALSE(button("cmdExport")->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !win->isWorking(); }, 60000));
    ASSERT_TRUE(win->lastResult());
    ASSERT_TRUE(win->lastResult()->done()) << resultText().toStdString();
    EXPECT_EQ(lastPercent, 100);
    EXPECT_TRUE(resultText().contains("Every frame of the span was recorded")) << resultText().toStdString();
    EXPECT_TRUE(button("cmdExport")->isEnabled());

    const logger_test::FileSamples out = logger_test::readSamples(target());
    ASSERT_EQ(out.frames, 120 * Rate);
    EXPECT_EQ(logger_test::misnumbered(out, 30 * Rate), 0);

    // Again over the file that is there: the operator is asked first.
    prompts->answers = {QMessageBox::No};
    button("cmdExport")->click();
    EXPECT_FALSE(win->isWorking());
    ASSERT_EQ(prompts->asked.size(), 1u);
    EXPECT_TRUE(prompts->asked[0].text.contains("Replace it?"));
}

TEST_F(LoggerExportWindowTest, CancelStopsTheExportAndLeavesNoFile)
{
    win->job().setStepwise(true); // the job waits at its first step until the window has seen it
    button("cmdExport")->click();
    ASSERT_TRUE(win->isWorking());
    button("cmdCancel")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !win->isWorking(); }, 60000));
    ASSERT_TRUE(win->lastResult());
    EXPECT_EQ(win->lastResult()->status, logger::ExportResult::Status::Cancelled);
    EXPECT_TRUE(resultText().contains("cancelled")) << resultText().toStdString();
    EXPECT_FALSE(QFileInfo::exists(target()));
    EXPECT_EQ(QDir(native("C/Tamblor")).entryList({"*.part"}, QDir::Files | QDir::Hidden), QStringList());
    EXPECT_TRUE(win->isVisible()); // Cancel while working stops the work, not the window
    button("cmdCancel")->click();
    EXPECT_FALSE(win->isVisible());
}

TEST_F(LoggerExportWindowTest, BoxesWithoutADateOrASpanWithoutRecordingAreToldNotExported)
{
    win->findChild<QLineEdit*>("txtStartDate")->setText("07.12.2026");
    EXPECT_FALSE(win->startMs());
    button("cmdExport")->click();
    EXPECT_FALSE(win->isWorking());
    EXPECT_TRUE(resultText().contains("The start is not a date")) << resultText().toStdString();

    // The day before: nothing recorded, so nothing to export; the failure is told.
    win->setSpan(T0 - 86400000, T0 - 86400000 + 60000);
    button("cmdExport")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !win->isWorking(); }, 60000));
    ASSERT_TRUE(win->lastResult());
    EXPECT_EQ(win->lastResult()->status, logger::ExportResult::Status::Failed);
    EXPECT_TRUE(app->messageText().contains("no recording")) << app->messageText().toStdString();
    EXPECT_FALSE(QFileInfo::exists(target()));

    // The logger not running (its database closed, no journal beside it): read all the same.
    store.reset();
    EXPECT_FALSE(QFileInfo::exists(native("C/Tamblor/Logger.db-wal")));
    win->setSpan(T0, T0 + 60000);
    button("cmdExport")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !win->isWorking(); }, 60000));
    ASSERT_TRUE(win->lastResult());
    EXPECT_TRUE(win->lastResult()->done()) << resultText().toStdString();
    QFile::remove(target());

    // Without the logger's database at all.
    QFile::remove(native("C/Tamblor/Logger.db"));
    win->setSpan(T0, T0 + 60000);
    button("cmdExport")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !win->isWorking(); }, 60000));
    EXPECT_TRUE(resultText().contains("is not there")) << resultText().toStdString();
}

TEST_F(LoggerExportWindowTest, ATimeInTheHourTheClocksGoBackTakesThePassChosenBesideIt)
{
    LondonTime london;
    constexpr qint64 Hour = 3600000, HalfHour = 1800000;
    // 01:00 BST on the night the clocks go back: 01:00-01:59 comes once in BST, then in GMT.
    const qint64 oneBst = QDateTime(QDate(2026, 10, 25), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    const qint64 oneGmt = oneBst + Hour;
    auto* startTime = win->findChild<QLineEdit*>("txtStartTime");
    auto* startPass = win->findChild<QComboBox*>("cboStartPass");
    auto* endPass = win->findChild<QComboBox*>("cboEndPass");
    ASSERT_TRUE(startPass && endPass);
    win->setSpan(T0, T0 + Hour); // a December morning: no choice to make
    EXPECT_FALSE(startPass->isVisible());
    EXPECT_FALSE(endPass->isVisible());

    // The first 01:00 hour, as the Logger window hands it: the start in BST, the end in GMT.
    win->setSpan(oneBst, oneGmt);
    EXPECT_EQ(win->findChild<QLineEdit*>("txtStartDate")->text().toStdString(), "10/25/2026");
    EXPECT_EQ(startTime->text().toStdString(), "01:00:00");
    EXPECT_EQ(win->findChild<QLineEdit*>("txtEndTime")->text().toStdString(), "01:00:00");
    ASSERT_TRUE(startPass->isVisible());
    ASSERT_TRUE(endPass->isVisible());
    EXPECT_EQ(startPass->itemText(0).toStdString(), "first (BST)");
    EXPECT_EQ(startPass->itemText(1).toStdString(), "second (GMT)");
    EXPECT_EQ(startPass->currentIndex(), 0);
    EXPECT_EQ(endPass->currentIndex(), 1);
    EXPECT_EQ(win->startMs(), oneBst);
    EXPECT_EQ(win->endMs(), oneGmt);
    EXPECT_TRUE(layoutcheck::saveScreenshot(win, "frmLoggerExport-autumn"));

    // The second 01:00 hour: its second pass chosen; 02:00 comes once.
    win->setSpan(oneGmt, oneGmt + Hour);
    EXPECT_EQ(startTime->text().toStdString(), "01:00:00");
    EXPECT_TRUE(startPass->isVisible());
    EXPECT_EQ(startPass->currentText().toStdString(), "second (GMT)");
    EXPECT_FALSE(endPass->isVisible());
    EXPECT_EQ(win->startMs(), oneGmt);
    EXPECT_EQ(win->endMs(), oneGmt + Hour);

    // Typed by hand: the pass shown decides, and goes when the time comes once.
    startTime->setText("1:30");
    EXPECT_EQ(win->startMs(), oneGmt + HalfHour);
    startPass->setCurrentIndex(0);
    EXPECT_EQ(win->startMs(), oneBst + HalfHour);
    startTime->setText("00:30");
    EXPECT_FALSE(startPass->isVisible());
    EXPECT_EQ(win->startMs(), oneBst - HalfHour);
    // The hour the clocks skip in spring is no time at all.
    win->findChild<QLineEdit*>("txtStartDate")->setText("03/29/2026");
    startTime->setText("01:30");
    EXPECT_FALSE(startPass->isVisible());
    EXPECT_FALSE(win->startMs());

    // The choice is the span exported: the window says which pass it read.
    win->setSpan(oneBst + HalfHour, oneGmt + HalfHour);
    button("cmdExport")->click();
    EXPECT_TRUE(resultText().startsWith("Exporting 2026-10-25 01:30:00.000 +0100 to 2026-10-25 01:30:00.000 +0000"))
        << resultText().toStdString();
    EXPECT_FALSE(startPass->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !win->isWorking(); }, 60000));
    EXPECT_TRUE(startPass->isEnabled());
}
