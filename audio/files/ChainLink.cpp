#include "audio/files/ChainLink.h"
#include "platform/Failure.h"

namespace tamblor::audio {

void ChainLink::beginCopy(const QString&)
{
    throw Failure(Failure::InvalidCall, Failure::describe(Failure::InvalidCall) + ": " + linkName() + " does not copy");
}

bool ChainLink::copySource(const std::function<bool(int64_t)>&) { return false; }

ChainLink& ChainLinks::find(const QString& name) const
{
    const auto it = links_.find(name);
    if (it == links_.end())
        throw Failure(Failure::InvalidPropertyValue,
                      Failure::describe(Failure::InvalidPropertyValue) + ": no link " + name);
    return *it->second;
}

} // namespace tamblor::audio
