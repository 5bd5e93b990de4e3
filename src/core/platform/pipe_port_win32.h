// A named pipe used like a serial port: the virtual controller inside the program serves its
// line on one (\\.\pipe\...). It has no line settings and no time-outs of its own; the queue
// is what PeekNamedPipe sees, and the waits are those of every Windows port.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "platform/serial_os.h"

namespace ovx::platform::detail {

// Opens path again once its one instance is free (the server takes a client that closed and
// reopens a moment later). INVALID_HANDLE_VALUE with ERROR_PIPE_BUSY when it stays taken.
HANDLE OpenBusyPipe(const std::wstring& path);

// The port over a pipe client handle that CreateFileW gave for device; takes the handle. On
// failure nullptr, with error and reason as OpenOsPort sets them.
std::unique_ptr<OsPort> OpenPipePort(HANDLE handle, const std::string& device, int& error,
                                     std::string& reason);

} // namespace ovx::platform::detail
