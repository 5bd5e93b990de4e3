// A networked port on a Winsock socket: raw TCP, or Telnet with COM port control. As on POSIX,
// what comes in is decoded into a read-ahead buffer, and that buffer is the input queue: every
// look at the queue first drains the socket into it. The socket reports its reads, writes, close
// and connection to an event of its own (WSAEventSelect); a wait waits on that event and on the
// interrupt, in the system. The event is reset before every drain or send, so that what comes
// after sets it again and a wait never spins; every wait for bytes follows a drain, which ends with
// a read of the socket, so that a read reported before a reset is never lost. The readable hook and
// the waits of every Windows port are in polled_port_win32.h; the event is the handle the shared
// base holds and closes.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <mstcpip.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <string>

#include "platform/errors.h"
#include "platform/net_port.h"
#include "platform/net_resolve.h"
#include "platform/polled_port_win32.h"
#include "platform/text_win32.h"

namespace ovx::platform::detail {
namespace {

constexpr long kSocketEvents = FD_READ | FD_WRITE | FD_CLOSE | FD_CONNECT;

// Winsock is started once, by the first open of a networked port, and stays up.
bool WinsockStarted() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

class NetPort final : public PolledPort, public NetWire {
  public:
    // Takes the socket and the event it reports to.
    NetPort(SOCKET socket, HANDLE event, bool telnet)
        : PolledPort(event), socket_(socket), telnet_(telnet) {}
    ~NetPort() override { closesocket(socket_); }

    int Read(std::span<char> buffer, Deadline deadline) override;
    int Write(std::span<const char> bytes, Deadline deadline) override;
    int FlushIn() override;
    int FlushOut() override {
        return HungUp() ? kComUnknownIoError : Purge(telnet::kPurgeTransmit);
    }
    int SetHandshake(bool on) override;

    bool SendWire(const std::string& wire, Deadline deadline, std::size_t* sent) override;
    bool Drain() override;
    bool WaitIncoming(Deadline deadline) override { return WaitSocket(deadline, true); }
    TelnetDecoder& Decoder() override { return decoder_; }

  private:
    int Queued() override;
    void WaitQueued(int count, Deadline deadline, bool interruptible) override;
    int QueueLength() const { return static_cast<int>(buffer_.size()); }
    // Reads the socket until it has nothing; the Telnet answers what came needs go to answers.
    void ReceiveAll(std::string& answers);
    // Clears what the socket reported: what comes after sets its event again.
    void ResetSocketEvent() {
        WSANETWORKEVENTS happened{};
        WSAEnumNetworkEvents(socket_, Handle(), &happened);
    }
    // Waits for the socket to report something; false on time-out or interrupt.
    bool WaitSocket(Deadline deadline, bool interruptible) {
        return WaitForHandle(Handle(), deadline, interruptible);
    }
    int Purge(std::uint8_t which);

    SOCKET socket_;
    bool telnet_;
    TelnetDecoder decoder_;
    std::string buffer_; // decoded bytes not yet read: the input queue
};

// Takes everything the socket holds. The Telnet answers go out after it, and as sending resets
// the socket's event, the socket is read once more: what came meanwhile would set the event no
// more (a read is reported again only after the next recv), and a wait for it would sleep on.
bool NetPort::Drain() {
    std::string answers;
    ReceiveAll(answers);
    while (!answers.empty() && !HungUp()) {
        SendWire(answers, Clock::now() + std::chrono::milliseconds(100), nullptr);
        answers.clear();
        ReceiveAll(answers);
    }
    return !HungUp();
}

void NetPort::ReceiveAll(std::string& answers) {
    std::array<char, 4096> chunk{};
    ResetSocketEvent();
    while (!HungUp()) {
        const int r = recv(socket_, chunk.data(), static_cast<int>(chunk.size()), 0);
        if (r > 0) {
            const std::span<const char> got(chunk.data(), static_cast<std::size_t>(r));
            if (telnet_) {
                decoder_.Feed(got, buffer_, answers);
            } else {
                buffer_.append(got.begin(), got.end());
            }
        } else if (r == 0 || WSAGetLastError() != WSAEWOULDBLOCK) {
            LineGone(); // the peer closed the connection, or it broke
        } else {
            break;
        }
    }
}

bool NetPort::SendWire(const std::string& wire, Deadline deadline, std::size_t* sent) {
    std::size_t done = 0;
    while (done < wire.size() && !HungUp()) {
        ResetSocketEvent();
        const int chunk = static_cast<int>(std::min<std::size_t>(wire.size() - done, 1 << 20));
        const int r = send(socket_, wire.data() + done, chunk, 0);
        if (r > 0) {
            done += static_cast<std::size_t>(r);
        } else if (WSAGetLastError() != WSAEWOULDBLOCK) {
            LineGone();
        } else if (!WaitSocket(deadline, false)) {
            break; // the peer takes nothing: a stalled line
        }
    }
    if (sent != nullptr) {
        *sent = done;
    }
    return done == wire.size();
}

int NetPort::Queued() {
    Drain();
    return HungUp() && buffer_.empty() ? -1 : QueueLength();
}

void NetPort::WaitQueued(int count, Deadline deadline, bool interruptible) {
    while (Drain() && QueueLength() < count && WaitSocket(deadline, interruptible)) {
    }
}

int NetPort::Read(std::span<char> buffer, Deadline deadline) {
    std::size_t got = 0;
    for (;;) {
        Drain();
        const std::size_t take = std::min(buffer.size() - got, buffer_.size());
        std::copy_n(buffer_.begin(), take, buffer.begin() + static_cast<std::ptrdiff_t>(got));
        buffer_.erase(0, take);
        got += take;
        if (got == buffer.size() || HungUp() || !WaitSocket(deadline, false)) {
            break;
        }
    }
    if (got == 0 && HungUp() && !buffer.empty()) {
        return kComUnknownIoError;
    }
    return static_cast<int>(got);
}

int NetPort::Write(std::span<const char> bytes, Deadline deadline) {
    if (HungUp()) {
        return kComUnknownIoError;
    }
    const std::string wire =
        telnet_ ? EscapeTelnetData(bytes) : std::string(bytes.begin(), bytes.end());
    std::size_t sent = 0;
    if (SendWire(wire, deadline, &sent)) {
        return static_cast<int>(bytes.size());
    }
    const std::size_t written = DataBytesSent(bytes, sent, telnet_);
    if (written > 0) {
        return static_cast<int>(written);
    }
    return HungUp() ? kComUnknownIoError : kComTimeout;
}

int NetPort::Purge(std::uint8_t which) {
    if (!telnet_) {
        return 0;
    }
    const std::array<std::uint8_t, 1> value{which};
    SendWire(ComPortRequest(telnet::kPurgeData, value),
             Clock::now() + std::chrono::milliseconds(100), nullptr);
    return HungUp() ? kComUnknownIoError : 0;
}

int NetPort::FlushIn() {
    if (!Drain()) {
        return kComUnknownIoError;
    }
    buffer_.clear();
    return Purge(telnet::kPurgeReceive);
}

int NetPort::SetHandshake(bool on) {
    if (HungUp()) {
        return kComUnknownIoError;
    }
    if (telnet_) {
        SendWire(HandshakeRequest(on), Clock::now() + std::chrono::milliseconds(100), nullptr);
    }
    return HungUp() ? kComUnknownIoError : 0;
}

// ---- Connecting ---------------------------------------------------------------------------

ConnectFailure FailureOf(int err) {
    switch (err) {
    case WSAECONNREFUSED:
        return ConnectFailure::kRefused;
    case WSAETIMEDOUT:
        return ConnectFailure::kNoAnswer;
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
        return ConnectFailure::kUnreachable;
    default:
        return ConnectFailure::kOther;
    }
}

// Waits for the socket's connection to be made or refused; 0, or the error.
int AwaitConnection(SOCKET s, HANDLE event, Deadline deadline) {
    for (;;) {
        if (!WaitForHandle(event, deadline, true)) {
            return WSAETIMEDOUT;
        }
        WSANETWORKEVENTS happened{};
        if (WSAEnumNetworkEvents(s, event, &happened) != 0) {
            return WSAGetLastError();
        }
        if ((happened.lNetworkEvents & FD_CONNECT) != 0) {
            return happened.iErrorCode[FD_CONNECT_BIT];
        }
    }
}

// The options of a connected socket: a request leaves at once, and what comes is acknowledged
// at once (a server that answers a purge holds the device's bytes back until then).
void SetLatencyOptions(SOCKET s) {
    const BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    DWORD everySegment = 1;
    DWORD returned = 0;
    WSAIoctl(s, SIO_TCP_SET_ACK_FREQUENCY, &everySegment, sizeof everySegment, nullptr, 0,
             &returned, nullptr, nullptr); // not every system has it: then the default stays
}

NetConnection ConnectOne(const Endpoint& to, bool telnet, Deadline deadline) {
    NetConnection attempt;
    const SOCKET s = socket(to.family, to.socketType, to.protocol);
    const HANDLE event = s != INVALID_SOCKET ? WSACreateEvent() : WSA_INVALID_EVENT;
    int err = s == INVALID_SOCKET ? WSAGetLastError() : 0;
    if (event == WSA_INVALID_EVENT || WSAEventSelect(s, event, kSocketEvents) != 0) {
        err = err != 0 ? err : WSAGetLastError();
    } else if (connect(s, reinterpret_cast<const sockaddr*>(to.address.data()),
                       static_cast<int>(to.address.size())) != 0) {
        err = WSAGetLastError();
        err = err == WSAEWOULDBLOCK ? AwaitConnection(s, event, deadline) : err;
    }
    if (err == 0) {
        SetLatencyOptions(s);
        auto port = std::make_unique<NetPort>(s, event, telnet);
        attempt.wire = port.get();
        attempt.port = std::move(port);
        return attempt;
    }
    if (event != WSA_INVALID_EVENT) {
        WSACloseEvent(event);
    }
    if (s != INVALID_SOCKET) {
        closesocket(s);
    }
    attempt.failure = FailureOf(err);
    attempt.systemText = SystemErrorText(static_cast<DWORD>(err));
    return attempt;
}

} // namespace

LookupResult LookupHost(const std::string& host, const std::string& port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int status = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
    if (status == EAI_NONAME || status == EAI_NODATA || status == EAI_FAIL) {
        return {LookupStatus::kNotFound, {}, {}};
    }
    if (status != 0) {
        return {LookupStatus::kFailed, {}, SystemErrorText(static_cast<DWORD>(status))};
    }
    LookupResult result{LookupStatus::kFound, {}, {}};
    for (const addrinfo* ai = found; ai != nullptr; ai = ai->ai_next) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(ai->ai_addr);
        result.endpoints.push_back(
            {ai->ai_family, ai->ai_socktype, ai->ai_protocol, {bytes, bytes + ai->ai_addrlen}});
    }
    freeaddrinfo(found);
    return result;
}

std::unique_ptr<OsPort> OpenNetPort(const std::string& address, const LineSettings& settings,
                                    int& error, std::string& reason) {
    if (!WinsockStarted()) {
        error = kComUnknownSystemError;
        reason = "cannot open " + address + ": the system's networking does not start.";
        return nullptr;
    }
    return OpenNetPortWith(address, settings, ConnectOne, error, reason);
}

} // namespace ovx::platform::detail
