// Shared by the fuzz targets of the receive path: port 1 of the tool opened on a pty whose
// master side the target writes to, as the controller would.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "fuzz_check.h"
#include "link/com232.h"
#include "platform/events.h"
#include "platform/serial.h"
#include "platform/timing.h"

namespace ovx::fuzz {

// The master side of port 1, opened once for the whole run.
inline int ControllerSide() {
    static const int master = [] {
        const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        Check(fd >= 0 && grantpt(fd) == 0 && unlockpt(fd) == 0, "a pty can be made");
        platform::RegisterPort(1, ptsname(fd));
        link::com = 1;
        Check(platform::OpenComConfig(1, "", 19200, 0, 8, 1, 4096, 4096) >= 0, "port 1 opens");
        return fd;
    }();
    return master;
}

// What the tool wrote is read away, so that the pty never fills up.
inline void DrainRequests(int master) {
    std::uint8_t sink[512];
    while (read(master, sink, sizeof sink) > 0) {
    }
}

// Writes bytes, waiting for room in the pty where needed; returns the count written.
inline std::size_t Deliver(int master, const std::uint8_t* bytes, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = write(master, bytes + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        // A pty passes bytes on to the tool's side a moment later: until then it may take no
        // more. Wait for room, as a controller's UART would.
        pollfd room{master, POLLOUT, 0};
        if ((n < 0 && errno != EAGAIN && errno != EINTR) || poll(&room, 1, 200) <= 0) {
            std::fprintf(stderr, "the line takes no more: %s\n", std::strerror(errno));
            break;
        }
    }
    return done;
}

// Runs play whenever the tool is about to wait in the OS for more bytes: every polling loop of
// the serial services calls the blocking hook first. There the target plays the line (sends what
// the controller would send next), so that a wait of the tool ends as soon as the bytes arrive
// instead of running out its time-out; the tool's time-outs stay as they are.
inline void OnToolWaits(void (*play)()) {
    static void (*current)() = nullptr;
    current = play;
    platform::SetBlockingHook([] { current(); });
}

// Waits (in the OS, a millisecond at a time) until the tool's input queue holds at least count
// bytes: a pty passes what the master side wrote on a moment later. Returns the count queued.
inline int AwaitQueued(int count) {
    const double end = platform::Timer() + 0.5;
    int queued = platform::GetInQLen(link::com);
    while (queued >= 0 && queued < count && platform::Timer() < end) {
        queued = platform::GetInQLen(link::com);
    }
    return queued;
}

} // namespace ovx::fuzz
