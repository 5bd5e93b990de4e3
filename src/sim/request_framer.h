// Cuts the byte stream from the tool into 36-byte requests, as the controller does: a request
// starts with the sync word 0x00 0x55 (leading bytes that cannot start one are dropped), and
// bytes that do not make up a whole request within the gap after the last one are discarded.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "link/frame.h"

namespace ovx::sim {

class RequestFramer {
  public:
    using Clock = std::chrono::steady_clock;
    struct Request {
        link::FrameBytes bytes;
        Clock::time_point lastByte; // arrival of its last byte
    };

    explicit RequestFramer(Clock::duration gap) : gap_(gap) {}

    // Bytes that arrived at now; whole requests are appended to out.
    void Feed(std::span<const std::uint8_t> bytes, Clock::time_point now,
              std::vector<Request>& out);
    // Discards a partial request whose gap has run out by now.
    void Expire(Clock::time_point now);
    // When the partial request will be discarded; none if nothing is pending.
    std::optional<Clock::time_point> Deadline() const;

    std::size_t Pending() const { return fill_; }
    std::size_t Discarded() const { return discarded_; } // bytes dropped so far

  private:
    void Push(std::uint8_t byte);

    Clock::duration gap_;
    link::FrameBytes buffer_{};
    std::size_t fill_ = 0;
    Clock::time_point last_{};
    std::size_t discarded_ = 0;
};

} // namespace ovx::sim
