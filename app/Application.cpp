#include "app/Application.h"
#include "app/PromptService.h"
#include "app/frmError.h"
#include "app/frmNotices.h"
#include "app/mnuMenu.h"
#include "platform/Failure.h"

namespace tamblor {

Application::Application(const QString& root)
    : Core(root), windows_(*this), prompts_(std::make_unique<DialogPromptService>())
{
    windows_.registerWindow(WindowName::mnuMenu, [](Application& a) { return new mnuMenu(a); });
    windows_.registerWindow(WindowName::frmError, [](Application& a) { return new frmError(a); });
    windows_.registerWindow(WindowName::frmNotices, [](Application& a) { return new frmNotices(a); });
    // Whatever the core has to tell goes to the message window; a condition cleared leaves the
    // message standing for the operator to read.
    connect(&notices(), &Notices::posted, this, [this](const Notice& n) {
        if (!isEnding())
            showMessage(n.text);
    });
}

Application::~Application()
{
    setEnding();
    windows_.destroyAll();
}

void Application::setPrompts(std::unique_ptr<PromptService> prompts)
{
    prompts_ = std::move(prompts);
}

void Application::showMessage(const QString& text)
{
    if (auto* w = windows_.show<frmError>(WindowName::frmError))
        w->setMessage(text);
}

void Application::appendMessage(const QString& more)
{
    showMessage(messageText() + more);
}

QString Application::messageText() const
{
    auto* w = windows_.find<frmError>(WindowName::frmError);
    return w ? w->message() : QString();
}

bool Application::start()
{
    try {
        windows_.show(WindowName::mnuMenu);
        return true;
    } catch (const Failure& f) {
        prompts_->message(nullptr, "Tamblor", f.text(), QMessageBox::Ok, QMessageBox::Critical);
    } catch (const std::exception& e) {
        prompts_->message(nullptr, "Tamblor", QString::fromLocal8Bit(e.what()), QMessageBox::Ok,
                          QMessageBox::Critical);
    }
    setEnding();
    windows_.destroyAll();
    return false;
}

void Application::endFromOutside()
{
    // Ending first means the main menu closes without its unload handler, which would ask.
    endProgram();
    if (QWidget* menu = windows_.find(WindowName::mnuMenu))
        menu->close();
}

void Application::closeBeforeEnd()
{
    windows_.destroyAll(windows_.find(WindowName::mnuMenu));
}

} // namespace tamblor
