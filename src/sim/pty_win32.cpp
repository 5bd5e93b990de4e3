// Windows has no pseudo-terminals: the virtual controller cannot offer a device there, and
// Open says so. Every other call is then never reached with an open pty.
#include <string>

#include "sim/pty.h"

namespace ovx::sim {

struct Pty::Fds {};

Pty::Pty() = default;
Pty::~Pty() = default;

bool Pty::Open(std::string& error) {
    error = "the virtual controller needs a pseudo-terminal, which Windows does not have: connect "
            "a controller and give its port (--port COM1)";
    return false;
}

const std::string& Pty::SlavePath() const {
    return slavePath_;
}

Pty::ReadResult Pty::Read(std::span<std::uint8_t> /*buffer*/, int /*timeoutMs*/) {
    return {ReadStatus::kError, 0};
}

int Pty::Write(std::span<const std::uint8_t> /*bytes*/) {
    return -1;
}

int Pty::ClientPending() const {
    return 0;
}

void Pty::Wake() {}

void Pty::Unplug() {}

bool Pty::IsOpen() const {
    return false;
}

} // namespace ovx::sim
