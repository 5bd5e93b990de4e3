#include "sim/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace ovx::sim {

struct Pty::Fds {
    std::atomic<int> master{-1};
    int slave = -1;
    std::array<int, 2> wake{-1, -1}; // self-pipe: [0] polled, [1] written by Wake()
};

namespace {

void CloseFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

std::string Reason(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

bool SetRaw(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        return false;
    }
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&t, B19200);
    ::cfsetospeed(&t, B19200);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

bool SetNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

void DrainWakePipe(int fd) {
    std::array<char, 64> sink{};
    while (::read(fd, sink.data(), sink.size()) > 0) {
    }
}

} // namespace

Pty::Pty() : fds_(std::make_unique<Fds>()) {}

Pty::~Pty() {
    Unplug();
    CloseFd(fds_->wake[0]);
    CloseFd(fds_->wake[1]);
}

bool Pty::Open(std::string& error) {
    if (::pipe2(fds_->wake.data(), O_NONBLOCK | O_CLOEXEC) != 0) {
        error = Reason("pipe");
        return false;
    }
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        error = Reason("posix_openpt");
        return false;
    }
    fds_->master = master;
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        error = Reason("unlockpt");
        Unplug();
        return false;
    }
    std::array<char, 128> name{};
    if (::ptsname_r(master, name.data(), name.size()) != 0) {
        error = Reason("ptsname");
        Unplug();
        return false;
    }
    slavePath_ = name.data();
    fds_->slave = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fds_->slave < 0 || !SetRaw(fds_->slave) || !SetNonBlocking(master)) {
        error = Reason(slavePath_.c_str());
        Unplug();
        return false;
    }
    return true;
}

const std::string& Pty::SlavePath() const {
    return slavePath_;
}

bool Pty::IsOpen() const {
    return fds_->master >= 0;
}

Pty::ReadResult Pty::Read(std::span<std::uint8_t> buffer, int timeoutMs) {
    const int master = fds_->master;
    if (master < 0) {
        return {ReadStatus::kError, 0};
    }
    std::array<pollfd, 2> p{{{master, POLLIN, 0}, {fds_->wake[0], POLLIN, 0}}};
    const int n = ::poll(p.data(), p.size(), timeoutMs);
    if (n < 0) {
        return {errno == EINTR ? ReadStatus::kTimeout : ReadStatus::kError, 0};
    }
    if (p[1].revents & POLLIN) {
        DrainWakePipe(fds_->wake[0]);
        return {ReadStatus::kWoken, 0};
    }
    if (n == 0) {
        return {ReadStatus::kTimeout, 0};
    }
    if (p[0].revents & POLLIN) {
        const ssize_t got = ::read(master, buffer.data(), buffer.size());
        if (got > 0) {
            return {ReadStatus::kData, static_cast<std::size_t>(got)};
        }
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            return {ReadStatus::kTimeout, 0};
        }
        return {ReadStatus::kHangup, 0}; // EIO: no slave open
    }
    return {(p[0].revents & POLLNVAL) ? ReadStatus::kError : ReadStatus::kHangup, 0};
}

int Pty::Write(std::span<const std::uint8_t> bytes) {
    const int master = fds_->master;
    if (master < 0) {
        return -1;
    }
    const ssize_t n = ::write(master, bytes.data(), bytes.size());
    if (n < 0) {
        return (errno == EAGAIN || errno == EINTR || errno == EIO) ? 0 : -1;
    }
    return static_cast<int>(n);
}

int Pty::ClientPending() const {
    int n = 0;
    if (fds_->slave < 0 || ::ioctl(fds_->slave, FIONREAD, &n) != 0) {
        return 0;
    }
    return n;
}

// A thread's timed waits end up to 50 us late by default (the timer slack, which lets the kernel
// gather wake-ups); the host waits a few times a reply, the last time for its last chunk.
void Pty::WakeOnTime() {
    prctl(PR_SET_TIMERSLACK, 1000UL); // 1 us; a failure leaves the default
}

void Pty::WakeOnTimeEnds() {
    prctl(PR_SET_TIMERSLACK, 0UL); // the thread's default again
}

void Pty::Wake() {
    if (fds_->wake[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] const ssize_t n = ::write(fds_->wake[1], &c, 1);
    }
}

void Pty::Unplug() {
    int master = fds_->master.exchange(-1);
    CloseFd(master);
    CloseFd(fds_->slave);
}

} // namespace ovx::sim
