// A listening TCP socket on 127.0.0.1 at a port the kernel picks: the peers and servers of the
// networked-port tests listen only there.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

namespace ovx::testing {

// Listens with backlog on a free port of 127.0.0.1; the socket (-1 on failure) and its port.
inline int ListenOnLoopback(int backlog, int& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    port = 0;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(fd, backlog) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        return fd;
    }
    port = ntohs(a.sin_port);
    return fd;
}

} // namespace ovx::testing
