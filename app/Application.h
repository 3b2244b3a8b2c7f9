#pragma once
// Everything the program shares, in one object that main creates (and each test creates
// afresh): the shared settings, drives, clock and locale, the window registry, the prompt
// service and the audio backend. There are no globals. The parts above this layer (the sound
// library and its recorder) are made beside it and add their own start-up steps.
#include "app/SharedState.h"
#include "app/WindowRegistry.h"
#include "platform/Clock.h"
#include "platform/DriveMap.h"
#include <QObject>
#include <any>
#include <functional>
#include <memory>
#include <typeindex>
#include <unordered_map>
#include <vector>

namespace tamblor {

namespace audio {
class AudioBackend;
}
class MenuNotice;
class PromptService;

class Application : public QObject {
    Q_OBJECT
public:
    // An empty root means $TAMBLOR_ROOT or the per-user application data folder.
    explicit Application(const QString& root = QString());
    ~Application() override;

    SharedState& state() { return state_; }
    DriveMap& drives() { return drives_; }
    Clock& clock() { return clock_; }
    WindowRegistry& windows() { return windows_; }
    PromptService& prompts() { return *prompts_; }
    // The sound cards, chosen once at start-up (TAMBLOR_AUDIO=virtual for the virtual one).
    audio::AudioBackend& audio() { return *audio_; }
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

    // A start-up step of a part made beside the application (the sound library opens its
    // index): run by start() after the settings are read, at once when start-up has run. A
    // step that throws fails the start as a failure of start-up does.
    void addStartStep(std::function<void()> step);
    // Runs the start-up steps; the main menu calls it while it loads.
    void runStartSteps();
    bool isStarted() const { return started_; }

    // Opens the main menu, which initialises the application. False when start-up failed
    // (the reason has been shown to the operator).
    bool start();
    // Ends the program at once: every window but the main menu goes away without its unload
    // handler and programEnded() is emitted (the sound library closes its index then).
    void endProgram();
    // An end from outside (SIGTERM, logout): the program ends as when the operator closes the
    // main menu, but nothing is asked first.
    void endFromOutside();
    bool isEnding() const { return ending_; }

signals:
    // The program is about to end (main menu closed, SIGTERM, logout): a take under way is
    // finished and kept before the windows go.
    void programEnding();
    void programEnded();
    // Apply in the preferences stored new settings; open windows take them.
    void settingsApplied();

private:
    DriveMap drives_;
    Clock clock_;
    SharedState state_;
    WindowRegistry windows_;
    std::unique_ptr<PromptService> prompts_;
    MenuNotice* menuNotice_ = nullptr;
    std::unique_ptr<audio::AudioBackend> audio_;
    std::unordered_map<std::type_index, std::any> fields_;
    std::vector<std::function<void()>> startSteps_;
    bool started_ = false;
    bool ending_ = false;
};

} // namespace tamblor
