// Windows has no descriptor that a wait can watch for a serial port's input queue (and
// WaitCommEvent is not to be relied on), so a watch's number there names a probe: a function
// that tells whether the thing it stands for is ready, and one that waits in the system until it
// is or a deadline passes. The event wait (events_win32.cpp) lets the one armed watch wait, in
// slices so that a wake-up is seen; with several, it asks their probes once a millisecond.
#pragma once

#include <chrono>
#include <functional>

namespace ovx::platform::detail {

using PollableWait = std::function<void(std::chrono::steady_clock::time_point deadline)>;

// Registers a probe and its wait; returns the number (> 0) to give AddWatch as its descriptor.
int AddPollable(std::function<bool()> ready, PollableWait wait);
void RemovePollable(int id);
// Asks the probe at once (a program with its own event loop, the window, polls through this);
// false for an unknown id.
bool PollableReady(int id);

} // namespace ovx::platform::detail
