#include "app/Form.h"
#include "app/Application.h"
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>

namespace tamblor {

Form::Form(Application& app, WindowName name) : QWidget(nullptr), app_(app)
{
    setObjectName(name.toString());
    setAttribute(Qt::WA_DeleteOnClose); // closing unloads; the next use creates it afresh
}

void Form::load()
{
    if (loaded_)
        return;
    loaded_ = true;
    Form_Load();
}

Form::FilesMenuBar Form::addFilesMenuBar()
{
    auto* bar = new QMenuBar(this);
    bar->setObjectName("menuBar");
    bar->setNativeMenuBar(false);
    QMenu* files = bar->addMenu("Files");
    files->setObjectName("mnuFiles");
    QAction* exit = files->addAction("Exit");
    exit->setObjectName("mnuExit");
    return {bar, files, exit};
}

void Form::closeEvent(QCloseEvent* event)
{
    if (!app_.isEnding()) {
        bool cancel = false;
        Form_Unload(cancel);
        if (cancel) {
            event->ignore();
            return;
        }
    }
    event->accept();
}

} // namespace tamblor
