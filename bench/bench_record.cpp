// Recording and the protocol monitor against the virtual controller (an ovextar-sim process).
//   (a) 19200 baud emulated, default think time, panel shown: frames/s against what the line
//       allows (target >= 99 %, taken from the first frame decoded to the last) and the tool's
//       CPU: recording off and the monitor pane hidden, then recording on, then the pane shown
//       too (target <= 2 % of one core under a real X server or Xvfb).
//   (b) no line emulation: as many frames as an hour at line rate, recorded with the monitor
//       shown; the growth of the resident memory (target < 10 MB);
//   (c) as the last run of (a), after (b) filled the monitor's list to what it keeps.
// Usage: bench_record [seconds for (a)] [frames for (b)]   (defaults 10 and one hour's worth)
#include <QDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/monitor.h"
#include "app/panel_handles.h"
#include "app/recorder.h"
#include "app/runloop.h"
#include "bench_tool.h"
#include "link/com232.h"
#include "params/panels.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "ui/panel.h"

namespace {

using namespace ovx;

constexpr double kLatencyMs = 2.0;
constexpr double kLineFrame = 2.0 * link::kFrameBytes * 10.0 / 19200.0;

double ResidentMb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * 4096.0 / (1024.0 * 1024.0);
}

long gFrames = 0;
long gStopAt = 0; // the run stops when gFrames reaches it; 0: at its time
// When the first and the last frame of a measured run were decoded: the rate is taken between
// them, so that the frame on its way when the run stops does not count against the tool.
double gFirstDecoded = -1.0;
double gLastDecoded = -1.0;

void StopRun() {
    app::CC_BTNStop(app::panelHandle, params::PANEL_BTNSTOP, ui::kEventCommit, nullptr, 0, 0);
}

// The receive notification, counting the frames it decodes; it stops a run of a frame count at
// its last frame, from the event loop as the operator's command would come.
void CountingRx(int port, int eventWord, void* data) {
    link::RX_Receive_Function(port, eventWord, data);
    if ((eventWord & platform::kEvNotifyCount) == 0) {
        return;
    }
    ++gFrames;
    gLastDecoded = platform::Timer();
    gFirstDecoded = gFirstDecoded < 0.0 ? gLastDecoded : gFirstDecoded;
    if (gStopAt > 0 && gFrames >= gStopAt) {
        gStopAt = 0;
        QTimer::singleShot(0, StopRun);
    }
}

struct Figures {
    long frames = 0;
    double seconds = 0.0;
    double cpuSeconds = 0.0;
    double decodedSpan = 0.0; // from the first frame decoded to the last
};

// One run until seconds pass or frames have been recorded. Nothing wakes the tool for the
// measurement meanwhile: the figures are the run's own.
Figures MeasureRun(double seconds, long frames) {
    platform::InstallComCallback(link::com, link::eventMask, link::kFrameBytes, link::sync,
                                 CountingRx, nullptr);
    double start = 0.0, cpuStart = 0.0;
    long framesAtStart = 0;
    // The clock starts at the run's first event processing, when its first request is out.
    QTimer::singleShot(0, [&] {
        start = platform::Timer();
        cpuStart = bench::ProcessCpuSeconds();
        framesAtStart = gFrames;
        gFirstDecoded = -1.0;
        gStopAt = frames > 0 ? gFrames + frames : 0;
    });
    if (seconds > 0) {
        QTimer::singleShot(static_cast<int>(seconds * 1000.0), StopRun);
    }
    app::CC_BTNRun(app::panelHandle, params::PANEL_BTNRUN, ui::kEventCommit, nullptr, 0, 0);
    Figures f;
    f.seconds = platform::Timer() - start;
    f.cpuSeconds = bench::ProcessCpuSeconds() - cpuStart;
    f.frames = gFrames - framesAtStart;
    f.decodedSpan = gFirstDecoded >= 0.0 ? gLastDecoded - gFirstDecoded : 0.0;
    return f;
}

void SetMonitor(int on) {
    ui::SetCtrlVal(app::panelHandle, params::PANEL_TOGBTNMONITOR, on);
    app::CC_TOGBTNMonitor(app::panelHandle, params::PANEL_TOGBTNMONITOR, ui::kEventCommit, nullptr,
                          0, 0);
}

// cpuTarget <= 0: the CPU figure is reported without a target.
void Report(const char* what, const Figures& f, double cpuTarget) {
    const double allowed = 1.0 / (kLineFrame + kLatencyMs / 1000.0);
    const double rate =
        f.frames > 1 && f.decodedSpan > 0.0 ? static_cast<double>(f.frames - 1) / f.decodedSpan : 0;
    const double cpu = 100.0 * f.cpuSeconds / f.seconds;
    std::printf("  %s: %ld frames in %.2f s, %.2f frames/s of %.2f the line allows: %.1f %% "
                "(>= 99 %%) %s; tool CPU %.2f %% of one core",
                what, f.frames, f.seconds, rate, allowed, 100.0 * rate / allowed,
                rate >= 0.99 * allowed ? "ok" : "MISSED", cpu);
    if (cpuTarget > 0.0) {
        std::printf(" (<= %.0f %%) %s", cpuTarget, cpu <= cpuTarget ? "ok" : "MISSED");
    }
    std::printf("\n");
}

std::string RecordPath(const char* name) {
    return QDir::temp().filePath(QString::fromLatin1(name)).toStdString();
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const double lineRate = 1.0 / (kLineFrame + kLatencyMs / 1000.0);
    const long hourFrames = argc > 2 ? std::atol(argv[2]) : static_cast<long>(3600 * lineRate);
    bench::SimProcess sim;
    if (!sim.Start({}) || !bench::StartTool(sim.Path(), argc, argv)) {
        std::fprintf(stderr, "bench_record: cannot start\n");
        return 1;
    }
    app::InstallMonitor();
    std::printf("(a) 19200 baud emulated, think time %.1f ms, panel shown\n", kLatencyMs);
    MeasureRun(1.0, 0); // settles start-up
    Report("recording off, monitor hidden", MeasureRun(seconds, 0), 0.0);
    const std::string path = RecordPath("bench_record_a.csv");
    app::StartRecording(path.c_str());
    Report("recording on, monitor hidden", MeasureRun(seconds, 0), 0.0);
    SetMonitor(1);
    bench::Settle(); // the pane's opening and first paint are not the live view's
    Report("recording on, monitor shown", MeasureRun(seconds, 0), 2.0);
    app::StopRecording();
    SetMonitor(0);
    std::remove(path.c_str());

    bench::SimProcess fast;
    if (!fast.Start({"--no-line", "--latency", "0"})) {
        return 1;
    }
    platform::CloseCom(link::com);
    platform::RegisterPort(1, fast.Path());
    link::InitRS232(1);
    SetMonitor(1);
    const std::string hour = RecordPath("bench_record_b.csv");
    app::StartRecording(hour.c_str());
    // The first frames fill the monitor's ring and the pane's list to their fixed size.
    MeasureRun(0, 20000);
    const double before = ResidentMb();
    const Figures f = MeasureRun(0, hourFrames);
    const double after = ResidentMb();
    app::StopRecording();
    std::printf("(b) no line emulation: %ld frames recorded (an hour at %.1f frames/s) in %.1f s "
                "with the monitor shown; resident memory %.1f -> %.1f MB: growth %.2f MB "
                "(< 10 MB) %s\n",
                f.frames, lineRate, f.seconds, before, after, after - before,
                after - before < 10.0 ? "ok" : "MISSED");
    std::remove(hour.c_str());

    // A long session: the monitor's list holds all it keeps, and every refresh adds to it.
    platform::CloseCom(link::com);
    platform::RegisterPort(1, sim.Path());
    link::InitRS232(1);
    app::StartRecording(path.c_str());
    std::printf("(c) 19200 baud emulated again, the monitor's list full\n");
    bench::Settle(); // the port's opening shows in the monitor's list first
    Report("recording on, monitor shown", MeasureRun(seconds, 0), 2.0);
    app::StopRecording();
    std::remove(path.c_str());
    platform::CloseCom(link::com);
    return 0;
}
