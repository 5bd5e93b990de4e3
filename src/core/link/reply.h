// Which frame reply a request takes, and where in the received bytes it starts. Pure functions
// over a byte buffer: the receive notification feeds them what the line delivered.
#pragma once

#include <cstdint>
#include <span>

#include "link/frame.h"

namespace ovx::link {

// The reply order a request waits for: its own code for a parameter fetch (2, 4) and a live
// sample (8), kAnyOrder for teach and reset, kNoFrameReply for every order whose answer is read
// directly or that is not answered at all.
constexpr int kAnyOrder = -1;
constexpr int kNoFrameReply = -2;
int ExpectedReplyOrder(int requestOrder);

enum class ReplyCheck {
    kWhole,      // sync word and a wanted order code: the reply is taken
    kNoSync,     // bytes 0 and 1 are not the sync word
    kWrongOrder, // the sync word, but an order code the waiting request does not take
    kNotWaited,  // nobody waits for a frame reply
};
// Judges 36 bytes as a reply for a request that expects wantOrder.
ReplyCheck CheckReply(std::span<const std::uint8_t> frame, int wantOrder);
const char* ReplyCheckText(ReplyCheck check);

// Offset of the first byte at which a frame can start: the sync word, or a last byte 0x00 that
// may be its first half; bytes.size() when none can. Whether the frame is wanted is decided on
// the whole frame: a frame of another order is skipped whole, never searched for a sync word
// inside its payload.
std::size_t ReplyStart(std::span<const std::uint8_t> bytes);

// True for the order codes of the order table (1 to 10, 20, 21).
bool IsOrderCode(int code);
// Offset of the first whole frame header in bytes: the sync word followed by an order code of
// the order table; bytes.size() when there is none. A reply read directly is realigned on it.
std::size_t HeaderStart(std::span<const std::uint8_t> bytes);

} // namespace ovx::link
