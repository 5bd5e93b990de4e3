// The command line of ovextar-cli, its options and the arguments of its command: any arguments
// either are refused with exit code 2 and a one-line message, or make a command line that is
// valid throughout (a known command, a port where one is needed, faults within their ranges,
// the arguments the command takes, positive limits, assignments within their ranges).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/cli_options.h"
#include "fuzz_check.h"
#include "params/parameters.h"

using ovx::fuzz::Check;

namespace {

bool OneLine(const std::string& text) {
    return !text.empty() && text.find('\n') == std::string::npos;
}

void CheckFaults(const ovx::sim::Faults& f) {
    Check(f.echoAck >= -1 && f.echoAck <= 0xFFFF, "echo ack in range");
    Check(f.cutReplyTo >= -1 && f.garbageBytes >= 0 && f.slowMs >= 0, "reply faults in range");
    Check(f.rejectFlashAtBlock >= -1 && f.rejectFlashAtBlock <= 15, "flash block in range");
    Check(f.dropEveryKthLive >= 0 && f.unplugAfterFrames >= -1, "line faults in range");
}

std::size_t WordsTaken(const std::string& command) {
    return command == "table" || command == "flash" ? 1 : 0;
}

void CheckLimits(const ovx::cli::CliArgs& a) {
    const std::string* seconds = a.Value("--seconds");
    const std::string* frames = a.Value("--frames");
    Check(seconds == nullptr || frames == nullptr, "one limit at most");
    Check((seconds != nullptr) == (a.seconds > 0), "--seconds given exactly when positive");
    Check((frames != nullptr) == (a.frames > 0), "--frames given exactly when positive");
    Check(seconds == nullptr || std::stol(*seconds) == a.seconds, "--seconds as given");
    Check(frames == nullptr || std::stol(*frames) == a.frames, "--frames as given");
}

void CheckAssignments(const ovx::cli::CliArgs& a) {
    Check(!a.Words().empty(), "send names a file or assignments");
    if (a.assignments.empty()) {
        Check(a.Words().size() == 1 && a.Words()[0].find('=') == std::string::npos,
              "a file is one word without '='");
        return;
    }
    Check(a.assignments.size() == a.Words().size(), "every word is an assignment");
    for (const ovx::cli::Assignment& s : a.assignments) {
        Check(s.param != nullptr && ovx::params::ValueAllowed(*s.param, s.value),
              "assignment within its range");
    }
}

void CheckCommandArgs(const ovx::cli::CliOptions& o) {
    ovx::cli::CliArgs a;
    std::string error;
    if (!ovx::cli::ParseCommandArgs(o.command, o.args, a, error)) {
        Check(OneLine(error) && error.rfind(o.command + ": ", 0) == 0,
              "a refused argument is named on one line after the command");
        return;
    }
    if (o.command == "send") {
        CheckAssignments(a);
    } else {
        Check(a.Words().size() == WordsTaken(o.command), "the words the command takes");
        Check(a.assignments.empty(), "assignments only for send");
    }
    if (o.command == "live") {
        CheckLimits(a);
    } else {
        Check(a.seconds == 0 && a.frames == 0, "limits only for live");
    }
    Check(a.Flag("--eeprom") == false || o.command == "get" || o.command == "send",
          "--eeprom only for get and send");
    Check(!a.Flag("--raw") || o.command == "curve", "--raw only for curve");
    Check(a.Value("-o") == nullptr || o.command == "get" || o.command == "table",
          "-o only for get and table");
    Check(a.Value("--csv") == nullptr || o.command == "live" || o.command == "curve",
          "--csv only for live and curve");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args = ovx::fuzz::SplitArguments(data, size);
    args.front() = "ovextar-cli";
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    ovx::cli::CliOptions options;
    std::string message;
    const int rc =
        ovx::cli::ParseCliOptions(static_cast<int>(args.size()), argv.data(), options, message);
    Check(rc == 0 || rc == 2, "result is 0 or 2");
    if (rc == 2) {
        Check(OneLine(message) && message.rfind("ovextar-cli: ", 0) == 0,
              "a refusal is one line naming the program");
        return 0;
    }
    Check(message.empty(), "no message on success");
    if (options.help || options.version) {
        return 0;
    }
    const bool controller = options.command != "ports" && options.command != "table";
    Check(!(options.simulator && !options.device.empty()), "one controller at most");
    Check(!controller || options.simulator || !options.device.empty(), "a controller is named");
    CheckFaults(options.simFaults);
    CheckCommandArgs(options);
    return 0;
}
