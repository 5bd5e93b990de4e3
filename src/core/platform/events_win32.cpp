// The event wait's OS interface on Windows: the watches' numbers name probes (pollable_win32.h).
// One armed watch waits in the system in slices, looking at the wake-up event between them;
// several are asked about once a millisecond. A turn with nothing to watch waits on the event
// that WakeOsWait sets until its deadline, in one call.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <utility>

#include "platform/events_os.h"
#include "platform/pollable_win32.h"

namespace ovx::platform::detail {
namespace {

using Clock = std::chrono::steady_clock;

// Auto-reset: the wait that sees it takes it. Made before main runs, so that a console handler
// only sets it.
const HANDLE wakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);

struct Pollable {
    std::function<bool()> ready;
    PollableWait wait;
};

constexpr auto kSlice = std::chrono::milliseconds(50);

int nextPollable = 1;
std::map<int, Pollable> pollables;

// Milliseconds until deadline, rounded up so that a wait never ends before it.
DWORD MillisecondsUntil(Clock::time_point deadline) {
    const auto left = std::max(deadline - Clock::now(), Clock::duration::zero());
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<DWORD>(std::min<long long>(ms, INFINITE - 1));
}

// Asks the probe of every fd; true when one is ready or invalid.
bool Probe(std::span<PolledFd> fds) {
    bool any = false;
    for (PolledFd& f : fds) {
        const auto it = pollables.find(f.fd);
        f.invalid = it == pollables.end();
        f.ready = !f.invalid && it->second.ready();
        any = any || f.ready || f.invalid;
    }
    return any;
}

// Takes a pending wake-up.
bool Woken() {
    return WaitForSingleObject(wakeEvent, 0) == WAIT_OBJECT_0;
}

} // namespace

int AddPollable(std::function<bool()> ready, PollableWait wait) {
    const int id = nextPollable++;
    pollables[id] = {std::move(ready), std::move(wait)};
    return id;
}

void RemovePollable(int id) {
    pollables.erase(id);
}

bool PollableReady(int id) {
    const auto it = pollables.find(id);
    return it != pollables.end() && it->second.ready();
}

bool WaitForReadable(std::span<PolledFd> fds, Clock::time_point deadline) {
    constexpr DWORD kProbeMs = 1;
    const auto one = fds.size() == 1 ? pollables.find(fds[0].fd) : pollables.end();
    if (one != pollables.end() && one->second.wait) {
        const PollableWait wait = one->second.wait; // the handler may remove the pollable
        while (!Probe(fds)) {
            if (Woken()) {
                return true;
            }
            if (Clock::now() >= deadline) {
                return false;
            }
            wait(std::min(deadline, Clock::now() + kSlice));
        }
        return true;
    }
    for (;;) {
        if (Probe(fds)) {
            return true;
        }
        const DWORD left = MillisecondsUntil(deadline);
        if (left == 0) {
            return false;
        }
        const DWORD wait = fds.empty() ? left : std::min(left, kProbeMs);
        if (WaitForSingleObject(wakeEvent, wait) == WAIT_OBJECT_0) {
            return true;
        }
        if (fds.empty()) {
            return false;
        }
    }
}

void ClearOsWake() {
    ResetEvent(wakeEvent);
}

void WakeOsWait() {
    SetEvent(wakeEvent);
}

} // namespace ovx::platform::detail
