// ovextar-sim: the virtual controller on a pseudo-terminal, for demos and tests without
// hardware. Prints the device path on its first line and serves until SIGINT or SIGTERM.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>

#include "sim/pty_host.h"

namespace {

volatile std::sig_atomic_t gStop = 0;

void OnSignal(int) {
    gStop = 1;
}

struct Settings {
    ovx::sim::HostOptions host;
    std::string flashDump;
    bool help = false;
};

const char* Usage() {
    return "Usage: ovextar-sim [options]\n"
           "Runs a virtual O-VEX-TAR controller on a pseudo-terminal and prints its device path.\n"
           "  --link PATH            also make a symlink PATH to the device\n"
           "  --no-line              answer at once (no 19200-baud line time)\n"
           "  --latency MS           controller think time before a reply (default 2)\n"
           "  --eeprom FILE          keep the EEPROM in FILE across runs\n"
           "  --flash-dump FILE      write flash pages 4 to 7 to FILE at exit\n"
           "  --log                  one line per received order on stderr\n"
           "  --help                 this text\n";
}

bool ParseLatency(const char* text, double& ms) {
    char* end = nullptr;
    ms = std::strtod(text, &end);
    return end != text && *end == '\0' && ms >= 0.0 && ms <= 60000.0;
}

// Returns 0 to run, 2 on a bad command line (message printed).
int Parse(int argc, char** argv, Settings& s) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        std::string error;
        if (arg == "--help" || arg == "-h") {
            s.help = true;
        } else if (arg == "--no-line") {
            s.host.lineEmulation = false;
        } else if (arg == "--log") {
            s.host.logOrders = true;
        } else if (arg == "--link" && hasValue) {
            s.host.symlink = argv[++i];
        } else if (arg == "--eeprom" && hasValue) {
            s.host.eepromFile = argv[++i];
        } else if (arg == "--flash-dump" && hasValue) {
            s.flashDump = argv[++i];
        } else if (arg == "--latency" && hasValue) {
            if (!ParseLatency(argv[++i], s.host.replyLatencyMs)) {
                std::fprintf(stderr, "ovextar-sim: --latency needs milliseconds, got \"%s\"\n",
                             argv[i]);
                return 2;
            }
        } else if (!ovx::sim::ParseFaultOption(argv[i], s.host.faults, error)) {
            if (error.empty()) {
                error = "unknown option " + std::string(arg);
            }
            std::fprintf(stderr, "ovextar-sim: %s\n%s%s", error.c_str(), Usage(),
                         ovx::sim::FaultOptionsHelp());
            return 2;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Settings settings;
    if (const int rc = Parse(argc, argv, settings); rc != 0) {
        return rc;
    }
    if (settings.help) {
        std::printf("%s%s", Usage(), ovx::sim::FaultOptionsHelp());
        return 0;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    ovx::sim::PtyHost host(settings.host);
    std::string error;
    if (!host.Start(error)) {
        std::fprintf(stderr, "ovextar-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", host.DevicePath().c_str());
    std::fflush(stdout);
    while (!gStop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    host.Stop();
    if (!settings.flashDump.empty()) {
        std::lock_guard lock(host.ModelMutex());
        if (!host.Model().DumpFlash(settings.flashDump)) {
            std::fprintf(stderr, "ovextar-sim: cannot write %s\n", settings.flashDump.c_str());
            return 1;
        }
    }
    return 0;
}
