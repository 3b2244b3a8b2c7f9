#include "audio/files/ChainLink.h"
#include "platform/Failure.h"

namespace tamblor::audio {

ChainLink& ChainLinks::find(const QString& name) const
{
    const auto it = links_.find(name);
    if (it == links_.end())
        throw Failure(Failure::InvalidPropertyValue,
                      Failure::describe(Failure::InvalidPropertyValue) + ": no link " + name);
    return *it->second;
}

} // namespace tamblor::audio
