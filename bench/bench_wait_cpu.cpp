// CPU cost of waiting: a 2-second ProcessSystemEvents polling loop, RunUserInterface idle for
// 2 s, how fast a file-descriptor notifier wakes the polling loop, and how late such a loop
// notices its time-out.
#include <QSocketNotifier>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "cpu_time.h"
#include "platform/timing.h"
#include "ui/panel.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

void PollingLoop() {
    const double cpu0 = ovx::bench::ProcessCpuSeconds();
    const auto t0 = Clock::now();
    long calls = 0;
    while (Clock::now() - t0 < std::chrono::seconds(2)) {
        ovx::ui::ProcessSystemEvents();
        ++calls;
    }
    const double wall = Seconds(Clock::now() - t0);
    const double cpu = ovx::bench::ProcessCpuSeconds() - cpu0;
    std::printf("ProcessSystemEvents loop, 2 s idle: %.1f %% of a core, %ld calls (%.2f ms each)\n",
                100.0 * cpu / wall, calls, 1000.0 * wall / static_cast<double>(calls));
}

void IdleRun() {
    QTimer::singleShot(2000, [] { ovx::ui::QuitUserInterface(0); });
    const double cpu0 = ovx::bench::ProcessCpuSeconds();
    const auto t0 = Clock::now();
    ovx::ui::RunUserInterface();
    const double wall = Seconds(Clock::now() - t0);
    std::printf("RunUserInterface, 2 s idle: %.2f %% of a core\n",
                100.0 * (ovx::bench::ProcessCpuSeconds() - cpu0) / wall);
}

// A thread writes one byte into a pipe now and then; the polling loop's notifier reads it.
void NotifierLatency() {
    int fds[2];
    if (pipe(fds) != 0) {
        std::perror("pipe");
        return;
    }
    std::atomic<long long> writtenAt{0};
    std::vector<double> latencies;
    QSocketNotifier notifier(fds[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char c;
        if (read(fds[0], &c, 1) == 1) {
            const auto now = Clock::now().time_since_epoch().count();
            latencies.push_back((now - writtenAt.load()) / 1000.0);
        }
    });
    constexpr int kRounds = 200;
    std::thread writer([&] {
        for (int i = 0; i < kRounds; ++i) {
            std::this_thread::sleep_for(std::chrono::microseconds(3000 + (i * 7919) % 4000));
            writtenAt = Clock::now().time_since_epoch().count();
            const char c = 'x';
            if (write(fds[1], &c, 1) != 1) {
                break;
            }
        }
    });
    const auto t0 = Clock::now();
    while (latencies.size() < kRounds && Clock::now() - t0 < std::chrono::seconds(10)) {
        ovx::ui::ProcessSystemEvents();
    }
    writer.join();
    close(fds[0]);
    close(fds[1]);
    if (latencies.empty()) {
        std::printf("notifier latency: no wake-ups\n");
        return;
    }
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) {
        return latencies[static_cast<std::size_t>(q * static_cast<double>(latencies.size() - 1))];
    };
    std::printf("fd notifier wake-up in the polling loop: median %.0f us, p95 %.0f us, max %.0f "
                "us (%zu samples)\n",
                at(0.5), at(0.95), latencies.back(), latencies.size());
}

// As the program's waiting loops do: a time-out is over when the elapsed time is strictly
// greater than its limit, checked between ProcessSystemEvents calls. Lateness = elapsed - limit.
double TimeoutLateness(double limit) {
    const double start = ovx::platform::Timer();
    double elapsed = 0.0;
    for (;;) {
        elapsed = ovx::platform::Timer() - start;
        if (elapsed > limit) {
            break;
        }
        ovx::ui::ProcessSystemEvents();
    }
    return elapsed - limit;
}

void TimeoutAccuracy() {
    std::vector<double> late;
    for (int i = 0; i < 3; ++i) {
        late.push_back(TimeoutLateness(2.0));
    }
    for (int i = 0; i < 60; ++i) {
        late.push_back(TimeoutLateness(0.0371 + 0.0007 * i));
    }
    std::sort(late.begin(), late.end());
    const auto at = [&](double q) {
        return 1e3 * late[static_cast<std::size_t>(q * static_cast<double>(late.size() - 1))];
    };
    std::printf("time-out noticed by a ProcessSystemEvents loop (3 x 2.0 s, 60 x 37..79 ms): late "
                "by median %.2f ms, p95 %.2f ms, max %.2f ms\n",
                at(0.5), at(0.95), at(1.0));
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (ovx::ui::InitEngine(argc, argv) < 0) {
        return 1;
    }
    PollingLoop();
    IdleRun();
    NotifierLatency();
    TimeoutAccuracy();
    return 0;
}
