// A networked port on a POSIX TCP socket: raw TCP, or Telnet with COM port control. What comes
// in is decoded into a read-ahead buffer, and that buffer is the input queue: every look at the
// queue first drains the socket into it, so the socket stops being readable and no wait spins
// on it. The readable hook watches an event descriptor that is set exactly while the hook is
// enabled and the buffer holds its count; a second watch drains the socket as bytes arrive.
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <utility>

#include "platform/errors.h"
#include "platform/events.h"
#include "platform/net_address.h"
#include "platform/net_port_posix.h"
#include "platform/net_resolve.h"
#include "platform/telnet_codec.h"

namespace ovx::platform::detail {
namespace {

constexpr auto kConnectLimit = std::chrono::seconds(2);

// How many of the data bytes went out whole when wireSent bytes of their wire form did.
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

// What the hook watch's handler owns: it outlives the port when the hook closes the port.
using HookState = std::function<void()>;

class NetPort final : public OsPort {
  public:
    NetPort(int fd, bool telnet);
    ~NetPort() override;

    int Read(std::span<char> buffer, Deadline deadline) override;
    int Write(std::span<const char> bytes, Deadline deadline) override;
    int InQueueLength() override;
    void WaitForMoreThan(int have, Deadline deadline) override;
    int WaitForCount(int count, Deadline deadline) override;
    int FlushIn() override;
    int FlushOut() override;
    int SetHandshake(bool on) override;
    bool HungUp() const override { return hungUp_; }
    void SetReadableHook(std::function<void()> hook) override;
    void SetReadableCount(int count) override;
    void EnableReadableHook(bool on) override;

    // Takes what the socket holds now into the buffer; false once the peer is gone.
    bool Drain();
    // Sends bytes as they are (Telnet commands included) before the deadline; false if not all.
    bool SendWire(const std::string& wire, Deadline deadline, std::size_t* sent = nullptr);
    TelnetDecoder& Decoder() { return decoder_; }
    // Waits for the socket to become readable; false on time-out or interrupt.
    bool WaitIncoming(Deadline deadline) { return PollFdInterruptible(fd_, POLLIN, deadline) != 0; }

  private:
    int LineGone();
    int QueueLength() const { return static_cast<int>(buffer_.size()); }
    // Waits until the buffer holds more than have bytes; false on time-out or a dead line.
    bool WaitBuffered(int have, Deadline deadline, bool interruptible);
    void UpdateReady();
    int Purge(std::uint8_t which);
    // Acknowledges what came at once. A server that answers a purge and then sends the device's
    // bytes holds those back until its answer is acknowledged (Nagle): without this, the
    // delayed acknowledgement would add some 40 ms to every reply.
    void QuickAck() {
        const int on = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
    }

    int fd_;
    bool telnet_;
    TelnetDecoder decoder_;
    std::string buffer_; // decoded bytes not yet read: the input queue
    bool hungUp_ = false;
    int readyFd_ = -1; // the event descriptor the hook watch looks at
    bool readySet_ = false;
    int count_ = 1;
    bool enabled_ = false;
    std::shared_ptr<HookState> hookState_ = std::make_shared<HookState>();
    int hookWatch_ = 0;
    int drainWatch_ = 0;
};

NetPort::NetPort(int fd, bool telnet)
    : fd_(fd), telnet_(telnet), readyFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

NetPort::~NetPort() {
    RemoveWatch(hookWatch_);
    RemoveWatch(drainWatch_);
    close(fd_);
    if (readyFd_ >= 0) {
        close(readyFd_);
    }
}

int NetPort::LineGone() {
    hungUp_ = true;
    EnableWatch(drainWatch_, false);
    UpdateReady();
    return kComUnknownIoError;
}

bool NetPort::Drain() {
    std::array<char, 4096> chunk{};
    std::string answers;
    while (!hungUp_) {
        const ssize_t r = recv(fd_, chunk.data(), chunk.size(), MSG_DONTWAIT);
        if (r > 0) {
            QuickAck();
            const std::span<const char> got(chunk.data(), static_cast<std::size_t>(r));
            if (telnet_) {
                decoder_.Feed(got, buffer_, answers);
            } else {
                buffer_.append(got.begin(), got.end());
            }
        } else if (r == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            LineGone(); // the peer closed the connection, or it broke
        } else if (errno != EINTR) {
            break;
        }
    }
    if (!answers.empty()) {
        SendWire(answers, Clock::now() + std::chrono::milliseconds(100));
    }
    return !hungUp_;
}

bool NetPort::SendWire(const std::string& wire, Deadline deadline, std::size_t* sent) {
    std::size_t done = 0;
    while (done < wire.size() && !hungUp_) {
        const ssize_t r =
            send(fd_, wire.data() + done, wire.size() - done, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (r > 0) {
            done += static_cast<std::size_t>(r);
        } else if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            LineGone();
        } else if (r < 0 && errno != EINTR && PollFd(fd_, POLLOUT, deadline) == 0) {
            break;
        }
    }
    if (sent != nullptr) {
        *sent = done;
    }
    return done == wire.size();
}

int NetPort::Read(std::span<char> buffer, Deadline deadline) {
    std::size_t got = 0;
    for (;;) {
        Drain();
        const std::size_t take = std::min(buffer.size() - got, buffer_.size());
        std::copy_n(buffer_.begin(), take, buffer.begin() + static_cast<std::ptrdiff_t>(got));
        buffer_.erase(0, take);
        got += take;
        if (got == buffer.size() || hungUp_ || PollFd(fd_, POLLIN, deadline) == 0) {
            break;
        }
    }
    UpdateReady();
    if (got == 0 && hungUp_ && !buffer.empty()) {
        return kComUnknownIoError;
    }
    return static_cast<int>(got);
}

int NetPort::Write(std::span<const char> bytes, Deadline deadline) {
    if (hungUp_) {
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
    return hungUp_ ? kComUnknownIoError : kComTimeout;
}

int NetPort::InQueueLength() {
    Drain();
    if (hungUp_ && buffer_.empty()) {
        return kComUnknownIoError;
    }
    return QueueLength();
}

bool NetPort::WaitBuffered(int have, Deadline deadline, bool interruptible) {
    while (Drain() && QueueLength() <= have) {
        const short revents = interruptible ? PollFdInterruptible(fd_, POLLIN, deadline)
                                            : PollFd(fd_, POLLIN, deadline);
        if (revents == 0) {
            return false;
        }
    }
    return QueueLength() > have;
}

void NetPort::WaitForMoreThan(int have, Deadline deadline) {
    if (!hungUp_ && have >= 0 && WaitBuffered(have, deadline, false)) {
        return;
    }
    if (hungUp_ || have < 0) {
        PollFd(-1, 0, deadline); // a dead line is slept out: never spin on it
    }
}

int NetPort::WaitForCount(int count, Deadline deadline) {
    if (WaitsInterrupted()) {
        return InQueueLength();
    }
    if (WaitBuffered(count - 1, deadline, true) || !hungUp_) {
        return InQueueLength();
    }
    PollFdInterruptible(-1, 0, deadline); // a dead line is slept out, as a silent one
    return kComUnknownIoError;
}

int NetPort::Purge(std::uint8_t which) {
    if (!telnet_) {
        return 0;
    }
    const std::array<std::uint8_t, 1> value{which};
    SendWire(ComPortRequest(telnet::kPurgeData, value),
             Clock::now() + std::chrono::milliseconds(100));
    return hungUp_ ? kComUnknownIoError : 0;
}

int NetPort::FlushIn() {
    if (!Drain()) {
        return kComUnknownIoError;
    }
    buffer_.clear();
    UpdateReady();
    return Purge(telnet::kPurgeReceive);
}

int NetPort::FlushOut() {
    return hungUp_ ? kComUnknownIoError : Purge(telnet::kPurgeTransmit);
}

int NetPort::SetHandshake(bool on) {
    if (hungUp_) {
        return kComUnknownIoError;
    }
    if (!telnet_) {
        return 0; // the device server holds the line settings of a raw connection
    }
    constexpr std::uint8_t kHardwareFlow = 3;
    const std::array<std::uint8_t, 1> value{on ? kHardwareFlow : telnet::kControlNoFlow};
    SendWire(ComPortRequest(telnet::kSetControl, value),
             Clock::now() + std::chrono::milliseconds(100));
    return hungUp_ ? kComUnknownIoError : 0;
}

void NetPort::UpdateReady() {
    const bool want = enabled_ && *hookState_ && QueueLength() >= count_;
    if (want == readySet_ || readyFd_ < 0) {
        return;
    }
    std::uint64_t value = 1;
    if (want) {
        readySet_ = write(readyFd_, &value, sizeof value) == sizeof value;
    } else {
        readySet_ = read(readyFd_, &value, sizeof value) != sizeof value && readySet_;
    }
}

void NetPort::SetReadableHook(std::function<void()> hook) {
    if (!hook) {
        EnableReadableHook(false);
        *hookState_ = nullptr;
        SetReadableCount(1);
        return;
    }
    *hookState_ = std::move(hook);
    if (hookWatch_ == 0 && readyFd_ >= 0) {
        hookWatch_ = AddWatch(readyFd_, [state = hookState_] {
            const auto current = *state; // the hook may destroy the port and replace the hook
            if (current) {
                current();
            }
        });
        drainWatch_ = AddWatch(fd_, [this] {
            Drain();
            UpdateReady();
        });
    }
}

void NetPort::SetReadableCount(int count) {
    count_ = std::clamp(count, 1, kMaxWaitCount);
    UpdateReady();
}

void NetPort::EnableReadableHook(bool on) {
    enabled_ = on && *hookState_;
    EnableWatch(drainWatch_, enabled_ && !hungUp_);
    EnableWatch(hookWatch_, enabled_);
    UpdateReady();
}

// ---- Connecting ---------------------------------------------------------------------------

struct Failure {
    int error = 0;
    std::string why; // "connection refused"
};

// One connection attempt to one address of the host; the connected fd, or -1 with err set.
int ConnectOne(const Endpoint& to, Deadline deadline, int& err) {
    const int fd = socket(to.family, to.socketType | SOCK_NONBLOCK | SOCK_CLOEXEC, to.protocol);
    if (fd < 0) {
        err = errno;
        return -1;
    }
    int soError = 0;
    if (connect(fd, reinterpret_cast<const sockaddr*>(to.address.data()),
                static_cast<socklen_t>(to.address.size())) != 0) {
        soError = errno;
    }
    if (soError == EINPROGRESS && PollFdInterruptible(fd, POLLOUT, deadline) == 0) {
        soError = ETIMEDOUT;
    } else if (soError == EINPROGRESS) {
        socklen_t len = sizeof soError;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len);
    }
    if (soError != 0) {
        close(fd);
        err = soError;
        return -1;
    }
    return fd;
}

std::string ConnectError(int err) {
    switch (err) {
    case ECONNREFUSED:
        return "connection refused";
    case ETIMEDOUT:
        return "no answer within 2 s";
    case ENETUNREACH:
    case EHOSTUNREACH:
        return "network unreachable";
    default:
        return std::strerror(err);
    }
}

// Connects to the first address of the host that takes the connection before the deadline.
int Connect(const NetAddress& address, Deadline deadline, Failure& failure) {
    const LookupResult found = LookupWithin(
        [host = address.host, port = address.port] { return LookupHost(host, port); }, deadline);
    if (found.status == LookupStatus::kNotFound) {
        failure = {kComNoPortFound, "host not found"};
        return -1;
    }
    if (found.status != LookupStatus::kFound) {
        failure = {kComCannotOpenPort, found.status == LookupStatus::kNoAnswer
                                           ? "no answer from the name server within 2 s"
                                           : found.why};
        return -1;
    }
    int fd = -1;
    int err = ETIMEDOUT;
    for (auto to = found.endpoints.begin(); to != found.endpoints.end() && fd < 0; ++to) {
        fd = ConnectOne(*to, deadline, err);
    }
    if (fd < 0) {
        failure = {kComCannotOpenPort, WaitsInterrupted() ? "interrupted" : ConnectError(err)};
        return -1;
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on); // a request leaves at once
    return fd;
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
bool CheckReplies(NetPort& port, const LineSettings& s, std::array<bool, 5>& confirmed,
                  Failure& failure) {
    const std::array<long, 5> wanted = WantedValues(s);
    for (const ComPortReply& reply : port.Decoder().TakeReplies()) {
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
bool SetRemoteLine(NetPort& port, const LineSettings& s, Deadline deadline, Failure& failure) {
    const std::string request =
        TelnetOpening() + LineSettingRequests(s.baudRate, s.dataBits, s.parity, s.stopBits);
    if (!port.SendWire(request, deadline)) {
        failure = {kComCannotOpenPort, "the server closed the connection"};
        return false;
    }
    std::array<bool, 5> confirmed{};
    while (!AllConfirmed(confirmed)) {
        const bool alive = port.Drain();
        if (!CheckReplies(port, s, confirmed, failure)) {
            return false;
        }
        if (port.Decoder().ComPortRefused()) {
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
        if (!port.WaitIncoming(deadline)) {
            failure = {kComCannotOpenPort,
                       "the server did not confirm the line settings within 2 s"};
            return false;
        }
    }
    return true;
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
        return {LookupStatus::kFailed,
                {},
                status == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(status)};
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
    const int fd = Connect(parsed, deadline, failure);
    std::unique_ptr<NetPort> port;
    if (fd >= 0) {
        port = std::make_unique<NetPort>(fd, parsed.protocol == NetProtocol::kRfc2217);
        if (parsed.protocol == NetProtocol::kRawTcp ||
            SetRemoteLine(*port, settings, deadline, failure)) {
            return port;
        }
    }
    error = failure.error;
    reason = "cannot connect to " + address + ": " + failure.why + ".";
    return nullptr;
}

} // namespace ovx::platform::detail
