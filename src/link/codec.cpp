#include <algorithm>
#include <array>
#include <span>

#include "link/com232.h"
#include "params/variables.h"

namespace ovx::link {

int PNUM = kPayloadWords;
int sync = kSyncWord;
int order = 0;
std::uint16_t pp[kPayloadWords] = {};
unsigned char szWriteBuf[kBufSize] = {};
unsigned char szReadBuf[kBufSize] = {};

namespace {

// The sixteen parameter variables in the word order of the parameter block.
constexpr std::array<std::uint16_t*, kPayloadWords> kWordVariables{
    &params::power,    &params::reference, &params::tolerance, &params::hysteresis,
    &params::polarity, &params::hold,      &params::hwmode,    &params::average,
    &params::evalmode, &params::maxmode,   &params::triglvl,   &params::trigmode,
    &params::sdelay,   &params::dbuflen,   &params::anamode,   &params::para15,
};

// Words a frame can carry: never more than the parameter block holds.
std::size_t WordCount(int count) {
    return static_cast<std::size_t>(std::clamp(count, 0, kPayloadWords));
}

} // namespace

void CopyVarsToPP() {
    for (std::size_t i = 0; i < kWordVariables.size(); ++i) {
        pp[i] = *kWordVariables[i];
    }
}

void CopyPPtoVars() {
    for (std::size_t i = 0; i < kWordVariables.size(); ++i) {
        *kWordVariables[i] = pp[i];
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
