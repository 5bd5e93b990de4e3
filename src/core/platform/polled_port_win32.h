// What every serial OS file on Windows shares, whatever its handle is (a COM port, a pipe): the
// waits for queued bytes, the interrupt that ends them (Ctrl-C), and the readable hook, served by
// a probe of the event wait (pollable_win32.h). A kind of handle says how long its queue is, and
// reads and writes; one that can wait in the system for bytes does (a COM port reads ahead with
// a time-out), else a wait looks at the queue about once a millisecond, in a wait on the
// interrupt's event: never a spin, and Ctrl-C ends it at once.
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
// Waits until handle is signalled, the deadline passes or (interruptible) an interrupt comes;
// true when the handle was signalled.
bool WaitForHandle(HANDLE handle, Deadline deadline, bool interruptible);

class PolledPort : public OsPort {
  public:
    explicit PolledPort(HANDLE handle); // takes the handle; closes it when destroyed
    ~PolledPort() override;

    int InQueueLength() override; // Queued(); a line found gone is marked so
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
    // The queue length without side effects on the watch (-1: the line is gone). A port whose
    // queue is a read-ahead of its own takes what has arrived into it first.
    virtual int Queued() = 0;
    // Waits until count bytes are queued, the deadline passes, the line goes, or (interruptible)
    // an interrupt comes. This one looks at the queue once a millisecond.
    virtual void WaitQueued(int count, Deadline deadline, bool interruptible);

  private:
    // What the watch's handler owns: it outlives the port when the hook closes the port.
    using HookState = std::function<void()>;

    HANDLE handle_;
    bool hungUp_ = false;
    int readableCount_ = 1;
    std::shared_ptr<HookState> hookState_ = std::make_shared<HookState>();
    int pollable_ = 0; // the probe the readable watch is served by
    int watch_ = 0;    // the readable watch (events.h), made with the first hook
};

} // namespace ovx::platform::detail
