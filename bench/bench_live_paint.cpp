// What painting the live view costs per frame, without the serial line and without the waiting
// loop: each frame writes the NORM strip chart's history, the 7 indicators and the 2 LEDs as the
// live view does, then, once the repaint pacing lets it paint, one pass of events paints it.
// The CPU time of the writes and of that pass is measured on this thread only, so the figures
// hold the painting's own cost at 25 frames/s (the line's rate at 19200 baud); the first line
// is the pass with nothing to paint.
// Usage: bench_live_paint [frames]   (default 150)
#include <QCoreApplication>
#include <QDir>

#include <time.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "params/panels.h"
#include "ui/panel.h"
#include "ui/plot.h"

namespace {

using namespace ovx::ui;
using namespace ovx::params;

constexpr int kPoints = 101;
constexpr int kTraces = 4;
constexpr double kFramesPerSecond = 25.0;
// Longer than both the window's and the chart's repaint interval, so every frame paints.
constexpr useconds_t kPauseUs = 30000;

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct Cost {
    double write = 0.0;
    double paint = 0.0;
};

double Value(int frame) {
    return 512 + 150.0 * std::sin(frame * 0.21) + (frame * 37 % 23);
}

// The NORM history of frame i: upper and lower limit, reference, and a moving value.
void FillHistory(std::array<double, kPoints * kTraces>& h, int i) {
    for (int p = 0; p < kPoints; ++p) {
        const int age = i - (kPoints - 1 - p);
        double* point = &h[static_cast<std::size_t>(p * kTraces)];
        point[0] = 612;
        point[1] = 412;
        point[2] = 512;
        point[3] = Value(age);
    }
}

class Frames {
  public:
    explicit Frames(int panel) : panel_(panel) {}

    void Chart(int i) {
        FillHistory(history_, i);
        SetCtrlAttribute(panel_, PANEL_STRIPNORM, kAttrPointsPerScreen, kPoints);
        SetCtrlAttribute(panel_, PANEL_STRIPNORM, kAttrScrollMode, 1);
        SetCtrlAttribute(panel_, PANEL_STRIPNORM, kAttrNumTraces, kTraces);
        PlotStripChart(panel_, PANEL_STRIPNORM, history_.data(), kPoints * kTraces, 0, 0,
                       kTypeDouble);
    }

    // Value and both channels move every frame; the rest stays, as it does in a live run.
    void Indicators(int i) {
        const int value = static_cast<int>(Value(i));
        const std::array<std::pair<int, int>, 7> values{{{PANEL_VALNORM, value},
                                                         {PANEL_ADCCHA, 2000 + value},
                                                         {PANEL_ADCCHB, 2100 - value},
                                                         {PANEL_AMAX, 4095},
                                                         {PANEL_UPVAL, 612},
                                                         {PANEL_LOVAL, 412},
                                                         {PANEL_TOLERANCE, 100}}};
        for (const auto& [control, v] : values) {
            SetCtrlVal(panel_, control, v);
        }
        SetCtrlVal(panel_, PANEL_LEDREF, (i / 10) & 1);
        SetCtrlVal(panel_, PANEL_LEDTOL, (i / 15) & 1);
    }

    template <typename Write> Cost Measure(int frames, Write write) {
        Cost c;
        for (int i = 0; i < frames; ++i) {
            const double t0 = ThreadCpuSeconds();
            write(i);
            const double t1 = ThreadCpuSeconds();
            usleep(kPauseUs);
            const double t2 = ThreadCpuSeconds();
            ProcessSystemEvents();
            c.write += t1 - t0;
            c.paint += ThreadCpuSeconds() - t2;
        }
        c.write /= frames;
        c.paint /= frames;
        return c;
    }

  private:
    int panel_;
    std::array<double, kPoints * kTraces> history_{};
};

void Print(const char* what, const Cost& c) {
    std::printf("%-40s write %7.1f us, paint %7.1f us per frame: %5.2f %% of a core at %.0f "
                "frames/s\n",
                what, 1e6 * c.write, 1e6 * c.paint, 100.0 * (c.write + c.paint) * kFramesPerSecond,
                kFramesPerSecond);
}

} // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 150;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    InitEngine(argc, argv);
    const std::string file =
        QDir(QCoreApplication::applicationDirPath()).filePath(kPanelFile).toStdString();
    const int panel = LoadPanel(0, file.c_str(), PANEL);
    if (panel < 0) {
        std::printf("panel file not loaded: %d\n", panel);
        return 1;
    }
    SetCtrlAttribute(panel, PANEL_STRIPRAW, kAttrVisible, 0);
    SetCtrlAttribute(panel, PANEL_GRAPHDATA, kAttrVisible, 0);
    SetCtrlAttribute(panel, PANEL_STRIPNORM, kAttrVisible, 1);
    DisplayPanel(panel);
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
        usleep(2000);
    }
    Frames f(panel);
    f.Chart(0);
    f.Indicators(0);
    Print("nothing written", f.Measure(frames, [](int) {}));
    Print("NORM strip chart (4 traces x 101 points)",
          f.Measure(frames, [&](int i) { f.Chart(i); }));
    Print("7 indicators + 2 LEDs", f.Measure(frames, [&](int i) { f.Indicators(i); }));
    Print("whole live frame", f.Measure(frames, [&](int i) {
        f.Chart(i);
        f.Indicators(i);
    }));
    DiscardPanel(panel);
    return 0;
}
