#include "platform/polled_port_win32.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <utility>

#include "platform/errors.h"
#include "platform/events.h"
#include "platform/pollable_win32.h"

namespace ovx::platform::detail {
namespace {

// Manual-reset: set by an interrupt until the waits resume. Made before main runs, so that a
// console handler only stores and sets.
volatile std::sig_atomic_t waitsInterrupted = 0;
const HANDLE interruptEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);

} // namespace

DWORD MillisecondsUntil(Deadline deadline) {
    const auto left = std::max(deadline - Clock::now(), Clock::duration::zero());
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<DWORD>(std::min<long long>(ms, INFINITE - 1));
}

bool WaitInterruptible(Deadline deadline, DWORD maxMs) {
    const DWORD wait = std::min(MillisecondsUntil(deadline), maxMs);
    return waitsInterrupted != 0 || WaitForSingleObject(interruptEvent, wait) == WAIT_OBJECT_0;
}

bool WaitForHandle(HANDLE handle, Deadline deadline, bool interruptible) {
    if (interruptible && waitsInterrupted != 0) {
        return false;
    }
    const std::array<HANDLE, 2> handles{handle, interruptEvent};
    return WaitForMultipleObjects(interruptible ? 2 : 1, handles.data(), FALSE,
                                  MillisecondsUntil(deadline)) == WAIT_OBJECT_0;
}

PolledPort::PolledPort(HANDLE handle) : handle_(handle) {
    timeBeginPeriod(1); // waits of a millisecond, not of the default 15.6 ms tick
}

PolledPort::~PolledPort() {
    RemoveWatch(watch_);
    RemovePollable(pollable_);
    CloseHandle(handle_);
    timeEndPeriod(1);
}

int PolledPort::LineGone() {
    hungUp_ = true;
    EnableWatch(watch_, false);
    return kComUnknownIoError;
}

int PolledPort::InQueueLength() {
    const int n = Queued();
    return n < 0 ? LineGone() : n;
}

void PolledPort::WaitQueued(int count, Deadline deadline, bool interruptible) {
    for (;;) {
        const int n = InQueueLength();
        if (n < 0 || n >= count || Clock::now() >= deadline) {
            return;
        }
        if (interruptible ? WaitInterruptible(deadline, 1) : (Sleep(1), false)) {
            return;
        }
    }
}

void PolledPort::WaitForMoreThan(int have, Deadline deadline) {
    if (!hungUp_ && have >= 0 && have < kMaxWaitCount) {
        WaitQueued(have + 1, deadline, false);
    }
    if (hungUp_ || have < 0 || have >= kMaxWaitCount) {
        while (Clock::now() < deadline) {
            Sleep(MillisecondsUntil(deadline)); // a dead line is slept out: never spin on it
        }
    }
}

int PolledPort::WaitForCount(int count, Deadline deadline) {
    if (waitsInterrupted != 0) {
        return InQueueLength();
    }
    WaitQueued(count, deadline, true);
    const int n = InQueueLength();
    if (n >= count || !hungUp_) {
        return n; // also what a line that went had delivered before
    }
    while (Clock::now() < deadline && !WaitInterruptible(deadline)) {
        // a dead line is slept out, as a live one that stays silent
    }
    return kComUnknownIoError;
}

void PolledPort::SetReadableHook(std::function<void()> hook) {
    if (!hook) {
        EnableWatch(watch_, false);
        *hookState_ = nullptr;
        SetReadableCount(1);
        return;
    }
    *hookState_ = std::move(hook);
    if (watch_ == 0) {
        // Ready when the count is queued, or when the line is gone (the handler finds out).
        pollable_ = AddPollable(
            [this] {
                const int n = Queued();
                return hungUp_ || n < 0 || n >= readableCount_;
            },
            [this](Deadline deadline) { WaitQueued(readableCount_, deadline, false); });
        watch_ = AddWatch(pollable_, [state = hookState_] {
            const auto current = *state; // the hook may destroy the port and replace the hook
            if (current) {
                current();
            }
        });
    }
}

void PolledPort::SetReadableCount(int count) {
    readableCount_ = std::clamp(count, 1, kMaxWaitCount);
}

void PolledPort::EnableReadableHook(bool on) {
    EnableWatch(watch_, on && !hungUp_ && *hookState_);
}

void InterruptWaits() {
    waitsInterrupted = 1;
    SetEvent(interruptEvent);
    WakeEventWait(); // a command's wait for its reply without a window
}

bool WaitsInterrupted() {
    return waitsInterrupted != 0;
}

void ResumeWaits() {
    waitsInterrupted = 0;
    ResetEvent(interruptEvent);
}

void SleepUnlessInterrupted(Deadline deadline) {
    while (Clock::now() < deadline && !WaitInterruptible(deadline)) {
    }
}

} // namespace ovx::platform::detail
