// Shared by the benchmarks that run ovextar-cli as a process: the virtual controller as an
// ovextar-sim process on a linked pty, the children's CPU time, the flash run's span in a trace
// and the measurement file a flash run programs.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QString>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace ovx::bench {

constexpr double kByteTime = 10.0 / 19200.0;
constexpr double kExchangeTime = 72 * kByteTime + 0.002; // request + reply + controller latency
constexpr double kPausesFloor = 128 * 0.05 + 4 * 0.15 + 3 * 0.05;

inline QString Program(const char* name) {
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

inline double ChildCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// User and system CPU seconds of a running process (from /proc; its name holds no blank).
inline double ProcessCpuSeconds(long long pid) {
    std::string path = "/proc/";
    path += std::to_string(pid);
    path += "/stat";
    std::ifstream in(path);
    std::string field;
    double ticks = 0.0;
    for (int i = 1; i <= 15 && in >> field; ++i) {
        if (i == 14 || i == 15) {
            ticks += std::atof(field.c_str());
        }
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Seconds from the first order-20 request to the last line of the trace.
inline double FlashSpan(const std::string& trace) {
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

// Frames per second of a live CSV on stdout: its data lines over the span of its time column.
inline double FrameRate(const std::string& csv, int& frames) {
    std::istringstream in(csv);
    std::string line;
    std::getline(in, line); // header
    double first = -1.0, last = -1.0;
    frames = 0;
    while (std::getline(in, line)) {
        const double t = std::atof(line.c_str());
        first = first < 0 ? t : first;
        last = t;
        ++frames;
    }
    return frames > 1 && last > first ? (frames - 1) / (last - first) : 0.0;
}

inline void WriteMeasurement(const std::string& path) {
    std::ofstream out(path);
    for (int k = 0; k < 1024; ++k) {
        out << 4 * (1023 - k) + 3 << '\t' << k << '\n';
    }
}

} // namespace ovx::bench
