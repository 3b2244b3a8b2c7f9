#pragma once
// Seconds to the operator's time text ("02:05", " 1:02:05") and back; pure functions.
#include <QDate>
#include <QString>
#include <cstdint>

namespace tamblor {

// 0 -> "00:00", 3725 -> " 1:02:05", 36000 -> "10:00:00".
QString secondsToTimeText(int32_t seconds);

// Reads a time text from its right end: the last two digits are seconds, what stands between
// the last colon and them minutes, what stands before that colon hours ("1:02:05" -> 3725,
// "125" -> 85). Throws Failure 6 when the total leaves 32 bits.
int32_t timeTextToSeconds(QString text);

// Seconds from `from` to `to`, both seconds since midnight, across one midnight.
int32_t secondsAcrossMidnight(int32_t from, int32_t to);

// The program's date as the main menu shows it: month, day, year with the clock's separator
// ("12/07/2026"). An invalid date is "".
QString dateText(const QDate& date, const QString& separator);
// A date typed in that form with that separator ("12/7/2026"); invalid when it is none (a date
// typed with another separator is none: "06.12.2026" is never read as June).
QDate dateFromText(const QString& text, const QString& separator);

} // namespace tamblor
