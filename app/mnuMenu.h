#pragma once
// "Tamblor": the start-up window with the running clock and the menus that open every other
// window, and under the clock the application's menu notice (the next record event). Closing
// it ends the program; when the notice has a question (an event is due), it is asked first.
#include "app/Form.h"
#include <QDateTime>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QTimer;

namespace tamblor {

class Clock;

class mnuMenu : public Form {
    Q_OBJECT
public:
    explicit mnuMenu(Application& app);

    // "Saturday  12/05/2026  Day  339  08:07:51"
    static QString clockText(const QDateTime& now, const Clock& clock);

    void Timer1_Timer();
    // The conditions raised now (an alarm, a missing card), one line each under the clock.
    void showAlarms();
    void mnuExit_Click();

protected:
    void Form_Load() override;
    void Form_Unload(bool& cancel) override;

private:
    QAction* addOpener(QMenu* menu, const QString& name, const QString& caption, WindowName window);

    QMenuBar* menuBar;
    QLabel* lblClock;
    QLabel* lblNotice;
    QLabel* lblAlarm;
    QTimer* Timer1;
};

} // namespace tamblor
