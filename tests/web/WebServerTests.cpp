// The web server over the loopback with the studio on the core alone: every page and its JSON,
// the take started and stopped by an operator and followed on the Now page, "Record now", each
// role's rights and refusals, the browser's session and its cookie, range downloads byte for byte
// against the files (an ADPCM take heard as PCM) and the audit rows.
#include "WebFixture.h"
#include "audio/devices/VirtualBackend.h"
#include "tests/audio/devices/SignalMeasure.h"
#include "web/AccessToken.h"
#include <QJsonArray>

using namespace tamblor;
using namespace tamblor::web;
using RS = RecordingSession;

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// What libsndfile decodes from a file, as 16-bit samples.
QByteArray decodedSamples(const QString& path)
{
    SF_INFO info{};
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_READ, &info);
    std::vector<short> s(size_t(info.frames) * size_t(info.channels));
    sf_readf_short(f, s.data(), info.frames);
    sf_close(f);
    return QByteArray(reinterpret_cast<const char*>(s.data()), qsizetype(s.size() * 2));
}

} // namespace

TEST_F(WebTest, EveryPageAndItsJsonAnswerShowTheStudio)
{
    const qint64 news = add(event("NEWS", QTime(17, 0), 300));
    add(event("LATE", QTime(23, 0), 60));
    publish();
    const QByteArray auth = bearer(viewerToken);

    WebReply r = get("/", {auth});
    EXPECT_EQ(r.status, 303);
    EXPECT_EQ(r.header("location"), "/now");

    r = get("/now", {auth});
    ASSERT_EQ(r.status, 200);
    EXPECT_TRUE(r.header("content-type").startsWith("text/html"));
    EXPECT_TRUE(r.header("content-security-policy").contains("default-src 'self'"));
    EXPECT_TRUE(r.body.contains("<td id=\"take\">idle</td>"));
    EXPECT_TRUE(r.body.contains("No silence alarm"));
    EXPECT_TRUE(r.body.contains("NEWS"));
    EXPECT_TRUE(r.body.contains("in 3 h 00 min")) << "17:00 from 14:00";
    EXPECT_TRUE(r.body.contains("<meta http-equiv=\"refresh\" content=\"5\">")) << "without scripts it refreshes";
    EXPECT_TRUE(r.body.contains("<script src=\"/now.js\" defer>"));
    EXPECT_FALSE(r.body.contains("/take/start")) << "a viewer gets no operator's button";
    r = get("/now.js");
    EXPECT_EQ(r.status, 200);
    EXPECT_TRUE(r.body.contains("/now.json"));

    r = get("/now.json", {auth});
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.header("content-type"), "application/json");
    QJsonObject o = json(r);
    EXPECT_EQ(o["take"].toObject()["state"].toString(), "idle");
    EXPECT_TRUE(o["meter"].toObject()["momentaryLufs"].isNull()) << "nothing heard: -inf is null";
    EXPECT_FALSE(o["silenceAlarm"].toObject()["raised"].toBool());
    const QJsonArray next = o["next"].toArray();
    ASSERT_EQ(next.size(), 2);
    EXPECT_EQ(next[0].toObject()["name"].toString(), "NEWS");
    EXPECT_EQ(next[0].toObject()["inSeconds"].toInt(), 3 * 3600);

    r = get("/events", {auth});
    ASSERT_EQ(r.status, 200);
    EXPECT_TRUE(r.body.contains(QString("<a href=\"/events/%1\">NEWS</a>").arg(news).toUtf8()));
    o = json(get("/events.json", {auth}));
    ASSERT_EQ(o["events"].toArray().size(), 2);
    EXPECT_EQ(o["events"].toArray()[0].toObject()["name"].toString(), "NEWS");
    EXPECT_EQ(qint64(o["events"].toArray()[0].toObject()["nextStart"].toDouble()), ms(local(2026, 12, 7, 17, 0)));
    r = get(QString("/events/%1").arg(news).toUtf8(), {auth});
    ASSERT_EQ(r.status, 200);
    EXPECT_TRUE(r.body.contains("300 s long"));
    o = json(get(QString("/events/%1.json").arg(news).toUtf8(), {auth}));
    EXPECT_EQ(o["name"].toString(), "NEWS");
    EXPECT_EQ(o["lengthSeconds"].toInt(), 300);
    EXPECT_EQ(get("/events/999", {auth}).status, 404);

    r = get("/library", {auth});
    ASSERT_EQ(r.status, 200);
    EXPECT_TRUE(r.body.contains("MORNING NEWS"));
    EXPECT_TRUE(r.body.contains("<audio controls preload=\"none\" src=\"/library/1/audio\">"));
    EXPECT_TRUE(r.body.contains("/library/2/download"));
    EXPECT_TRUE(r.body.contains("(no file)"));
    r = get("/library?q=adpcm", {auth});
    EXPECT_TRUE(r.body.contains("ADPCM TAKE"));
    EXPECT_FALSE(r.body.contains("MORNING NEWS"));
    o = json(get("/library.json?q=news", {auth}));
    ASSERT_EQ(o["slots"].toArray().size(), 1);
    const QJsonObject one = o["slots"].toArray()[0].toObject();
    EXPECT_EQ(one["slot"].toInt(), 1);
    EXPECT_EQ(one["name"].toString(), "MORNING NEWS");
    EXPECT_EQ(one["date"].toString(), "12-06-26");
    EXPECT_EQ(qint64(one["fileBytes"].toDouble()), QFileInfo(slotFile(1)).size());
    EXPECT_EQ(json(get("/library.json", {auth}))["slots"].toArray().size(), 3);

    r = get("/metrics", {auth});
    ASSERT_EQ(r.status, 200);
    EXPECT_TRUE(r.header("content-type").startsWith("text/plain; version=0.0.4"));
    EXPECT_TRUE(r.body.contains("\ntamblor_takes 3\n"));
    EXPECT_TRUE(r.body.contains("tamblor_runs{result=\"OK\"} 0\n"));
    EXPECT_TRUE(r.body.contains("tamblor_silence_alarm 0\n"));
    EXPECT_TRUE(r.body.contains("# TYPE tamblor_free_bytes gauge\ntamblor_free_bytes "));
    EXPECT_FALSE(r.body.contains("tamblor_free_bytes -1"));
}

TEST_F(WebTest, AnOperatorStartsAndStopsATakeByHandAndRecordsAnEventNowWhileTheNowPageFollows)
{
    const qint64 news = add(event("NEWS", QTime(17, 0), 2));
    backend().setInputSignal(audio::sources::tone(1000.0, 8000));
    const Browser ann = signIn(operatorToken);
    ASSERT_FALSE(ann.cookie.isEmpty());
    ASSERT_EQ(ann.csrf.size(), 64);
    EXPECT_TRUE(get("/now", {ann.cookie}).body.contains("action=\"/take/start\""));

    WebReply r = post("/take/start", "csrf=" + ann.csrf, {ann.cookie});
    ASSERT_EQ(r.status, 200) << r.body.toStdString();
    EXPECT_TRUE(r.body.contains("Recording into slot 4."));
    ASSERT_EQ(take().state(), RS::State::Writing);
    for (int i = 0; i < 20; ++i) // one second
        step();
    publish();
    QJsonObject state = json(get("/now.json", {ann.cookie}));
    EXPECT_EQ(state["take"].toObject()["state"].toString(), "recording");
    EXPECT_EQ(state["take"].toObject()["slot"].toInt(), 4);
    EXPECT_EQ(state["take"].toObject()["elapsed"].toString(), "00:01");
    EXPECT_TRUE(state["take"].toObject()["event"].isNull());
    EXPECT_EQ(state["meter"].toObject()["source"].toString(), "input");
    EXPECT_NEAR(state["meter"].toObject()["momentaryLufs"].toDouble(), -12.2, 1.0) << "a tone at a quarter of full scale";
    r = get("/now", {ann.cookie});
    EXPECT_TRUE(r.body.contains("<td id=\"slot\">4</td>"));
    EXPECT_TRUE(r.body.contains("<td id=\"elapsed\">00:01</td>")) << r.body.toStdString();
    EXPECT_TRUE(r.body.contains("by hand"));
    EXPECT_TRUE(r.body.contains("action=\"/take/stop\""));

    r = post("/take/start", "csrf=" + ann.csrf, {ann.cookie});
    EXPECT_EQ(r.status, 409) << "a take is under way";
    r = post(QString("/events/%1/record-now").arg(news).toUtf8(), "csrf=" + ann.csrf, {ann.cookie});
    EXPECT_EQ(r.status, 409) << "the input is taken by the take by hand";
    EXPECT_TRUE(r.body.contains("the input is taken")) << r.body.toStdString();

    r = post("/take/stop", "csrf=" + ann.csrf, {ann.cookie});
    ASSERT_EQ(r.status, 200) << r.body.toStdString();
    EXPECT_EQ(take().state(), RS::State::Idle);
    EXPECT_EQ(recordBytes(4).left(1), "1") << "the take is kept in slot 4";

    // A script with the bearer token needs no CSRF secret and gets JSON.
    r = post(QString("/events/%1/record-now").arg(news).toUtf8(), {}, {bearer(operatorToken)});
    ASSERT_EQ(r.status, 200) << r.body.toStdString();
    EXPECT_TRUE(json(r)["done"].toBool());
    ASSERT_TRUE(scheduler().recording());
    publish();
    state = json(get("/now.json", {bearer(viewerToken)}));
    EXPECT_EQ(state["take"].toObject()["event"].toString(), "NEWS");
    EXPECT_EQ(qint64(state["take"].toObject()["eventId"].toDouble()), news);
    r = post("/take/stop", {}, {bearer(operatorToken)});
    EXPECT_EQ(r.status, 409) << "an event's take runs to its end";
    runUntil(now() + 4000);
    publish();
    const QJsonObject events = json(get("/events.json", {bearer(viewerToken)}));
    const QJsonArray runs = events["events"].toArray()[0].toObject()["recentRuns"].toArray();
    ASSERT_EQ(runs.size(), 1);
    EXPECT_EQ(runs[0].toObject()["result"].toString(), "OK");
    EXPECT_TRUE(runs[0].toObject()["figures"].toObject().contains("integratedLufs"));
    EXPECT_TRUE(get("/metrics", {bearer(viewerToken)}).body.contains("tamblor_runs{result=\"OK\"} 1\n"));

    // Every action is in the audit, newest first, with the token's name and the address.
    const auto rows = service->audit().latest();
    ASSERT_EQ(rows.size(), 6u);
    const QStringList want{"record stop", "record now", "record stop", "record now", "record start", "record start"};
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].action, want[qsizetype(i)]) << i;
        EXPECT_EQ(rows[i].tokenName, "Ann");
        EXPECT_EQ(rows[i].address, "127.0.0.1");
        EXPECT_GT(rows[i].atMs, 0);
    }
    EXPECT_TRUE(rows[0].detail.startsWith("refused: ")) << rows[0].detail.toStdString();
    EXPECT_TRUE(rows[1].detail.startsWith(QString("event %1: done").arg(news))) << rows[1].detail.toStdString();
    EXPECT_TRUE(rows[5].detail.startsWith("done: Recording into slot 4.")) << rows[5].detail.toStdString();
}

TEST_F(WebTest, EachRoleHasItsRightsAndEveryoneElseLearnsNothing)
{
    // No token: 401 everywhere but the sign-in page, with nothing of the studio in it.
    for (const char* path : {"/now", "/now.json", "/events", "/events.json", "/library", "/library.json",
                             "/library/1/download", "/library/1/audio", "/metrics", "/events/1"}) {
        const WebReply r = get(path);
        EXPECT_EQ(r.status, 401) << path;
        EXPECT_FALSE(r.body.contains("MORNING")) << path;
        EXPECT_EQ(r.header("www-authenticate"), "Bearer realm=\"Tamblor\"") << path;
    }
    EXPECT_EQ(get("/signin").status, 200);
    EXPECT_EQ(post("/take/start", {}).status, 401);
    EXPECT_TRUE(logged("127.0.0.1 GET /now: 401 no token"));

    // A viewer sees everything and may not act.
    EXPECT_EQ(get("/library/1/download", {bearer(viewerToken)}).status, 200);
    WebReply r = post("/take/start", {}, {bearer(viewerToken)});
    EXPECT_EQ(r.status, 403);
    EXPECT_TRUE(logged("an operator action by the viewer \"Bob\""));
    const Browser bob = signIn(viewerToken);
    EXPECT_EQ(post("/take/start", "csrf=" + bob.csrf, {bob.cookie}).status, 403);
    EXPECT_EQ(take().state(), RS::State::Idle);

    // An operator's browser must carry the session's CSRF secret.
    const Browser ann = signIn(operatorToken);
    EXPECT_EQ(post("/take/start", {}, {ann.cookie}).status, 403);
    EXPECT_EQ(post("/take/start", "csrf=" + AccessToken::make(), {ann.cookie}).status, 403);
    EXPECT_EQ(post("/take/start", "csrf=" + bob.csrf, {ann.cookie}).status, 403) << "another session's secret";
    EXPECT_EQ(take().state(), RS::State::Idle);
    EXPECT_TRUE(logged("an operator action without the session's CSRF secret"));
    EXPECT_EQ(post("/take/start", {}, {ann.cookie, "X-CSRF-Token: " + ann.csrf}).status, 200);
    EXPECT_EQ(post("/take/stop", {}, {ann.cookie, "X-CSRF-Token: " + ann.csrf}).status, 200);
    EXPECT_EQ(get("/take/start", {ann.cookie}).status, 405) << "an action is a POST";

    // The cookie: HttpOnly, SameSite=Strict; Secure only behind a TLS proxy.
    r = post("/signin", "token=" + operatorToken);
    ASSERT_EQ(r.setCookies.size(), 1);
    EXPECT_TRUE(r.setCookies[0].contains("; HttpOnly; SameSite=Strict"));
    EXPECT_FALSE(r.setCookies[0].contains("Secure"));
    EXPECT_EQ(post("/signin", "token=" + AccessToken::make()).status, 401);
    EXPECT_TRUE(post("/signin", "token=" + AccessToken::make()).setCookies.isEmpty());

    // Signing out ends the session.
    EXPECT_EQ(post("/signout", "csrf=" + ann.csrf, {ann.cookie}).status, 303);
    EXPECT_EQ(get("/now.json", {ann.cookie}).status, 401);

    // Expired and revoked tokens count for nothing.
    const qint64 realNow = QDateTime::currentMSecsSinceEpoch();
    const QByteArray old = service->tokens().make("Old", Role::Operator, realNow - 2 * Day, realNow - Day).token;
    EXPECT_EQ(get("/now.json", {bearer(old)}).status, 401);
    const Browser carl = signIn(service->tokens().make("Carl", Role::Viewer, realNow, realNow + Day).token);
    EXPECT_EQ(get("/now.json", {carl.cookie}).status, 200);
    service->tokens().revoke(service->tokens().all()[0].id);
    EXPECT_EQ(get("/now.json", {carl.cookie}).status, 401) << "revoking a token ends its sessions";

    // Viewing without a token, when the settings allow it: pages yes, actions never.
    WebPreferences web = ProgramSettings(core->drives()).web();
    web.viewWithoutToken = true;
    ProgramSettings(core->drives()).setWeb(web);
    service->applySettings();
    EXPECT_EQ(service->port(), port) << "the server goes on where it listens";
    EXPECT_EQ(get("/now").status, 200);
    EXPECT_EQ(get("/library/1/download").status, 200);
    EXPECT_EQ(post("/take/start", {}).status, 401);
    EXPECT_EQ(take().state(), RS::State::Idle);
    EXPECT_EQ(service->audit().latest()[0].tokenName, "(none)") << "the download by nobody";
}

TEST_F(WebTest, BehindTheTrustedProxyTheClientsAddressCountsForTheAuditTheCookieAndFailedAttempts)
{
    WebPreferences web = ProgramSettings(core->drives()).web();
    web.trustedProxy = "127.0.0.1";
    ProgramSettings(core->drives()).setWeb(web);
    service->applySettings();
    const QByteArray from = "X-Forwarded-For: 203.0.113.9, 198.51.100.7";
    WebReply r = post("/signin", "token=" + operatorToken, {from, "X-Forwarded-Proto: https"});
    ASSERT_EQ(r.setCookies.size(), 1);
    EXPECT_TRUE(r.setCookies[0].endsWith("; Secure"));
    EXPECT_EQ(get("/library/1/download", {bearer(viewerToken), from}).status, 200);
    EXPECT_EQ(service->audit().latest()[0].address, "198.51.100.7");

    // Ten failures from one client: refused for a while, even with a good token; others are not.
    for (int i = 0; i < Credentials::FailuresAllowed; ++i)
        EXPECT_EQ(get("/now.json", {bearer(AccessToken::make()), from}).status, 401);
    EXPECT_EQ(get("/now.json", {bearer(viewerToken), from}).status, 429);
    EXPECT_EQ(post("/signin", "token=" + viewerToken, {from}).status, 429);
    EXPECT_TRUE(logged("198.51.100.7 GET /now.json: 429 an address with too many failed attempts"));
    EXPECT_EQ(get("/now.json", {bearer(viewerToken), "X-Forwarded-For: 198.51.100.8"}).status, 200);
}

TEST_F(WebTest, TakesDownloadAndPlayByteForByteWithRangesAndEachDownloadIsAudited)
{
    const QByteArray auth = bearer(viewerToken);
    const QByteArray pcm = fileBytes(slotFile(1));
    ASSERT_GT(pcm.size(), 100000);
    WebReply r = get("/library/1/download", {auth});
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.body, pcm);
    EXPECT_EQ(r.header("accept-ranges"), "bytes");
    EXPECT_EQ(r.header("content-type"), "audio/wav");
    EXPECT_EQ(r.header("content-disposition"), "attachment; filename=\"SF0001.wav\"");

    struct Part {
        QByteArray range;
        qsizetype first, last;
    };
    const qsizetype n = pcm.size();
    for (const Part& p : {Part{"bytes=0-99", 0, 99}, Part{"bytes=1000-", 1000, n - 1}, Part{"bytes=-77", n - 77, n - 1},
                          Part{"bytes=12345-54321", 12345, 54321}, Part{"bytes=100-99999999", 100, n - 1}}) {
        r = get("/library/1/download", {auth, "Range: " + p.range});
        ASSERT_EQ(r.status, 206) << p.range.toStdString();
        EXPECT_EQ(r.body, pcm.mid(p.first, p.last - p.first + 1)) << p.range.toStdString();
        EXPECT_EQ(r.header("content-range"),
                  QString("bytes %1-%2/%3").arg(p.first).arg(p.last).arg(n).toUtf8());
    }
    r = get("/library/1/download", {auth, "Range: bytes=" + QByteArray::number(n) + "-"});
    EXPECT_EQ(r.status, 416);
    EXPECT_EQ(r.header("content-range"), "bytes */" + QByteArray::number(n));
    EXPECT_TRUE(logged(QString("416 a range past the end of %1 bytes").arg(n)));

    // A PCM take plays as it is; an ADPCM one downloads as it is and plays decoded to PCM.
    EXPECT_EQ(get("/library/1/audio", {auth}).body, pcm);
    const QByteArray adpcm = fileBytes(slotFile(2));
    EXPECT_EQ(get("/library/2/download", {auth}).body, adpcm);
    r = get("/library/2/audio", {auth});
    ASSERT_EQ(r.status, 200);
    const QByteArray decoded = decodedSamples(slotFile(2));
    ASSERT_EQ(r.body.size(), 44 + decoded.size());
    EXPECT_EQ(r.body.left(4), "RIFF");
    EXPECT_EQ(r.body.mid(20, 2), QByteArray("\x01\x00", 2)) << "PCM";
    EXPECT_EQ(r.body.mid(44), decoded);
    // Seeking in it: any range, also one inside the header, across its end or inside a frame.
    const QByteArray whole = r.body;
    for (const auto& [first, last] : {std::pair<qsizetype, qsizetype>{44 + 4000, 44 + 9001}, {13, 50}, {44 + 3, 44 + 3},
                                      {30, 4000}, {50001, 60000}}) {
        r = get("/library/2/audio", {auth, QString("Range: bytes=%1-%2").arg(first).arg(last).toUtf8()});
        ASSERT_EQ(r.status, 206);
        EXPECT_EQ(r.body, whole.mid(first, last - first + 1)) << first << "-" << last;
    }

    // A used slot without its file, and a free one: 404; nothing of the request builds a path.
    EXPECT_EQ(get("/library/3/download", {auth}).status, 404);
    EXPECT_EQ(get("/library/4/download", {auth}).status, 404);
    EXPECT_TRUE(logged("slot 4 holds no take"));

    const auto rows = service->audit().latest(1000);
    int downloads = 0, listens = 0;
    for (const AuditRow& row : rows) {
        EXPECT_EQ(row.tokenName, "Bob");
        EXPECT_EQ(row.address, "127.0.0.1");
        downloads += row.action == "download";
        listens += row.action == "listen";
    }
    EXPECT_EQ(downloads, 1 + 5 + 1) << "every download, whole or a part";
    EXPECT_EQ(listens, 2) << "a play from the start (a seek is none)";
    EXPECT_EQ(rows.back().detail, "slot 1");
    EXPECT_EQ(rows[rows.size() - 2].detail, "slot 1 bytes 0-99");
}
