// The command line of ovextar: any arguments either parse into options that are all within
// their ranges, or are refused with exit code 2 and a message that carries the usage.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/options.h"
#include "fuzz_check.h"
#include "platform/serial.h"

using ovx::fuzz::Check;

namespace {

void CheckFaults(const ovx::sim::Faults& f) {
    Check(f.echoAck >= -1 && f.echoAck <= 0xFFFF, "echo ack in range");
    Check(f.cutReplyTo >= -1 && f.garbageBytes >= 0 && f.slowMs >= 0, "reply faults in range");
    Check(f.rejectFlashAtBlock >= -1 && f.rejectFlashAtBlock <= 15, "flash block in range");
    Check(f.dropEveryKthLive >= 0 && f.unplugAfterFrames >= -1, "line faults in range");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args = ovx::fuzz::SplitArguments(data, size);
    args.front() = "ovextar";
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    ovx::app::Options options;
    std::string message;
    const int rc =
        ovx::app::ParseOptions(static_cast<int>(args.size()), argv.data(), options, message);
    Check(rc == 0 || rc == 2, "result is 0 or 2");
    if (rc == 2) {
        Check(message.find("usage:") != std::string::npos, "a refusal carries the usage");
        return 0;
    }
    Check(message.empty(), "no message on success");
    for (const auto& [port, device] : options.ports) {
        Check(port >= 1 && port <= ovx::platform::kMaxPorts, "port number in range");
        Check(!device.empty(), "device named");
    }
    CheckFaults(options.simFaults);
    return 0;
}
