// Command line of ovextar.
#include "app/options.h"

#include <charconv>
#include <string_view>

#include "build_info.h"
#include "platform/serial.h"

namespace ovx::app {

namespace {

constexpr const char* kUsage =
    "usage: ovextar [--port N=DEVICE]... [--simulator [FAULT]... [--no-line]] [--trace]\n"
    "               [--version] [--help]\n"
    "  --port N=DEVICE  serial port N (1..255) is DEVICE, e.g. --port 1=/dev/ttyUSB0, or a\n"
    "                   serial device server: tcp://HOST:PORT or rfc2217://HOST:PORT\n"
    "  --simulator      port 1 is a virtual controller running inside the program; it may be\n"
    "                   followed by the fault options of ovextar-sim and by\n"
    "  --no-line        the virtual controller answers at once instead of at 19200 baud\n"
    "  --trace          print every frame (tx:/rx:) and status text (status:) on stderr\n"
    "  --version        print the version\n"
    "  --help           print this text\n"
    "At start-up the program opens port 1.\n"
    "Serial port permissions: a port that exists but cannot be opened for lack of permission\n"
    "shows \"Cannot open port\", and beside it the reason and the group that owns the device\n"
    "(also on stderr with --trace). The usual fix is membership in that group, mostly dialout:\n"
    "sudo adduser $USER dialout, then log in again.\n"
    "Files: the panel file OVEXTAR1V12.uir is read from the program's folder, else from\n"
    "../share/ovextar beside it. The program directory (the parameter-file dialogs open there;\n"
    "TARconfig.dat belongs there) is the program's folder when the panel file lies there, as in\n"
    "a build, else the folder ovextar in the documents folder (~/Documents/ovextar), created at\n"
    "start-up. F1 shows it. LTlinear.dat is written to the working directory.\n";

bool ParsePortNumber(std::string_view text, int& port) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, port);
    return ec == std::errc{} && ptr == end && port >= 1 && port <= platform::kMaxPorts;
}

// "N=DEVICE" with N a port number and DEVICE not empty.
bool ParsePortMapping(std::string_view text, Options& options) {
    const auto eq = text.find('=');
    int port = 0;
    if (eq == std::string_view::npos || eq + 1 == text.size() ||
        !ParsePortNumber(text.substr(0, eq), port)) {
        return false;
    }
    options.ports.emplace_back(port, std::string(text.substr(eq + 1)));
    return true;
}

int Fail(std::string& message, const std::string& reason) {
    message = "ovextar: " + reason + "\n" + Usage();
    return 2;
}

class Parser {
  public:
    Parser(int argc, char** argv, Options& options, std::string& message)
        : argc_(argc), argv_(argv), options_(options), message_(message) {}

    int Run() {
        for (index_ = 1; index_ < argc_; ++index_) {
            const int rc = One(argv_[index_]);
            if (rc != 0) {
                return rc;
            }
        }
        return 0;
    }

  private:
    int One(std::string_view arg) {
        if (arg == "--help" || arg == "-h") {
            options_.help = true;
        } else if (arg == "--version") {
            options_.version = true;
        } else if (arg == "--trace") {
            options_.trace = true;
        } else if (arg == "--simulator") {
            options_.simulator = true;
        } else if (arg == "--port" || arg.starts_with("--port=")) {
            return Port(arg);
        } else if (options_.simulator && arg == "--no-line") {
            options_.simLineEmulation = false;
        } else if (options_.simulator) {
            return Fault(arg);
        } else {
            return Fail(message_, "unknown option " + std::string(arg));
        }
        return 0;
    }

    int Port(std::string_view arg) {
        std::string_view value;
        if (arg == "--port") {
            if (index_ + 1 >= argc_) {
                return Fail(message_, "--port needs N=DEVICE");
            }
            value = argv_[++index_];
        } else {
            value = arg.substr(std::string_view("--port=").size());
        }
        if (!ParsePortMapping(value, options_)) {
            return Fail(message_,
                        "--port needs N=DEVICE with N from 1 to 255, not " + std::string(value));
        }
        return 0;
    }

    int Fault(std::string_view arg) {
        std::string error;
        if (!arg.starts_with("--") ||
            !sim::ParseFaultOption(std::string(arg), options_.simFaults, error)) {
            return Fail(message_, error.empty() ? "unknown option " + std::string(arg) : error);
        }
        return 0;
    }

    int argc_;
    char** argv_;
    Options& options_;
    std::string& message_;
    int index_ = 1;
};

} // namespace

int ParseOptions(int argc, char** argv, Options& options, std::string& message) {
    message.clear();
    return Parser(argc, argv, options, message).Run();
}

std::string VersionText() {
    return std::string("ovextar ") + kVersion + "\n";
}

const char* Usage() {
    static const std::string text = std::string(kUsage) + sim::FaultOptionsHelp();
    return text.c_str();
}

} // namespace ovx::app
