// ovextar-cli against virtual controllers (ovextar-sim, one process each, line emulated at
// 19200 baud):
//   live:  frames in the CSV against the frames the line allows (72 bytes of line time and the
//          controller's 2 ms per exchange), and the CLI's CPU time per wall second;
//   flash: one flash run against the 7.15 s floor of its pauses (first order 20 to last answer,
//          from the trace, and the whole process);
//   four:  four flash runs on four controllers at once against one run alone.
// Usage: bench_cli [live-seconds]   (default 10)
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench_process.h"

namespace {

using namespace ovx::bench;

struct Run {
    int exitCode = -1;
    double wall = 0.0;
    std::string err;
};

Run RunCli(const QStringList& args) {
    QProcess cli;
    QElapsedTimer clock;
    clock.start();
    cli.start(Program("ovextar-cli"), args);
    cli.waitForFinished(120000);
    return {cli.exitCode(), clock.elapsed() / 1000.0, cli.readAllStandardError().toStdString()};
}

void Live(const QString& dir, int seconds) {
    const QString link = dir + "/live";
    Controller controller(link);
    const QString csv = dir + "/live.csv";
    // The start-up (engine, panels, echo check, parameters, firmware) as `info` does it.
    double cpuBefore = ChildCpuSeconds();
    const Run info = RunCli({"--port", link, "info"});
    const double startCpu = ChildCpuSeconds() - cpuBefore;
    cpuBefore = ChildCpuSeconds();
    const Run run =
        RunCli({"--port", link, "live", "--seconds", QString::number(seconds), "--csv", csv});
    const double cpu = ChildCpuSeconds() - cpuBefore;
    std::ifstream in(csv.toStdString());
    int lines = 0;
    for (std::string line; std::getline(in, line);) {
        ++lines;
    }
    const int frames = lines - 1;
    const double allowed = seconds / kExchangeTime;
    std::printf("live  %d s: exit %d, %d frames in the CSV, the line allows %.1f: %.2f %%\n",
                seconds, run.exitCode, frames, allowed, 100.0 * frames / allowed);
    std::printf("live  CPU %.3f s in %.2f s wall: %.2f %% of one core (start-up included)\n", cpu,
                run.wall, 100.0 * cpu / run.wall);
    std::printf("live  start-up alone (info, exit %d): CPU %.3f s in %.2f s; the run without it: "
                "%.2f %% of one core\n",
                info.exitCode, startCpu, info.wall,
                100.0 * (cpu - startCpu) / (run.wall - info.wall));
}

void Flash(const QString& dir, const QString& measurement) {
    const QString link = dir + "/flash";
    Controller controller(link);
    const Run run = RunCli({"--port", link, "--trace", "flash", measurement});
    const double span = FlashSpan(run.err);
    std::printf("flash exit %d: programming %.3f s, %+.2f %% over the %.2f s floor; whole process "
                "%.3f s\n",
                run.exitCode, span, 100.0 * (span / kPausesFloor - 1.0), kPausesFloor, run.wall);
}

void FourFlashes(const QString& dir, const QString& measurement) {
    std::vector<std::unique_ptr<Controller>> controllers;
    std::vector<std::unique_ptr<QProcess>> clis;
    for (int i = 0; i < 4; ++i) {
        controllers.push_back(std::make_unique<Controller>(dir + "/four" + QString::number(i)));
    }
    const Run alone = RunCli({"--port", dir + "/four0", "flash", measurement});
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 4; ++i) {
        clis.push_back(std::make_unique<QProcess>());
        clis.back()->start(Program("ovextar-cli"),
                           {"--port", dir + "/four" + QString::number(i), "flash", measurement});
    }
    int failed = 0;
    for (auto& cli : clis) {
        cli->waitForFinished(120000);
        failed += cli->exitCode() != 0 ? 1 : 0;
    }
    const double together = clock.elapsed() / 1000.0;
    std::printf("four  one alone %.3f s (exit %d), four at once %.3f s (%d failed): %+.2f %%\n",
                alone.wall, alone.exitCode, together, failed,
                100.0 * (together / alone.wall - 1.0));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    QTemporaryDir dir;
    const QString measurement = dir.filePath("TARconfig.dat");
    WriteMeasurement(measurement.toStdString());
    Live(dir.path(), seconds > 0 ? seconds : 10);
    Flash(dir.path(), measurement);
    FourFlashes(dir.path(), measurement);
    return 0;
}
