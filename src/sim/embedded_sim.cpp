#include "sim/embedded_sim.h"

namespace ovx::sim {

std::unique_ptr<sim::PtyHost> StartEmbeddedSimulator(const sim::Faults& faults, bool lineEmulation,
                                                     std::string& error) {
    sim::HostOptions hostOptions;
    hostOptions.lineEmulation = lineEmulation;
    hostOptions.faults = faults;
    auto host = std::make_unique<sim::PtyHost>(hostOptions);
    if (!host->Start(error)) {
        return nullptr;
    }
    return host;
}

} // namespace ovx::sim
