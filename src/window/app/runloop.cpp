// The live run loop. The run button's callback keeps one order-8 request outstanding, answers
// each reply with the next request and plots it, processing events once per pass, until the stop
// button sets stop_flag or the line stays silent for more than 2.0 s.
#include "app/runloop.h"

#include <algorithm>

#include "app/panel_handles.h"
#include "app/recorder.h"
#include "app/strip.h"
#include "link/com232.h"
#include "live/sample.h"
#include "params/panels.h"
#include "params/variables.h"
#include "platform/events.h"
#include "platform/timing.h"
#include "ui/panel.h"

namespace ovx::app {

namespace {

using app::panelHandle;

constexpr double kLineTimeout = 2.0;
// While the notification has discarded a reply, how often the loop looks whether the line has
// gone quiet (ReplyLost): nothing else wakes it for that.
constexpr double kLostLook = 0.005;
constexpr const char* kLineTimeoutText = "Timeout RS232-Line!";

void SetVisible(int control, int on) {
    ui::SetCtrlAttribute(panelHandle, control, ui::kAttrVisible, on);
}

void SetDimmed(int control, int on) {
    ui::SetCtrlAttribute(panelHandle, control, ui::kAttrDimmed, on);
}

// Shows the strip chart of the selected graph source; any non-zero value selects NORM.
void SelectStripChart() {
    int source = 0;
    ui::GetCtrlVal(panelHandle, params::PANEL_RNGGRAPHSOURCE, &source);
    const int norm = source == 0 ? 0 : 1;
    SetVisible(params::PANEL_STRIPRAW, 1 - norm);
    SetVisible(params::PANEL_STRIPNORM, norm);
    params::type = norm;
}

void StartRun() {
    SetVisible(params::PANEL_GRAPHDATA, 0);
    SetDimmed(params::PANEL_BTNRUN, 1);
    SetDimmed(params::PANEL_BTNDATA, 1);
    SelectStripChart();

    live::StartLiveExchange();
    FillarrayNORM(params::tolerance, params::reference, 0);
}

// A reply taken is decoded at once: the next request packs the parameters into pp.
bool TakePendingFrame() {
    if (link::graphrefresh != 1) {
        return false;
    }
    live::DecodeLiveFrame();
    return true;
}

// The frame taken is plotted while the next request is on the line, so that drawing it does not
// delay that request.
void PlotTakenFrame() {
    if (params::type == 0) {
        PlotDecodedRAWValues();
    } else {
        PlotDecodedNORMValues(arrayNORM);
    }
    RecordLiveFrame();
    link::graphrefresh = 0;
}

// A reply the notification had to discard costs that one frame: once nothing more of it comes,
// the next request goes out, but the line's clock runs on from the last reply taken.
void AnswerWithNextRequest() {
    if (link::rx_flag != 1 && !link::ReplyLost()) {
        return;
    }
    live::SendNextLiveRequest();
}

// One pass of the loop; false when the line time-out ended the run (events are then not
// processed any more).
bool RunPass() {
    const bool taken = TakePendingFrame();
    AnswerWithNextRequest();
    if (taken) {
        PlotTakenFrame();
    }
    link::tdiff = platform::Timer() - link::tstart;
    if (link::tdiff > kLineTimeout) {
        link::ShowStatus(kLineTimeoutText);
        live::stop_flag = 1;
        return false;
    }
    const double timeout = link::tstart + kLineTimeout;
    platform::WaitForEvents(
        link::rx_discarded != 0 ? std::min(timeout, platform::Timer() + kLostLook) : timeout);
    return true;
}

void EndRun() {
    live::EndLiveExchange();
    SetDimmed(params::PANEL_BTNRUN, 0);
}

} // namespace

int CC_BTNRun(int /*panel*/, int /*control*/, int event, void* /*cbData*/, int /*d1*/, int /*d2*/) {
    if (event != ui::kEventCommit) {
        return 0;
    }
    StartRun();
    while (RunPass() && live::stop_flag == 0) {
    }
    EndRun();
    return 0;
}

int CC_BTNStop(int /*panel*/, int /*control*/, int event, void* /*cbData*/, int /*d1*/,
               int /*d2*/) {
    if (event != ui::kEventCommit) {
        return 0;
    }
    live::EndLiveExchange();
    SetDimmed(params::PANEL_BTNRUN, 0);
    SetDimmed(params::PANEL_BTNDATA, 0);
    FillarrayRAW(0, 0);
    FillarrayNORM(params::tol10Bit, params::ref10Bit, 0);
    return 0;
}

} // namespace ovx::app
