// The event hook of the core: the one call every waiting loop of the core makes once a turn
// (the receive wait of a command, the live loop, the data-block poll). A program with a window
// installs its event processing as the hook (events, nested callbacks, repaints); a program
// without one installs nothing, and the loop then waits in the OS.
//
// Watches and timers: a handler that runs when a descriptor is readable, or at a deadline,
// always inside event processing (a turn of WaitForEvents, or the window's event loop), never
// while it runs already, and at most once a turn. Without a watch backend the core serves them
// itself in WaitForEvents; the window installs a backend that maps them to its event loop.
// All calls are made from the thread that runs the waiting loops.
#pragma once

#include <functional>

namespace ovx::platform {

// One turn of a waiting loop. With a hook installed, the hook runs once with `until`: it
// processes what is pending and, when nothing is, waits for the next event but not past
// `until`. Without one, waits in the OS until an enabled watch is ready or a timer is due (whose
// handlers then run) or until `until` (Timer() seconds) has passed, never spinning; a signal, or
// WakeEventWait, ends the turn early. Either way a loop wakes only when something happened or
// its deadline came: what it looks at between turns must change by an event, or the loop must
// pass the nearer time at which it wants to look again. An `until` already past processes what
// is pending and returns.
void WaitForEvents(double until);

using EventHook = void (*)(double until);
// nullptr removes it.
void SetEventHook(EventHook hook);
bool EventHookInstalled();

// A blocking sequence is processing events (a command's waiting loop): a WaitForEvents turn, or
// the window's own event processing between EnterEventSequence and LeaveEventSequence.
// Questions that would hold the sequence's time-outs wait until it is over.
void EnterEventSequence();
void LeaveEventSequence();
bool InsideEventSequence();

// Ends a running (or the next) WaitForEvents turn without a hook. Async-signal-safe.
void WakeEventWait();

// Called before every blocking service (a read that waits, a delay, a queue wait): the window
// paints what is pending, since no events are processed while the service blocks.
using BlockingHook = void (*)();
void SetBlockingHook(BlockingHook hook); // nullptr = none
void BeforeBlocking();                   // the services call it

using WatchHandler = std::function<void()>;

// Watches fd for readability (also a hang-up or an error, which the handler then finds). Starts
// disabled; returns its id (> 0). The handler is kept until RemoveWatch.
int AddWatch(int fd, WatchHandler handler);
void EnableWatch(int id, bool on);
// Safe inside the watch's own handler; unknown ids are ignored.
void RemoveWatch(int id);

// A one-shot timer: the handler runs once, at the first turn after the deadline. Starts stopped.
int AddTimer(WatchHandler handler);
// (Re)starts it to run in seconds from now.
void StartTimer(int id, double seconds);
void StopTimer(int id);
bool TimerActive(int id);
void RemoveTimer(int id); // safe inside its own handler

// What a program with its own event loop supplies: it is told about every watch and timer, and
// calls ServeWatch / ServeTimer from inside its event processing when they are ready.
class WatchBackend {
  public:
    virtual ~WatchBackend() = default;
    virtual void WatchAdded(int id, int fd) = 0;
    // on: the watch is enabled and its handler is not running.
    virtual void WatchArmed(int id, bool on) = 0;
    virtual void WatchRemoved(int id) = 0;
    virtual void TimerStarted(int id, double seconds) = 0;
    virtual void TimerStopped(int id) = 0; // also when the timer is removed
};
// nullptr: the core serves watches and timers in WaitForEvents. Existing watches and timers
// move to the new backend.
void SetWatchBackend(WatchBackend* backend);
// Called by the backend when the descriptor of id is readable, or the timer id is due.
void ServeWatch(int id);
void ServeTimer(int id);

} // namespace ovx::platform
