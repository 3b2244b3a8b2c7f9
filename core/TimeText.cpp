#include "core/TimeText.h"
#include "platform/NumericText.h"
#include <QStringList>

namespace tamblor {

QString secondsToTimeText(int32_t s)
{
    const int32_t hours = s / 3600;
    const int32_t minutes = (s % 3600) / 60;
    const int32_t secs = s % 60;
    QString hourPart;
    if (hours != 0)
        hourPart = (hours < 10 ? QStringLiteral(" ") : QString()) + QString::number(hours) + ':';
    auto two = [](int32_t v) { return (v < 10 ? QStringLiteral("0") : QString()) + QString::number(v); };
    return hourPart + two(minutes) + ':' + two(secs);
}

int32_t timeTextToSeconds(QString text)
{
    text = text.trimmed();
    if (text.isEmpty())
        return 0;
    double total = toInt32(leadingNumber(text.right(1)));
    if (text.size() == 1)
        return int32_t(total);
    text.chop(1);
    total = toInt32(total + 10 * leadingNumber(text.right(1)));
    if (text.size() == 1)
        return int32_t(total);
    // Drop the tens digit of the seconds and the separator before it, whatever it is.
    text.chop(2);
    const int colon = text.lastIndexOf(':');
    if (colon >= 0) {
        total = toInt32(total + 3600 * leadingNumber(text.left(colon)));
        total = toInt32(total + 60 * leadingNumber(text.mid(colon + 1)));
    } else {
        total = toInt32(total + 60 * leadingNumber(text));
    }
    return int32_t(total);
}

int32_t secondsAcrossMidnight(int32_t from, int32_t to)
{
    int32_t s = to - from;
    if (s < 0)
        s += 86400;
    return s;
}

QString dateText(const QDate& date, const QString& separator)
{
    if (!date.isValid())
        return {};
    return QString::asprintf("%02d", date.month()) + separator + QString::asprintf("%02d", date.day()) + separator
           + QString::asprintf("%04d", date.year());
}

QDate dateFromText(const QString& text, const QString& separator)
{
    const QStringList parts = text.trimmed().split(separator);
    if (parts.size() != 3)
        return {};
    bool okMonth = false, okDay = false, okYear = false;
    const int month = parts[0].trimmed().toInt(&okMonth);
    const int day = parts[1].trimmed().toInt(&okDay);
    const int year = parts[2].trimmed().toInt(&okYear);
    if (!okMonth || !okDay || !okYear || parts[2].trimmed().size() != 4)
        return {};
    return QDate(year, month, day);
}

} // namespace tamblor
