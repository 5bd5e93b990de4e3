// Shared by the fuzz targets of the receive path: port 1 of the tool opened on a pty whose
// master side the target writes to, as the controller would.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "link/com232.h"
#include "platform/serial.h"

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

// Writes as much of bytes as the line takes; returns the count written.
inline std::size_t Deliver(int master, const std::uint8_t* bytes, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = write(master, bytes + done, size - done);
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

} // namespace ovx::fuzz
