// Waiting in a test for something another party does (the virtual controller's thread, a
// notification, a timer): turns of the core's event wait until it has happened.
#pragma once

#include <algorithm>

#include "platform/events.h"
#include "platform/timing.h"

namespace ovx::testing {

// Runs turns of platform::WaitForEvents until pred() holds or timeoutSeconds pass; returns
// pred(). Each turn ends within a few milliseconds, so a change made by another thread, which
// wakes no wait, is seen soon. With the window's hook installed a turn processes its events.
template <typename Pred> bool WaitUntil(Pred pred, double timeoutSeconds = 5.0) {
    constexpr double kTurn = 0.002;
    const double end = platform::Timer() + timeoutSeconds;
    while (!pred() && platform::Timer() < end) {
        platform::WaitForEvents(std::min(platform::Timer() + kTurn, end));
    }
    return pred();
}

} // namespace ovx::testing
