// The test's own end of the virtual controller's line: opens the slave path raw, writes
// request frames built byte by byte and reads replies with a deadline. Independent of the
// tool's serial code on purpose.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

namespace ovx::sim::testing {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

// A request as the tool sends it: 00 55, order, sixteen big-endian words.
inline Bytes Request(int order, std::initializer_list<int> words = {}) {
    Bytes f(36, 0);
    f[1] = 0x55;
    f[2] = static_cast<std::uint8_t>(order >> 8);
    f[3] = static_cast<std::uint8_t>(order);
    std::size_t i = 4;
    for (const int w : words) {
        f[i++] = static_cast<std::uint8_t>(w >> 8);
        f[i++] = static_cast<std::uint8_t>(w);
    }
    return f;
}

// Big-endian word i of bytes, counted from byte 0.
inline int Word(const Bytes& b, std::size_t i) {
    return b.at(2 * i) << 8 | b.at(2 * i + 1);
}
// Payload word i of a 36-byte frame reply.
inline int Payload(const Bytes& b, std::size_t i) {
    return Word(b, i + 2);
}

class PtyClient {
  public:
    explicit PtyClient(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        if (fd_ >= 0 && ::tcgetattr(fd_, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(fd_, TCSANOW, &t);
            ::tcflush(fd_, TCIOFLUSH);
        }
    }
    ~PtyClient() { Close(); }
    PtyClient(const PtyClient&) = delete;
    PtyClient& operator=(const PtyClient&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    void Close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

    bool Write(std::span<const std::uint8_t> bytes) {
        return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Reads until n bytes have come or the time-out has passed; returns what came.
    Bytes Read(std::size_t n, milliseconds timeout = milliseconds(2000)) {
        Bytes out;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (out.size() < n) {
            const auto left =
                std::chrono::duration_cast<milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() < 0) {
                break;
            }
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0) {
                continue;
            }
            std::uint8_t buf[256];
            const ssize_t got = ::read(fd_, buf, std::min(sizeof buf, n - out.size()));
            if (got <= 0) {
                break; // hang-up
            }
            out.insert(out.end(), buf, buf + got);
        }
        return out;
    }

    // Like Read, but returns how many bytes had come after each read, and when (seconds after
    // since): the line's pace as the client sees it.
    struct Arrival {
        std::size_t count;
        double seconds;
    };
    std::vector<Arrival> Arrivals(std::size_t n, std::chrono::steady_clock::time_point since,
                                  milliseconds timeout = milliseconds(2000)) {
        std::vector<Arrival> arrivals;
        std::size_t have = 0;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (have < n && std::chrono::steady_clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0) {
                continue;
            }
            std::uint8_t buf[256];
            const ssize_t got = ::read(fd_, buf, std::min(sizeof buf, n - have));
            if (got <= 0) {
                break; // hang-up
            }
            have += static_cast<std::size_t>(got);
            const std::chrono::duration<double> at = std::chrono::steady_clock::now() - since;
            arrivals.push_back({have, at.count()});
        }
        return arrivals;
    }

    // One exchange: the request, then up to n reply bytes.
    Bytes Exchange(const Bytes& request, std::size_t n, milliseconds timeout = milliseconds(2000)) {
        return Write(request) ? Read(n, timeout) : Bytes{};
    }

    // true once the far end has closed the line (poll reports a hang-up) within the time-out.
    bool HungUp(milliseconds timeout) {
        pollfd p{fd_, POLLIN, 0};
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            if (::poll(&p, 1, 10) > 0 && (p.revents & (POLLHUP | POLLERR))) {
                return true;
            }
        }
        return false;
    }

  private:
    int fd_ = -1;
};

// Polls pred until it holds or the time-out passes.
template <typename Pred> bool Eventually(Pred pred, milliseconds timeout = milliseconds(2000)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        pollfd none{-1, 0, 0};
        ::poll(&none, 0, 1); // yield 1 ms between looks
    }
    return true;
}

} // namespace ovx::sim::testing
