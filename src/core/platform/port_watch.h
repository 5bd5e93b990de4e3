// Watching the device of an open port: once a second, and only while a port is watched, the
// watch looks whether the device is still there (its node exists and the line has not hung up).
// A device that disappeared is told once; then the watch looks for the same device coming back:
// one with the same USB vendor and product ids and serial number (it may come back under
// another name), or, for a device without ids (a pty), the same path. That is told once too, and
// the watch ends. A port is watched from a successful OpenComConfig until CloseCom.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ovx::platform {

// gone(port, device): the open port's device disappeared. back(port, device): the same device is
// present again, under the path device. Hooks run inside event processing of the UI thread;
// back only while no blocking sequence processes events (a command's waiting loop), so a
// question it asks never holds a command's time-outs. Empty hooks: nothing is told.
using PortWatchHook = std::function<void(int port, const std::string& device)>;
void SetPortWatchHooks(PortWatchHook gone, PortWatchHook back);

namespace detail {
void StartPortWatch(int port, const std::string& device); // serial.cpp, on a successful open
void StopPortWatch(int port);                             // serial.cpp, on CloseCom
bool PortLineHungUp(int port);                            // serial.cpp
// serial_posix.cpp: the device node (a link followed) exists.
bool DeviceNodeExists(const std::string& device);

// The serial devices present, each with its identity ("067b:2303#A1B2" for a USB adapter: vendor
// and product ids and serial number; "" for a device without ids). Tests set the list the watch
// sees; an empty lister means the system's list.
struct ListedPort {
    std::string device;
    std::string identity;
};
using PortLister = std::function<std::vector<ListedPort>()>;
void SetPortLister(PortLister lister);
void PortWatchTick(); // one look, as the watch's timer takes once a second
} // namespace detail

} // namespace ovx::platform
