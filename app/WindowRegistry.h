#pragma once
// Creates each window on first use and brings it back afterwards (shown, un-minimized, raised,
// focused): one instance per window.
#include <QHash>
#include <QPointer>
#include "app/WindowName.h"
#include <QString>
#include <functional>

namespace tamblor {

class Application;
class Form;

class WindowRegistry {
public:
    using Factory = std::function<Form*(Application&)>;

    explicit WindowRegistry(Application& app) : app_(app) {}

    void registerWindow(WindowName name, Factory factory) { factories_[name.toString()] = std::move(factory); }
    bool isRegistered(WindowName name) const { return factories_.contains(name.toString()); }

    // Shows the window modeless, creating and loading it first when needed, restores it when
    // minimized, raises it and gives it the focus; nullptr when no window of that name is
    // registered. A failure of the load is passed on and the window is removed again.
    Form* show(WindowName name);
    // Shows the window as show() does and hands it `slot` (Form::openFor). A window of that
    // name opened later without a slot, by show(), is handed the slot last given to one of its
    // kind: the editor's Export opens the send-to window on the slot the library last sent.
    Form* showFor(WindowName name, int slot);
    // Creates and loads the window without showing it (nullptr when unknown).
    Form* load(WindowName name);
    // The open window of that name, or nullptr.
    Form* find(WindowName name) const;
    template <class T> T* find(WindowName name) const { return qobject_cast<T*>(find(name)); }
    template <class T> T* show(WindowName name) { return qobject_cast<T*>(show(name)); }

    // Removes every open window but `except` at once, without unload handlers.
    void destroyAll(Form* except = nullptr);

private:
    void bringForward(Form* f);

    Application& app_;
    QHash<QString, Factory> factories_;
    QHash<QString, QPointer<Form>> open_;
    QHash<QString, int> lastSlot_;
};

} // namespace tamblor
