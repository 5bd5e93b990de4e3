// ovextar: the service and monitoring tool. With --simulator, port 1 is a virtual controller on
// a pty served by a thread of this process.
#include <cstdio>
#include <memory>
#include <string>

#include "app/OVEXTAR1V12.h"
#include "app/options.h"
#include "sim/embedded_sim.h"
#include "sim/pty_host.h"

int main(int argc, char** argv) {
    using namespace ovx;
    app::Options options;
    std::string message;
    const int rc = app::ParseOptions(argc, argv, options, message);
    if (rc != 0) {
        std::fputs(message.c_str(), stderr);
        return rc;
    }
    if (options.help) {
        std::fputs(app::Usage(), stdout);
        return 0;
    }
    if (options.version) {
        std::fputs(app::VersionText().c_str(), stdout);
        return 0;
    }
    std::unique_ptr<sim::PtyHost> host;
    if (options.simulator) {
        std::string error;
        host = sim::StartEmbeddedSimulator(options.simFaults, options.simLineEmulation, error);
        if (host == nullptr) {
            std::fprintf(stderr, "ovextar: cannot start the virtual controller: %s\n",
                         error.c_str());
            return 1;
        }
        options.ports.emplace_back(1, host->DevicePath());
    }
    return app::WinMain(options);
}
