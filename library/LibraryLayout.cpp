#include "library/LibraryLayout.h"
#include <QRegularExpression>

namespace tamblor::LibraryLayout {

namespace {
const QRegularExpression& slotFilePattern()
{
    static const QRegularExpression pattern(QStringLiteral("^SF(\\d{4})\\.wav$"),
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern;
}
} // namespace

QString slotFileName(int32_t slot) { return "SF" + QString::asprintf("%04d", int(slot)) + ".wav"; }

QString soundFolder(const QString& driveLetter) { return driveLetter + ":\\Tamblor"; }

QString indexFolder() { return QStringLiteral("c:\\Tamblor"); }

QString slotFilePath(const QString& driveLetter, int32_t slot)
{
    return soundFolder(driveLetter) + "\\" + slotFileName(slot);
}

int32_t slotOfFileName(const QString& fileName)
{
    const auto m = slotFilePattern().match(fileName);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

bool isLibraryFileName(const QString& fileName)
{
    return slotFilePattern().match(fileName).hasMatch() ||
           fileName.compare(IndexFileName, Qt::CaseInsensitive) == 0 ||
           fileName.compare(SettingsFileName, Qt::CaseInsensitive) == 0;
}

QString defaultName(int32_t slot) { return "(No Name " + QString::asprintf("%03d", int(slot)) + " **" + "**)"; }

QString recordDateText(const QDate& day)
{
    // The year is always its last two digits, whatever the order of the locale's short date.
    return QString::asprintf("%02d-%02d-%02d", day.month(), day.day(), day.year() % 100);
}

} // namespace tamblor::LibraryLayout
