#pragma once
// Creates each window on first use and raises it afterwards: one instance per window.
#include <QHash>
#include <QPointer>
#include <QString>
#include <functional>

namespace tamblor {

class Application;
class Form;

class WindowRegistry {
public:
    using Factory = std::function<Form*(Application&)>;

    explicit WindowRegistry(Application& app) : app_(app) {}

    void registerWindow(const QString& name, Factory factory) { factories_[name] = std::move(factory); }
    bool isRegistered(const QString& name) const { return factories_.contains(name); }

    // Shows the window modeless, creating and loading it first when needed; nullptr when no
    // window of that name is registered. A failure of the load is passed on and the window is
    // removed again.
    Form* show(const QString& name);
    // Creates and loads the window without showing it (nullptr when unknown).
    Form* load(const QString& name);
    // The open window of that name, or nullptr.
    Form* find(const QString& name) const;
    template <class T> T* find(const QString& name) const { return qobject_cast<T*>(find(name)); }
    template <class T> T* show(const QString& name) { return qobject_cast<T*>(show(name)); }

    // Removes every open window but `except` at once, without unload handlers.
    void destroyAll(Form* except = nullptr);

private:
    Application& app_;
    QHash<QString, Factory> factories_;
    QHash<QString, QPointer<Form>> open_;
};

} // namespace tamblor
