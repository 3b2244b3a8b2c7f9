#include "app/frmNotices.h"
#include "app/Application.h"
#include "app/Controls.h"
#include "core/TimeText.h"
#include "platform/Clock.h"
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tamblor {

namespace {

enum Column { TimeColumn, SourceColumn, TextColumn };

QString severityWord(const Notice& n)
{
    switch (n.severity) {
    case Notice::Severity::Info: return {};
    case Notice::Severity::Warning: return QStringLiteral("Warning: ");
    case Notice::Severity::Error: return QStringLiteral("Error: ");
    }
    return {};
}

} // namespace

frmNotices::frmNotices(Application& app) : Form(app, WindowName::frmNotices)
{
    setWindowTitle("Notices");
    lstNotices = controls::named(new QTreeWidget(this), "lstNotices");
    lstNotices->setColumnCount(3);
    lstNotices->setHeaderLabels({"Time", "Source", "Notice"});
    lstNotices->setRootIsDecorated(false);
    lstNotices->setUniformRowHeights(false);
    lstNotices->setWordWrap(true);
    lstNotices->header()->setStretchLastSection(true);
    lstNotices->setColumnWidth(TimeColumn, fontMetrics().horizontalAdvance("12/31/2026 00:00:00") + 16);
    lstNotices->setColumnWidth(SourceColumn, fontMetrics().horizontalAdvance("silence alarm") + 24);
    lstNotices->setMinimumSize(560, 240);
    cmdClose = controls::button(this, "cmdClose", "Close");
    connect(cmdClose, &QPushButton::clicked, this, &frmNotices::cmdClose_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lstNotices, 1);
    layout->addLayout(buttons);

    for (const Notice& n : app.notices().history())
        add(n, severityWord(n));
    connect(&app.notices(), &Notices::posted, this, [this](const Notice& n) { add(n, severityWord(n)); });
    connect(&app.notices(), &Notices::cleared, this, [this](const Notice& n) {
        Notice over = n;
        over.time = this->app().clock().now();
        add(over, QStringLiteral("Over: "));
    });
    resize(720, 360);
}

QString frmNotices::timeText(const QDateTime& time, const QString& dateSeparator)
{
    return dateText(time.date(), dateSeparator) + ' ' + time.time().toString("HH:mm:ss");
}

void frmNotices::add(const Notice& notice, const QString& what)
{
    auto* item = new QTreeWidgetItem;
    item->setText(TimeColumn, timeText(notice.time, app().clock().dateSeparator()));
    item->setText(SourceColumn, notice.source);
    QString text = what + notice.text;
    if (!notice.subject.isEmpty() && !notice.text.contains(notice.subject))
        text += " (" + notice.subject + ")";
    item->setText(TextColumn, text);
    item->setToolTip(TextColumn, text);
    if (notice.severity != Notice::Severity::Info && what != QStringLiteral("Over: "))
        item->setForeground(TextColumn, QColor(176, 0, 0));
    lstNotices->insertTopLevelItem(0, item); // the newest first
    if (size_t(lstNotices->topLevelItemCount()) > Notices::Kept)
        delete lstNotices->takeTopLevelItem(lstNotices->topLevelItemCount() - 1);
}

void frmNotices::cmdClose_Click() { close(); }

} // namespace tamblor
