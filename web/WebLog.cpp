#include "web/WebLog.h"
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

namespace tamblor::web {

void WebLog::add(const QString& line)
{
    const QString stamped = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) + " " + line;
    std::lock_guard lock(mutex_);
    kept_.push_back(stamped);
    while (kept_.size() > MostKept)
        kept_.pop_front();
    if (path_.isEmpty())
        return;
    if (QFileInfo(path_).size() > MostBytes) {
        QFile::remove(path_ + ".1");
        QFile::rename(path_, path_ + ".1");
    }
    QFile file(path_);
    if (file.open(QIODevice::Append | QIODevice::Text))
        file.write((stamped + "\n").toUtf8());
}

QStringList WebLog::lines() const
{
    std::lock_guard lock(mutex_);
    return QStringList(kept_.begin(), kept_.end());
}

bool WebLog::contains(const QString& text) const
{
    std::lock_guard lock(mutex_);
    for (const QString& line : kept_)
        if (line.contains(text))
            return true;
    return false;
}

} // namespace tamblor::web
