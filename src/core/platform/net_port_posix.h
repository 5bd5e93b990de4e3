// The networked port on POSIX sockets (net_port_posix.cpp), and the waits of serial_posix.cpp
// that it shares: the same interrupt ends the waits of both kinds of port.
#pragma once

#include "platform/serial_os.h"

namespace ovx::platform::detail {

// Polls fd for events until the deadline; returns revents, 0 on time-out.
short PollFd(int fd, short events, Deadline deadline);
// The same, ended early by InterruptWaits (then 0); fd < 0 polls nothing.
short PollFdInterruptible(int fd, short events, Deadline deadline);

} // namespace ovx::platform::detail
