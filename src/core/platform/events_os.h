// The small OS interface under the core's event wait: wait for any of a few descriptors to become
// readable, bounded by a deadline, and end such a wait from a signal handler. One file per OS
// implements this (events_posix.cpp).
#pragma once

#include <chrono>
#include <span>

namespace ovx::platform::detail {

struct PolledFd {
    int fd = -1;
    bool ready = false;   // readable, hung up or in error: the handler finds out which
    bool invalid = false; // no open descriptor: never ready again
};

// Waits until one of fds is ready, the deadline passes, a signal arrives or WakeOsWait is
// called; sets ready and invalid of each. A WakeOsWait before the wait ends it at once. Returns
// false when only the deadline ended it (perhaps a moment early: the caller looks at the clock).
bool WaitForReadable(std::span<PolledFd> fds, std::chrono::steady_clock::time_point deadline);
// Async-signal-safe.
void WakeOsWait();
// Forgets a WakeOsWait that no wait has taken yet: the interrupt it told of has been handled.
void ClearOsWake();

} // namespace ovx::platform::detail
