#pragma once
// "Notices": every notice told since the program started (results of record events, alarms and
// their end, failures), newest at the top, with its time and source; the message window shows
// only the newest. A condition still raised is marked until it clears.
#include "app/Form.h"
#include "core/Notices.h"

class QTreeWidget;
class QTreeWidgetItem;
class QPushButton;

namespace tamblor {

class frmNotices : public Form {
    Q_OBJECT
public:
    explicit frmNotices(Application& app);

    // The time as the main menu writes dates: "12/07/2026 17:00:03".
    static QString timeText(const QDateTime& time, const QString& dateSeparator);

    void cmdClose_Click();

private:
    void add(const Notice& notice, const QString& what);

    QTreeWidget* lstNotices;
    QPushButton* cmdClose;
};

} // namespace tamblor
