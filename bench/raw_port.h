// The benchmarks' bare clients open the virtual controller's pty themselves, with none of the
// tool's serial code: a raw 8N1 line at 19200 baud.
#pragma once

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <string>

namespace ovx::bench {

// path opened raw; read() and poll() wait for vmin bytes. -1 when it cannot be opened so.
inline int OpenRaw(const std::string& path, int vmin = 1) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    if (fd < 0 || ::tcgetattr(fd, &t) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, B19200);
    t.c_cc[VMIN] = static_cast<cc_t>(vmin);
    t.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace ovx::bench
