// The command line of ovextar-sim: any arguments either parse into settings within their
// ranges, or are refused with exit code 2 and a reason.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "sim/sim_options.h"

using ovx::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args = ovx::fuzz::SplitArguments(data, size);
    args.erase(args.begin());
    ovx::sim::SimSettings settings;
    std::string message;
    const int rc = ovx::sim::ParseSimOptions(args, settings, message);
    Check(rc == 0 || rc == 2, "result is 0 or 2");
    Check((rc == 2) == !message.empty(), "a reason exactly with a refusal");
    if (rc == 0) {
        const auto& h = settings.host;
        Check(h.replyLatencyMs >= 0.0 && h.replyLatencyMs <= 60000.0, "latency in range");
        Check(h.faults.rejectFlashAtBlock >= -1 && h.faults.rejectFlashAtBlock <= 15,
              "flash block in range");
        Check(h.faults.garbageBytes >= 0 && h.faults.garbageBytes <= 4096, "garbage in range");
    }
    return 0;
}
