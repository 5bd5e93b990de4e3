#include "platform/net_port.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/net_address.h"

namespace ovx::platform::detail {
namespace {

constexpr auto kConnectLimit = std::chrono::seconds(2);

struct Failure {
    int error = 0;
    std::string why; // "connection refused"
};

std::string ConnectFailureText(const NetConnection& attempt) {
    switch (attempt.failure) {
    case ConnectFailure::kRefused:
        return "connection refused";
    case ConnectFailure::kNoAnswer:
        return "no answer within 2 s";
    case ConnectFailure::kUnreachable:
        return "network unreachable";
    default:
        return attempt.systemText;
    }
}

// Looks the host up and connects to the first of its addresses that takes the connection
// before the deadline.
NetConnection Connect(const NetAddress& address, const NetConnect& connect, Deadline deadline,
                      Failure& failure) {
    const LookupResult found = LookupWithin(
        [host = address.host, port = address.port] { return LookupHost(host, port); }, deadline);
    if (found.status == LookupStatus::kNotFound) {
        failure = {kComNoPortFound, "host not found"};
        return {};
    }
    if (found.status != LookupStatus::kFound) {
        failure = {kComCannotOpenPort, found.status == LookupStatus::kNoAnswer
                                           ? "no answer from the name server within 2 s"
                                           : found.why};
        return {};
    }
    NetConnection attempt;
    const bool telnet = address.protocol == NetProtocol::kRfc2217;
    for (auto to = found.endpoints.begin(); to != found.endpoints.end() && !attempt.port; ++to) {
        attempt = connect(*to, telnet, deadline);
    }
    if (!attempt.port) {
        failure = {kComCannotOpenPort,
                   WaitsInterrupted() ? "interrupted" : ConnectFailureText(attempt)};
    }
    return attempt;
}

// The value the server confirms for each line-setting request.
std::array<long, 5> WantedValues(const LineSettings& s) {
    return {s.baudRate, s.dataBits, s.parity + 1, s.stopBits, telnet::kControlNoFlow};
}

long ReplyValue(const ComPortReply& reply) {
    long value = 0;
    for (const std::uint8_t b : reply.value) {
        value = (value << 8) | b;
    }
    return value;
}

constexpr std::array<const char*, 5> kSettingNames{"baud rate", "data bits", "parity", "stop bits",
                                                   "flow control"};

bool AllConfirmed(const std::array<bool, 5>& confirmed) {
    return std::find(confirmed.begin(), confirmed.end(), false) == confirmed.end();
}

// Takes the server's replies; false with failure set when one is not the value asked for.
bool CheckReplies(NetWire& wire, const LineSettings& s, std::array<bool, 5>& confirmed,
                  Failure& failure) {
    const std::array<long, 5> wanted = WantedValues(s);
    for (const ComPortReply& reply : wire.Decoder().TakeReplies()) {
        const int index = reply.command - telnet::kServerOffset - telnet::kSetBaudRate;
        if (index < 0 || index >= static_cast<int>(wanted.size())) {
            continue;
        }
        const auto at = static_cast<std::size_t>(index);
        if (ReplyValue(reply) != wanted[at]) {
            failure = {kComCannotOpenPort, std::string("the server refused the ") +
                                               kSettingNames[at] + " " +
                                               std::to_string(wanted[at])};
            return false;
        }
        confirmed[at] = true;
    }
    return true;
}

// Sets the remote line over RFC 2217 and waits for the server to confirm every setting.
bool SetRemoteLine(NetWire& wire, const LineSettings& s, Deadline deadline, Failure& failure) {
    const std::string request =
        TelnetOpening() + LineSettingRequests(s.baudRate, s.dataBits, s.parity, s.stopBits);
    if (!wire.SendWire(request, deadline)) {
        failure = {kComCannotOpenPort, "the server closed the connection"};
        return false;
    }
    std::array<bool, 5> confirmed{};
    while (!AllConfirmed(confirmed)) {
        const bool alive = wire.Drain();
        if (!CheckReplies(wire, s, confirmed, failure)) {
            return false;
        }
        if (wire.Decoder().ComPortRefused()) {
            failure = {kComCannotOpenPort, "the server offers no COM port control"};
            return false;
        }
        if (AllConfirmed(confirmed)) {
            break;
        }
        if (!alive) {
            failure = {kComCannotOpenPort, "the server closed the connection"};
            return false;
        }
        if (!wire.WaitIncoming(deadline)) {
            failure = {kComCannotOpenPort,
                       "the server did not confirm the line settings within 2 s"};
            return false;
        }
    }
    return true;
}

} // namespace

std::unique_ptr<OsPort> OpenNetPortWith(const std::string& address, const LineSettings& settings,
                                        const NetConnect& connect, int& error,
                                        std::string& reason) {
    NetAddress parsed;
    std::string why;
    if (!ParseNetAddress(address, parsed, why)) {
        error = kComNoPortFound;
        reason = "cannot open " + address + ": " + why + ".";
        return nullptr;
    }
    if (settings.baudRate <= 0) {
        error = kComInvalidParameter;
        return nullptr;
    }
    const Deadline deadline = Clock::now() + kConnectLimit;
    Failure failure;
    NetConnection connection = Connect(parsed, connect, deadline, failure);
    if (connection.port && (parsed.protocol == NetProtocol::kRawTcp ||
                            SetRemoteLine(*connection.wire, settings, deadline, failure))) {
        return std::move(connection.port);
    }
    error = failure.error;
    reason = "cannot connect to " + address + ": " + failure.why + ".";
    return nullptr;
}

std::size_t DataBytesSent(std::span<const char> bytes, std::size_t wireSent, bool telnet) {
    if (!telnet) {
        return std::min(wireSent, bytes.size());
    }
    std::size_t wire = 0;
    std::size_t count = 0;
    for (const char c : bytes) {
        wire += static_cast<std::uint8_t>(c) == telnet::kIac ? 2 : 1;
        if (wire > wireSent) {
            break;
        }
        ++count;
    }
    return count;
}

std::string HandshakeRequest(bool on) {
    constexpr std::uint8_t kHardwareFlow = 3;
    const std::array<std::uint8_t, 1> value{on ? kHardwareFlow : telnet::kControlNoFlow};
    return ComPortRequest(telnet::kSetControl, value);
}

} // namespace ovx::platform::detail
