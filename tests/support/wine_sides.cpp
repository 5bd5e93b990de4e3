#include "support/wine_sides.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace ovx::testing {

namespace {

namespace fs = std::filesystem;

constexpr double kStartSeconds = 10;    // for the controller's device path
constexpr double kProgramSeconds = 120; // for a command, wine's start included

std::string Environment(const char* name, const std::string& otherwise = "") {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : otherwise;
}

} // namespace

std::string BuildProgram(const std::string& name) {
    std::error_code ec;
    return (fs::read_symlink("/proc/self/exe", ec).parent_path() / name).string();
}

std::string CliSides::Prepare() {
    exe_ = Environment("OVX_WINE_EXE");
    prefix_ = Environment("WINEPREFIX");
    wine_ = Environment("OVX_WINE", "wine");
    if (!dir_.Valid()) {
        return "no scratch directory";
    }
    if (exe_.empty() || !fs::is_regular_file(exe_)) {
        return "OVX_WINE_EXE names no file (\"" + exe_ + "\"): run scripts/ovx windows";
    }
    const fs::path devices = fs::path(prefix_) / "dosdevices";
    if (prefix_.empty() || !fs::is_directory(devices)) {
        return "WINEPREFIX names no wine prefix (\"" + prefix_ + "\"): run scripts/ovx windows";
    }
    // COM9, not COM1: wine maps com1 to the machine's first serial port at every start.
    const fs::path com = devices / "com9";
    std::error_code ec;
    fs::remove(com, ec);
    fs::create_symlink(File("ttyOVX"), com, ec);
    return ec ? "cannot map COM9: " + ec.message() : "";
}

ChildProcess::Call CliSides::CliCall(Side side, const std::vector<std::string>& cliArgs,
                                     bool port) const {
    ChildProcess::Call call;
    call.workingDir = dir_.Path();
    if (side == Side::kLinux) {
        call.argv = {BuildProgram("ovextar-cli")};
        if (port) {
            call.argv.insert(call.argv.end(), {"--port", File("ttyOVX")});
        }
    } else {
        call.argv = {wine_, exe_};
        if (port) {
            call.argv.insert(call.argv.end(), {"--port", kWinePort});
        }
        call.env = {{"WINEPREFIX", prefix_},
                    {"WINEDEBUG", "-all"},
                    {"WINEDLLOVERRIDES", "mscoree,mshtml,winemenubuilder.exe="}};
        call.unset = {"DISPLAY", "WAYLAND_DISPLAY"};
    }
    call.argv.insert(call.argv.end(), cliArgs.begin(), cliArgs.end());
    return call;
}

SideRun CliSides::Run(Side side, const std::vector<std::string>& simArgs,
                      const std::vector<std::string>& cliArgs) {
    SideRun run;
    ChildProcess sim;
    ChildProcess::Call simCall{{BuildProgram("ovextar-sim"), "--link", File("ttyOVX")}};
    simCall.argv.insert(simCall.argv.end(), simArgs.begin(), simArgs.end());
    std::string error;
    if (!sim.Start(simCall, error) || !sim.WaitForText("/dev/", kStartSeconds)) {
        run.err = {"ovextar-sim did not start: " + error + sim.Err()};
        return run;
    }
    ChildProcess cli;
    if (!cli.Start(CliCall(side, cliArgs), error)) {
        run.err = {"the program did not start: " + error};
        return run;
    }
    cli.Wait(kProgramSeconds);
    sim.Interrupt();
    sim.Wait(kStartSeconds);
    run.exitCode = cli.ExitCode();
    run.out = cli.OutLines();
    run.err = cli.ErrLines();
    run.simErr = sim.ErrLines();
    if (const auto request = sim.LineAt("sim: order ")) {
        run.firstRequestToExit = std::chrono::duration<double>(cli.EndedAt() - *request).count();
    }
    return run;
}

SideRun CliSides::RunInside(Side side, const std::vector<std::string>& cliArgs) {
    SideRun run;
    ChildProcess cli;
    std::string error;
    if (!cli.Start(CliCall(side, cliArgs, false), error)) {
        run.err = {"the program did not start: " + error};
        return run;
    }
    cli.Wait(kProgramSeconds);
    run.exitCode = cli.ExitCode();
    run.out = cli.OutLines();
    run.err = cli.ErrLines();
    return run;
}

std::vector<std::string> Traced(const std::vector<std::string>& err, const std::string& kind) {
    std::vector<std::string> lines;
    for (const std::string& line : err) {
        const auto at = line.find(" " + kind + ": ");
        if (at != std::string::npos) {
            lines.push_back(line.substr(at + 1));
        }
    }
    return lines;
}

double TracedAt(const std::vector<std::string>& err, const std::string& text) {
    for (const std::string& line : err) {
        if (line.find(text) != std::string::npos) {
            return std::atof(line.c_str());
        }
    }
    return -1.0;
}

} // namespace ovx::testing
