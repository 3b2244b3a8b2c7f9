#include "program/Windows.h"
#include "app/Application.h"
#include "library/window/frmWaveFiles.h"

namespace tamblor {

void registerWindows(Application& app)
{
    (void)app; // the tool windows register here as they are built
    app.windows().registerWindow("frmWaveFiles", [](Application& a) { return new frmWaveFiles(a); });
}

} // namespace tamblor
