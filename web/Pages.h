#pragma once
// The web pages made from a snapshot of the studio: server-rendered HTML that works without
// scripts (the Now page refreshes itself; with scripts its figures follow /now.json 5 times a
// second), the same data as JSON, and the Prometheus text of /metrics. Pure functions of their
// arguments: no studio, no thread of their own.
#include "web/Credentials.h"
#include "web/StudioSnapshot.h"
#include <QByteArray>
#include <QString>
#include <vector>

namespace tamblor::web::Pages {

// A link of the nav bar to a page of another part (the logger's), while that page is there.
struct NavLink {
    QString path;
    QString label;
};

// Who looks, for what the page offers (the operator's buttons carry the session's CSRF secret).
struct Viewer {
    Identity identity;
    bool signedIn = false;      // through a session (a sign-out button is shown)
    std::vector<NavLink> links; // the pages of other parts there now, after the program's own
};

QByteArray now(const StudioSnapshot& s, const Viewer& viewer);
QByteArray nowJson(const StudioSnapshot& s);
// The script of the Now page (served as /now.js: the pages allow no inline script).
QByteArray nowScript();

QByteArray events(const StudioSnapshot& s, const Viewer& viewer);
QByteArray eventsJson(const StudioSnapshot& s);
// One event with all its recent runs; empty when there is no such event.
QByteArray event(const StudioSnapshot& s, qint64 id, const Viewer& viewer);
QByteArray eventJson(const StudioSnapshot& s, qint64 id);

// The used slots whose name contains `search` (any case; all for an empty one).
QByteArray library(const StudioSnapshot& s, const QString& search, const Viewer& viewer);
QByteArray libraryJson(const StudioSnapshot& s, const QString& search);

QByteArray metrics(const StudioSnapshot& s);

// A page of another part (the logger's) in the pages' frame: `body` is HTML made safe by its maker.
QByteArray framed(const QString& title, const QString& body, const Viewer& viewer = {});

QByteArray signIn(const QString& message);
// A page of one line (401, 403, 404 and the like): tells nothing beyond its text.
QByteArray plain(const QString& title, const QString& text);
// What an operator action did, with a link back.
QByteArray actionDone(const QString& text, const QString& back);

// "in 1 h 02 min", "in 42 s", "now".
QString countdown(qint64 fromMs, qint64 toMs);
// "-23.4", "-inf" (JSON: null).
QString figure(double value);

} // namespace tamblor::web::Pages
