// Command line of ovextar-sim.
#pragma once

#include <string>
#include <vector>

#include "sim/pty_host.h"

namespace ovx::sim {

struct SimSettings {
    HostOptions host;
    std::string flashDump; // written at exit when not empty
    bool help = false;
    bool version = false;
};

// args without the program name. Returns 0 on success, 2 with the reason in message on an
// unknown option, a missing value or a malformed value.
int ParseSimOptions(const std::vector<std::string>& args, SimSettings& settings,
                    std::string& message);
const char* SimUsage();
// "ovextar-sim 1.2.0\n"
std::string SimVersionText();

} // namespace ovx::sim
