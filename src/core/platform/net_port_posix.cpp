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
#include <system_error>
#include <utility>

#include "platform/errors.h"
#include "platform/events.h"
#include "platform/net_port.h"
#include "platform/net_port_posix.h"
#include "platform/net_resolve.h"
#include "platform/telnet_codec.h"

namespace ovx::platform::detail {
namespace {

// What the hook watch's handler owns: it outlives the port when the hook closes the port.
using HookState = std::function<void()>;

class NetPort final : public OsPort, public NetWire {
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

    bool Drain() override;
    bool SendWire(const std::string& wire, Deadline deadline, std::size_t* sent) override;
    TelnetDecoder& Decoder() override { return decoder_; }
    bool WaitIncoming(Deadline deadline) override {
        return PollFdInterruptible(fd_, POLLIN, deadline) != 0;
    }

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
        SendWire(answers, Clock::now() + std::chrono::milliseconds(100), nullptr);
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
             Clock::now() + std::chrono::milliseconds(100), nullptr);
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
    SendWire(HandshakeRequest(on), Clock::now() + std::chrono::milliseconds(100), nullptr);
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

ConnectFailure FailureOf(int err) {
    switch (err) {
    case ECONNREFUSED:
        return ConnectFailure::kRefused;
    case ETIMEDOUT:
        return ConnectFailure::kNoAnswer;
    case ENETUNREACH:
    case EHOSTUNREACH:
        return ConnectFailure::kUnreachable;
    default:
        return ConnectFailure::kOther;
    }
}

// One connection attempt to one address of the host.
NetConnection ConnectOne(const Endpoint& to, bool telnet, Deadline deadline) {
    NetConnection attempt;
    const int fd = socket(to.family, to.socketType | SOCK_NONBLOCK | SOCK_CLOEXEC, to.protocol);
    int err = fd < 0 ? errno : 0;
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(to.address.data()),
                           static_cast<socklen_t>(to.address.size())) != 0) {
        err = errno;
    }
    if (err == EINPROGRESS && PollFdInterruptible(fd, POLLOUT, deadline) == 0) {
        err = ETIMEDOUT;
    } else if (err == EINPROGRESS) {
        socklen_t len = sizeof err;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
    }
    if (err != 0) {
        if (fd >= 0) {
            close(fd);
        }
        attempt.failure = FailureOf(err);
        attempt.systemText = std::strerror(err);
        return attempt;
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on); // a request leaves at once
    auto port = std::make_unique<NetPort>(fd, telnet);
    attempt.wire = port.get();
    attempt.port = std::move(port);
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
        return {LookupStatus::kFailed,
                {},
                // On the lookup's own thread: the thread-safe form of the system's text.
                status == EAI_SYSTEM ? std::generic_category().message(errno)
                                     : std::string(gai_strerror(status))};
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
    return OpenNetPortWith(address, settings, ConnectOne, error, reason);
}

} // namespace ovx::platform::detail
