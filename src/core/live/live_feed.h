// The live run without panels, for programs that show none: the same exchange on the line as
// the run button's loop (one order-8 request outstanding, each reply answered by the next
// request, "Line Ok!" at the start, "Timeout RS232-Line!" after 2.0 s without a reply, the
// queues flushed at the end as the stop button does), but every frame goes to a sink as a
// sample instead of onto the charts, and each reply is awaited in the OS, exactly to its
// time-out, instead of in a loop that processes events.
#pragma once

#include <functional>

#include "live/sample.h"

namespace ovx::live {

// Takes a sample; false ends the run after it.
using LiveSampleSink = std::function<bool(const LiveSample&)>;

enum class LiveEnd {
    kStopped,     // the sink ended it, or its time limit passed
    kInterrupted, // InterruptComWaits ended it (the outstanding reply still counted)
    kLineTimeout, // no reply taken for 2.0 s (replies discarded do not count)
};

// After an interrupt, the reply of the outstanding request is still taken when it comes within
// this time; then the run ends.
constexpr double kStopGrace = 0.1;

// limitSeconds > 0: the run ends (kStopped) that long after its start, also when no frame came.
LiveEnd RunLiveFeed(const LiveSampleSink& sink, double limitSeconds = 0.0);

} // namespace ovx::live
