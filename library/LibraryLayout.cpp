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
const QRegularExpression& workingTakePattern()
{
    static const QRegularExpression pattern(QStringLiteral("^SF(\\d{4})\\.new$"),
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern;
}
const QRegularExpression& keptTakePattern()
{
    static const QRegularExpression pattern(QStringLiteral("^TK\\d{4}_\\d+\\.wav$"),
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

QString workingTakeFileName(int32_t slot) { return "SF" + QString::asprintf("%04d", int(slot)) + ".NEW"; }

int32_t slotOfWorkingTakeName(const QString& fileName)
{
    const auto m = workingTakePattern().match(fileName);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

QString keptTakeFileName(int32_t slot, int n) { return QString::asprintf("TK%04d_%d.wav", int(slot), n); }

bool isLibraryFileName(const QString& fileName)
{
    return slotFilePattern().match(fileName).hasMatch() || workingTakePattern().match(fileName).hasMatch() ||
           keptTakePattern().match(fileName).hasMatch() ||
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
