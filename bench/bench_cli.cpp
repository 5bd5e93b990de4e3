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

namespace {

constexpr double kByteTime = 10.0 / 19200.0;
constexpr double kExchangeTime = 72 * kByteTime + 0.002; // request + reply + controller latency
constexpr double kPausesFloor = 128 * 0.05 + 4 * 0.15 + 3 * 0.05;

QString Program(const char* name) {
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

// ovextar-sim on a symlinked pty, ended when this goes.
class Controller {
  public:
    explicit Controller(const QString& link) {
        process_.start(Program("ovextar-sim"), {"--link", link});
        process_.waitForReadyRead(10000);
    }
    ~Controller() {
        process_.terminate();
        process_.waitForFinished(5000);
    }

  private:
    QProcess process_;
};

double ChildCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

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

// Seconds from the first order-20 request to the last line of the trace.
double FlashSpan(const std::string& trace) {
    std::istringstream in(trace);
    std::string line;
    double first = -1.0, last = -1.0;
    while (std::getline(in, line)) {
        const double t = std::atof(line.c_str());
        if (first < 0 && line.find("tx: 00550014") != std::string::npos) {
            first = t;
        }
        if (line.find(" rx: ") != std::string::npos) {
            last = t;
        }
    }
    return first < 0 ? 0.0 : last - first;
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

void WriteMeasurement(const std::string& path) {
    std::ofstream out(path);
    for (int k = 0; k < 1024; ++k) {
        out << 4 * (1023 - k) + 3 << '\t' << k << '\n';
    }
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
