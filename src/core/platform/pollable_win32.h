// Windows has no descriptor that a wait can watch for a serial port's input queue (and
// WaitCommEvent is not to be relied on), so a watch's number there names a probe: a function
// that tells whether the thing it stands for is ready. The event wait (events_win32.cpp) asks
// the probes of the armed watches about once a millisecond while it waits.
#pragma once

#include <functional>

namespace ovx::platform::detail {

// Registers a probe; returns the number (> 0) to give AddWatch as its descriptor.
int AddPollable(std::function<bool()> ready);
void RemovePollable(int id);

} // namespace ovx::platform::detail
