// The virtual controller's end of a pseudo-terminal: the master side, served by the host, and
// the slave path that the tool opens like a serial device. Every OS call of the simulator is
// behind this interface (pty_posix.cpp; on Windows, which has no pseudo-terminals, the server
// end of a named pipe: pty_win32.cpp); the host itself is plain C++.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace ovx::sim {

class Pty {
  public:
    enum class ReadStatus {
        kData,    // count bytes were read
        kTimeout, // nothing arrived within the time-out
        kWoken,   // Wake() was called
        kHangup,  // no slave is open at the moment (or the master is gone): wait and retry
        kError,   // the master failed; the pty is unusable
    };
    struct ReadResult {
        ReadStatus status;
        std::size_t count;
    };

    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    // Creates the pair, sets the slave raw (no echo for a client that has not configured it
    // yet) and keeps one slave descriptor open, so the master never sees a lasting hang-up
    // when the client closes and reopens the slave (a pipe is offered again at once instead).
    // false with a reason in error on failure.
    bool Open(std::string& error);
    const std::string& SlavePath() const;

    // Waits up to timeoutMs (< 0: without limit) for bytes from the client and reads what is
    // there, at most buffer.size().
    ReadResult Read(std::span<std::uint8_t> buffer, int timeoutMs);
    // Writes bytes to the client without blocking. Bytes the client's queue cannot take are
    // dropped, as on a line nobody reads. Returns the count accepted (-1: master gone).
    int Write(std::span<const std::uint8_t> bytes);
    // Bytes written to the client that it has not read yet.
    int ClientPending() const;
    // Asks the OS to wake the calling thread at the times it waits for, not some tens of
    // microseconds after: the host paces every reply by the clock, and the last chunk of a reply
    // leaves when its wait ends. WakeOnTimeEnds, on the same thread, gives that back once the
    // host stops (on Windows the finer timer is the whole system's, and costs power).
    static void WakeOnTime();
    static void WakeOnTimeEnds();
    // Thread-safe: ends a Read that is waiting now or the next one.
    void Wake();
    // Closes master and slave, as when the cable is pulled: the client sees a hang-up.
    void Unplug();
    bool IsOpen() const;

  private:
    struct Fds;
    std::unique_ptr<Fds> fds_;
    std::string slavePath_;
};

} // namespace ovx::sim
