#pragma once
// The name a take of an event gets: the event's template with {name}, {date} ("07.12", day and
// month) and {time} ("17:00") of the scheduled start replaced, held to what a slot's name can
// store (its code page, 25 characters), cut as a name typed in the library is.
#include <QDateTime>
#include <QString>

namespace tamblor::schedule {

namespace NameTemplate {

// The width of a slot's name in the index.
inline constexpr int MaxLength = 25;

// The whole expansion, before it is cut.
QString expandUncut(const QString& nameTemplate, const QString& eventName, const QDateTime& localStart);
// The name the slot gets.
QString expand(const QString& nameTemplate, const QString& eventName, const QDateTime& localStart);
// True when the expansion is longer than a slot's name (the window warns of the cut).
bool isCut(const QString& nameTemplate, const QString& eventName, const QDateTime& localStart);

} // namespace NameTemplate

} // namespace tamblor::schedule
