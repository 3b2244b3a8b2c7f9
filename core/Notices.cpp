#include "core/Notices.h"
#include "platform/Clock.h"

namespace tamblor {

const char* Notice::name(Severity severity)
{
    switch (severity) {
    case Severity::Info:
        return "info";
    case Severity::Warning:
        return "warning";
    case Severity::Error:
        return "error";
    }
    return "";
}

QString Notice::logLine() const
{
    QString line = time.toString(Qt::ISODateWithMs) + " " + name(severity) + " " + source + ": " + text;
    line.replace('\n', " / ");
    return line;
}

Notices::Notices(const Clock& clock, QObject* parent) : QObject(parent), clock_(clock) {}

void Notices::tell(const QString& source, const QString& text, Notice::Severity severity, const QString& subject)
{
    Notice n;
    n.source = source;
    n.severity = severity;
    n.text = text;
    n.subject = subject;
    post(std::move(n));
}

void Notices::fail(const QString& source, const Failure& failure, const QString& subject)
{
    fail(source, failure, failure.text(), subject);
}

void Notices::fail(const QString& source, const Failure& failure, const QString& text, const QString& subject)
{
    Notice n;
    n.source = source;
    n.severity = Notice::Severity::Error;
    n.number = failure.number();
    n.text = text;
    n.subject = subject;
    post(std::move(n));
}

void Notices::post(Notice notice)
{
    if (!notice.time.isValid())
        notice.time = clock_.now();
    keep(notice);
    emit posted(notice);
}

void Notices::raise(const QString& key, const QString& source, const QString& text, const QString& subject,
                    Notice::Severity severity)
{
    auto it = raised_.find(key);
    if (it != raised_.end() && it->second.text == text)
        return;
    Notice n;
    n.time = clock_.now();
    n.source = source;
    n.severity = severity;
    n.text = text;
    n.subject = subject;
    n.key = key;
    raised_[key] = n;
    keep(n);
    emit posted(n);
}

void Notices::clear(const QString& key)
{
    auto it = raised_.find(key);
    if (it == raised_.end())
        return;
    const Notice n = it->second;
    raised_.erase(it);
    emit cleared(n);
}

std::vector<Notice> Notices::raisedConditions() const
{
    std::vector<Notice> out;
    for (const auto& [key, n] : raised_)
        out.push_back(n);
    return out;
}

void Notices::keep(const Notice& notice)
{
    if (history_.size() >= Kept)
        history_.erase(history_.begin(), history_.begin() + Kept / 10);
    history_.push_back(notice);
}

} // namespace tamblor
