#include "program/Windows.h"
#include "app/Application.h"

namespace tamblor {

void registerWindows(Application& app)
{
    (void)app; // the tool windows register here as they are built
}

} // namespace tamblor
