// The event wait's OS interface on POSIX: ppoll(2) on the watched descriptors and the read end of
// a pipe that a signal handler may write to.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <vector>

#include "platform/events_os.h"

namespace ovx::platform::detail {
namespace {

using Clock = std::chrono::steady_clock;

// Made before main runs, so that a signal handler only writes.
std::array<int, 2> wakePipe{-1, -1};
const bool kWakePipeMade = pipe2(wakePipe.data(), O_NONBLOCK | O_CLOEXEC) == 0;

timespec Remaining(Clock::time_point deadline) {
    const auto left = std::max(deadline - Clock::now(), Clock::duration::zero());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

void DrainWakePipe() {
    char drain[64];
    while (kWakePipeMade && read(wakePipe[0], drain, sizeof drain) > 0) {
    }
}

} // namespace

bool WaitForReadable(std::span<PolledFd> fds, Clock::time_point deadline) {
    std::vector<pollfd> p;
    p.reserve(fds.size() + 1);
    p.push_back({kWakePipeMade ? wakePipe[0] : -1, POLLIN, 0});
    for (const PolledFd& f : fds) {
        p.push_back({f.fd, POLLIN, 0});
    }
    const timespec ts = Remaining(deadline);
    // One call: a signal (EINTR) ends the turn, so that the caller looks at its flags.
    const int r = ppoll(p.data(), p.size(), &ts, nullptr);
    if (r <= 0) {
        return r < 0 && errno == EINTR;
    }
    if (p[0].revents != 0) {
        DrainWakePipe();
    }
    for (std::size_t i = 0; i < fds.size(); ++i) {
        const short rev = p[i + 1].revents;
        fds[i].invalid = (rev & POLLNVAL) != 0;
        fds[i].ready = (rev & (POLLIN | POLLHUP | POLLERR)) != 0;
    }
    return true;
}

void ClearOsWake() {
    DrainWakePipe();
}

void WakeOsWait() {
    if (kWakePipeMade) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(wakePipe[1], &byte, 1);
    }
}

} // namespace ovx::platform::detail
