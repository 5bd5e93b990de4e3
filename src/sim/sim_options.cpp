#include "sim/sim_options.h"

#include <charconv>

#include "build_info.h"

namespace ovx::sim {

namespace {

constexpr double kMaxLatencyMs = 60000.0;

bool ParseLatency(const std::string& text, double& ms) {
    double v = 0.0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (text.empty() || ec != std::errc() || ptr != end || !(v >= 0.0 && v <= kMaxLatencyMs)) {
        return false;
    }
    ms = v;
    return true;
}

// Options that take the next argument as their value; false if arg is none of them.
bool TakeValue(const std::string& arg, const std::string& value, SimSettings& s,
               std::string& message) {
    if (arg == "--link") {
        s.host.symlink = value;
    } else if (arg == "--eeprom") {
        s.host.eepromFile = value;
    } else if (arg == "--flash-dump") {
        s.flashDump = value;
    } else if (arg == "--latency") {
        if (!ParseLatency(value, s.host.replyLatencyMs)) {
            message = "--latency needs milliseconds from 0 to 60000, got \"" + value + "\"";
        }
    } else {
        return false;
    }
    return true;
}

bool IsValueOption(const std::string& arg) {
    return arg == "--link" || arg == "--eeprom" || arg == "--flash-dump" || arg == "--latency";
}

} // namespace

int ParseSimOptions(const std::vector<std::string>& args, SimSettings& s, std::string& message) {
    message.clear();
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            s.help = true;
        } else if (arg == "--version") {
            s.version = true;
        } else if (arg == "--no-line") {
            s.host.lineEmulation = false;
        } else if (arg == "--log") {
            s.host.logOrders = true;
        } else if (IsValueOption(arg)) {
            if (i + 1 == args.size()) {
                message = arg + " needs a value";
                return 2;
            }
            TakeValue(arg, args[++i], s, message);
        } else if (!ParseFaultOption(arg, s.host.faults, message) && message.empty()) {
            message = "unknown option " + arg;
        }
        if (!message.empty()) {
            return 2;
        }
    }
    return 0;
}

const char* SimUsage() {
    return "Usage: ovextar-sim [options]\n"
           "Runs a virtual O-VEX-TAR controller on a pseudo-terminal and prints its device path.\n"
           "  --link PATH            also make a symlink PATH to the device\n"
           "  --no-line              answer at once (no 19200-baud line time)\n"
           "  --latency MS           controller think time before a reply (default 2)\n"
           "  --eeprom FILE          keep the EEPROM in FILE across runs\n"
           "  --flash-dump FILE      write flash pages 4 to 7 to FILE at exit\n"
           "  --log                  one line per received order on stderr\n"
           "  --version              print the version\n"
           "  --help                 this text\n";
}

std::string SimVersionText() {
    return std::string("ovextar-sim ") + kVersion + "\n";
}

} // namespace ovx::sim
