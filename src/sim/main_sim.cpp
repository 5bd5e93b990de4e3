// ovextar-sim: the virtual controller on a pseudo-terminal, for demos and tests without
// hardware. Prints the device path on its first line and serves until SIGINT or SIGTERM.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_options.h"

namespace {

volatile std::sig_atomic_t gStop = 0;

void OnSignal(int) {
    gStop = 1;
}

} // namespace

int main(int argc, char** argv) {
    ovx::sim::SimSettings settings;
    std::string message;
    if (ovx::sim::ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), settings,
                                  message) != 0) {
        std::fprintf(stderr, "ovextar-sim: %s\n%s%s", message.c_str(), ovx::sim::SimUsage(),
                     ovx::sim::FaultOptionsHelp());
        return 2;
    }
    if (settings.help) {
        std::printf("%s%s", ovx::sim::SimUsage(), ovx::sim::FaultOptionsHelp());
        return 0;
    }
    if (settings.version) {
        std::fputs(ovx::sim::SimVersionText().c_str(), stdout);
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
