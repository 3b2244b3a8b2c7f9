#include "info/InfoServices.h"

namespace tamblor {

Registry& InfoServices::systemRegistry()
{
    if (!registry)
        registry = tamblor::systemRegistry();
    return *registry;
}

ProgramStarter& InfoServices::programStarter()
{
    if (!starter)
        starter = std::make_unique<ProcessStarter>();
    return *starter;
}

} // namespace tamblor
