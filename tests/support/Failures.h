#pragma once
// What a call that should fail threw: the Failure's number, or 0 when it returned.
#include "platform/Failure.h"
#include <utility>

template <class Call> int failureNumber(Call&& call)
{
    try {
        std::forward<Call>(call)();
    } catch (const tamblor::Failure& f) {
        return f.number();
    }
    return 0;
}
