#include "program/Windows.h"
#include "app/Application.h"
#include "editor/frmEditor.h"

namespace tamblor {

void registerWindows(Application& app)
{
    (void)app; // the tool windows register here as they are built
    app.windows().registerWindow("frmEditor", [](Application& a) { return new frmEditor(a); });
}

} // namespace tamblor
