// A serial device server on loopback in front of the virtual controller: ovextar-sim on a pty
// and the system's ser2net serving that pty on two ports of 127.0.0.1, one raw TCP and one
// Telnet with COM port control. The raw port's line is 19200 8N1; the Telnet port opens the pty
// at 9600 7E2, so a client that sets the line is seen on the pty. Both send what the pty gives
// at once (no character delay), as a device server for this controller should. Everything ends with
// the fixture; nothing listens beyond loopback.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/scratch_dir.h"

namespace ovx::testing {

class DeviceServer {
  public:
    DeviceServer() = default;
    ~DeviceServer();
    DeviceServer(const DeviceServer&) = delete;
    DeviceServer& operator=(const DeviceServer&) = delete;

    // Starts the controller with simArgs (after --link) and the server; false with the reason.
    bool Start(const std::vector<std::string>& simArgs, std::string& error);
    std::string RawAddress() const { return "tcp://127.0.0.1:" + std::to_string(rawPort_); }
    std::string TelnetAddress() const {
        return "rfc2217://127.0.0.1:" + std::to_string(telnetPort_);
    }
    const std::string& Pty() const { return pty_; } // the controller's device, for direct runs
    // Ends the server at once, as a device server that is switched off.
    void StopServer();
    // Starts the server again on the same ports, as a device server switched on again.
    bool RestartServer(std::string& error);

  private:
    bool StartServer(std::string& error);
    bool StartServerOnPorts(std::string& error);
    bool ServerHolds(int port) const; // ser2net listens on port (not another program)

    ScratchDir dir_;
    ChildProcess sim_;
    std::optional<ChildProcess> server_; // one process a start
    std::string pty_;
    int rawPort_ = 0;
    int telnetPort_ = 0;
};

// A port of 127.0.0.1 that nothing listens on now.
int FreeLoopbackPort();

} // namespace ovx::testing
