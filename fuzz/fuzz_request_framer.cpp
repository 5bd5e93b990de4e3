// The virtual controller's request framer: any byte stream, fed in any pieces, yields only
// whole requests that start with the sync word, and never holds more than one partial request.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz_check.h"
#include "sim/request_framer.h"

using ovx::fuzz::Check;
using ovx::sim::RequestFramer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    // The first byte chooses the piece length (1..16) and whether pieces come after the gap.
    const std::size_t piece = 1 + (data[0] & 0x0F);
    const bool late = (data[0] & 0x10) != 0;
    const auto gap = std::chrono::milliseconds(20);
    RequestFramer framer(gap);
    RequestFramer::Clock::time_point now{};
    std::vector<RequestFramer::Request> out;
    std::span<const std::uint8_t> rest(data + 1, size - 1);
    while (!rest.empty()) {
        const std::size_t n = rest.size() < piece ? rest.size() : piece;
        now += late ? 2 * gap : std::chrono::milliseconds(1);
        framer.Expire(now);
        framer.Feed(rest.first(n), now, out);
        rest = rest.subspan(n);
        Check(framer.Pending() < ovx::link::kFrameBytes, "at most one partial request");
    }
    for (const auto& r : out) {
        Check(r.bytes[0] == 0x00 && r.bytes[1] == 0x55, "a request starts with the sync word");
    }
    Check(out.size() * ovx::link::kFrameBytes + framer.Discarded() + framer.Pending() == size - 1,
          "every byte is a request's, discarded or pending");
    return 0;
}
