// The live view against the virtual controller, which runs as a separate ovextar-sim process.
//   (a) 19200 baud emulated, default think time: frames/s against what the line allows
//       (72 bytes x 10 bits / 19200 + think time per frame; target >= 99 %), and the tool's CPU
//       use and wake-ups meanwhile (targets: panel shown <= 1.2 %, hidden <= 0.6 % of one core);
//   (i) idle, port open, no run: CPU (target <= 0.05 %) and wake-ups per second;
//   (b) no line emulation, no think time: frames/s end to end (target >= 10000), every frame
//       through history, indicators and switching outputs, for both graph sources; the strip
//       chart's repaints per second meanwhile (target <= 60);
//   (f) the floor for (a): a bare client of a few system calls a frame (write the request, poll()
//       with VMIN 36, read the reply) against its own ovextar-sim, before the tool starts. CPU
//       figures on a virtual machine drift over the day; the floor measured in the same run
//       tells how much of (a) is the tool's own.
// Usage: bench_live [seconds for (a)] [seconds for (b)] [part]   (defaults 10, 5 and all)
// part: all, floor, shown, hidden, idle or noline. A single part suits a profiler: with callgrind,
// --toggle-collect='ovx::app::CC_BTNRun*' counts the instructions of the runs alone.
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/panel_handles.h"
#include "app/runloop.h"
#include "bench_tool.h"
#include "link/com232.h"
#include "link/frame.h"
#include "params/panels.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "raw_port.h"
#include "ui/panel.h"

namespace {

using namespace ovx;

constexpr double kLatencyMs = 2.0; // ovextar-sim's default think time
constexpr double kLineFrame = 2.0 * link::kFrameBytes * 10.0 / 19200.0;

long gFrames = 0;
double gFloorCpu = -1.0; // per cent of one core, once (f) has run
// Per frame: request written -> reply decoded, and reply decoded -> next request written.
std::vector<double> gExchange, gTurnaround;
double gLastDecoded = -1.0;
// The frames decoded while a measurement runs, and when the first and the last of them were.
struct DecodedSpan {
    bool on = false;
    long frames = 0;
    double first = 0.0;
    double last = 0.0;
} gSpan;

// The receive notification, counting the frames it decodes and timing the loop around them.
void CountingRx(int port, int eventWord, void* data) {
    link::RX_Receive_Function(port, eventWord, data);
    if ((eventWord & platform::kEvNotifyCount) == 0) {
        return;
    }
    ++gFrames;
    const double now = platform::Timer();
    if (gExchange.size() < gExchange.capacity()) {
        gExchange.push_back(now - link::tstart);
        if (gLastDecoded >= 0.0 && link::tstart > gLastDecoded) {
            gTurnaround.push_back(link::tstart - gLastDecoded);
        }
    }
    gLastDecoded = now;
    if (gSpan.on) {
        gSpan.first = gSpan.frames++ == 0 ? now : gSpan.first;
        gSpan.last = now;
    }
}

// The q-quantile (0..1) of v, in milliseconds.
double QuantileMs(std::vector<double> v, double q) {
    if (v.empty()) {
        return 0.0;
    }
    const auto k = static_cast<long>(q * static_cast<double>(v.size() - 1));
    std::nth_element(v.begin(), v.begin() + k, v.end());
    return 1e3 * v[static_cast<std::size_t>(k)];
}

void PrintSpread(const char* what, const std::vector<double>& v) {
    std::printf("    %s: median %.2f, p90 %.2f, p99 %.2f, max %.2f ms\n", what, QuantileMs(v, 0.5),
                QuantileMs(v, 0.9), QuantileMs(v, 0.99), QuantileMs(v, 1.0));
}

struct RunFigures {
    long frames = 0;
    double seconds = 0.0;
    double cpuSeconds = 0.0;
    long wakeUps = 0;
    long repaints = 0;
    DecodedSpan span;
};

// Context switches of this process (every thread), voluntary and not: a thread that sleeps and
// wakes counts one each time.
long ContextSwitches() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_nvcsw + u.ru_nivcsw;
}

// Counts the paints of the widgets it watches.
class PaintCounter : public QObject {
  public:
    long count = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++count;
        }
        return QObject::eventFilter(watched, event);
    }
};

QWidget* StripChartOf(int source) {
    const int control = source == 0 ? params::PANEL_STRIPRAW : params::PANEL_STRIPNORM;
    return static_cast<QWidget*>(ui::CtrlWidget(app::panelHandle, control));
}

// One live run of the given length with the graph source selected; stopped by the stop
// command from a timer, as the operator would.
RunFigures MeasureRun(double seconds, int source) {
    ui::SetCtrlVal(app::panelHandle, params::PANEL_RNGGRAPHSOURCE, source);
    platform::InstallComCallback(link::com, link::eventMask, link::kFrameBytes, link::sync,
                                 CountingRx, nullptr);
    gExchange.clear();
    gTurnaround.clear();
    gExchange.reserve(1 << 16);
    gTurnaround.reserve(1 << 16);
    gLastDecoded = -1.0;
    PaintCounter paints;
    if (QWidget* chart = StripChartOf(source)) {
        chart->installEventFilter(&paints);
    }
    RunFigures f;
    double start = 0.0, cpuStart = 0.0;
    long framesAtStart = 0, switchesAtStart = 0, paintsAtStart = 0;
    // The clock starts at the run's first event processing, when its first request is out.
    QTimer::singleShot(0, [&] {
        start = platform::Timer();
        cpuStart = bench::ProcessCpuSeconds();
        framesAtStart = gFrames;
        switchesAtStart = ContextSwitches();
        paintsAtStart = paints.count;
        gSpan = {.on = true};
    });
    QTimer::singleShot(static_cast<int>(seconds * 1000.0), [&] {
        f.frames = gFrames - framesAtStart;
        f.seconds = platform::Timer() - start;
        f.cpuSeconds = bench::ProcessCpuSeconds() - cpuStart;
        f.wakeUps = ContextSwitches() - switchesAtStart;
        f.repaints = paints.count - paintsAtStart;
        f.span = gSpan;
        gSpan.on = false;
        app::CC_BTNStop(app::panelHandle, params::PANEL_BTNSTOP, ui::kEventCommit, nullptr, 0, 0);
    });
    app::CC_BTNRun(app::panelHandle, params::PANEL_BTNRUN, ui::kEventCommit, nullptr, 0, 0);
    return f;
}

// The window's event loop with the port open and no run, for the given time. It settles first:
// the panel shown again after the hidden run is painted whole, and a run's end leaves work
// behind for a moment.
RunFigures MeasureIdle(double seconds) {
    bench::Settle(2.0);
    RunFigures f;
    const double start = platform::Timer();
    const double cpuStart = bench::ProcessCpuSeconds();
    const long switchesAtStart = ContextSwitches();
    bench::RunEventLoopFor(seconds);
    f.seconds = platform::Timer() - start;
    f.cpuSeconds = bench::ProcessCpuSeconds() - cpuStart;
    f.wakeUps = ContextSwitches() - switchesAtStart;
    return f;
}

void ReportLineRun(const char* what, const RunFigures& f, double cpuTarget) {
    const double allowed = 1.0 / (kLineFrame + kLatencyMs / 1000.0);
    // Counted from the first to the last frame decoded, so that the part-frames at either end
    // of the measurement (up to one in 250) do not count as lost.
    const double spanSeconds = f.span.last - f.span.first;
    const double rate = spanSeconds > 0.0 ? (f.span.frames - 1) / spanSeconds : 0.0;
    const double cpu = 100.0 * f.cpuSeconds / f.seconds;
    std::printf("  %s\n", what);
    std::printf("    frames %ld in %.2f s, %ld from the first to the last decoded in %.3f s: "
                "%.2f frames/s, line allows %.2f: %.1f %% (target >= 99 %%)  %s\n",
                f.frames, f.seconds, f.span.frames, spanSeconds, rate, allowed,
                100.0 * rate / allowed, rate >= 0.99 * allowed ? "ok" : "MISSED");
    std::printf("    tool CPU %.2f s of %.2f s: %.2f %% of one core (target <= %.1f %%)  %s",
                f.cpuSeconds, f.seconds, cpu, cpuTarget, cpu <= cpuTarget ? "ok" : "MISSED");
    if (gFloorCpu >= 0.0) {
        std::printf("; %.2f above the floor", cpu - gFloorCpu);
    }
    std::printf("\n");
    std::printf("    wake-ups %.0f/s, %.1f per frame; chart repaints %.1f/s\n",
                f.wakeUps / f.seconds, static_cast<double>(f.wakeUps) / std::max(f.frames, 1L),
                f.repaints / f.seconds);
    std::printf("    line and think time per frame %.2f ms\n",
                1e3 * (kLineFrame + kLatencyMs / 1000.0));
    PrintSpread("request written -> reply decoded", gExchange);
    PrintSpread("reply decoded -> next request written", gTurnaround);
}

bool started = false;

bool Connect(bench::SimProcess& sim, const std::vector<std::string>& options, int argc,
             char** argv) {
    if (!sim.Start(options)) {
        return false;
    }
    if (!started) {
        started = true;
        return bench::StartTool(sim.Path(), argc, argv);
    }
    platform::CloseCom(link::com);
    platform::RegisterPort(1, sim.Path());
    link::InitRS232(1);
    return true;
}

bool Wanted(const char* part, const char* name) {
    return std::strcmp(part, "all") == 0 || std::strcmp(part, name) == 0;
}

int LineEmulated(double seconds, const char* part, int argc, char** argv) {
    bench::SimProcess sim;
    if (!Connect(sim, {}, argc, argv)) {
        std::fprintf(stderr, "bench_live: cannot start\n");
        return 1;
    }
    std::printf("(a) 19200 baud emulated, think time %.1f ms: %s\n", kLatencyMs, link::szStatus);
    if (Wanted(part, "shown")) {
        bench::Settle(); // the window's first paint is start-up, not the live view
        ReportLineRun("panel shown", MeasureRun(seconds, 1), 1.2);
    }
    // The same without painting, to tell the painting's share from the loop's own.
    if (Wanted(part, "hidden")) {
        ui::HidePanel(app::panelHandle);
        ReportLineRun("panel hidden", MeasureRun(seconds, 1), 0.6);
        ui::DisplayPanel(app::panelHandle);
    }
    if (Wanted(part, "idle")) {
        const RunFigures f = MeasureIdle(seconds);
        const double cpu = 100.0 * f.cpuSeconds / f.seconds;
        std::printf("(i) idle, port open, panel shown, no run: tool CPU %.3f %% of one core "
                    "(target <= 0.05 %%)  %s;  wake-ups %.1f/s\n",
                    cpu, cpu <= 0.05 ? "ok" : "MISSED", f.wakeUps / f.seconds);
    }
    return 0;
}

int Floor(double seconds) {
    bench::SimProcess sim;
    const int fd = sim.Start({}) ? bench::OpenRaw(sim.Path(), link::kFrameBytes) : -1;
    if (fd < 0) {
        std::fprintf(stderr, "bench_live: cannot start the controller for the floor\n");
        return 1;
    }
    constexpr int kLiveOrder = 8;
    const link::FrameBytes request = link::EncodeFrame(link::kSyncWord, kLiveOrder, {});
    const double start = platform::Timer();
    const double cpuStart = bench::ProcessCpuSeconds();
    const long switchesStart = ContextSwitches();
    long frames = 0;
    std::array<std::uint8_t, 2 * link::kFrameBytes> reply{};
    while (platform::Timer() - start < seconds) {
        pollfd p{fd, POLLIN, 0};
        constexpr int kTimeoutMs = 2000;
        if (tcflush(fd, TCIFLUSH) != 0 ||
            write(fd, request.data(), request.size()) != link::kFrameBytes ||
            poll(&p, 1, kTimeoutMs) != 1 ||
            read(fd, reply.data(), reply.size()) < link::kFrameBytes) {
            std::fprintf(stderr, "bench_live: the floor's exchange %ld failed\n", frames);
            close(fd);
            return 1;
        }
        ++frames;
    }
    const double elapsed = platform::Timer() - start;
    const double cpu = 100.0 * (bench::ProcessCpuSeconds() - cpuStart) / elapsed;
    gFloorCpu = cpu;
    std::printf(
        "(f) floor, a bare client of the same line: %.2f frames/s, CPU %.2f %% of one core, "
        "wake-ups %.1f per frame\n",
        frames / elapsed, cpu,
        static_cast<double>(ContextSwitches() - switchesStart) / std::max(frames, 1L));
    close(fd);
    return 0;
}

int LineOff(double seconds, int argc, char** argv) {
    bench::SimProcess sim;
    if (!Connect(sim, {"--no-line", "--latency", "0"}, argc, argv)) {
        std::fprintf(stderr, "bench_live: cannot start the controller without line\n");
        return 1;
    }
    std::printf("(b) no line emulation, no think time\n");
    for (const int source : {1, 0}) {
        const RunFigures f = MeasureRun(seconds, source);
        const double rate = f.frames / f.seconds;
        const double repaints = f.repaints / f.seconds;
        std::printf("    %s: frames %ld in %.2f s: %.0f frames/s (target >= 10000)  %s;"
                    "  tool CPU %.0f %% of one core, %.1f us per frame; chart repaints %.1f/s "
                    "(target <= 60)  %s\n",
                    source == 1 ? "NORM" : "RAW ", f.frames, f.seconds, rate,
                    rate >= 10000.0 ? "ok" : "MISSED", 100.0 * f.cpuSeconds / f.seconds,
                    1e6 * f.cpuSeconds / static_cast<double>(std::max(f.frames, 1L)), repaints,
                    repaints <= 60.0 ? "ok" : "MISSED");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const double lineSeconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const double offSeconds = argc > 2 ? std::atof(argv[2]) : 5.0;
    const char* part = argc > 3 ? argv[3] : "all";
    // Before the tool starts: no thread of it runs beside the bare client.
    if (Wanted(part, "floor") && Floor(lineSeconds > 0 ? lineSeconds : 10.0) != 0) {
        return 1;
    }
    const bool line = Wanted(part, "shown") || Wanted(part, "hidden") || Wanted(part, "idle");
    if (line && LineEmulated(lineSeconds > 0 ? lineSeconds : 10.0, part, argc, argv) != 0) {
        return 1;
    }
    int rc = 0;
    if (Wanted(part, "noline")) {
        rc = LineOff(offSeconds > 0 ? offSeconds : 5.0, argc, argv);
    }
    platform::CloseCom(link::com);
    return rc;
}
