#pragma once
// The windowed program's shell over the core (drives, clock, settings, sound cards, notices):
// the window registry, the prompt service, the main menu's notice and the message window,
// where every notice of the core is shown. Main creates it, and each test afresh; there are no
// globals.
#include "app/WindowRegistry.h"
#include "core/Core.h"
#include <any>
#include <functional>
#include <memory>
#include <typeindex>
#include <unordered_map>
#include <vector>

namespace tamblor {

class MenuNotice;
class PromptService;

class Application : public Core {
    Q_OBJECT
public:
    // An empty root means $TAMBLOR_ROOT or the per-user application data folder.
    explicit Application(const QString& root = QString());
    ~Application() override;

    WindowRegistry& windows() { return windows_; }
    PromptService& prompts() { return *prompts_; }
    void setPrompts(std::unique_ptr<PromptService> prompts);
    // What the main menu shows under its clock and asks before the operator ends the program;
    // none by default. Not owned: whoever sets it clears it before it goes.
    MenuNotice* menuNotice() const { return menuNotice_; }
    void setMenuNotice(MenuNotice* notice) { menuNotice_ = notice; }

    // Fields of a window that outlive the window itself (closing and reopening it keeps them).
    template <class T> T& fields()
    {
        auto& slot = fields_[std::type_index(typeid(T))];
        if (!slot.has_value())
            slot = std::make_shared<T>();
        return *std::any_cast<std::shared_ptr<T>&>(slot);
    }

    // The message window: shows it modeless and replaces its text; never blocks.
    void showMessage(const QString& text);
    // Shows the message window with its current text followed by `more`.
    void appendMessage(const QString& more);
    // The text the message window shows now (empty when it is not open).
    QString messageText() const;


    // Opens the main menu, which initialises the application. False when start-up failed
    // (the reason has been shown to the operator).
    bool start();
    // An end from outside (SIGTERM, logout): the program ends as when the operator closes the
    // main menu, but nothing is asked first.
    void endFromOutside();

protected:
    // Every window but the main menu goes away without its unload handler.
    void closeBeforeEnd() override;

private:
    WindowRegistry windows_;
    std::unique_ptr<PromptService> prompts_;
    MenuNotice* menuNotice_ = nullptr;
    std::unordered_map<std::type_index, std::any> fields_;
};

} // namespace tamblor
