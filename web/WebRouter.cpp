#include "web/WebRouter.h"
#include "web/AccessToken.h"
#include "web/ByteRange.h"
#include "web/Pages.h"
#include "web/TakeSources.h"
#include <QDateTime>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>
#include <arpa/inet.h>

namespace tamblor::web {

namespace {

constexpr const char* Html = "text/html; charset=utf-8";
constexpr const char* Json = "application/json";
constexpr const char* SecurityPolicy = "default-src 'self'; style-src 'self' 'unsafe-inline'; frame-ancestors 'none'; "
                                       "form-action 'self'; base-uri 'none'";

HttpResponse html(int status, const QByteArray& body)
{
    HttpResponse r;
    r.status = status;
    r.contentType = Html;
    r.body = body;
    r.header("Content-Security-Policy", SecurityPolicy).header("Cache-Control", "no-store");
    return r;
}

HttpResponse json(int status, const QByteArray& body)
{
    HttpResponse r;
    r.status = status;
    r.contentType = Json;
    r.body = body;
    r.header("Cache-Control", "no-store");
    return r;
}

HttpResponse redirect(const QByteArray& to)
{
    HttpResponse r;
    r.status = 303;
    r.header("Location", to).header("Cache-Control", "no-store");
    return r;
}

bool isAddress(const QString& text)
{
    const QByteArray a = text.trimmed().toLatin1();
    unsigned char buf[16];
    return inet_pton(AF_INET, a.constData(), buf) == 1 || inet_pton(AF_INET6, a.constData(), buf) == 1;
}

// The path's segments; none when it is not a clean absolute path (a ".." or "." segment, an
// empty one, a backslash or a control character).
std::optional<QStringList> segmentsOf(const QString& path)
{
    if (!path.startsWith('/') || path.size() > 1024)
        return std::nullopt;
    for (const QChar c : path)
        if (c == '\\' || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return std::nullopt;
    if (path == "/")
        return QStringList{};
    QStringList parts = path.mid(1).split('/');
    if (parts.last().isEmpty())
        parts.removeLast(); // "/library/" is "/library"
    for (const QString& p : parts)
        if (p.isEmpty() || p == "." || p == "..")
            return std::nullopt;
    return parts;
}

std::optional<qint64> idOf(const QString& text)
{
    if (text.isEmpty() || text.size() > 15)
        return std::nullopt;
    for (const QChar c : text)
        if (c < '0' || c > '9')
            return std::nullopt;
    const qint64 id = text.toLongLong();
    return id > 0 ? std::optional<qint64>(id) : std::nullopt;
}

QByteArray cookieValue(const QByteArray& header, const QByteArray& name)
{
    for (const QByteArray& part : header.split(';')) {
        const QByteArray p = part.trimmed();
        if (p.startsWith(name + "="))
            return p.mid(name.size() + 1);
    }
    return {};
}

QString formValue(const QByteArray& body, const QString& name)
{
    return QUrlQuery(QString::fromUtf8(body)).queryItemValue(name, QUrl::FullyDecoded);
}

bool wantsJson(const HttpRequest& r)
{
    return r.header("accept").contains("application/json") || !r.header("authorization").isEmpty();
}

} // namespace

WebRouter::WebRouter(SnapshotBox& snapshots, Credentials& credentials, StudioActions& actions, WebLog& log)
    : snapshots_(snapshots), credentials_(credentials), actions_(actions), log_(log),
      nowMs_([] { return QDateTime::currentMSecsSinceEpoch(); })
{
}

void WebRouter::setSettings(const RouterSettings& settings)
{
    std::lock_guard lock(mutex_);
    settings_ = settings;
}

RouterSettings WebRouter::settings() const
{
    std::lock_guard lock(mutex_);
    return settings_;
}

QString WebRouter::clientAddress(const HttpRequest& request, const QString& trustedProxy)
{
    if (trustedProxy.isEmpty() || request.peerAddress != trustedProxy.trimmed())
        return request.peerAddress;
    const QByteArray forwarded = request.header("x-forwarded-for");
    if (forwarded.isEmpty())
        return request.peerAddress;
    // The proxy appends the address it saw last; anything before it the client may have written.
    const QString last = QString::fromLatin1(forwarded.split(',').last()).trimmed();
    return isAddress(last) ? last : request.peerAddress;
}

std::optional<int> WebRouter::slotOf(const QString& text)
{
    if (text.isEmpty() || text.size() > 3)
        return std::nullopt;
    for (const QChar c : text)
        if (c < '0' || c > '9')
            return std::nullopt;
    const int slot = text.toInt();
    return slot >= 1 && slot <= schedule::RecordEvent::MaxSlot ? std::optional<int>(slot) : std::nullopt;
}

void WebRouter::note(const HttpRequest& request, const Caller& caller, int status, const QString& why)
{
    log_.add(QString("%1 %2 %3: %4 %5")
                 .arg(caller.address, QString::fromLatin1(request.method.left(16)), request.path.left(200))
                 .arg(status)
                 .arg(why));
}

HttpResponse WebRouter::refuse(int status, const HttpRequest& request, const Caller& caller, const QString& why)
{
    note(request, caller, status, why);
    const bool asJson = request.path.endsWith(".json") || request.path == "/metrics" || wantsJson(request);
    HttpResponse r;
    switch (status) {
    case 401:
        r = asJson ? json(401, "{\"error\":\"unauthorized\"}") : html(401, Pages::signIn("Sign in with your token."));
        r.header("WWW-Authenticate", "Bearer realm=\"Tamblor\"");
        return r;
    case 403:
        return asJson ? json(403, "{\"error\":\"forbidden\"}") : html(403, Pages::plain("Forbidden", "Not allowed."));
    case 404:
        return asJson ? json(404, "{\"error\":\"not found\"}") : html(404, Pages::plain("Not found", "There is no such page."));
    case 405:
        return HttpResponse::text(405, "Method not allowed\n");
    case 429:
        return HttpResponse::text(429, "Too many failed attempts; try again later\n");
    default:
        return HttpResponse::text(status, "Bad request\n");
    }
}

WebRouter::Caller WebRouter::identify(const HttpRequest& request, const RouterSettings& settings)
{
    Caller c;
    c.address = clientAddress(request, settings.trustedProxy);
    c.https = !settings.trustedProxy.isEmpty() && request.peerAddress == settings.trustedProxy.trimmed() &&
              request.header("x-forwarded-proto").trimmed().toLower() == "https";
    const qint64 now = nowMs_();
    const QByteArray authorization = request.header("authorization").trimmed();
    if (!authorization.isEmpty()) {
        QString why;
        if (!authorization.startsWith("Bearer ")) {
            c.badToken = true;
            note(request, c, 401, "an Authorization header that is not a bearer token");
            return c;
        }
        c.identity = credentials_.byToken(authorization.mid(7).trimmed(), now, &why);
        if (!c.identity) {
            c.badToken = true;
            note(request, c, 401, why);
        }
        return c;
    }
    const QByteArray session = cookieValue(request.header("cookie"), SessionCookie);
    if (!session.isEmpty()) {
        c.identity = credentials_.bySession(session, now);
        c.signedIn = c.identity.has_value();
    }
    if (!c.identity && settings.viewWithoutToken)
        c.identity = Identity{"(none)", Role::Viewer, true, {}};
    return c;
}

HttpResponse WebRouter::handle(const HttpRequest& request)
{
    const RouterSettings settings = this->settings();
    Caller caller;
    caller.address = clientAddress(request, settings.trustedProxy);
    if (request.method != "GET" && request.method != "HEAD" && request.method != "POST")
        return refuse(405, request, caller, "a method not served");
    if (credentials_.isBlocked(caller.address, nowMs_()))
        return refuse(429, request, caller, "an address with too many failed attempts");
    caller = identify(request, settings);
    if (caller.badToken) {
        credentials_.noteFailure(caller.address, nowMs_());
        HttpResponse r = wantsJson(request) ? json(401, "{\"error\":\"unauthorized\"}") : html(401, Pages::signIn({}));
        r.header("WWW-Authenticate", "Bearer realm=\"Tamblor\"");
        return r;
    }
    return route(request, caller, settings);
}

HttpResponse WebRouter::route(const HttpRequest& request, Caller& caller, const RouterSettings&)
{
    const auto parts = segmentsOf(request.path);
    if (!parts)
        return refuse(400, request, caller, "a path that is not a clean absolute path");
    const QStringList& p = *parts;
    const bool post = request.method == "POST";
    auto is = [&p](std::initializer_list<const char*> want) {
        if (qsizetype(want.size()) != p.size())
            return false;
        qsizetype i = 0;
        for (const char* w : want) {
            if (w && p[i] != QLatin1String(w))
                return false;
            ++i;
        }
        return true;
    };

    if (p.isEmpty())
        return redirect("/now");
    if (is({"now.js"})) {
        HttpResponse r;
        r.contentType = "text/javascript; charset=utf-8";
        r.body = Pages::nowScript();
        return r;
    }
    if (is({"signin"}))
        return post ? signIn(request, caller) : html(200, Pages::signIn({}));
    if (is({"signout"}))
        return post ? signOut(request, caller) : refuse(405, request, caller, "a sign-out that is not a POST");

    // The operator's actions.
    std::optional<StudioActions::Action> action;
    qint64 eventId = 0;
    if (is({"take", "start"}))
        action = StudioActions::Action::StartTake;
    else if (is({"take", "stop"}))
        action = StudioActions::Action::StopTake;
    else if (is({"events", nullptr, "record-now"})) {
        const auto id = idOf(p[1]);
        if (!id)
            return refuse(400, request, caller, "an event id that is not a number");
        action = StudioActions::Action::RecordNow;
        eventId = *id;
    }
    if (action)
        return post ? act(request, caller, *action, eventId) : refuse(405, request, caller, "an action that is not a POST");

    if (post)
        return refuse(405, request, caller, "a POST to a page");
    if (!caller.identity)
        return refuse(401, request, caller, "no token");

    const auto snapshot = snapshots_.get();
    const Pages::Viewer viewer{*caller.identity, caller.signedIn, navLinks()};
    if (is({"now"}))
        return html(200, Pages::now(*snapshot, viewer));
    if (is({"now.json"}))
        return json(200, Pages::nowJson(*snapshot));
    if (is({"events"}))
        return html(200, Pages::events(*snapshot, viewer));
    if (is({"events.json"}))
        return json(200, Pages::eventsJson(*snapshot));
    if (is({"events", nullptr})) {
        QString text = p[1];
        const bool asJson = text.endsWith(".json");
        if (asJson)
            text.chop(5);
        const auto id = idOf(text);
        if (!id)
            return refuse(400, request, caller, "an event id that is not a number");
        const QByteArray body = asJson ? Pages::eventJson(*snapshot, *id) : Pages::event(*snapshot, *id, viewer);
        if (body.isEmpty())
            return refuse(404, request, caller, "no such event");
        return asJson ? json(200, body) : html(200, body);
    }
    if (is({"library"}))
        return html(200, Pages::library(*snapshot, request.queryValue("q").left(100), viewer));
    if (is({"library.json"}))
        return json(200, Pages::libraryJson(*snapshot, request.queryValue("q").left(100)));
    if (is({"library", nullptr, "audio"}))
        return sendTake(request, caller, p[1], true);
    if (is({"library", nullptr, "download"}))
        return sendTake(request, caller, p[1], false);
    if (is({"metrics"})) {
        HttpResponse r;
        r.contentType = "text/plain; version=0.0.4; charset=utf-8";
        r.body = Pages::metrics(*snapshot);
        for (const auto& lines : metrics_)
            r.body += lines();
        r.header("Cache-Control", "no-store");
        return r;
    }
    if (p.size() == 1) {
        QString name = "/" + p[0];
        const bool asJson = name.endsWith(".json");
        if (asJson)
            name.chop(5);
        if (const auto page = pages_.find(name); page != pages_.end()) {
            HttpResponse r = page->second.page(request, asJson, viewer);
            if (!asJson)
                r.header("Content-Security-Policy", SecurityPolicy);
            return r;
        }
    }
    return refuse(404, request, caller, "no such page");
}

void WebRouter::addPage(const QString& path, Page page)
{
    pages_[path] = {[page = std::move(page)](const HttpRequest& request, bool asJson, const Pages::Viewer&) {
                        return page(request, asJson);
                    },
                    {},
                    {}};
}

void WebRouter::addPage(const QString& path, FramedPage page, const QString& label, std::function<bool()> shown)
{
    pages_[path] = {std::move(page), label, std::move(shown)};
}

std::vector<Pages::NavLink> WebRouter::navLinks() const
{
    std::vector<Pages::NavLink> links;
    for (const auto& [path, page] : pages_)
        if (!page.label.isEmpty() && (!page.shown || page.shown()))
            links.push_back({path, page.label});
    return links;
}

HttpResponse WebRouter::signIn(const HttpRequest& request, Caller& caller)
{
    const QByteArray token = formValue(request.body, "token").trimmed().toLatin1();
    QString why;
    const auto session = credentials_.signIn(token, nowMs_(), &why);
    if (!session) {
        credentials_.noteFailure(caller.address, nowMs_());
        note(request, caller, 401, "sign-in refused: " + why);
        return html(401, Pages::signIn("Not signed in."));
    }
    QByteArray cookie = QByteArray(SessionCookie) + "=" + session->id + "; Path=/; HttpOnly; SameSite=Strict; Max-Age=" +
                        QByteArray::number(Credentials::SessionMs / 1000);
    if (caller.https)
        cookie += "; Secure";
    HttpResponse r = redirect("/now");
    r.header("Set-Cookie", cookie);
    return r;
}

HttpResponse WebRouter::signOut(const HttpRequest& request, Caller& caller)
{
    if (!caller.signedIn)
        return redirect("/signin");
    if (!AccessToken::equalInConstantTime(formValue(request.body, "csrf").toLatin1(), caller.identity->csrf))
        return refuse(403, request, caller, "a sign-out without the session's CSRF secret");
    credentials_.signOut(cookieValue(request.header("cookie"), SessionCookie));
    HttpResponse r = redirect("/signin");
    r.header("Set-Cookie", QByteArray(SessionCookie) + "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0" +
                               (caller.https ? "; Secure" : ""));
    return r;
}

HttpResponse WebRouter::act(const HttpRequest& request, const Caller& caller, StudioActions::Action action, qint64 eventId)
{
    if (!caller.identity || caller.identity->anonymous)
        return refuse(401, request, caller, "an operator action without a token");
    if (caller.identity->role != Role::Operator)
        return refuse(403, request, caller, QString("an operator action by the viewer \"%1\"").arg(caller.identity->name));
    if (caller.signedIn) {
        QByteArray csrf = request.header("x-csrf-token");
        if (csrf.isEmpty())
            csrf = formValue(request.body, "csrf").toLatin1();
        if (!AccessToken::equalInConstantTime(csrf, caller.identity->csrf))
            return refuse(403, request, caller, "an operator action without the session's CSRF secret");
    }
    const StudioActions::Answer answer = actions_.perform(action, eventId);
    const QString name = action == StudioActions::Action::StartTake  ? "record start"
                         : action == StudioActions::Action::StopTake ? "record stop"
                                                                     : "record now";
    QString detail = action == StudioActions::Action::RecordNow ? QString("event %1: ").arg(eventId) : QString();
    detail += (answer.done ? "done: " : "refused: ") + answer.text;
    actions_.audit({nowMs_(), caller.identity->name, caller.address, name, detail});
    const int status = answer.done ? 200 : 409;
    if (wantsJson(request))
        return json(status, QJsonDocument(QJsonObject{{"done", answer.done}, {"text", answer.text}})
                                .toJson(QJsonDocument::Compact));
    return html(status, Pages::actionDone(answer.text, action == StudioActions::Action::RecordNow ? "/events" : "/now"));
}

HttpResponse WebRouter::sendTake(const HttpRequest& request, const Caller& caller, const QString& slotText, bool listen)
{
    const auto slot = slotOf(slotText);
    if (!slot)
        return refuse(400, request, caller, QString("a slot that is not 1..%1").arg(schedule::RecordEvent::MaxSlot));
    const auto snapshot = snapshots_.get();
    const auto row = snapshot->takes.find(*slot);
    if (row == snapshot->takes.end())
        return refuse(404, request, caller, QString("slot %1 holds no take").arg(*slot));
    // The file's path is the library's own for a used slot; nothing of the request is in it.
    const QString file = row->second.file;
    std::shared_ptr<BodySource> source = listen && !isPlayableWave(file) ? decodedWaveSource(file) : fileSource(file);
    if (!source)
        return refuse(404, request, caller, QString("the file of slot %1 cannot be read").arg(*slot));
    const int64_t size = source->size();
    const ByteRange range = ByteRange::parse(request.header("range"), size);
    if (range.kind == ByteRange::Kind::Malformed)
        return refuse(400, request, caller, "a malformed range");
    if (range.kind == ByteRange::Kind::Unsatisfiable) {
        note(request, caller, 416, QString("a range past the end of %1 bytes").arg(size));
        HttpResponse r = HttpResponse::text(416, "Range not satisfiable\n");
        r.header("Content-Range", "bytes */" + QByteArray::number(qint64(size)));
        return r;
    }
    if (!listen || range.first == 0)
        actions_.audit({nowMs_(), caller.identity->name, caller.address, listen ? "listen" : "download",
                        QString("slot %1%2").arg(*slot).arg(range.kind == ByteRange::Kind::Part
                                                                ? QString(" bytes %1-%2").arg(range.first).arg(range.last)
                                                                : QString())});
    HttpResponse r;
    r.contentType = "audio/wav";
    r.source = source;
    r.header("Accept-Ranges", "bytes").header("Cache-Control", "private, no-store");
    if (!listen)
        r.header("Content-Disposition",
                 "attachment; filename=\"" + QFileInfo(file).fileName().toLatin1() + "\"");
    if (size == 0) {
        r.offset = 0;
        r.length = 0;
        return r;
    }
    r.offset = range.first;
    r.length = range.length();
    if (range.kind == ByteRange::Kind::Part) {
        r.status = 206;
        r.header("Content-Range", QByteArray("bytes ") + QByteArray::number(qint64(range.first)) + "-" +
                                      QByteArray::number(qint64(range.last)) + "/" + QByteArray::number(qint64(size)));
    }
    return r;
}

} // namespace tamblor::web
