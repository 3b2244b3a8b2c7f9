#pragma once
// The web server running over the loopback on the core alone: the studio of a fresh root (44100
// stereo, start mode Off; slot 1 a PCM take, slot 2 an ADPCM one, slot 3 used but without its
// file), the server switched on in Tamblor.ini on a port the system chooses, and a token of each
// role. The requests run on a thread of their own while this thread goes on serving the queued
// calls of the server (the operator's actions, the audit rows).
#include "../studio/StudioFixture.h"
#include "WebClient.h"
#include "core/ProgramSettings.h"
#include "web/WebService.h"
#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <future>
#include <sndfile.h>

class WebTest : public StudioTest {
protected:
    void SetUp() override
    {
        StudioTest::SetUp();
        writeSettings({{3, 3}, {5, 1}, {6, 0}, {11, 16384}});
        writeIndex({indexRecordBytes("1", "MORNING NEWS", "1", "12-06-26"), indexRecordBytes("1", "ADPCM TAKE", "1", "12-06-26"),
                    indexRecordBytes("1", "NO FILE", "1", "12-06-26")});
        writeTone(slotFile(1), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100 + 123);
        writeTone(slotFile(2), SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 22050);
        tamblor::WebPreferences web;
        web.enabled = true;
        web.port = 0;
        tamblor::ProgramSettings(core->drives()).setWeb(web);
        newWeb();
        startAt(local(2026, 12, 7, 14, 0));
        ASSERT_TRUE(service->isRunning()) << service->lastError().toStdString();
        port = service->port();
        const qint64 realNow = QDateTime::currentMSecsSinceEpoch();
        operatorToken = service->tokens().make("Ann", tamblor::web::Role::Operator, realNow, realNow + Day).token;
        viewerToken = service->tokens().make("Bob", tamblor::web::Role::Viewer, realNow, realNow + Day).token;
        publish();
    }
    void TearDown() override
    {
        service.reset();
        StudioTest::TearDown();
    }
    virtual tamblor::web::HttpServer::Limits limits() const { return {}; }
    void newWeb() { service = std::make_unique<tamblor::web::WebService>(*core, *studio, limits()); }

    // A tone in a file of a format libsndfile writes (16-bit PCM, MS ADPCM).
    static void writeTone(const QString& path, int format, int frames)
    {
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 2;
        info.format = format;
        SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
        ASSERT_TRUE(f) << sf_strerror(nullptr);
        std::vector<short> samples(size_t(frames) * 2);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = short(8000 * std::sin(double(i / 2) * 2 * M_PI * 440 / 44100));
        sf_writef_short(f, samples.data(), frames);
        sf_close(f);
    }

    // Runs a request (or anything blocking) on a thread of its own while this thread serves the
    // server's queued calls; then lets the calls it left (audit rows) be served.
    template <class F> auto call(F f)
    {
        auto done = std::async(std::launch::async, std::move(f));
        while (done.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::processEvents();
        return done.get();
    }
    WebReply get(const QByteArray& path, const QList<QByteArray>& headers = {})
    {
        return call([=, this] { return request(port, "GET", path, headers); });
    }
    WebReply post(const QByteArray& path, const QByteArray& body, const QList<QByteArray>& headers = {})
    {
        return call([=, this] { return request(port, "POST", path, headers, body); });
    }
    static QByteArray bearer(const QByteArray& token) { return "Authorization: Bearer " + token; }
    static QJsonObject json(const WebReply& r) { return QJsonDocument::fromJson(r.body).object(); }

    // Signs in with a token: the cookie header to send, and the session's CSRF secret as the Now
    // page carries it.
    struct Browser {
        QByteArray cookie;
        QByteArray csrf;
    };
    Browser signIn(const QByteArray& token)
    {
        const WebReply r = post("/signin", "token=" + token);
        EXPECT_EQ(r.status, 303);
        Browser b;
        if (r.setCookies.isEmpty())
            return b;
        b.cookie = "Cookie: " + r.setCookies.first().split(';').first();
        const WebReply page = get("/now", {b.cookie});
        const qsizetype at = page.body.indexOf("name=\"csrf\" value=\"");
        if (at >= 0)
            b.csrf = page.body.mid(at + 19, 64);
        return b;
    }

    void publish() { service->publisher().publish(); }
    void pump() { QCoreApplication::processEvents(); }
    bool logged(const QString& text) const { return service->log().contains(text); }

    static constexpr qint64 Day = 24LL * 3600 * 1000;
    std::unique_ptr<tamblor::web::WebService> service;
    int port = 0;
    QByteArray operatorToken;
    QByteArray viewerToken;
};
