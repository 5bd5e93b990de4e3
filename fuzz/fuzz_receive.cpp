// The receive notification: any byte stream from the line, delivered in any pieces, reaches pp
// only as a whole frame of the order the waiting request takes, and nothing is read beyond a
// buffer. The first input byte chooses the waiting request and the piece length.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_pty.h"
#include "link/com232.h"
#include "link/frame.h"
#include "link/reply.h"
#include "platform/serial.h"

using namespace ovx; // link:: (a namespace alias named link would clash with link(2))
using fuzz::Check;

namespace {

constexpr std::array<int, 6> kRequests{link::kOrderReadRam,    link::kOrderReadEeprom,
                                       link::kOrderLiveSample, link::kOrderTeach,
                                       link::kOrderReset,      link::kOrderEcho};

// True when the stream holds a frame of a wanted order whose payload is pp.
bool FrameInStream(const std::vector<std::uint8_t>& stream, int wanted) {
    for (std::size_t o = 0; o + link::kFrameBytes <= stream.size(); ++o) {
        const std::span<const std::uint8_t> f(stream.data() + o, link::kFrameBytes);
        if (link::WordAt(f, 0) != link::kSyncWord) {
            continue;
        }
        if (wanted != link::kAnyOrder && link::FrameOrder(f) != wanted) {
            continue;
        }
        bool same = true;
        for (int i = 0; i < link::kPayloadWords && same; ++i) {
            same = link::FrameWord(f, static_cast<std::size_t>(i)) == link::pp[i];
        }
        if (same) {
            return true;
        }
    }
    return false;
}

// The stream as the line delivers it: piece after piece, by the target between notifications and
// by the wait hook while a notification waits for the rest of a frame (as the line would bring
// it within the frame's line time).
struct Line {
    std::vector<std::uint8_t> stream;
    std::size_t piece = 0;
    std::size_t at = 0;
    bool inNotification = false;
};

Line line;

// Sends the next piece; returns its length (0 when the stream has gone out whole).
int DeliverPiece() {
    const std::size_t n = std::min(line.piece, line.stream.size() - line.at);
    Check(fuzz::Deliver(fuzz::ControllerSide(), line.stream.data() + line.at, n) == n,
          "the line takes the piece");
    line.at += n;
    return static_cast<int>(n);
}

void PlayLine() {
    if (line.inNotification) {
        DeliverPiece();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 2048) {
        return 0;
    }
    const int master = fuzz::ControllerSide();
    fuzz::OnToolWaits(PlayLine);
    const int request = kRequests[data[0] % kRequests.size()];
    // Bit 7 set: the stream arrives in pieces of 1 to 61 bytes, and a frame cut between two
    // pieces is completed by the next piece while the notification waits; clear: all at once.
    line.piece = (data[0] & 0x80) != 0 ? 1 + ((data[0] >> 3) & 15) * 4 : 4096;
    // The stream ends in bytes that cannot start a frame, so that a frame cut by the end of
    // the input is completed at once instead of waited for.
    line.stream.assign(data + 1, data + size);
    line.stream.insert(line.stream.end(), link::kFrameBytes, 0xFF);
    line.at = 0;

    platform::FlushInQ(link::com);
    link::FillTxBuf(request, link::pp);
    link::rx_flag = 0;
    const int wanted = link::ExpectedReplyOrder(request);
    int queued = 0;
    while (line.at < line.stream.size()) {
        // Pieces that leave less than a frame queued raise no notification: they are sent on
        // without waiting for each to pass the pty.
        int sent = DeliverPiece();
        while (queued + sent < link::kFrameBytes && line.at < line.stream.size()) {
            sent += DeliverPiece();
        }
        queued = fuzz::AwaitQueued(queued + sent);
        Check(queued >= 0, "the line stays open");
        // The notification fires whenever a frame's worth of bytes is queued.
        while (queued >= link::kFrameBytes) {
            link::rx_flag = 0;
            line.inNotification = true;
            link::RX_Receive_Function(link::com, platform::kEvNotifyCount, nullptr);
            line.inNotification = false;
            if (link::rx_flag != 0) {
                Check(wanted != link::kNoFrameReply, "no frame is taken when none is awaited");
                Check(FrameInStream(line.stream, wanted),
                      "pp holds a whole frame of the wanted order");
            }
            queued = platform::GetInQLen(link::com);
        }
    }
    fuzz::DrainRequests(master);
    return 0;
}
