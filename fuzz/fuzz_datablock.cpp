// The data-block read: any reply of 0 to 4096 bytes is read without overrunning szReadBuf, and
// a block reported as received holds the reply's first 64 words. A responder thread plays the
// controller: it answers the block request with the input.
#include <poll.h>

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
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

// Answers every whole request read on the master side with the reply set last.
class Responder {
  public:
    explicit Responder(int master) : master_(master), thread_([this] { Serve(); }) {
        thread_.detach(); // lives as long as the fuzzing process
    }
    void SetReply(const std::uint8_t* data, std::size_t size) {
        std::lock_guard lock(mutex_);
        reply_.assign(data, data + size);
    }

  private:
    void Serve() {
        std::size_t got = 0;
        std::uint8_t buffer[link::kFrameBytes];
        for (;;) {
            pollfd p{master_, POLLIN, 0};
            poll(&p, 1, -1);
            const ssize_t n = read(master_, buffer, sizeof buffer - got);
            got += n > 0 ? static_cast<std::size_t>(n) : 0;
            if (got == link::kFrameBytes) {
                got = 0;
                std::lock_guard lock(mutex_);
                fuzz::Deliver(master_, reply_.data(), reply_.size());
            }
        }
    }

    int master_;
    std::mutex mutex_;
    std::vector<std::uint8_t> reply_;
    std::thread thread_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Replies shorter than a block only wait out the 1.5 s time-out: a few of them are enough.
    if (size < 1 || size > 4096 || (size < 1 + link::kBlockBytes && size % 64 != 1)) {
        return 0;
    }
    static Responder responder(fuzz::ControllerSide());
    const int offset = 64 * (data[0] & 3);
    responder.SetReply(data + 1, size - 1);
    const int words = link::ReadData64(offset, data[0] >> 7, link::kOrderDataBlock);
    Check(words == 0 || words == link::kBlockBytes / 2, "a whole block or none");
    const std::uint16_t* half =
        offset < 128 ? link::yArrayA + offset : link::yArrayB + offset - 128;
    for (int i = 0; words != 0 && i < link::kBlockBytes / 2; ++i) {
        Check(half[i] == link::WordAt({data + 1, link::kBlockBytes}, static_cast<std::size_t>(i)),
              "a block taken holds the reply's first 64 words");
    }
    return 0;
}
