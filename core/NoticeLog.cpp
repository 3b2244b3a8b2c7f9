#include "core/NoticeLog.h"
#include "core/Notices.h"

namespace tamblor {

NoticeLog::NoticeLog(Notices& notices, std::FILE* stream, QObject* parent) : QObject(parent), stream_(stream)
{
    connect(&notices, &Notices::posted, this, [this](const Notice& n) { write(n, ""); });
    connect(&notices, &Notices::cleared, this, [this](const Notice& n) { write(n, "cleared: "); });
}

void NoticeLog::write(const Notice& notice, const char* prefix)
{
    QString line = notice.logLine();
    if (notice.number != 0 && !notice.text.startsWith(QString::number(notice.number)))
        line += QStringLiteral(" [%1]").arg(notice.number);
    if (!notice.subject.isEmpty())
        line += QStringLiteral(" (%1)").arg(notice.subject);
    std::fprintf(stream_, "%s%s\n", prefix, line.toLocal8Bit().constData());
    std::fflush(stream_);
}

} // namespace tamblor
