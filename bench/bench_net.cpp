// ovextar-cli through a serial device server on loopback (ser2net in front of ovextar-sim on a pty,
// line emulated at 19200 baud), raw TCP and RFC 2217, beside the same run on the pty itself:
//   live:  frames per second from the CSV's time column, against the frames the line allows;
//          CPU of ovextar-cli per wall second (and of ser2net, for what the server costs);
//   flash: one flash run each, first order 20 to last answer (from the trace), against the
//          7.15 s floor of its pauses.
// Needs ser2net on the PATH (scripts/ovx test installs it).
// Usage: bench_net [live-seconds]   (default 10)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "bench_process.h"

namespace {

using namespace ovx::bench;

int FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
        port = ntohs(a.sin_port);
    }
    close(fd);
    return port;
}

bool Listening(int port) {
    char local[32];
    std::snprintf(local, sizeof local, "0100007F:%04X", port);
    std::ifstream table("/proc/net/tcp");
    std::string line;
    while (std::getline(table, line)) {
        if (line.find(local) != std::string::npos && line.find(" 0A ") != std::string::npos) {
            return true;
        }
    }
    return false;
}

// ser2net on 127.0.0.1 in front of the pty: a raw and an RFC 2217 accepter, no character delay.
class Server {
  public:
    Server(const QString& dir, const QString& pty) : raw_(FreeLoopbackPort()) {
        telnet_ = FreeLoopbackPort();
        const std::string config = (dir + "/ser2net.yaml").toStdString();
        std::ofstream(config) << "connection: &raw\n  accepter: tcp,127.0.0.1," << raw_
                              << "\n  connector: serialdev," << pty.toStdString()
                              << ",19200n81,local\n  options:\n    chardelay: false\n"
                              << "connection: &telnet\n  accepter: telnet(rfc2217),tcp,127.0.0.1,"
                              << telnet_ << "\n  connector: serialdev," << pty.toStdString()
                              << ",19200n81,local\n  options:\n    chardelay: false\n";
        process_.start("ser2net", {"-n", "-d", "-c", QString::fromStdString(config)});
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!(Listening(raw_) && Listening(telnet_)) &&
               std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ~Server() {
        process_.terminate();
        process_.waitForFinished(5000);
    }
    bool Up() const { return Listening(raw_) && Listening(telnet_); }
    QString Raw() const { return "tcp://127.0.0.1:" + QString::number(raw_); }
    QString Telnet() const { return "rfc2217://127.0.0.1:" + QString::number(telnet_); }
    double Cpu() const { return ProcessCpuSeconds(process_.processId()); }

  private:
    QProcess process_;
    int raw_ = 0;
    int telnet_ = 0;
};

struct Run {
    int exitCode = -1;
    double wall = 0.0;
    double cpu = 0.0; // of ovextar-cli
    std::string out, err;
};

Run RunCli(const QStringList& args) {
    // ser2net closes the device after a connection ends; another accepter of the same device
    // refuses until it has.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    QProcess p;
    QElapsedTimer clock;
    const double before = ChildCpuSeconds();
    clock.start();
    p.start(Program("ovextar-cli"), args);
    p.waitForFinished(120000);
    Run run{p.exitCode(), clock.elapsed() / 1000.0, 0.0, p.readAllStandardOutput().toStdString(),
            p.readAllStandardError().toStdString()};
    run.cpu = ChildCpuSeconds() - before;
    return run;
}

void Live(const char* name, const QString& port, int seconds, const Server& server) {
    const double serverBefore = server.Cpu();
    const Run run = RunCli({"--port", port, "live", "--seconds", QString::number(seconds)});
    const double serverCpu = server.Cpu() - serverBefore;
    if (run.exitCode != 0) {
        std::printf("live  %s: %s", name, run.err.c_str());
    }
    int frames = 0;
    const double rate = FrameRate(run.out, frames);
    const double allowed = 1.0 / kExchangeTime;
    std::printf("live  %-8s (exit %d) %7.2f frames/s (%d frames) = %6.2f %% of the line's %.2f; "
                "ovextar-cli CPU %.3f s in %.2f s = %.2f %% of one core; ser2net %.2f %%\n",
                name, run.exitCode, rate, frames, 100.0 * rate / allowed, allowed, run.cpu,
                run.wall, 100.0 * run.cpu / run.wall, 100.0 * serverCpu / run.wall);
}

void Flash(const char* name, const QString& port, const QString& measurement) {
    const Run run = RunCli({"--port", port, "--trace", "flash", measurement});
    const double span = FlashSpan(run.err);
    std::printf("flash %-8s (exit %d) %.3f s, %+.2f %% over the %.2f s floor; CPU %.3f s\n", name,
                run.exitCode, span, 100.0 * (span / kPausesFloor - 1.0), kPausesFloor, run.cpu);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 10;
    QTemporaryDir dir;
    const QString pty = dir.filePath("ttyOVX");
    const QString measurement = dir.filePath("TARconfig.dat");
    WriteMeasurement(measurement.toStdString());
    Controller controller(pty);
    const Server server(dir.path(), pty);
    if (!server.Up()) {
        std::fprintf(stderr, "bench_net: ser2net does not listen (is it installed?)\n");
        return 2;
    }
    Live("pty", pty, seconds, server);
    Live("tcp", server.Raw(), seconds, server);
    Live("rfc2217", server.Telnet(), seconds, server);
    Flash("pty", pty, measurement);
    Flash("tcp", server.Raw(), measurement);
    Flash("rfc2217", server.Telnet(), measurement);
    return 0;
}
