#pragma once
// What the about window needs from the system: the registry and a way to start programs.
// Kept with the application object (app.fields<InfoServices>()), so a test can replace both
// before the window opens; the system's own are made on first use.
#include "platform/ProgramStarter.h"
#include "platform/Registry.h"
#include <memory>

namespace tamblor {

struct InfoServices {
    std::unique_ptr<Registry> registry;
    std::unique_ptr<ProgramStarter> starter;

    Registry& systemRegistry();
    ProgramStarter& programStarter();
};

} // namespace tamblor
