#include "live/exchange.h"

#include "link/com232.h"
#include "link/status.h"
#include "live/outputs.h"
#include "params/variables.h"
#include "platform/timing.h"

namespace ovx::live {

int stop_flag = 1;

namespace {

constexpr const char* kLineOkText = "Line Ok!";

// One live request with the parameter variables, after a quiet line and flushed queues; true
// when it went out whole.
bool SendLiveRequest() {
    link::AwaitQuietLine();
    link::FlushQueues();
    link::CopyVarsToPP();
    link::rx_flag = 0;
    return link::SendRequest(link::kOrderLiveSample, link::pp);
}

} // namespace

void SetStartState() {
    params::SetParameterStartValues();
    InitThresholds();
    link::InitLinkVars();
    params::target = params::RAM;
    params::type = 1;
    stop_flag = 1;
    link::SetStatus("InitVars");
}

void StartLiveExchange() {
    if (SendLiveRequest()) {
        link::ShowStatus(kLineOkText);
    }
    link::tstart = platform::Timer();
    stop_flag = 0;
    link::graphrefresh = 0;
}

// Only a reply taken restarts the line's clock: replies the notification discarded (another
// order, cut short, garbage) are no answer, and a line that brings nothing else times out.
void SendNextLiveRequest() {
    const bool answered = link::rx_flag == 1;
    SendLiveRequest();
    if (answered) {
        link::tstart = platform::Timer();
    }
}

void EndLiveExchange() {
    link::rx_flag = 0;
    link::FlushQueues();
    stop_flag = 1;
    link::graphrefresh = 0;
}

} // namespace ovx::live
