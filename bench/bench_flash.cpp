// Flash programming of pages 4 to 7 against the virtual controller at 19200 baud, with the line
// emulated byte by byte. Prints the time of each run against two floors:
//   pauses floor: each exchange costs its 0.05 s pause, the line time of request and reply
//                 lying inside it (a write returns once its bytes are queued);
//   line floor:   each exchange costs its pause plus the 37.5 ms of line time after it.
// Usage: bench_flash [runs]   (default 3)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "app/OVEXTAR1V12.h"
#include "app/panel_handles.h"
#include "link/com232.h"
#include "link/flash.h"
#include "link/frame.h"
#include "params/lintable.h"
#include "params/panels.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "sim/pty_host.h"
#include "ui/panel.h"

namespace {

using namespace ovx;

constexpr int kExchanges = 4 * link::MAXBLOCK * 2; // info block + block, 16 blocks, 4 pages
constexpr double kPause = 0.05;
constexpr double kPauses = kExchanges * kPause + 4 * 0.15 + 3 * 0.05;
constexpr double kByteTime = 10.0 / 19200.0;
constexpr double kLineTime = 2 * link::kFrameBytes * kByteTime; // request + reply
constexpr double kLineFloor = kPauses + kExchanges * kLineTime;

void FillImages() {
    std::int32_t* images[] = {params::flashp4, params::flashp5, params::flashp6, params::flashp7};
    for (int p = 0; p < 4; ++p) {
        for (int i = 0; i < params::kPageSize; ++i) {
            images[p][i] = 16 * (p * params::kPageSize + i);
        }
    }
}

bool FlashHoldsImages(sim::PtyHost& host) {
    std::lock_guard lock(host.ModelMutex());
    for (int n = 0; n < params::kTableSize; ++n) {
        if (host.Model().FlashWord(link::PAGE4 + n) != 16 * n) {
            return false;
        }
    }
    return true;
}

int StartTool(sim::PtyHost& host, int argc, char** argv) {
    std::string error;
    if (ui::InitEngine(argc, argv) < 0 || !host.Start(error)) {
        std::fprintf(stderr, "bench_flash: cannot start: %s\n", error.c_str());
        return -1;
    }
    app::RegisterAllCallbacks();
    app::panelHandle = ui::LoadPanel(0, params::kPanelFile, params::PANEL);
    app::panelPopUp = ui::LoadPanel(0, params::kPanelFile, params::POPUP);
    if (app::panelHandle < 0 || app::panelPopUp < 0) {
        std::fprintf(stderr, "bench_flash: cannot load the panel file\n");
        return -1;
    }
    app::ShowStatusOnPanel();
    app::InitVars();
    platform::RegisterPort(1, host.DevicePath());
    link::InitRS232(1);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    sim::HostOptions options;
    options.lineEmulation = true;
    sim::PtyHost host(options);
    if (StartTool(host, argc, argv) < 0) {
        return 1;
    }
    // With line emulation the reply is complete after request line time + think time + reply
    // line time; when that fits the pause, the pause is what each exchange costs.
    const double replyDone = kLineTime + options.replyLatencyMs / 1000.0;
    const double modelled = kPauses + kExchanges * std::max(0.0, replyDone - kPause);
    std::printf("flash programming, 4 pages, 128 exchanges, 19200 baud emulated\n");
    std::printf("pauses floor     %.3f s\n", kPauses);
    std::printf("line floor       %.3f s\n", kLineFloor);
    std::printf("reply complete   %.1f ms after the request (pause %.0f ms)\n", replyDone * 1e3,
                kPause * 1e3);
    std::printf("modelled floor   %.3f s\n", modelled);
    double best = 1e9, sum = 0.0;
    for (int r = 0; r < runs; ++r) {
        FillImages();
        const double start = platform::Timer();
        link::SendCorrDataToFlash();
        const double t = platform::Timer() - start;
        const bool ok = FlashHoldsImages(host);
        std::printf("run %d           %.3f s  (+%.2f %% over the modelled floor)  %s  \"%s\"\n",
                    r + 1, t, 100.0 * (t - modelled) / modelled, ok ? "flash ok" : "FLASH WRONG",
                    link::szStatus);
        best = std::min(best, t);
        sum += t;
    }
    std::printf("best %.3f s, mean %.3f s: %.2f %% over the modelled floor, %.2f %% of the line "
                "floor\n",
                best, sum / runs, 100.0 * (sum / runs - modelled) / modelled,
                100.0 * (sum / runs) / kLineFloor);
    platform::CloseCom(link::com);
    return 0;
}
