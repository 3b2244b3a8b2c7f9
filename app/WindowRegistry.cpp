#include "app/WindowRegistry.h"
#include "app/Form.h"

namespace tamblor {

Form* WindowRegistry::find(WindowName name) const
{
    auto it = open_.find(name.toString());
    return it == open_.end() ? nullptr : it->data();
}

Form* WindowRegistry::load(WindowName name)
{
    if (Form* f = find(name))
        return f;
    auto fac = factories_.find(name.toString());
    if (fac == factories_.end())
        return nullptr;
    Form* f = (*fac)(app_);
    open_[name.toString()] = f;
    try {
        f->load();
    } catch (...) {
        // A window whose load failed is not left half made: the next use starts afresh.
        open_.remove(name.toString());
        delete f;
        throw;
    }
    return f;
}

Form* WindowRegistry::show(WindowName name)
{
    const bool isNew = find(name) == nullptr;
    Form* f = load(name);
    if (!f)
        return nullptr;
    bringForward(f);
    const auto last = lastSlot_.constFind(name.toString());
    if (isNew && last != lastSlot_.constEnd())
        f->openFor(*last);
    return f;
}

Form* WindowRegistry::showFor(WindowName name, int slot)
{
    Form* f = load(name);
    if (!f)
        return nullptr;
    bringForward(f);
    lastSlot_[name.toString()] = slot;
    f->openFor(slot);
    return f;
}

void WindowRegistry::bringForward(Form* f)
{
    // A window chosen again comes back as the operator left it, but never iconic.
    if (f->isMinimized())
        f->setWindowState(f->windowState() & ~Qt::WindowMinimized);
    f->show();
    f->raise();
    f->activateWindow();
}

void WindowRegistry::destroyAll(Form* except)
{
    const auto windows = open_;
    open_.clear();
    for (auto it = windows.begin(); it != windows.end(); ++it) {
        if (it->data() == except)
            open_.insert(it.key(), *it); // the spared window stays registered
        else if (*it)
            delete it->data();
    }
}

} // namespace tamblor
