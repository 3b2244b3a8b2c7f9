#include "send/SendName.h"
#include "platform/CodePage.h"
#include "platform/NumericText.h"
#include <QDir>
#include <QFileInfo>

namespace tamblor::send {

QString suggestedFileName(const QString& soundName)
{
    const QString upper = codepage::toUpper(soundName).trimmed();
    QString out;
    for (QChar c : upper) {
        const char16_t u = c.unicode();
        if (u == ' ' || u == '/')
            out += '_';
        else if ((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z'))
            out += c;
    }
    return out;
}

QString fileNameProblem(const QString& name)
{
    if (name.isEmpty())
        return QStringLiteral("Type a name for the file.");
    const QString quoted = QStringLiteral("\"%1\"").arg(name);
    for (QChar c : name) {
        if (c.unicode() < 32 || QStringLiteral("\\/:*?\"<>|").contains(c))
            return QStringLiteral("The name %1 cannot be used: a file name may not contain \\ / : * ? \" < > | "
                                  "or control characters.")
                .arg(quoted);
    }
    if (name.endsWith('.') || name.endsWith(' ') || name.startsWith(' '))
        return QStringLiteral("The name %1 cannot be used: a file name may not begin with a blank or end "
                              "with a dot or a blank.")
            .arg(quoted);
    // Device names that the system refuses as file names, with or without an extension.
    const QString stem = name.section('.', 0, 0).toUpper();
    static const QStringList reserved = {"CON", "PRN", "AUX", "NUL", "COM1", "COM2", "COM3", "COM4", "COM5",
                                         "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4",
                                         "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
    if (reserved.contains(stem))
        return QStringLiteral("The name %1 cannot be used: it is reserved by the system.").arg(quoted);
    // ".wav" is added to the name; keep the whole within what file systems accept.
    if (name.toUtf8().size() + 4 > 255)
        return QStringLiteral("The name %1 is too long for a file name.").arg(quoted);
    return {};
}

QStringList filesWithBaseName(const QString& nativeFolder, const QString& name)
{
    QStringList out;
    const QFileInfoList entries =
        QDir(nativeFolder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& e : entries) {
        if (!e.isFile() && !e.isSymLink()) // a link goes, never what it points at
            continue;
        const QString file = e.fileName();
        const int dot = file.lastIndexOf('.');
        const bool same = file.compare(name, Qt::CaseInsensitive) == 0
                          || (dot >= 0 && file.left(dot).compare(name, Qt::CaseInsensitive) == 0);
        if (same)
            out << e.filePath();
    }
    return out;
}

int gaugePercent(int64_t position, int64_t length)
{
    if (length <= 0)
        return -1;
    return static_cast<int>(roundHalfEven(double(position) * 100.0 / double(length)));
}

} // namespace tamblor::send
