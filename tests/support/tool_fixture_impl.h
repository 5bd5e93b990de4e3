#pragma once

#include "platform/panel.h"
#include "platform/timing.h"

namespace ovx::testing {

template <typename Pred> bool WaitUntil(Pred pred, double timeoutSeconds) {
    const double start = platform::Timer();
    while (!pred() && platform::Timer() - start < timeoutSeconds) {
        platform::ProcessSystemEvents();
    }
    return pred();
}

} // namespace ovx::testing
