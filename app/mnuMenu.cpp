#include "app/mnuMenu.h"
#include "app/Application.h"
#include "app/Controls.h"
#include "app/MenuNotice.h"
#include "app/PromptService.h"
#include "core/Notices.h"
#include "core/TimeText.h"
#include "platform/Failure.h"
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QVBoxLayout>

namespace tamblor {

mnuMenu::mnuMenu(Application& app) : Form(app, WindowName::mnuMenu)
{
    setWindowTitle("Tamblor");

    const FilesMenuBar menus = addFilesMenuBar();
    menuBar = menus.bar;
    connect(menus.exit, &QAction::triggered, this, &mnuMenu::mnuExit_Click);

    QMenu* setup = menuBar->addMenu("Setup");
    setup->setObjectName("mnuSetup");
    addOpener(setup, "mnuMyPref", "My Prefences", WindowName::frmMyPreferences);
    addOpener(setup, "mnuWebServer", "Web Server", WindowName::frmWebServer);

    addOpener(nullptr, "mnuWaveFiles", "WaveFiles", WindowName::frmWaveFiles);

    QMenu* tools = menuBar->addMenu("Tools");
    tools->setObjectName("mnuTools");
    // The editor works when opened, but the menu offers no visible way to it.
    addOpener(tools, "mnuEdit", "Edit", WindowName::frmEditor)->setVisible(false);
    addOpener(tools, "mnuNormalize", "Normalize", WindowName::frmNormalize);
    addOpener(tools, "mnuWaveGen", "Wave Generator", WindowName::frmWaveGen);
    addOpener(tools, "mnuRecordEvents", "Record Events", WindowName::frmRecordEvents);
    addOpener(tools, "mnuLogger", "Logger", WindowName::frmLogger);

    addOpener(nullptr, "mnuNotices", "Notices", WindowName::frmNotices);
    addOpener(nullptr, "mnuHelp", "Help", WindowName::frmHelp);
    addOpener(nullptr, "mnuAbout", "About", WindowName::frmAbout);

    lblClock = controls::label(this, "lblClock");
    lblClock->setAlignment(Qt::AlignCenter);
    QFont f = lblClock->font();
    f.setPointSize(f.pointSize() + 4);
    f.setBold(true);
    lblClock->setFont(f);
    lblClock->setMinimumWidth(lblClock->fontMetrics().horizontalAdvance("Wednesday  12/31/2026  Day  365  00:00:00") + 24);

    lblNotice = controls::label(this, "lblNotice");
    lblNotice->setAlignment(Qt::AlignCenter);
    lblNotice->setWordWrap(true); // a long event name goes on a second line, never cut

    // A raised alarm stays on the main menu until it clears, whatever the message window shows.
    lblAlarm = controls::label(this, "lblAlarm");
    lblAlarm->setAlignment(Qt::AlignCenter);
    lblAlarm->setWordWrap(true);
    lblAlarm->setTextFormat(Qt::PlainText);
    lblAlarm->setStyleSheet("color: rgb(176, 0, 0); font-weight: bold;");
    lblAlarm->setVisible(false);
    connect(&app.notices(), &Notices::posted, this, &mnuMenu::showAlarms);
    connect(&app.notices(), &Notices::cleared, this, &mnuMenu::showAlarms);

    Timer1 = controls::named(new QTimer(this), "Timer1");
    Timer1->setInterval(50);
    connect(Timer1, &QTimer::timeout, this, &mnuMenu::Timer1_Timer);

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar);
    layout->addWidget(lblClock);
    layout->addWidget(lblNotice);
    layout->addWidget(lblAlarm);
    layout->setContentsMargins(12, 12, 12, 12);
}

QAction* mnuMenu::addOpener(QMenu* menu, const QString& name, const QString& caption, WindowName window)
{
    QAction* a = menu ? menu->addAction(caption) : menuBar->addAction(caption);
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, [this, window] {
        // A window that cannot load (a settings or index file gone bad) is reported; the
        // program, and a recording under way in another window, go on.
        try {
            app().windows().show(window);
        } catch (const Failure& f) {
            app().showMessage(f.text());
        } catch (const std::exception& e) {
            app().showMessage(QString::fromLocal8Bit(e.what()));
        }
    });
    return a;
}

void mnuMenu::Form_Load()
{
    app().startUp();
    Timer1_Timer();
    Timer1->start();
}

void mnuMenu::Form_Unload(bool& cancel)
{
    if (MenuNotice* notice = app().menuNotice()) {
        const QString question = notice->endQuestion(app().clock().now());
        if (!question.isEmpty()
            && app().prompts().message(this, "Tamblor", question, QMessageBox::Yes | QMessageBox::No,
                                       QMessageBox::Question)
                   != QMessageBox::Yes) {
            cancel = true;
            return;
        }
    }
    app().endProgram();
}

void mnuMenu::mnuExit_Click()
{
    close();
}

void mnuMenu::Timer1_Timer()
{
    const QDateTime now = app().clock().now();
    lblClock->setText(clockText(now, app().clock()));
    MenuNotice* notice = app().menuNotice();
    const QString line = notice ? notice->line(now) : QString();
    if (lblNotice->text() != line)
        lblNotice->setText(line);
}

void mnuMenu::showAlarms()
{
    QStringList lines;
    for (const Notice& n : app().notices().raisedConditions())
        if (n.severity != Notice::Severity::Info)
            lines << "Alarm: " + n.text;
    lblAlarm->setText(lines.join('\n'));
    lblAlarm->setVisible(!lines.isEmpty());
}

QString mnuMenu::clockText(const QDateTime& now, const Clock& clock)
{
    const QDate d = now.date();
    const QString date =
        clock.locale().dayName(d.dayOfWeek(), QLocale::LongFormat) + "  " + dateText(d, clock.dateSeparator());
    // The day of the year is written with a blank where a sign would stand.
    const QString day = " " + QString::number(d.dayOfYear());
    return date + "  Day " + day + "  " + now.time().toString("hh:mm:ss");
}

} // namespace tamblor
