// The RAW data curve (four 64-word blocks, then one live frame) against the virtual controller
// at 19200 baud emulated. Prints the time of each command against its line time plus the
// controller's think time (target within 10 %).
// Usage: bench_datacurve [runs]   (default 5)
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/datacurve.h"
#include "app/panel_handles.h"
#include "bench_tool.h"
#include "link/com232.h"
#include "link/datablock.h"
#include "params/panels.h"
#include "platform/timing.h"
#include "ui/panel.h"
#include "ui/plot.h"

namespace {

using namespace ovx;

constexpr double kLatency = 0.002; // ovextar-sim's default think time
constexpr double kByteTime = 10.0 / 19200.0;
constexpr int kBlocks = 4;
// Four block requests with their 128-byte answers, then one live request and its frame.
constexpr int kLineBytes =
    kBlocks * (link::kFrameBytes + link::kBlockBytes) + 2 * link::kFrameBytes;
constexpr double kFloor = kLineBytes * kByteTime + (kBlocks + 1) * kLatency;

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    bench::SimProcess sim;
    if (!sim.Start({}) || !bench::StartTool(sim.Path(), argc, argv)) {
        std::fprintf(stderr, "bench_datacurve: cannot start\n");
        return 1;
    }
    std::printf("RAW data curve, 19200 baud emulated: %d line bytes, line time %.1f ms, "
                "+ think time %.1f ms = %.1f ms\n",
                kLineBytes, 1e3 * kLineBytes * kByteTime, 1e3 * (kBlocks + 1) * kLatency,
                1e3 * kFloor);
    ui::SetCtrlVal(app::panelHandle, params::PANEL_RNGGRAPHSOURCE, 0);
    double sum = 0.0, worst = 0.0;
    for (int r = 0; r < runs; ++r) {
        const double start = platform::Timer();
        app::CC_BTNData(app::panelHandle, params::PANEL_BTNDATA, ui::kEventCommit, nullptr, 0, 0);
        const double t = platform::Timer() - start;
        const int plots = ui::GetGraphPlotCount(app::panelHandle, params::PANEL_GRAPHDATA);
        std::printf("run %d  %.1f ms  (+%.1f %%)  %d plots  \"%s\"\n", r + 1, 1e3 * t,
                    100.0 * (t - kFloor) / kFloor, plots, link::szStatus);
        sum += t;
        worst = std::max(worst, t);
    }
    const double mean = sum / runs;
    std::printf("mean %.1f ms (+%.1f %%), worst %.1f ms (+%.1f %%); target within 10 %%  %s\n",
                1e3 * mean, 100.0 * (mean - kFloor) / kFloor, 1e3 * worst,
                100.0 * (worst - kFloor) / kFloor, worst <= 1.1 * kFloor ? "ok" : "MISSED");
    platform::CloseCom(link::com);
    return 0;
}
