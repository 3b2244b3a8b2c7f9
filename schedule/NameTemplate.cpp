#include "schedule/NameTemplate.h"
#include "platform/CodePage.h"

namespace tamblor::schedule::NameTemplate {

QString expandUncut(const QString& nameTemplate, const QString& eventName, const QDateTime& localStart)
{
    QString out;
    for (qsizetype i = 0; i < nameTemplate.size();) {
        const auto at = [&](const char* field) { return nameTemplate.mid(i).startsWith(QLatin1String(field)); };
        if (at("{name}")) {
            out += eventName;
            i += 6;
        } else if (at("{date}")) {
            out += localStart.toString("dd.MM");
            i += 6;
        } else if (at("{time}")) {
            out += localStart.toString("HH:mm");
            i += 6;
        } else {
            out += nameTemplate.at(i++);
        }
    }
    return codepage::representable(out);
}

QString expand(const QString& nameTemplate, const QString& eventName, const QDateTime& localStart)
{
    return expandUncut(nameTemplate, eventName, localStart).left(MaxLength);
}

bool isCut(const QString& nameTemplate, const QString& eventName, const QDateTime& localStart)
{
    return expandUncut(nameTemplate, eventName, localStart).size() > MaxLength;
}

} // namespace tamblor::schedule::NameTemplate
