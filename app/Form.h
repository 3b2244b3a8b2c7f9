#pragma once
// Base of every window: a modeless top-level widget with a load handler that runs when the
// window is created and an unload handler that runs when the operator closes it. When the
// program ends, windows go away without their unload handlers.
#include "app/WindowName.h"
#include <QWidget>

class QAction;
class QMenu;
class QMenuBar;

namespace tamblor {

class Application;

class Form : public QWidget {
    Q_OBJECT
public:
    // The window's object name is its registry name.
    Form(Application& app, WindowName name);

    Application& app() const { return app_; }
    // Runs Form_Load once; called by the window registry right after creation.
    void load();
    // Hands a window opened for one library slot (the entry to delete or send) its slot, after
    // it has been shown; windows that are about no slot ignore it.
    virtual void openFor(int slot) { Q_UNUSED(slot); }

protected:
    // The menu bar most windows start with: drawn in the window, never the desktop's
    // (objectName "menuBar"), with a "Files" menu (mnuFiles) whose one entry is "Exit"
    // (mnuExit). The window connects Exit itself and adds what else it needs.
    struct FilesMenuBar {
        QMenuBar* bar;
        QMenu* files;
        QAction* exit;
    };
    FilesMenuBar addFilesMenuBar();

    virtual void Form_Load() {}
    // Runs when the operator closes the window; set cancel to keep it open.
    virtual void Form_Unload(bool& cancel) { Q_UNUSED(cancel); }
    void closeEvent(QCloseEvent* event) override;

private:
    Application& app_;
    bool loaded_ = false;
};

} // namespace tamblor
