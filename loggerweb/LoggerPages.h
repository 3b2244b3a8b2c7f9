#pragma once
// The Logger page of the web server: the coverage grid of the logger's segments as HTML that
// works without scripts (days by hours, each hour coloured by what covers it, its reason as the
// cell's title, a legend and the logger's status) and the same as JSON, plus the logger's lines
// of /metrics (Prometheus text). Pure functions of a snapshot the user-interface thread made.
#include "logger/LoggerCoverage.h"
#include "logger/LoggerReader.h"
#include "web/Pages.h"
#include <QByteArray>
#include <QDate>

namespace tamblor::loggerweb {

struct LoggerSnapshot {
    logger::LoggerStatus status;
    logger::CoverageRows rows; // of the days up to `today`, `spanDays` of them
    qint64 nowMs = 0;
    QDate today;
    int spanDays = 0;
};

namespace LoggerPages {

// The days the page shows by default, and at most (what a snapshot holds).
inline constexpr int DefaultDays = 7;
inline constexpr int MostDays = 62;

// `newest` and `days` as asked, kept within what the snapshot holds.
QByteArray html(const LoggerSnapshot& s, QDate newest, int days, const web::Pages::Viewer& viewer = {});
QByteArray json(const LoggerSnapshot& s, QDate newest, int days);
QByteArray metrics(const LoggerSnapshot& s);

} // namespace LoggerPages

} // namespace tamblor::loggerweb
