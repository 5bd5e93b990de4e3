#include "platform/events.h"

#include <algorithm>

#include "platform/timing.h"

namespace ovx::platform {

namespace {

EventHook eventHook = nullptr;

// Without a hook a turn waits at most this long, so that a loop polling a flag notices it.
constexpr double kLongestTurn = 0.002;

} // namespace

void WaitForEvents(double until) {
    if (eventHook != nullptr) {
        eventHook();
        return;
    }
    const double left = until - Timer();
    if (left > 0.0) {
        Delay(std::min(left, kLongestTurn));
    }
}

void SetEventHook(EventHook hook) {
    eventHook = hook;
}

bool EventHookInstalled() {
    return eventHook != nullptr;
}

} // namespace ovx::platform
