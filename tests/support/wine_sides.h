// ovextar-cli of this build and ovextar-cli.exe under wine, side by side: each run gets a fresh
// ovextar-sim on the same link, which the wine prefix maps as COM9. The script that runs the
// Windows tests names what they need in the environment:
//   OVX_WINE_EXE  the cross-built ovextar-cli.exe
//   WINEPREFIX    a wine prefix made for the run (wineboot done)
//   OVX_WINE      the command that runs a Windows program (default: wine)
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/scratch_dir.h"

namespace ovx::testing {

enum class Side { kLinux, kWine };

struct SideRun {
    int exitCode = -1000;
    std::vector<std::string> out, err; // lines, without their line ends
    std::vector<std::string> simErr;   // the virtual controller's log lines
    // Seconds from the virtual controller's receipt of the first request (with --log) to the
    // end of the program (-1: no request logged).
    double firstRequestToExit = -1.0;
};

class CliSides {
  public:
    // "" when the environment names all it needs, else what is missing.
    std::string Prepare();
    // A fresh ovextar-sim with simArgs and the link, then the side's ovextar-cli --port (the
    // link, or COM9 under wine) with cliArgs; the controller is stopped after the program ended.
    SideRun Run(Side side, const std::vector<std::string>& simArgs,
                const std::vector<std::string>& cliArgs);
    // The side's ovextar-cli with cliArgs alone: with --simulator, its controller inside it.
    SideRun RunInside(Side side, const std::vector<std::string>& cliArgs);
    std::string File(const std::string& name) const { return dir_.File(name); }

  private:
    // With port, the program is given --port (the link, or COM9 under wine) first.
    ChildProcess::Call CliCall(Side side, const std::vector<std::string>& cliArgs,
                               bool port = true) const;

    ScratchDir dir_;
    std::string exe_, wine_, prefix_;
};

// The port the exe is given: the link under wine's name for it.
inline constexpr const char* kWinePort = "COM9";

// A program of this build: beside the test program.
std::string BuildProgram(const std::string& name);

// The trace lines of one kind ("tx", "rx", "status") without their time stamps: "tx: 0055...".
std::vector<std::string> Traced(const std::vector<std::string>& err, const std::string& kind);

// The time stamp of the first trace line that holds text, or -1.
double TracedAt(const std::vector<std::string>& err, const std::string& text);

} // namespace ovx::testing
