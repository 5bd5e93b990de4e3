// The networked port on POSIX sockets (net_port_posix.cpp), and the waits of serial_posix.cpp
// that it shares: the same interrupt ends the waits of both kinds of port.
#pragma once

#include <memory>
#include <string>

#include "platform/serial_os.h"

namespace ovx::platform::detail {

// Polls fd for events until the deadline; returns revents, 0 on time-out.
short PollFd(int fd, short events, Deadline deadline);
// The same, ended early by InterruptWaits (then 0); fd < 0 polls nothing.
short PollFdInterruptible(int fd, short events, Deadline deadline);

// Connects to address ("tcp://HOST:PORT" or "rfc2217://HOST:PORT", net_address.h) within 2 s
// and, over RFC 2217, sets the remote line to settings. On failure returns nullptr, sets error
// (kComNoPortFound for a bad address or an unknown host, kComCannotOpenPort when the server
// refuses or does not answer) and reason ("cannot connect to ADDRESS: connection refused.").
std::unique_ptr<OsPort> OpenNetPort(const std::string& address, const LineSettings& settings,
                                    int& error, std::string& reason);

} // namespace ovx::platform::detail
