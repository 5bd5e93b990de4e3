// Start-up benchmark: the steps of the program entry up to the main panel on screen, against the
// virtual controller at 19200 baud (target: 0.5 s) and against a pty nobody answers (the echo
// check times out about 2.05 s after the port opened); then the CPU the event loop takes while
// the tool sits idle (target: about 0 %).
#include <QTimer>

#include <fcntl.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/OVEXTAR1V12.h"
#include "app/panel_handles.h"
#include "app/paramfile.h"
#include "link/com232.h"
#include "params/panels.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "sim/pty_host.h"
#include "ui/panel.h"

namespace {

using namespace ovx;

double CpuSeconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct StartTimes {
    double panels = 0; // callbacks registered, both panels loaded, start state set
    double line = 0;   // InitRS232: open, echo check, parameters, firmware information
    double shown = 0;  // the whole start-up, up to the main panel shown
};

// WinMain's steps 2 to 7 (the engine is already up), timed.
StartTimes StartUp() {
    StartTimes t;
    const double start = platform::Timer();
    app::RegisterAllCallbacks();
    app::panelHandle = ui::LoadPanel(0, params::kPanelFile, params::PANEL);
    app::panelPopUp = ui::LoadPanel(0, params::kPanelFile, params::POPUP);
    app::ShowStatusOnPanel();
    platform::GetProjectDir(app::proj_dir);
    app::InitVars();
    t.panels = platform::Timer() - start;
    const double lineStart = platform::Timer();
    link::InitRS232(link::com);
    t.line = platform::Timer() - lineStart;
    ui::DisplayPanel(app::panelHandle);
    ui::ProcessSystemEvents();
    t.shown = platform::Timer() - start;
    return t;
}

void ShutDown() {
    platform::CloseCom(link::com);
    ui::DiscardPanel(app::panelPopUp);
    ui::DiscardPanel(app::panelHandle);
    ui::ProcessSystemEvents();
}

std::string StatusText() {
    char text[300] = {};
    ui::GetCtrlVal(app::panelHandle, params::PANEL_STATUS, text, sizeof text);
    return text;
}

void PrintRow(const char* what, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::printf("  %-44s median %7.1f ms  min %7.1f  max %7.1f\n", what, 1e3 * v[v.size() / 2],
                1e3 * v.front(), 1e3 * v.back());
}

int WithController(int runs) {
    sim::PtyHost host(sim::HostOptions{}); // line emulation on, 2 ms think time
    std::string error;
    if (!host.Start(error)) {
        std::fprintf(stderr, "cannot start the virtual controller: %s\n", error.c_str());
        return 1;
    }
    platform::RegisterPort(1, host.DevicePath());
    std::vector<double> panels, line, shown;
    std::string status;
    for (int i = 0; i < runs; ++i) {
        const StartTimes t = StartUp();
        status = StatusText();
        ShutDown();
        panels.push_back(t.panels);
        line.push_back(t.line);
        shown.push_back(t.shown);
    }
    std::printf("Start-up against the virtual controller, 19200 baud (%d runs, target 500 ms):\n",
                runs);
    PrintRow("panels loaded and start state set", panels);
    PrintRow("line check, parameters, firmware info", line);
    PrintRow("start-up to the main panel shown", shown);
    std::printf("  status line: \"%s\"\n", status.c_str());
    return 0;
}

int WithoutController(int runs) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::fprintf(stderr, "cannot create a pty\n");
        return 1;
    }
    platform::RegisterPort(1, ptsname(master)); // nobody reads or answers the master
    std::vector<double> line;
    std::string status;
    for (int i = 0; i < runs; ++i) {
        const StartTimes t = StartUp();
        status = StatusText();
        ShutDown();
        line.push_back(t.line);
    }
    close(master);
    std::printf("Start-up with nobody answering (%d runs, expected about 2050 ms):\n", runs);
    PrintRow("port opened to the echo check given up", line);
    std::printf("  status line: \"%s\"\n", status.c_str());
    return 0;
}

int IdleCpu(double seconds) {
    sim::PtyHost host(sim::HostOptions{});
    std::string error;
    if (!host.Start(error)) {
        std::fprintf(stderr, "cannot start the virtual controller: %s\n", error.c_str());
        return 1;
    }
    platform::RegisterPort(1, host.DevicePath());
    StartUp();
    const double wall = platform::Timer();
    const double thread = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const double process = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    QTimer::singleShot(static_cast<int>(seconds * 1000), [] { ui::QuitUserInterface(0); });
    ui::RunUserInterface();
    const double w = platform::Timer() - wall;
    std::printf("Idle in the event loop for %.1f s after start-up:\n", w);
    std::printf("  user-interface thread CPU %.2f %%, whole process (with the controller's "
                "thread) %.2f %%\n",
                100.0 * (CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - thread) / w,
                100.0 * (CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - process) / w);
    ShutDown();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const auto start = std::chrono::steady_clock::now();
    if (ui::InitEngine(argc, argv) < 0) {
        std::fprintf(stderr, "cannot initialise the user interface\n");
        return 1;
    }
    std::printf("Engine initialised in %.1f ms (once per process, not in the figures below)\n",
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
    if (WithController(7) != 0 || WithoutController(3) != 0 || IdleCpu(5.0) != 0) {
        return 1;
    }
    return 0;
}
