// Command line of ovextar-cli.
#include "cli/cli_options.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "build_info.h"
#include "platform/net_address.h"

namespace ovx::cli {

namespace {

constexpr const char* kUsage =
    "usage: ovextar-cli [--port DEVICE | --simulator [FAULT]... [--no-line]]\n"
    "                   [--verbose] [--trace] [--json] COMMAND [ARGS]\n"
    "  --port DEVICE     the controller's serial device, e.g. --port /dev/ttyUSB0, or a\n"
    "                    serial device server on the network: tcp://HOST:PORT (raw TCP, the\n"
    "                    server set to 19200 8N1) or rfc2217://HOST:PORT (this side sets it)\n"
    "  --simulator       a virtual controller running inside the program; it may be followed\n"
    "                    by the fault options of ovextar-sim and by\n"
    "  --no-line         the virtual controller answers at once instead of at 19200 baud\n"
    "  --verbose         print every status text on stderr, not only the final one\n"
    "  --trace           print every frame (tx:/rx:) and status text (status:) on stderr\n"
    "  --json            print one JSON object per result (and per live sample); a failure\n"
    "                    prints {\"command\":COMMAND,\"ok\":false,\"error\":TEXT}\n"
    "  --version         print the version\n"
    "  --help            print this text\n"
    "Commands:\n"
    "  ports                        list serial ports (device, description, USB ids)\n"
    "  check                        echo check\n"
    "  info                         firmware information\n"
    "  get [--eeprom] [-o FILE]     parameters: NAME=VALUE lines, or a parameter file\n"
    "  send [--eeprom] (FILE | NAME=VALUE...)\n"
    "                               parameters to RAM or EEPROM; names not given keep the\n"
    "                               controller's values. FILE: NAME=VALUE lines or a parameter\n"
    "                               file of 16 integers\n"
    "  teach | reset                teach a new reference value; reset the controller\n"
    "  live [--seconds N | --frames N] [--csv FILE]\n"
    "                               live samples as CSV until N seconds or frames, or Ctrl-C\n"
    "  curve [--raw] [--csv FILE]   the 128-point data curve (NORM, or channels A and B)\n"
    "  table MEASUREMENT [-o FILE]  build the linearisation table only, no controller needed\n"
    "  flash MEASUREMENT            build the table and program flash pages 4 to 7\n"
    "Every command but ports and table first does the window's start-up on the device: echo\n"
    "check, parameters, firmware information. On stderr a command prints its final status\n"
    "text when it succeeds, else one line: what failed and why.\n"
    "Parameter names: power reference tolerance hysteresis polarity hold hw-mode average\n"
    "  evaluation-mode max-mode trigger-level trigger-mode sample-delay difference-buffer\n"
    "  analysis-mode para15\n"
    "Exit codes: 0 done; 1 the controller did not answer or refused; 2 usage or a bad name or\n"
    "value, or an option given twice; 3 a file could not be read or written; 130 Ctrl-C before\n"
    "the command was done (Ctrl-C ends live as its stop: exit 0).\n";

constexpr std::array kCommands{"ports", "check", "info",  "get",   "send", "teach",
                               "reset", "live",  "curve", "table", "flash"};

bool NeedsController(std::string_view command) {
    return command != "ports" && command != "table";
}

int Fail(std::string& message, const std::string& reason) {
    message = "ovextar-cli: " + reason + " (see ovextar-cli --help)";
    return 2;
}

// An option before the command given a second time (fault options by their name before '=').
bool GivenTwice(std::string_view arg, std::vector<std::string_view>& seen) {
    if (!arg.starts_with("-")) {
        return false;
    }
    const std::string_view name = arg.substr(0, arg.find('='));
    if (std::find(seen.begin(), seen.end(), name) != seen.end()) {
        return true;
    }
    seen.push_back(name);
    return false;
}

} // namespace

int ParseCliOptions(int argc, char** argv, CliOptions& options, std::string& message) {
    message.clear();
    std::vector<std::string_view> seen;
    int i = 1;
    for (; i < argc && options.command.empty(); ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return 0;
        }
        if (GivenTwice(arg, seen)) {
            return Fail(message, std::string(arg.substr(0, arg.find('='))) + " given twice");
        }
        if (arg == "--version") {
            options.version = true;
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--trace") {
            options.trace = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--port") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                return Fail(message, "--port needs a DEVICE");
            }
            options.device = argv[++i];
        } else if (arg == "--simulator") {
            options.simulator = true;
        } else if (options.simulator && arg == "--no-line") {
            options.simLineEmulation = false;
        } else if (options.simulator && arg.starts_with("--")) {
            std::string error;
            if (!sim::ParseFaultOption(std::string(arg), options.simFaults, error)) {
                return Fail(message, error.empty() ? "unknown option " + std::string(arg) : error);
            }
        } else if (arg.starts_with("-")) {
            return Fail(message, "unknown option " + std::string(arg));
        } else {
            options.command = arg;
        }
    }
    options.args.assign(argv + i, argv + argc);
    if (options.version) {
        return 0;
    }
    if (options.command.empty()) {
        return Fail(message, "no command given");
    }
    if (std::find(kCommands.begin(), kCommands.end(), options.command) == kCommands.end()) {
        return Fail(message, "unknown command " + options.command);
    }
    if (options.simulator && !options.device.empty()) {
        return Fail(message, "--port and --simulator exclude each other");
    }
    std::string addressError;
    platform::detail::NetAddress address;
    if (platform::detail::IsNetAddress(options.device) &&
        !platform::detail::ParseNetAddress(options.device, address, addressError)) {
        return Fail(message, "--port: " + addressError);
    }
    if (NeedsController(options.command) && !options.simulator && options.device.empty()) {
        return Fail(message, options.command + " needs --port DEVICE or --simulator");
    }
    return 0;
}

std::string CliVersionText() {
    return std::string("ovextar-cli ") + kVersion + "\n";
}

const char* CliUsage() {
    static const std::string text = std::string(kUsage) + sim::FaultOptionsHelp();
    return text.c_str();
}

} // namespace ovx::cli
