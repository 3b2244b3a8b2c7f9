#include "program/Windows.h"
#include "app/Application.h"
#include "app/prefs/frmMyPreferences.h"
#include "send/frmSend.h"

namespace tamblor {

void registerWindows(Application& app)
{
    app.windows().registerWindow("frmMyPreferences", [](Application& a) { return new frmMyPreferences(a); });
    app.windows().registerWindow("frmSend", [](Application& a) { return new frmSend(a); });
}

} // namespace tamblor
