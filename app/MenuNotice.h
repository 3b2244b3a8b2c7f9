#pragma once
// What the main menu shows and asks for the parts made above the application (the record
// events): a line under the clock, and a question before the operator ends the program. The
// main menu reads it on every tick of its clock; a part sets one with Application::setMenuNotice.
#include <QDateTime>
#include <QString>

namespace tamblor {

class MenuNotice {
public:
    virtual ~MenuNotice() = default;
    // The line under the clock at `now`; empty when there is nothing to say.
    virtual QString line(const QDateTime& now) = 0;
    // What to ask before the operator ends the program at `now` (Exit, or closing the main
    // menu); empty when the program may end without asking. An end from outside (SIGTERM,
    // logout) never asks.
    virtual QString endQuestion(const QDateTime& now) = 0;
};

} // namespace tamblor
