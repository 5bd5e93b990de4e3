// Addresses of networked ports: "tcp://HOST:PORT" (raw TCP: the device server holds the line
// settings) and "rfc2217://HOST:PORT" (Telnet with COM port control: this side sets them).
// HOST is a name, an IPv4 address or an IPv6 address in brackets ("[::1]").
#pragma once

#include <string>

namespace ovx::platform::detail {

enum class NetProtocol { kRawTcp, kRfc2217 };

struct NetAddress {
    NetProtocol protocol = NetProtocol::kRawTcp;
    std::string host; // without the brackets of an IPv6 address
    std::string port; // the port number, as digits
};

// True when text begins with one of the schemes, whether or not the rest is right.
bool IsNetAddress(const std::string& text);
// False with error set ("no port number in tcp://host (tcp://HOST:PORT)") when text is no
// valid address of a networked port.
bool ParseNetAddress(const std::string& text, NetAddress& address, std::string& error);

} // namespace ovx::platform::detail
