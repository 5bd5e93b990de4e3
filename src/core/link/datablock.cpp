// The data-block read. Order 9 names a block offset and a graph source; the controller answers
// with 128 bare bytes (64 big-endian words, no sync and no order field), which are polled for in
// the input queue with the receive notification removed by the caller.
#include "link/datablock.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <span>

#include "link/com232.h"
#include "platform/serial.h"
#include "platform/timing.h"

namespace ovx::link {

std::uint16_t yArrayA[kCurveArrayPoints];
std::uint16_t yArrayB[kCurveArrayPoints];

namespace {

constexpr double kBlockTimeout = 1.5;

constexpr const char* kWaitingText = "Waiting for Data[64] ...";
constexpr const char* kTimeoutText = "Timeout-RS-232 while reading 64 data-words!";
constexpr const char* kReceivedText = "Data[64] block received!";
// 128 bare bytes carry no header: bytes of anything else before or after them cannot be told
// apart from the block's own, so an answer of another length is refused, never realigned.
constexpr const char* kRefusedText = "Data[64] block refused - %d bytes instead of 128!";

// Where the block at an offset goes; nullptr for an offset that names no block.
std::uint16_t* BlockDestination(int offset) {
    switch (offset) {
    case 0:
        return yArrayA;
    case 64:
        return yArrayA + 64;
    case 128:
        return yArrayB;
    case 192:
        return yArrayB + 64;
    default:
        return nullptr;
    }
}

void ClearCurves() {
    std::fill_n(yArrayA, kCurvePoints, std::uint16_t{0});
    std::fill_n(yArrayB, kCurvePoints, std::uint16_t{0});
}

// Polls the input queue without processing events until 128 bytes stand there or more than
// 1.5 s have passed; the time test comes first. Returns the count of the last poll.
int PollForBlock(bool& timedOut) {
    tstart = platform::Timer();
    timedOut = false;
    for (;;) {
        const int n = platform::GetInQLen(com);
        tdiff = platform::Timer() - tstart;
        if (tdiff > kBlockTimeout) {
            SetStatus(kTimeoutText);
            ClearCurves();
            timedOut = true;
            return n;
        }
        if (n >= kBlockBytes) {
            return n;
        }
    }
}

// Reads what the last poll counted, but never more than szReadBuf holds: after a time-out the
// queue may hold up to 4096 bytes, and whatever does not fit is discarded.
void ReadPolledBytes(int n) {
    if (n > 0) {
        ReadReply(n);
    } else {
        nBytesR = 0;
    }
    if (n > kBufSize) {
        platform::FlushInQ(com);
    }
}

void RefuseBlock(int count) {
    char text[kStatusSize];
    std::snprintf(text, sizeof text, kRefusedText, count);
    SetStatus(text);
    ClearCurves();
}

void StoreBlock(std::uint16_t* destination) {
    const std::span<const std::uint8_t> bytes(szReadBuf, kBlockBytes);
    for (int i = 0; i < kBlockWords; ++i) {
        destination[i] = WordAt(bytes, static_cast<std::size_t>(i));
    }
}

} // namespace

int ReadData64(int offset, int source, int orderCode) {
    // Word 0 the offset, word 1 the source, the rest 0; pp keeps the parameters.
    const Payload words{static_cast<std::uint16_t>(offset), static_cast<std::uint16_t>(source)};
    AwaitOwedReply(orderCode);
    FlushQueues();
    rx_flag = 0;
    SendRequest(orderCode, words.data());
    ShowStatus(kWaitingText);

    bool timedOut = false;
    int polled = PollForBlock(timedOut);
    if (polled == kBlockBytes) {
        polled = AwaitAnswerTail(polled); // stray bytes ahead of a block make it end later
    }
    ReadPolledBytes(polled);

    int result = 0;
    if (nBytesR == kBlockBytes) {
        SetStatus(kReceivedText);
        result = kBlockWords;
        if (std::uint16_t* destination = BlockDestination(offset)) {
            StoreBlock(destination);
        }
    } else if (!timedOut) {
        RefuseBlock(polled); // more than 128 bytes came
    }
    // A refused answer came whole, and more: nothing of it is owed. What follows it is flushed
    // before the next request and counted against 128 again.
    EndDirectExchange(orderCode, nBytesR, result != 0 || !timedOut, kBlockTimeout);
    ShowStatus();
    return result;
}

} // namespace ovx::link
