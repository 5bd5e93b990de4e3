// Command line of ovextar-cli: where the controller is, how results are printed, the command.
#pragma once

#include <string>
#include <vector>

#include "sim/faults.h"

namespace ovx::cli {

struct CliOptions {
    std::string device;     // --port DEVICE: the controller's serial device
    bool simulator = false; // --simulator: an embedded virtual controller is the device
    sim::Faults simFaults;  // fault options after --simulator
    bool simLineEmulation = true;
    bool trace = false;   // --trace: frames and status texts on stderr
    bool verbose = false; // --verbose: every status text on stderr
    bool json = false;    // --json: one JSON object per result on stdout
    bool help = false;
    bool version = false; // --version
    std::string command;
    std::vector<std::string> args; // what follows the command
};

// 0, or 2 with a one-line reason in message (unknown option, no command, no port).
int ParseCliOptions(int argc, char** argv, CliOptions& options, std::string& message);
const char* CliUsage();
std::string CliVersionText();

} // namespace ovx::cli
