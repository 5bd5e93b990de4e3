// The data-block read: any reply of 0 to 5000 bytes is read without overrunning szReadBuf, and
// a block reported as received holds the reply's first 64 words. The target plays the
// controller inside the tool's waits: a whole request read on the master side is answered with
// the input, so the read never waits longer than the bytes take to pass the pty.
#include <poll.h>

#include <algorithm>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_pty.h"
#include "link/com232.h"
#include "link/datablock.h"
#include "link/frame.h"
#include "platform/serial.h"

using namespace ovx; // link:: (a namespace alias named link would clash with link(2))
using fuzz::Check;

namespace {

struct Controller {
    std::vector<std::uint8_t> reply;
    std::size_t got = 0; // bytes of the request read so far
    bool answered = true;
};

Controller controller;

// Reads what has come of the request on the master side and answers it once it is whole. The
// tool may first wait out the reply still owed for an earlier read before it sends the request:
// then nothing has come yet, and a later wait of the tool looks again.
void Answer() {
    if (controller.answered) {
        return;
    }
    const int master = fuzz::ControllerSide();
    std::uint8_t buffer[link::kFrameBytes];
    pollfd p{master, POLLIN, 0};
    while (controller.got < link::kFrameBytes && poll(&p, 1, 1) > 0) {
        const ssize_t n = read(master, buffer, link::kFrameBytes - controller.got);
        if (n <= 0) {
            break;
        }
        controller.got += static_cast<std::size_t>(n);
    }
    if (controller.got < link::kFrameBytes) {
        return;
    }
    controller.answered = true;
    fuzz::Deliver(master, controller.reply.data(), controller.reply.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 5001) {
        return 0;
    }
    // A reply shorter than a block waits out the read's 1.5 s time-out: only the empty reply
    // and one of 64 bytes are tried, once each a run.
    static std::bitset<link::kBlockBytes> waitedFor;
    if (size - 1 < link::kBlockBytes) {
        if (waitedFor[size - 1] || (size - 1) % 64 != 0) {
            return 0;
        }
        waitedFor[size - 1] = true;
    }
    fuzz::ControllerSide();
    fuzz::OnToolWaits(Answer);
    const int offset = 64 * (data[0] & 3);
    controller.reply.assign(data + 1, data + size);
    controller.got = 0;
    controller.answered = false;
    const int words = link::ReadData64(offset, data[0] >> 7, link::kOrderDataBlock);
    Check(controller.answered, "the request was sent");
    Check(words == 0 || words == link::kBlockBytes / 2, "a whole block or none");
    const std::uint16_t* half =
        offset < 128 ? link::yArrayA + offset : link::yArrayB + offset - 128;
    for (int i = 0; words != 0 && i < link::kBlockBytes / 2; ++i) {
        Check(half[i] == link::WordAt({data + 1, link::kBlockBytes}, static_cast<std::size_t>(i)),
              "a block taken holds the reply's first 64 words");
    }
    fuzz::DrainRequests(fuzz::ControllerSide());
    return 0;
}
