// Soak: the tool's resident memory, open descriptors and CPU over long runs against the virtual
// controller (a separate ovextar-sim process, no line emulation, no think time):
//   (a) one live run for a given time, sampled every 10 s;
//   (b) many start-stop cycles of the live view;
//   (c) many data curves, NORM and RAW in turn;
//   (d) many flash programming runs of pages 4 to 7 (each about 7 s: its pauses are fixed).
// Goal: resident memory grows by less than 1 MB per hour after the first minute, and the count
// of open descriptors does not grow.
// Usage: bench_soak [live seconds] [start-stop cycles] [data curves] [flash runs]
//        (defaults 600 1000 1000 100; a count of 0 skips that part)
#include <QTimer>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/datacurve.h"
#include "app/panel_handles.h"
#include "app/runloop.h"
#include "bench_tool.h"
#include "link/com232.h"
#include "link/flash.h"
#include "params/lintable.h"
#include "params/panels.h"
#include "platform/timing.h"
#include "ui/panel.h"

namespace {

using namespace ovx;

constexpr double kSampleSeconds = 10.0;
constexpr double kSettleSeconds = 60.0; // growth is judged after the first minute
constexpr double kRssGoalKbPerHour = 1024.0;

struct Sample {
    double seconds = 0.0;
    long rssKb = 0;
    int fds = 0;
    double cpuSeconds = 0.0;
};

long ResidentKb() {
    FILE* f = std::fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f != nullptr) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

int OpenDescriptors() {
    DIR* d = opendir("/proc/self/fd");
    int n = 0;
    if (d == nullptr) {
        return -1;
    }
    while (readdir(d) != nullptr) {
        ++n;
    }
    closedir(d);
    return n - 3; // ".", ".." and the descriptor of the listing itself
}

// Samples taken over one part of the soak, and its verdict.
class Recorder {
  public:
    explicit Recorder(const char* what) : what_(what), start_(platform::Timer()) { Take(); }

    void Take() {
        samples_.push_back({platform::Timer() - start_, ResidentKb(), OpenDescriptors(),
                            bench::ProcessCpuSeconds()});
    }
    // Takes a sample when the last one is kSampleSeconds old.
    void Poll() {
        if (platform::Timer() - start_ - samples_.back().seconds >= kSampleSeconds) {
            Take();
        }
    }
    bool Report(long operations, const char* unit) {
        AwaitDescriptors(samples_.front().fds);
        Take();
        const Sample& first = samples_.front();
        const Sample& last = samples_.back();
        const Sample& settled = SettledSample();
        const double span = last.seconds - settled.seconds;
        const double perHour = span > 0.0 ? (last.rssKb - settled.rssKb) * 3600.0 / span : 0.0;
        const bool rssOk = span <= 0.0 || perHour < kRssGoalKbPerHour;
        const bool fdsOk = last.fds <= first.fds;
        std::printf("%s: %ld %s in %.1f s, tool CPU %.1f %% of one core\n", what_, operations, unit,
                    last.seconds,
                    100.0 * (last.cpuSeconds - first.cpuSeconds) / std::max(last.seconds, 1e-9));
        std::printf("    RSS %ld kB at start, %ld kB at %.0f s, %ld kB at end: %+ld kB since then, "
                    "%+.0f kB/h (goal < %.0f)  %s\n",
                    first.rssKb, settled.rssKb, settled.seconds, last.rssKb,
                    last.rssKb - settled.rssKb, perHour, kRssGoalKbPerHour,
                    rssOk ? "ok" : "MISSED");
        std::printf("    open descriptors %d at start, %d at end  %s\n", first.fds, last.fds,
                    fdsOk ? "ok" : "MISSED");
        if (!fdsOk) {
            PrintDescriptors();
        }
        std::printf("    status at the end \"%s\"\n", link::szStatus);
        return rssOk && fdsOk;
    }
    void PrintSamples() const {
        for (const Sample& s : samples_) {
            std::printf("    %7.0f s  RSS %7ld kB  fds %3d  CPU %7.2f s\n", s.seconds, s.rssKb,
                        s.fds, s.cpuSeconds);
        }
    }

  private:
    // Descriptors a library holds for a while after their last use (two, for up to 30 s, are
    // seen in the live run) are no growth: a count above the start is looked at again for up to
    // 40 s before it counts.
    static void AwaitDescriptors(int start) {
        const double until = platform::Timer() + 40.0;
        while (OpenDescriptors() > start && platform::Timer() < until) {
            platform::Delay(1.0);
        }
    }
    static void PrintDescriptors() {
        char target[512];
        for (int fd = 0; fd < 1024; ++fd) {
            const std::string link = "/proc/self/fd/" + std::to_string(fd);
            const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
            if (n > 0) {
                target[n] = '\0';
                std::printf("      fd %d -> %s\n", fd, target);
            }
        }
    }

    // The first sample after the settling minute; the first sample of a short part.
    const Sample& SettledSample() const {
        const double settle = std::min(kSettleSeconds, samples_.back().seconds / 10.0);
        for (const Sample& s : samples_) {
            if (s.seconds >= settle) {
                return s;
            }
        }
        return samples_.front();
    }

    const char* what_;
    double start_;
    std::vector<Sample> samples_;
};

void Press(int control) {
    if (control == params::PANEL_BTNRUN) {
        app::CC_BTNRun(app::panelHandle, control, ui::kEventCommit, nullptr, 0, 0);
    } else if (control == params::PANEL_BTNSTOP) {
        app::CC_BTNStop(app::panelHandle, control, ui::kEventCommit, nullptr, 0, 0);
    } else {
        app::CC_BTNData(app::panelHandle, control, ui::kEventCommit, nullptr, 0, 0);
    }
}

long gFrames = 0;

// The receive notification, counting the frames it takes.
void CountingRx(int port, int eventWord, void* data) {
    const int before = link::rx_flag;
    link::rx_flag = 0;
    link::RX_Receive_Function(port, eventWord, data);
    gFrames += link::rx_flag;
    link::rx_flag = link::rx_flag != 0 ? link::rx_flag : before;
}

bool LiveSoak(double seconds) {
    platform::InstallComCallback(link::com, link::eventMask, link::kFrameBytes, link::sync,
                                 CountingRx, nullptr);
    Recorder rec("(a) live run");
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { rec.Take(); });
    sampler.start(static_cast<int>(kSampleSeconds * 1000.0));
    QTimer::singleShot(static_cast<int>(seconds * 1000.0), [] { Press(params::PANEL_BTNSTOP); });
    const double start = platform::Timer();
    Press(params::PANEL_BTNRUN); // returns when the stop is seen
    sampler.stop();
    const double ran = platform::Timer() - start;
    std::printf("(a) %ld live frames in %.1f s: %.0f frames/s\n", gFrames, ran, gFrames / ran);
    const bool ok = rec.Report(static_cast<long>(ran), "seconds");
    rec.PrintSamples();
    return ok;
}

bool StartStopSoak(int cycles) {
    Recorder rec("(b) start-stop cycles");
    for (int i = 0; i < cycles; ++i) {
        // The stop lands in the run's first event processing, after a few frames at most.
        QTimer::singleShot(1, [] { Press(params::PANEL_BTNSTOP); });
        Press(params::PANEL_BTNRUN);
        rec.Poll();
    }
    return rec.Report(cycles, "cycles");
}

bool DataCurveSoak(int curves) {
    Recorder rec("(c) data curves");
    for (int i = 0; i < curves; ++i) {
        ui::SetCtrlVal(app::panelHandle, params::PANEL_RNGGRAPHSOURCE, i % 2);
        Press(params::PANEL_BTNDATA);
        rec.Poll();
    }
    return rec.Report(curves, "curves");
}

void FillPageImages() {
    std::int32_t* images[] = {params::flashp4, params::flashp5, params::flashp6, params::flashp7};
    for (int p = 0; p < 4; ++p) {
        for (int i = 0; i < params::kPageSize; ++i) {
            images[p][i] = 16 * (p * params::kPageSize + i);
        }
    }
}

bool FlashSoak(int runs) {
    Recorder rec("(d) flash runs");
    for (int i = 0; i < runs; ++i) {
        FillPageImages();
        link::SendCorrDataToFlash();
        rec.Poll();
    }
    return rec.Report(runs, "runs");
}

} // namespace

int main(int argc, char** argv) {
    const double liveSeconds = argc > 1 ? std::atof(argv[1]) : 600.0;
    const int cycles = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int curves = argc > 3 ? std::atoi(argv[3]) : 1000;
    const int flashes = argc > 4 ? std::atoi(argv[4]) : 100;
    bench::SimProcess sim;
    if (!sim.Start({"--no-line", "--latency", "0"}) || !bench::StartTool(sim.Path(), argc, argv)) {
        std::fprintf(stderr, "bench_soak: cannot start\n");
        return 1;
    }
    std::printf("soak against the virtual controller, no line emulation: %s\n", link::szStatus);
    bool ok = true;
    if (liveSeconds > 0.0) {
        ok = LiveSoak(liveSeconds) && ok;
    }
    if (cycles > 0) {
        ok = StartStopSoak(cycles) && ok;
    }
    if (curves > 0) {
        ok = DataCurveSoak(curves) && ok;
    }
    if (flashes > 0) {
        ok = FlashSoak(flashes) && ok;
    }
    platform::CloseCom(link::com);
    std::printf("soak %s\n", ok ? "ok" : "MISSED");
    return ok ? 0 : 1;
}
