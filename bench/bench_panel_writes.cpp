// Cost of what the live view does per frame, without the serial line: 400 values into the
// strip chart, 7 indicators and 2 LEDs written, at 2000 frames for one second of data.
#include <QCoreApplication>
#include <QDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "cpu_time.h"
#include "params/panels.h"
#include "ui/panel.h"
#include "ui/plot.h"

namespace {

using namespace ovx::ui;
using namespace ovx::params;
using Clock = std::chrono::steady_clock;

template <typename F> void Measure(const char* what, int frames, F frame) {
    const double cpu0 = ovx::bench::ProcessCpuSeconds();
    const auto t0 = Clock::now();
    for (int i = 0; i < frames; ++i) {
        frame(i);
    }
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    std::printf("%-58s %7.2f us/frame, %5.1f %% of a core for 2000 frames/s\n", what,
                1e6 * wall / frames,
                100.0 * (ovx::bench::ProcessCpuSeconds() - cpu0) / frames * 2000.0);
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    InitEngine(argc, argv);
    const std::string file =
        QDir(QCoreApplication::applicationDirPath()).filePath(kPanelFile).toStdString();
    const int panel = LoadPanel(0, file.c_str(), PANEL);
    if (panel < 0) {
        std::printf("panel file not loaded: %d\n", panel);
        return 1;
    }
    DisplayPanel(panel);
    for (int i = 0; i < 50; ++i) {
        ProcessSystemEvents();
    }
    static double history[400];
    constexpr int kFrames = 2000;
    Measure("PlotStripChart, 400 doubles (4 traces x 100 points)", kFrames, [&](int i) {
        history[399] = i % 1000;
        SetCtrlAttribute(panel, PANEL_STRIPNORM, kAttrPointsPerScreen, 101);
        SetCtrlAttribute(panel, PANEL_STRIPNORM, kAttrScrollMode, 1);
        SetCtrlAttribute(panel, PANEL_STRIPNORM, kAttrNumTraces, 4);
        PlotStripChart(panel, PANEL_STRIPNORM, history, 400, 0, 0, kTypeDouble);
    });
    const int indicators[] = {PANEL_VALNORM, PANEL_ADCCHA, PANEL_ADCCHB,   PANEL_AMAX,
                              PANEL_UPVAL,   PANEL_LOVAL,  PANEL_TOLERANCE};
    const auto writeIndicators = [&](int i) {
        for (const int id : indicators) {
            SetCtrlVal(panel, id, i);
        }
        SetCtrlVal(panel, PANEL_LEDREF, i & 1);
        SetCtrlVal(panel, PANEL_LEDTOL, (i >> 1) & 1);
    };
    Measure("7 indicators + 2 LEDs, no event processing", kFrames, writeIndicators);
    Measure("chart + indicators + LEDs + ProcessSystemEvents", kFrames, [&](int i) {
        history[399] = i % 1000;
        PlotStripChart(panel, PANEL_STRIPNORM, history, 400, 0, 0, kTypeDouble);
        writeIndicators(i);
        ProcessSystemEvents();
    });
    DiscardPanel(panel);
    return 0;
}
