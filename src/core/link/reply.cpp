#include "link/reply.h"

namespace ovx::link {

int ExpectedReplyOrder(int requestOrder) {
    switch (requestOrder) {
    case kOrderReadRam:
    case kOrderReadEeprom:
    case kOrderLiveSample:
        return requestOrder;
    case kOrderTeach:
    case kOrderReset:
        return kAnyOrder;
    default:
        return kNoFrameReply;
    }
}

ReplyCheck CheckReply(std::span<const std::uint8_t> frame, int wantOrder) {
    if (wantOrder == kNoFrameReply) {
        return ReplyCheck::kNotWaited;
    }
    if (frame.size() < static_cast<std::size_t>(kFrameBytes) || WordAt(frame, 0) != kSyncWord) {
        return ReplyCheck::kNoSync;
    }
    if (wantOrder != kAnyOrder && FrameOrder(frame) != wantOrder) {
        return ReplyCheck::kWrongOrder;
    }
    return ReplyCheck::kWhole;
}

const char* ReplyCheckText(ReplyCheck check) {
    switch (check) {
    case ReplyCheck::kWhole:
        return "whole frame";
    case ReplyCheck::kNoSync:
        return "no sync word";
    case ReplyCheck::kWrongOrder:
        return "order code the waiting request does not take";
    case ReplyCheck::kNotWaited:
        return "no request waits for a frame";
    }
    return "";
}

std::size_t ReplyStart(std::span<const std::uint8_t> bytes) {
    constexpr auto kSyncHigh = static_cast<std::uint8_t>(kSyncWord >> 8);
    constexpr auto kSyncLow = static_cast<std::uint8_t>(kSyncWord & 0xFF);
    for (std::size_t start = 0; start < bytes.size(); ++start) {
        const bool last = start + 1 == bytes.size();
        if (bytes[start] == kSyncHigh && (last || bytes[start + 1] == kSyncLow)) {
            return start;
        }
    }
    return bytes.size();
}

bool IsOrderCode(int code) {
    return (code >= kOrderWriteRam && code <= kOrderReset) || code == kOrderFlashAddress ||
           code == kOrderFlashBlock;
}

std::size_t HeaderStart(std::span<const std::uint8_t> bytes) {
    constexpr std::size_t kHeaderBytes = 4;
    for (std::size_t start = 0; start + kHeaderBytes <= bytes.size(); ++start) {
        const auto head = bytes.subspan(start, kHeaderBytes);
        if (WordAt(head, 0) == kSyncWord && IsOrderCode(FrameOrder(head))) {
            return start;
        }
    }
    return bytes.size();
}

} // namespace ovx::link
