#include "loggerweb/LoggerWeb.h"
#include "core/Core.h"
#include "web/Pages.h"
#include "web/WebService.h"
#include <QDateTime>
#include <algorithm>

namespace tamblor::loggerweb {

namespace {

web::HttpResponse answer(int status, const QByteArray& body, bool asJson)
{
    web::HttpResponse r;
    r.status = status;
    r.contentType = asJson ? "application/json" : "text/html; charset=utf-8";
    r.body = body;
    r.header("Cache-Control", "no-store");
    return r;
}

} // namespace

LoggerWeb::LoggerWeb(Core& core, web::WebService& service, logger::LoggerReader& reader, QObject* parent)
    : QObject(parent), core_(core), reader_(reader)
{
    const auto page = [box = box_](const web::HttpRequest& request, bool asJson, const web::Pages::Viewer& viewer) {
        const auto s = box->get();
        if (!s->status.database)
            return answer(404, asJson ? QByteArray("{\"error\":\"not found\"}")
                                      : web::Pages::plain("Not found", "There is no logger on this library."),
                          asJson);
        const QDate to = QDate::fromString(request.queryValue("to").left(10), "yyyy-MM-dd");
        bool ok = false;
        int days = request.queryValue("days").left(3).toInt(&ok);
        if (!ok)
            days = LoggerPages::DefaultDays;
        return answer(200, asJson ? LoggerPages::json(*s, to, days) : LoggerPages::html(*s, to, days, viewer), asJson);
    };
    // In the nav bar while the page is there: a Logger.db on the root at the last snapshot.
    service.router().addPage("/logger", page, "Logger", [box = box_] { return box->get()->status.database; });
    service.router().addMetrics([box = box_] { return LoggerPages::metrics(*box->get()); });

    timer_.setInterval(PublishMs);
    connect(&timer_, &QTimer::timeout, this, &LoggerWeb::publish);
    connect(&service, &web::WebService::runningChanged, this, [this](bool running) {
        if (running) {
            publish();
            timer_.start();
        } else {
            timer_.stop();
        }
    });
    connect(&core, &Core::programEnding, &timer_, &QTimer::stop);
    if (service.isRunning()) {
        publish();
        timer_.start();
    }
}

void LoggerWeb::publish()
{
    if (!core_.isStarted() || core_.isEnding())
        return;
    auto s = std::make_shared<LoggerSnapshot>();
    s->status = reader_.status();
    s->nowMs = reader_.nowMs();
    s->today = QDateTime::fromMSecsSinceEpoch(s->nowMs).date();
    s->spanDays = std::clamp(std::max(s->status.retentionDays, LoggerPages::DefaultDays) + 1, 1, LoggerPages::MostDays);
    if (s->status.database) {
        const auto [from, to] = logger::LoggerCoverage::span(s->today, s->spanDays);
        s->rows = reader_.rows(from, to);
    }
    std::lock_guard lock(box_->mutex);
    box_->snapshot = std::move(s);
}

std::shared_ptr<const LoggerSnapshot> LoggerWeb::snapshot() const
{
    return box_->get();
}

} // namespace tamblor::loggerweb
