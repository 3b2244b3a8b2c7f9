#include "app/EndSignals.h"
#include <QGuiApplication>

namespace tamblor {

EndSignals::EndSignals(std::function<void()> end, QObject* parent)
    : QObject(parent), end_(std::move(end)), signals_([this] { end_(); })
{
    // Logout: the session manager asks the program to save its data before it goes.
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(gui, &QGuiApplication::commitDataRequest, this, [this] { end_(); });
    }
}

} // namespace tamblor
