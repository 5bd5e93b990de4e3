// WaitUntil of the window's tests is the core's: with the engine's hook installed each turn
// processes the window's events.
#pragma once

#include <QTest>

#include "platform/timing.h"
#include "support/wait_until.h"

namespace ovx::testing {

// Waits as the idle window does (its own event loop), not as a command's waiting loop: what the
// window does only between commands (the port watch's questions) happens meanwhile.
template <typename Pred> bool WaitIdle(Pred pred, double timeoutSeconds) {
    const double start = platform::Timer();
    while (!pred() && platform::Timer() - start < timeoutSeconds) {
        QTest::qWait(10);
    }
    return pred();
}

} // namespace ovx::testing
