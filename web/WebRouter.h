#pragma once
// Answers every request of the web server, on the server's threads: who asks (a bearer token, a
// browser's session cookie, or nobody where viewing without a token is allowed), whether they
// may, and what they get. It reads the studio only through the snapshot box and acts only through
// StudioActions.
//
// Refusals tell nothing: a request without a valid token gets 401 and a sign-in page, a viewer's
// operator action 403, a browser's operator action without the session's CSRF secret 403. Every
// refused or malformed request (a path with "..", a slot that is not 1..900, a range past the
// end, a token of the wrong length, an address with too many failed attempts) gets a 4xx and a
// line in the log; a slot is looked up among the library's used slots before its file is opened.
#include "web/Credentials.h"
#include "web/HttpMessage.h"
#include "web/Pages.h"
#include "web/StudioActions.h"
#include "web/StudioSnapshot.h"
#include "web/WebLog.h"
#include <QString>
#include <functional>
#include <map>
#include <vector>
#include <mutex>
#include <optional>

namespace tamblor::web {

struct RouterSettings {
    bool viewWithoutToken = false;
    QString trustedProxy; // the address of the reverse proxy whose X-Forwarded-For counts
};

class WebRouter {
public:
    static constexpr const char* SessionCookie = "tamblor_session";

    WebRouter(SnapshotBox& snapshots, Credentials& credentials, StudioActions& actions, WebLog& log);

    // A page of another part of the program (the logger's coverage grid, say): answered at
    // `path` and at `path`.json for whoever may view the pages, by `page` on the server's
    // threads (it must read only what is safe there). Lines of its own may be added to
    // /metrics likewise. Both only before the server starts.
    using Page = std::function<HttpResponse(const HttpRequest& request, bool asJson)>;
    void addPage(const QString& path, Page page);
    // The same for a page in the pages' frame (its nav bar made for the viewer), with a link
    // `label` in every page's nav bar while `shown` says it is there (asked at each request).
    using FramedPage = std::function<HttpResponse(const HttpRequest& request, bool asJson, const Pages::Viewer& viewer)>;
    void addPage(const QString& path, FramedPage page, const QString& label, std::function<bool()> shown);
    void addMetrics(std::function<QByteArray()> lines) { metrics_.push_back(std::move(lines)); }

    void setSettings(const RouterSettings& settings);
    RouterSettings settings() const;
    // The time (ms since 1970) the tokens' expiry is judged by; the system clock by default.
    void setClock(std::function<qint64()> nowMs) { nowMs_ = std::move(nowMs); }

    HttpResponse handle(const HttpRequest& request);

    // The client's address: the peer's, or behind the trusted proxy the last address its
    // X-Forwarded-For names.
    static QString clientAddress(const HttpRequest& request, const QString& trustedProxy);
    // A slot number from the request: 1..900, decimal digits only; none otherwise.
    static std::optional<int> slotOf(const QString& text);

private:
    struct Caller {
        QString address;
        bool https = false;
        std::optional<Identity> identity;
        bool signedIn = false; // by a session cookie
        bool badToken = false; // a token was presented and refused
    };
    Caller identify(const HttpRequest& request, const RouterSettings& settings);
    HttpResponse route(const HttpRequest& request, Caller& caller, const RouterSettings& settings);
    HttpResponse refuse(int status, const HttpRequest& request, const Caller& caller, const QString& why);
    HttpResponse signIn(const HttpRequest& request, Caller& caller);
    HttpResponse signOut(const HttpRequest& request, Caller& caller);
    HttpResponse act(const HttpRequest& request, const Caller& caller, StudioActions::Action action, qint64 eventId);
    HttpResponse sendTake(const HttpRequest& request, const Caller& caller, const QString& slotText, bool listen);
    void note(const HttpRequest& request, const Caller& caller, int status, const QString& why);

    SnapshotBox& snapshots_;
    Credentials& credentials_;
    StudioActions& actions_;
    WebLog& log_;
    mutable std::mutex mutex_;
    RouterSettings settings_;
    std::function<qint64()> nowMs_;
    struct AddedPage {
        FramedPage page;
        QString label; // empty: no link in the nav bar
        std::function<bool()> shown;
    };
    std::vector<Pages::NavLink> navLinks() const;

    std::map<QString, AddedPage> pages_;
    std::vector<std::function<QByteArray()>> metrics_;
};

} // namespace tamblor::web
