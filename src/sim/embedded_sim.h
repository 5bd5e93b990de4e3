// The virtual controller inside the program (--simulator): a pty served by a thread.
#pragma once

#include <memory>
#include <string>

#include "sim/faults.h"
#include "sim/pty_host.h"

namespace ovx::sim {

// Starts the virtual controller with the given faults; nullptr with a reason in error.
std::unique_ptr<sim::PtyHost> StartEmbeddedSimulator(const sim::Faults& faults, bool lineEmulation,
                                                     std::string& error);

} // namespace ovx::sim
