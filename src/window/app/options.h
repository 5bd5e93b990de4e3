// Command line of ovextar.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "sim/faults.h"

namespace ovx::app {

struct Options {
    std::vector<std::pair<int, std::string>> ports; // --port N=DEVICE
    bool simulator = false;                         // --simulator: port 1 is the embedded one
    sim::Faults simFaults;                          // fault options after --simulator
    bool simLineEmulation = true;
    bool trace = false; // --trace
    bool help = false;
    bool version = false; // --version
};

// Returns 0 on success, 2 with the usage in message on an unknown or malformed option.
int ParseOptions(int argc, char** argv, Options& options, std::string& message);
const char* Usage();
// "ovextar 1.2.0\n"
std::string VersionText();

} // namespace ovx::app
