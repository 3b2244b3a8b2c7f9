#include "program/Windows.h"
#include "app/Application.h"
#include "tools/frmNormalize.h"
#include "tools/frmWaveGen.h"

namespace tamblor {

void registerWindows(Application& app)
{
    (void)app; // the tool windows register here as they are built
    app.windows().registerWindow("frmNormalize", [](Application& a) { return new frmNormalize(a); });
    app.windows().registerWindow("frmWaveGen", [](Application& a) { return new frmWaveGen(a); });
}

} // namespace tamblor
