// A pseudo-terminal whose master side plays the device for the serial tests.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/events.h"
#include "platform/serial.h"
#include "platform/timing.h"

namespace ovx::platform::testing {

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class PtyDevice {
  public:
    PtyDevice() {
        int slave = -1;
        if (openpty(&master_, &slave, nullptr, nullptr, nullptr) == 0) {
            path_ = ttyname(slave);
            close(slave);
        }
    }
    ~PtyDevice() { HangUp(); }
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    bool Ok() const { return master_ >= 0 && !path_.empty(); }
    const std::string& Path() const { return path_; }

    // Bytes 0, 1, 2, ... as the device sends them.
    static std::vector<char> Pattern(int count, int first = 0) {
        std::vector<char> bytes(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            bytes[static_cast<std::size_t>(i)] = static_cast<char>((first + i) & 0xff);
        }
        return bytes;
    }

    bool Send(const std::vector<char>& bytes) {
        return write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    bool Send(int count, int first = 0) { return Send(Pattern(count, first)); }

    // What the tool wrote, up to count bytes or until the time-out.
    std::vector<char> Receive(int count, double timeoutSeconds = 2.0) {
        std::vector<char> got;
        const auto start = Clock::now();
        while (static_cast<int>(got.size()) < count && SecondsSince(start) < timeoutSeconds) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 10) > 0) {
                char buf[256];
                const ssize_t n = read(master_, buf, sizeof buf);
                if (n <= 0) {
                    break;
                }
                got.insert(got.end(), buf, buf + n);
            }
        }
        return got;
    }

    void HangUp() {
        if (master_ >= 0) {
            close(master_);
            master_ = -1;
        }
    }

  private:
    int master_ = -1;
    std::string path_;
};

// Opens the device's slave side as port with the controller's line settings.
inline int OpenAs(int port, const PtyDevice& device) {
    RegisterPort(port, device.Path());
    return OpenComConfig(port, "", 19200, 0, 8, 1, 4096, 4096);
}

// Polls the input queue (no event processing) until it holds count bytes.
inline bool WaitInQ(int port, int count, double timeoutSeconds = 2.0) {
    const auto start = Clock::now();
    while (GetInQLen(port) < count) {
        if (SecondsSince(start) > timeoutSeconds) {
            return false;
        }
    }
    return true;
}

// Runs turns of the event wait (short ones: another thread's change wakes no wait) until pred()
// holds or the time-out passes. With the window's hook installed a turn processes its events.
template <typename Pred> bool ProcessUntil(Pred pred, double timeoutSeconds = 2.0) {
    const auto start = Clock::now();
    while (!pred()) {
        if (SecondsSince(start) > timeoutSeconds) {
            return false;
        }
        WaitForEvents(Timer() + 0.002);
    }
    return true;
}

// Processes events for a while, for checks that something does not happen.
inline void ProcessFor(double seconds) {
    ProcessUntil([] { return false; }, seconds);
}

} // namespace ovx::platform::testing
