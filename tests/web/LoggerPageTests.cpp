// The Logger page on the running server: shown only while a Logger.db is on the root, to anyone
// who may view the pages; the coverage grid as HTML (colours, reasons as titles) and JSON from
// rows the logger's own store wrote; the logger's lines of /metrics in the Prometheus format; the
// link to it in every page's nav bar while it is there.
#include "WebFixture.h"
#include "core/SingleInstance.h"
#include "logger/Logger.h"
#include "logger/LoggerReader.h"
#include "logger/LoggerStore.h"
#include "logger/SegmentTimes.h"
#include "loggerweb/LoggerWeb.h"
#include <QJsonArray>
#include <QRegularExpression>

using namespace tamblor;
using namespace tamblor::logger;

namespace {

class LoggerPageTest : public WebTest {
protected:
    void SetUp() override
    {
        WebTest::SetUp();
        // The page is added before the server starts, as the program does.
        service->stop();
        reader = std::make_unique<LoggerReader>(*core);
        loggerWeb = std::make_unique<loggerweb::LoggerWeb>(*core, *service, *reader);
        service->applySettings();
        ASSERT_TRUE(service->isRunning());
        port = service->port();
    }
    void TearDown() override
    {
        service->stop();
        loggerWeb.reset();
        reader.reset();
        writer.reset();
        WebTest::TearDown();
    }
    SegmentRecord segment(qint64 startMs, int minutes, SegmentResult result, const QString& reason = {})
    {
        if (!writer)
            writer = std::make_unique<LoggerStore>(*core);
        SegmentRecord r;
        r.path = native("C/Tamblor/Logger/" + SegmentTimes::localDate(startMs).toString("yyyy-MM-dd") + "/" +
                        SegmentTimes::stamp(startMs) + ".wav");
        r.startMs = r.boundaryMs = startMs;
        r.endMs = startMs + minutes * 60000LL;
        r.utcOffsetSeconds = SegmentTimes::utcOffsetSeconds(startMs);
        r.sampleRate = 48000;
        r.channels = 2;
        r.plannedFrames = r.frames = qint64(minutes) * 60 * 48000;
        r.closed = true;
        r.result = result;
        r.reason = reason;
        writer->insert(r, 0);
        return r;
    }
    qint64 at(int h, int m = 0) { return QDateTime(QDate(2026, 12, 7), QTime(h, m), Qt::LocalTime).toMSecsSinceEpoch(); }

    std::unique_ptr<LoggerStore> writer;
    std::unique_ptr<LoggerReader> reader;
    std::unique_ptr<loggerweb::LoggerWeb> loggerWeb;
};

} // namespace

TEST_F(LoggerPageTest, WithoutALoggerOnTheRootThereIsNoPageAndTheMetricsSaySo)
{
    EXPECT_EQ(get("/logger", {bearer(viewerToken)}).status, 404);
    EXPECT_EQ(get("/logger.json", {bearer(viewerToken)}).status, 404);
    const QByteArray metrics = get("/metrics", {bearer(viewerToken)}).body;
    EXPECT_TRUE(metrics.contains("\ntamblor_logger_present 0\n")) << metrics.toStdString();
    EXPECT_TRUE(metrics.contains("\ntamblor_logger_running 0\n"));
    EXPECT_FALSE(metrics.contains("tamblor_logger_retention_days_held"));
    EXPECT_FALSE(QFileInfo::exists(native("C/Tamblor/Logger.db")));
}

TEST_F(LoggerPageTest, AViewerSeesTheCoverageGridAsHtmlAndJsonAndTheLoggersMetrics)
{
    segment(at(9), 60, SegmentResult::Ok);
    segment(at(10), 60, SegmentResult::Silent, "dead air for 41 min");
    writer->addGap({0, at(11), at(11, 30), 0, "the logger was stopped"});
    segment(at(11, 30), 30, SegmentResult::Short, "begun after its boundary");
    loggerWeb->publish();

    EXPECT_EQ(get("/logger").status, 401);
    const WebReply page = get("/logger", {bearer(viewerToken)});
    ASSERT_EQ(page.status, 200);
    const QString html = QString::fromUtf8(page.body);
    EXPECT_TRUE(html.contains("<title>Logger - Tamblor</title>"));
    EXPECT_EQ(html.count("<tr><th>"), 1 + 7) << "the hours and a week of days";
    EXPECT_TRUE(html.contains(QString("class=\"silent\" style=\"background:%1\" title=\"Mon 2026-12-07 10:00")
                                  .arg(stateColour(CoverageState::Silent))))
        << html.toStdString();
    EXPECT_TRUE(html.contains("Silent: dead air for 41 min"));
    EXPECT_TRUE(html.contains("not recorded: the logger was stopped"));
    EXPECT_TRUE(html.contains("The logger is not running."));
    EXPECT_TRUE(html.contains("Last segment: 2026-12-07 11:30:00 +0000, Short"));
    EXPECT_FALSE(html.contains("<script"));

    const QJsonObject j = json(get("/logger.json?days=2", {bearer(viewerToken)}));
    EXPECT_FALSE(j["running"].toBool());
    EXPECT_EQ(j["retentionDays"].toInt(), 42);
    EXPECT_GT(j["retentionDaysHeld"].toDouble(), 0);
    EXPECT_EQ(j["lastSegment"].toObject()["result"].toString(), "Short");
    const QJsonArray days = j["days"].toArray();
    ASSERT_EQ(days.size(), 2);
    EXPECT_EQ(days[0].toObject()["date"].toString(), "2026-12-07");
    const QJsonArray cells = days[0].toObject()["cells"].toArray();
    ASSERT_EQ(cells.size(), 24);
    EXPECT_EQ(cells[9].toObject()["state"].toString(), "ok");
    EXPECT_EQ(cells[10].toObject()["state"].toString(), "silent");
    EXPECT_EQ(cells[11].toObject()["state"].toString(), "unrecorded");
    EXPECT_EQ(cells[13].toObject()["state"].toString(), "missing") << "13:00-14:00 has passed unrecorded";
    EXPECT_EQ(cells[14].toObject()["state"].toString(), "future");
    EXPECT_EQ(cells[10].toObject()["label"].toString(), "10:00 +0000");
    // Earlier days, within what the page holds.
    const QJsonArray earlier = json(get("/logger.json?to=2026-11-30&days=3", {bearer(viewerToken)}))["days"].toArray();
    ASSERT_EQ(earlier.size(), 3);
    EXPECT_EQ(earlier[0].toObject()["date"].toString(), "2026-11-30");
    EXPECT_EQ(json(get("/logger.json?to=2031-01-01", {bearer(viewerToken)}))["days"].toArray()[0].toObject()["date"].toString(),
              "2026-12-07");

    const QByteArray metrics = get("/metrics", {bearer(viewerToken)}).body;
    EXPECT_TRUE(metrics.contains("\ntamblor_logger_present 1\n")) << metrics.toStdString();
    EXPECT_TRUE(metrics.contains("\ntamblor_logger_retention_days 42\n"));
    EXPECT_TRUE(metrics.contains("# TYPE tamblor_logger_retention_days_held gauge\n"));
    EXPECT_TRUE(QRegularExpression("\ntamblor_logger_retention_days_held [0-9]+\\.[0-9]{2}\n").match(QString::fromUtf8(metrics)).hasMatch());
    EXPECT_TRUE(metrics.contains(QByteArray("\ntamblor_logger_last_segment_start_seconds ") + QByteArray::number(at(11, 30) / 1000)));

    // The logger started on this root: its state follows at the next snapshot.
    SingleInstance running(core->drives().root(), Logger::LockName);
    ASSERT_EQ(running.claim(), SingleInstance::Claim::First);
    loggerWeb->publish();
    EXPECT_TRUE(get("/metrics", {bearer(viewerToken)}).body.contains("\ntamblor_logger_running 1\n"));
    EXPECT_TRUE(json(get("/logger.json", {bearer(viewerToken)}))["running"].toBool());
}

TEST_F(LoggerPageTest, EveryPagesNavBarLinksTheLoggerPageWhileThereIsOne)
{
    const auto nav = [this](const QByteArray& path, const QByteArray& header) {
        const WebReply r = get(path, {header});
        EXPECT_EQ(r.status, 200) << path.toStdString();
        const QString html = QString::fromUtf8(r.body);
        const qsizetype from = html.indexOf("<nav>"), to = html.indexOf("</nav>");
        return from >= 0 && to > from ? html.mid(from, to - from) : QString();
    };
    const QString link = "<a href=\"/metrics\">Metrics</a> | <a href=\"/logger\">Logger</a>";
    const QByteArray viewer = bearer(viewerToken);
    EXPECT_TRUE(nav("/now", viewer).contains("Metrics</a>"));
    EXPECT_FALSE(nav("/now", viewer).contains("/logger"));
    EXPECT_FALSE(nav("/events", viewer).contains("/logger"));

    // The logger makes its database: the link is there from the next snapshot on, the Logger
    // page's own bar included (with a signed-in browser's sign-out, as on every page).
    segment(at(9), 60, SegmentResult::Ok);
    EXPECT_FALSE(nav("/library", viewer).contains("/logger"));
    loggerWeb->publish();
    for (const QByteArray path : {"/now", "/events", "/library", "/logger"})
        EXPECT_TRUE(nav(path, viewer).contains(link)) << path.toStdString() << ": " << nav(path, viewer).toStdString();
    const Browser browser = signIn(viewerToken);
    const QString signedIn = nav("/logger", browser.cookie);
    EXPECT_TRUE(signedIn.contains(link)) << signedIn.toStdString();
    EXPECT_TRUE(signedIn.contains("Sign out")) << signedIn.toStdString();

    // Gone from the root again: the link goes with the page.
    writer.reset();
    reader->store().database().close();
    for (const char* file : {"Logger.db", "Logger.db-wal", "Logger.db-shm"})
        QFile::remove(native(QString("C/Tamblor/") + file));
    loggerWeb->publish();
    EXPECT_EQ(get("/logger", {viewer}).status, 404);
    EXPECT_FALSE(nav("/now", viewer).contains("/logger"));
}
