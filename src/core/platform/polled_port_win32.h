// What every serial OS file on Windows shares, whatever its handle is (a COM port, a pipe):
// nothing reliable tells when bytes arrive, so a wait for queued bytes looks at the input queue
// about once a millisecond, in a wait on an event that an interrupt sets (never a spin, and
// Ctrl-C ends it at once); the readable hook is served by a probe of the event wait
// (pollable_win32.h). A kind of handle says how long its queue is, and reads and writes.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "platform/serial_os.h"

namespace ovx::platform::detail {

// Milliseconds until deadline, rounded up so that a wait never ends before it.
DWORD MillisecondsUntil(Deadline deadline);
// Waits on the interrupt until deadline, or at most maxMs; true when interrupted.
bool WaitInterruptible(Deadline deadline, DWORD maxMs = INFINITE);

class PolledPort : public OsPort {
  public:
    explicit PolledPort(HANDLE handle); // takes the handle; closes it when destroyed
    ~PolledPort() override;

    int InQueueLength() override;
    void WaitForMoreThan(int have, Deadline deadline) override;
    int WaitForCount(int count, Deadline deadline) override;
    bool HungUp() const override { return hungUp_; }
    void SetReadableHook(std::function<void()> hook) override;
    void SetReadableCount(int count) override;
    void EnableReadableHook(bool on) override;

  protected:
    HANDLE Handle() const { return handle_; }
    // Marks the line as gone for good and stops the hook; returns kComUnknownIoError.
    int LineGone();
    // The queue length without side effects on the watch (-1: the line is gone).
    virtual int Queued() const = 0;

  private:
    // What the watch's handler owns: it outlives the port when the hook closes the port.
    using HookState = std::function<void()>;

    // Waits until the queue holds at least count bytes or the deadline passes; the length, or
    // kComUnknownIoError. With interruptible, an interrupt ends it too.
    int PollQueue(int count, Deadline deadline, bool interruptible);

    HANDLE handle_;
    bool hungUp_ = false;
    int readableCount_ = 1;
    std::shared_ptr<HookState> hookState_ = std::make_shared<HookState>();
    int pollable_ = 0; // the probe the readable watch is served by
    int watch_ = 0;    // the readable watch (events.h), made with the first hook
};

} // namespace ovx::platform::detail
