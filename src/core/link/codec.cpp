#include <algorithm>
#include <array>
#include <span>

#include "link/com232.h"
#include "params/parameters.h"

namespace ovx::link {

int PNUM = kPayloadWords;
int sync = kSyncWord;
int order = 0;
std::uint16_t pp[kPayloadWords] = {};
unsigned char szWriteBuf[kBufSize] = {};
unsigned char szReadBuf[kBufSize] = {};

namespace {

static_assert(params::kParameterCount == kPayloadWords, "one parameter per word of the block");

// Words a frame can carry: never more than the parameter block holds.
std::size_t WordCount(int count) {
    return static_cast<std::size_t>(std::clamp(count, 0, kPayloadWords));
}

} // namespace

void CopyVarsToPP() {
    for (std::size_t i = 0; i < params::kParameterCount; ++i) {
        pp[i] = *params::Parameters()[i].variable;
    }
}

void CopyPPtoVars() {
    for (std::size_t i = 0; i < params::kParameterCount; ++i) {
        *params::Parameters()[i].variable = pp[i];
    }
}

void FillTxBuf(int orderCode, const std::uint16_t* words) {
    const std::span<const std::uint16_t> payload(words, words != nullptr ? WordCount(PNUM) : 0);
    const FrameBytes frame = EncodeFrame(sync, orderCode, payload);
    std::copy(frame.begin(), frame.end(), szWriteBuf);
}

void GetRxBuf(int count) {
    const std::span<const std::uint8_t> frame(szReadBuf, kFrameBytes);
    order = FrameOrder(frame);
    for (std::size_t i = 0; i < WordCount(count); ++i) {
        pp[i] = FrameWord(frame, i);
    }
}

} // namespace ovx::link
