#pragma once

#include "platform/timing.h"
#include "ui/panel.h"

namespace ovx::testing {

template <typename Pred> bool WaitUntil(Pred pred, double timeoutSeconds) {
    const double start = platform::Timer();
    while (!pred() && platform::Timer() - start < timeoutSeconds) {
        ui::ProcessSystemEvents();
    }
    return pred();
}

} // namespace ovx::testing
