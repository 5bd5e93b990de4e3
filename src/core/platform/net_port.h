// What the networked ports of every OS share (net_port_posix.cpp, net_port_win32.cpp): the
// steps of an open (the address, the bounded name lookup, a connection to the first address
// that takes it, the Telnet opening and the line settings the server must confirm) with their
// reasons' texts, and the count of data bytes a partial write of their wire form carried.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "platform/net_resolve.h"
#include "platform/serial_os.h"
#include "platform/telnet_codec.h"

namespace ovx::platform::detail {

// The connection of a networked port as the shared steps use it; the OS file's port is one.
class NetWire {
  public:
    virtual ~NetWire() = default;
    // Sends bytes as they are (Telnet commands included) before the deadline; false if not all.
    virtual bool SendWire(const std::string& wire, Deadline deadline,
                          std::size_t* sent = nullptr) = 0;
    // Takes what the connection holds now into the read-ahead; false once the peer is gone.
    virtual bool Drain() = 0;
    // Waits for bytes to arrive; false on time-out or interrupt.
    virtual bool WaitIncoming(Deadline deadline) = 0;
    virtual TelnetDecoder& Decoder() = 0;
};

// Why a connection attempt failed, as the OS file tells it.
enum class ConnectFailure { kRefused, kNoAnswer, kUnreachable, kOther };

// The port an attempt made, and its connection; an empty port with failure (and, for kOther,
// the system's text) when the endpoint did not take the connection by the deadline.
struct NetConnection {
    std::unique_ptr<OsPort> port;
    NetWire* wire = nullptr;
    ConnectFailure failure = ConnectFailure::kNoAnswer;
    std::string systemText;
};

// One connection attempt of the OS file, ended early by InterruptWaits.
using NetConnect = std::function<NetConnection(const Endpoint& to, bool telnet, Deadline deadline)>;

// Opens address with connect within 2 s, name lookup included. On failure nullptr, with error
// (kComNoPortFound for a bad address or an unknown host, kComCannotOpenPort when the server
// refuses or does not answer) and reason ("cannot connect to ADDRESS: connection refused.").
std::unique_ptr<OsPort> OpenNetPortWith(const std::string& address, const LineSettings& settings,
                                        const NetConnect& connect, int& error, std::string& reason);

// OpenNetPortWith with the OS file's connection; one file per OS.
std::unique_ptr<OsPort> OpenNetPort(const std::string& address, const LineSettings& settings,
                                    int& error, std::string& reason);

// How many of the data bytes went out whole when wireSent bytes of their wire form did.
std::size_t DataBytesSent(std::span<const char> bytes, std::size_t wireSent, bool telnet);

// The COM port control request that turns hardware flow control on or off.
std::string HandshakeRequest(bool on);

} // namespace ovx::platform::detail
