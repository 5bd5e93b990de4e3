// Duration of one live exchange (order 8 request, 36-byte reply) with the virtual controller,
// measured by a raw client on its pty, with the line emulated at 19200 baud and without.
// Also the host's CPU use while the live view runs back to back.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

#include "cpu_time.h"
#include "link/frame.h"
#include "raw_port.h"
#include "sim/pty_host.h"

namespace {

using Clock = std::chrono::steady_clock;

bool ReadAll(int fd, std::size_t n) {
    std::size_t got = 0;
    std::uint8_t buf[256];
    while (got < n) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) {
            return false;
        }
        const ssize_t r = ::read(fd, buf, std::min(sizeof buf, n - got));
        if (r <= 0) {
            return false;
        }
        got += static_cast<std::size_t>(r);
    }
    return true;
}

void Measure(const char* label, const ovx::sim::HostOptions& options, int order, int words,
             std::size_t replyBytes, int count) {
    ovx::sim::PtyHost host(options);
    std::string error;
    if (!host.Start(error)) {
        std::printf("%s: cannot start: %s\n", label, error.c_str());
        return;
    }
    const int fd = ovx::bench::OpenRaw(host.DevicePath());
    if (fd < 0) {
        std::printf("%s: cannot open %s\n", label, host.DevicePath().c_str());
        return;
    }
    const std::vector<std::uint16_t> payload(static_cast<std::size_t>(words), 0);
    const auto request = ovx::link::EncodeFrame(ovx::link::kSyncWord, order, payload);
    std::vector<double> ms;
    const double cpu0 = ovx::bench::ProcessCpuSeconds();
    const auto wall0 = Clock::now();
    for (int i = 0; i < count; ++i) {
        const auto t0 = Clock::now();
        if (::write(fd, request.data(), request.size()) != ovx::link::kFrameBytes ||
            !ReadAll(fd, replyBytes)) {
            std::printf("%s: exchange %d failed\n", label, i);
            break;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    const double cpu = ovx::bench::ProcessCpuSeconds() - cpu0;
    ::close(fd);
    if (ms.empty()) {
        return;
    }
    std::sort(ms.begin(), ms.end());
    const double mean = std::accumulate(ms.begin(), ms.end(), 0.0) / static_cast<double>(ms.size());
    std::printf("%-40s n=%4zu  mean %7.2f ms  median %7.2f  min %7.2f  p95 %7.2f  max %7.2f  "
                "%6.1f exchanges/s  CPU %4.1f %%\n",
                label, ms.size(), mean, ms[ms.size() / 2], ms.front(), ms[ms.size() * 95 / 100],
                ms.back(), static_cast<double>(ms.size()) / wall, 100.0 * cpu / wall);
}

} // namespace

int main() {
    ovx::sim::HostOptions line; // as shipped: 19200 baud emulated, 2 ms latency
    ovx::sim::HostOptions fast;
    fast.lineEmulation = false;
    fast.replyLatencyMs = 0.0;
    std::printf("Line time of 36 + 36 bytes at 19200 baud: 37.50 ms; + %.1f ms latency = "
                "%.2f ms\n",
                line.replyLatencyMs, 37.5 + line.replyLatencyMs);
    Measure("order 8, line emulated, default latency", line, 8, 0, 36, 250);
    Measure("order 9, line emulated, default latency", line, 9, 2, 128, 40);
    Measure("order 8, no line, no latency", fast, 8, 0, 36, 2000);
    return 0;
}
