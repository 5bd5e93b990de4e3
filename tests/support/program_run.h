// Runs a program of the build (beside the test program) as a subprocess: its exit code, its
// standard output and standard error, an interrupt (SIGINT) once an output holds a text.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ovx::testing {

struct ProgramResult {
    int exitCode = -1000; // -signal when it was killed by one
    std::string out, err;
    double interruptToExit = -1.0; // seconds from the SIGINT to the end (-1: not interrupted)
};

struct ProgramCall {
    std::string program; // name beside the test program, e.g. "ovextar-cli"
    std::vector<std::string> args;
    std::string workingDir = {};    // "" = the test's own
    std::string interruptWhen = {}; // SIGINT once stdout or stderr holds this text ("" = never)
    double timeoutSeconds = 60;     // then it is killed
    std::vector<std::pair<std::string, std::string>> env = {}; // set on top of this process's
};

ProgramResult RunProgram(const ProgramCall& call);
// Lines of text that begin with prefix.
std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix);
std::string ProgramPath(const std::string& name);

} // namespace ovx::testing
