#include "tests/support/LayoutCheck.h"
#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPixmap>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextEdit>

namespace layoutcheck {

namespace {

QString nameOf(const QWidget* w)
{
    const QString name = w->objectName().isEmpty() ? QString("(unnamed)") : w->objectName();
    return QString("%1 %2").arg(w->metaObject()->className(), name);
}

// The room a line edit gives its text.
int textRoom(const QLineEdit* box)
{
    QStyleOptionFrame opt;
    opt.initFrom(box);
    opt.rect = box->rect();
    opt.lineWidth = box->hasFrame() ? box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, box) : 0;
    const QMargins m = box->textMargins();
    return box->style()->subElementRect(QStyle::SE_LineEditContents, &opt, box).width() - m.left() - m.right() -
           4; // the box keeps two pixels each side
}

bool insideScrolledArea(const QWidget* w)
{
    for (const QWidget* p = w->parentWidget(); p; p = p->parentWidget()) {
        if (p->inherits("QAbstractScrollArea") && w != p)
            return true;
        if (p->isWindow())
            break;
    }
    return false;
}

} // namespace

QStringList clippedControls(const QWidget* window)
{
    QStringList out;
    const QList<QWidget*> all = window->findChildren<QWidget*>();
    for (const QWidget* w : all) {
        if (!w->isVisibleTo(window) || w->isWindow() || insideScrolledArea(w))
            continue;
        if (qobject_cast<const QScrollBar*>(w) || w->inherits("QMenu") || w->inherits("QFocusFrame"))
            continue;
        const QString name = nameOf(w);
        const QSize size = w->size();
        if (size.width() <= 0 || size.height() <= 0) {
            out << name + " has no room at all";
            continue;
        }
        // Out of its parent's area.
        const QWidget* parent = w->parentWidget();
        if (parent && !parent->rect().contains(w->geometry()))
            out << QString("%1 reaches outside %2").arg(name, nameOf(parent));

        // Below what its content needs.
        const QSize needed = w->minimumSizeHint();
        // (A list scrolls: what it needs is checked below, entry by entry.)
        if (needed.isValid() && !qobject_cast<const QMenuBar*>(w) && !qobject_cast<const QLabel*>(w) &&
            !w->inherits("QAbstractScrollArea") &&
            (size.width() < needed.width() || size.height() < needed.height()))
            out << QString("%1 is %2x%3, needs %4x%5")
                       .arg(name)
                       .arg(size.width())
                       .arg(size.height())
                       .arg(needed.width())
                       .arg(needed.height());

        if (auto* label = qobject_cast<const QLabel*>(w); label && !label->text().isEmpty() && label->pixmap().isNull()) {
            if (label->wordWrap()) {
                if (label->heightForWidth(size.width()) > size.height())
                    out << name + " cuts its wrapped text";
            } else if (label->sizeHint().width() > size.width() || label->sizeHint().height() > size.height()) {
                out << QString("%1 cuts \"%2\"").arg(name, label->text());
            }
        } else if (auto* box = qobject_cast<const QLineEdit*>(w); box && !box->text().isEmpty()) {
            if (box->fontMetrics().horizontalAdvance(box->text()) > textRoom(box))
                out << QString("%1 cuts \"%2\"").arg(name, box->text());
        } else if (auto* list = qobject_cast<const QListWidget*>(w)) {
            const int room = list->viewport()->width();
            for (int i = 0; i < list->count(); ++i) {
                const QString text = list->item(i)->text();
                if (list->fontMetrics().horizontalAdvance(text) + 6 > room)
                    out << QString("%1 cuts \"%2\"").arg(name, text);
            }
        } else if (auto* group = qobject_cast<const QGroupBox*>(w); group && !group->title().isEmpty()) {
            if (group->fontMetrics().horizontalAdvance(group->title()) + 16 > size.width())
                out << QString("%1 cuts \"%2\"").arg(name, group->title());
        }
    }
    return out;
}

QString screenshotFolder() { return qEnvironmentVariable("TAMBLOR_SCREENSHOT_DIR"); }

bool saveScreenshot(QWidget* window, const QString& name)
{
    const QString folder = screenshotFolder();
    if (folder.isEmpty())
        return true;
    QDir().mkpath(folder);
    QCoreApplication::processEvents();
    return window->grab().save(folder + "/" + name + ".png");
}

} // namespace layoutcheck
