// The event hook of the core: the one call every waiting loop of the core makes once a turn
// (the receive wait of a command, the live loop, the data-block poll). A program with a window
// installs its event processing as the hook (events, nested callbacks, repaints); a program
// without one installs nothing, and the loop then waits in the OS.
#pragma once

namespace ovx::platform {

// One turn of a waiting loop. With a hook installed, the hook runs once (it may wait briefly
// when no event is pending). Without one, waits in the OS until something watched is ready
// (whose handler then runs) or until `until` (Timer() seconds) has passed, never spinning.
void WaitForEvents(double until);

using EventHook = void (*)();
// nullptr removes it.
void SetEventHook(EventHook hook);
bool EventHookInstalled();

} // namespace ovx::platform
