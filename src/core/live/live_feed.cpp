#include "live/live_feed.h"

#include <algorithm>

#include "link/com232.h"
#include "live/exchange.h"
#include "live/outputs.h"
#include "live/sample.h"
#include "platform/serial.h"
#include "platform/timing.h"

namespace ovx::live {

namespace {

constexpr double kLineTimeout = 2.0;
constexpr double kLostLook = 0.005; // how often a discarded reply is looked after
constexpr const char* kLineTimeoutText = "Timeout RS232-Line!";

// The reply's words become the sample; the outputs are judged as the plot judges them.
LiveSample TakeSample(double runStart) {
    link::graphrefresh = 0;
    DecodeLiveFrame();
    LiveSample s = SampleOfLastFrame(platform::Timer() - runStart);
    s.referenceOutput = JudgeREF(valNORM);
    s.toleranceOutput = JudgeTOL(valNORM);
    return s;
}

enum class Wait { kFrame, kLost, kOver };

// Waits for the outstanding reply until deadline (Timer seconds): a frame taken, the reply lost
// (discarded, and the line quiet since), or the deadline or an interrupt came first.
Wait AwaitReply(double deadline) {
    for (;;) {
        if (link::ReplyLost()) {
            return Wait::kLost;
        }
        const double left = deadline - platform::Timer();
        if (left <= 0.0 || platform::ComWaitsInterrupted()) {
            return Wait::kOver;
        }
        const double wait = link::rx_discarded != 0 ? std::min(left, kLostLook) : left;
        if (platform::WaitInQLen(link::com, link::kFrameBytes, wait) >= link::kFrameBytes) {
            link::RX_Receive_Function(link::com, platform::kEvNotifyCount, nullptr);
            if (link::rx_flag == 1) {
                return Wait::kFrame;
            }
        }
    }
}

// After an interrupt the waits return at once: the reply of the outstanding request is looked
// for by polling the queue (each look waits in the OS) until deadline.
bool TakeLateReply(double deadline) {
    while (platform::Timer() < deadline && !link::ReplyLost()) {
        if (platform::GetInQLen(link::com) >= link::kFrameBytes) {
            link::RX_Receive_Function(link::com, platform::kEvNotifyCount, nullptr);
            if (link::rx_flag == 1) {
                return true;
            }
        }
    }
    return false;
}

// The run after its start: one pass per reply (or lost reply) until it ends. The line's clock
// (tstart) restarts only with a reply taken; until (Timer seconds, 0: never) ends the run.
LiveEnd Feed(const LiveSampleSink& sink, double runStart, double until) {
    for (;;) {
        const double lineDeadline = link::tstart + kLineTimeout;
        const bool limited = until > 0.0 && until < lineDeadline;
        const Wait w = AwaitReply(limited ? until : lineDeadline);
        if (w == Wait::kFrame && !sink(TakeSample(runStart))) {
            return LiveEnd::kStopped;
        }
        if (w == Wait::kOver && platform::ComWaitsInterrupted()) {
            const double deadline =
                std::min(platform::Timer() + kStopGrace, link::tstart + kLineTimeout);
            if (TakeLateReply(deadline)) {
                sink(TakeSample(runStart));
            }
            return LiveEnd::kInterrupted;
        }
        if (w == Wait::kOver && limited) {
            return LiveEnd::kStopped;
        }
        if (w == Wait::kOver) {
            link::ShowStatus(kLineTimeoutText);
            return LiveEnd::kLineTimeout;
        }
        if (platform::ComWaitsInterrupted()) {
            return LiveEnd::kInterrupted; // nothing is outstanding: no request goes out
        }
        SendNextLiveRequest();
    }
}

} // namespace

LiveEnd RunLiveFeed(const LiveSampleSink& sink, double limitSeconds) {
    const double runStart = platform::Timer();
    StartLiveExchange();
    const LiveEnd end = Feed(sink, runStart, limitSeconds > 0.0 ? runStart + limitSeconds : 0.0);
    EndLiveExchange();
    return end;
}

} // namespace ovx::live
