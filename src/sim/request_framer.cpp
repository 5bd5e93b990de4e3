#include "sim/request_framer.h"

namespace ovx::sim {

namespace {
constexpr std::uint8_t kSyncHigh = link::kSyncWord >> 8;
constexpr std::uint8_t kSyncLow = link::kSyncWord & 0xFF;
} // namespace

void RequestFramer::Feed(std::span<const std::uint8_t> bytes, Clock::time_point now,
                         std::vector<Request>& out) {
    Expire(now);
    last_ = now;
    for (const std::uint8_t b : bytes) {
        Push(b);
        if (fill_ == buffer_.size()) {
            out.push_back({buffer_, now});
            fill_ = 0;
        }
    }
}

void RequestFramer::Push(std::uint8_t byte) {
    buffer_[fill_++] = byte;
    // Hunt for the sync word: drop bytes until the buffer starts like a request.
    while (fill_ > 0 && !(buffer_[0] == kSyncHigh && (fill_ < 2 || buffer_[1] == kSyncLow))) {
        for (std::size_t i = 1; i < fill_; ++i) {
            buffer_[i - 1] = buffer_[i];
        }
        --fill_;
        ++discarded_;
    }
}

void RequestFramer::Expire(Clock::time_point now) {
    if (fill_ > 0 && now - last_ > gap_) {
        discarded_ += fill_;
        fill_ = 0;
    }
}

std::optional<RequestFramer::Clock::time_point> RequestFramer::Deadline() const {
    if (fill_ == 0) {
        return std::nullopt;
    }
    return last_ + gap_;
}

} // namespace ovx::sim
