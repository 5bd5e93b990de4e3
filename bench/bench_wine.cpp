// ovextar-cli.exe under wine against the virtual controller (ovextar-sim on a pty mapped as COM9,
// line emulated at 19200 baud), beside the Linux ovextar-cli on the same kind of controller:
//   live:  frames per second of each, from the CSV's time column (start-up left out), against
//          the frames the line allows; CPU of the exe and of the prefix's wineserver per wall
//          second, from /proc;
//   flash: one flash run of each, first order 20 to last answer (from the trace), against the
//          7.15 s floor of its pauses.
// Needs WINEPREFIX (a prefix of its own, made beforehand) and OVX_WINE_EXE (the exe); scripts/ovx
// windows-bench sets both up.
// Usage: bench_wine [live-seconds]   (default 10)
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_process.h"

namespace {

using namespace ovx::bench;

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The wineserver of the prefix: the process whose environment names it.
int WineserverPid(const std::string& prefix) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string comm = ReadAll(entry.path() / "comm");
        if (comm.rfind("wineserver", 0) != 0) {
            continue;
        }
        const std::string env = ReadAll(entry.path() / "environ");
        if (env.find("WINEPREFIX=" + prefix + '\0') != std::string::npos) {
            return std::atoi(entry.path().filename().c_str());
        }
    }
    return -1;
}

struct Run {
    int exitCode = -1;
    double wall = 0.0;
    std::string out, err;
};

Run RunProgram(const QString& program, const QStringList& args) {
    QProcess p;
    QElapsedTimer clock;
    clock.start();
    p.start(program, args);
    p.waitForFinished(120000);
    return {p.exitCode(), clock.elapsed() / 1000.0, p.readAllStandardOutput().toStdString(),
            p.readAllStandardError().toStdString()};
}

Run RunWine(const QStringList& args) {
    return RunProgram("wine", QStringList{QString::fromStdString(Env("OVX_WINE_EXE"))} + args);
}

QString ComLink(const std::string& prefix) {
    return QString::fromStdString(prefix + "/dosdevices/com9");
}

void Live(const QString& dir, const std::string& prefix, int seconds) {
    const QStringList args{"live", "--seconds", QString::number(seconds)};
    int linuxFrames = 0;
    double linuxRate = 0.0;
    {
        Controller controller(dir + "/live");
        const Run run =
            RunProgram(Program("ovextar-cli"), QStringList{"--port", dir + "/live"} + args);
        linuxRate = FrameRate(run.out, linuxFrames);
    }
    Controller controller(ComLink(prefix));
    const int server = WineserverPid(prefix);
    // CPU seconds of the exe and the prefix's wineserver while run runs.
    const auto measure = [server](const QStringList& cliArgs, Run& run) {
        const double serverBefore = server > 0 ? ProcessCpuSeconds(server) : 0.0;
        const double cpuBefore = ChildCpuSeconds();
        run = RunWine(QStringList{"--port", "COM9"} + cliArgs);
        const double serverCpu = server > 0 ? ProcessCpuSeconds(server) - serverBefore : 0.0;
        return ChildCpuSeconds() - cpuBefore + serverCpu;
    };
    Run info;
    const double startCpu = measure({"info"}, info); // the start-up alone, wine's included
    Run run;
    const double cpu = measure(args, run);
    int frames = 0;
    const double rate = FrameRate(run.out, frames);
    const double allowed = 1.0 / kExchangeTime;
    std::printf("live  line allows %.2f frames/s; Linux CLI %.2f/s (%d frames) = %.2f %%\n",
                allowed, linuxRate, linuxFrames, 100.0 * linuxRate / allowed);
    std::printf("live  wine exe (exit %d) %.2f/s (%d frames) = %.2f %% of the line, %.2f %% of "
                "Linux\n",
                run.exitCode, rate, frames, 100.0 * rate / allowed, 100.0 * rate / linuxRate);
    std::printf("live  CPU of exe + wineserver%s: %.3f s in %.2f s wall = %.2f %% of one core "
                "(start-up included); start-up alone (info, exit %d) %.3f s in %.2f s; the run "
                "without it: %.2f %%\n",
                server > 0 ? "" : " (wineserver not found)", cpu, run.wall, 100.0 * cpu / run.wall,
                info.exitCode, startCpu, info.wall,
                100.0 * (cpu - startCpu) / (run.wall - info.wall));
}

void Flash(const QString& dir, const std::string& prefix, const QString& measurement) {
    double linuxSpan = 0.0;
    {
        Controller controller(dir + "/flash");
        const Run run = RunProgram(Program("ovextar-cli"),
                                   {"--port", dir + "/flash", "--trace", "flash", measurement});
        linuxSpan = FlashSpan(run.err);
    }
    Controller controller(ComLink(prefix));
    // The exe reaches the Linux file through wine's drive Z:, which is the root folder.
    const Run run = RunWine({"--port", "COM9", "--trace", "flash", "Z:" + measurement});
    const double span = FlashSpan(run.err);
    std::printf("flash Linux CLI %.3f s, %+.2f %% over the %.2f s floor\n", linuxSpan,
                100.0 * (linuxSpan / kPausesFloor - 1.0), kPausesFloor);
    std::printf("flash wine exe (exit %d) %.3f s, %+.2f %% over the floor; whole process %.3f s\n",
                run.exitCode, span, 100.0 * (span / kPausesFloor - 1.0), run.wall);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::string prefix = Env("WINEPREFIX");
    if (prefix.empty() || Env("OVX_WINE_EXE").empty()) {
        std::fprintf(stderr, "bench_wine: set WINEPREFIX and OVX_WINE_EXE (scripts/ovx "
                             "windows-bench does)\n");
        return 2;
    }
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    QTemporaryDir dir;
    const QString measurement = dir.filePath("TARconfig.dat");
    WriteMeasurement(measurement.toStdString());
    Live(dir.path(), prefix, seconds > 0 ? seconds : 10);
    Flash(dir.path(), prefix, measurement);
    return 0;
}
