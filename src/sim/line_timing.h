// Time the serial line takes: the tool's pty delivers bytes at once, so the virtual controller
// spends the line's time itself to look like a controller at 19200 baud, 8N1.
#pragma once

#include <chrono>

#include "link/frame.h"

namespace ovx::sim {

constexpr int kBaud = 19200;
constexpr int kBitsPerByte = 10; // start bit, 8 data bits, stop bit

// Time on the line of the first count bytes: exact in nanoseconds, no accumulated rounding.
constexpr std::chrono::nanoseconds LineTime(long long count) {
    return std::chrono::nanoseconds(count * kBitsPerByte * 1'000'000'000LL / kBaud);
}

// A request is 36 bytes; 18.75 ms on the line.
constexpr std::chrono::nanoseconds kRequestLineTime = LineTime(link::kFrameBytes);

// Bytes of a request that do not form a whole one within this gap after the last are dropped.
// On the emulated line the rest of a request could still be under way for a request's time.
constexpr std::chrono::milliseconds kResyncGap{20};
constexpr std::chrono::nanoseconds ResyncGap(bool lineEmulation) {
    return lineEmulation ? kResyncGap + kRequestLineTime : std::chrono::nanoseconds(kResyncGap);
}

} // namespace ovx::sim
