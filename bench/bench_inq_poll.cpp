// Input-queue polling loop: CPU time of a 2-second loop that never reaches its count, how exact
// its time-out is, and how soon it ends when the bytes do arrive. Over a pty.
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "cpu_time.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "ui/panel.h"

namespace {

using namespace ovx::platform;
using namespace ovx::ui;

constexpr int kPort = 201;
constexpr double kLimit = 2.0;

struct LoopResult {
    double elapsed = 0;
    double cpu = 0;
    long passes = 0;
    int count = 0;
};

// The firmware-information wait: poll until 64 bytes or more than 2.0 s.
LoopResult PollLoop() {
    LoopResult r;
    const double cpu0 = ovx::bench::ProcessCpuSeconds();
    const double t0 = Timer();
    do {
        r.count = GetInQLen(kPort);
        ++r.passes;
        r.elapsed = Timer() - t0;
        if (r.elapsed > kLimit) {
            break;
        }
    } while (r.count < 64);
    r.cpu = ovx::bench::ProcessCpuSeconds() - cpu0;
    return r;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (InitEngine(argc, argv) < 0) {
        std::fprintf(stderr, "engine failed\n");
        return 1;
    }
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        std::fprintf(stderr, "no pty\n");
        return 1;
    }
    RegisterPort(kPort, ttyname(slave));
    close(slave);
    if (OpenComConfig(kPort, "", 19200, 0, 8, 1, 4096, 4096) != 0) {
        std::fprintf(stderr, "open failed\n");
        return 1;
    }

    std::printf("silent line, limit %.1f s:\n", kLimit);
    for (int run = 0; run < 3; ++run) {
        const LoopResult r = PollLoop();
        std::printf("  run %d: CPU %.1f ms (%.2f %% of a core), %ld passes, time-out late by "
                    "%.3f ms\n",
                    run + 1, r.cpu * 1e3, 100.0 * r.cpu / r.elapsed, r.passes,
                    (r.elapsed - kLimit) * 1e3);
    }

    std::printf("64 bytes sent after 0.5 s:\n");
    for (int run = 0; run < 3; ++run) {
        FlushInQ(kPort);
        double sentAt = 0;
        std::thread device([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            const std::vector<char> bytes(64, 'x');
            sentAt = Timer();
            if (write(master, bytes.data(), bytes.size()) != 64) {
                std::fprintf(stderr, "device write failed\n");
            }
        });
        const LoopResult r = PollLoop();
        const double endedAt = Timer();
        device.join();
        std::printf("  run %d: %d bytes seen %.3f ms after the write, CPU %.1f ms\n", run + 1,
                    r.count, (endedAt - sentAt) * 1e3, r.cpu * 1e3);
    }
    CloseCom(kPort);
    close(master);
    return 0;
}
