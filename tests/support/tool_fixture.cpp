#include "support/tool_fixture.h"

#include "app/OVEXTAR1V12.h"
#include "link/com232.h"
#include "link/flash.h"
#include "live/runloop.h"
#include "params/panels.h"
#include "params/variables.h"
#include "platform/file_dialogs.h"
#include "platform/files.h"
#include "platform/panel.h"
#include "platform/serial.h"
#include "platform/trace.h"

namespace ovx::testing {

void PanelFixture::SetUp() {
    // No test may block on a real file dialog: the popup is cancelled unless a test answers it.
    platform::SetFileSelectResponder(
        [](const platform::FileSelectRequest&, std::string&) { return 0; });
    app::RegisterAllCallbacks();
    params::panelHandle = platform::LoadPanel(0, params::kPanelFile, params::PANEL);
    ASSERT_GT(params::panelHandle, 0);
    params::panelPopUp = platform::LoadPanel(0, params::kPanelFile, params::POPUP);
    ASSERT_GT(params::panelPopUp, 0);
    app::ShowStatusOnPanel();
    app::InitVars();
}

void PanelFixture::TearDown() {
    // A test may have moved to another port: close them all (closing a closed port is harmless).
    for (int port = 1; port <= platform::kMaxPorts; ++port) {
        platform::CloseCom(port);
    }
    platform::EnableTrace(false);
    link::SetStatusSink({});
    // What the panels were told of the link goes with them.
    params::SetValuesChangedHook(nullptr);
    link::SetFlashDisplay({});
    platform::DiscardPanel(params::panelPopUp);
    platform::DiscardPanel(params::panelHandle);
    params::panelHandle = params::panelPopUp = 0;
}

std::string PanelFixture::StatusText() const {
    char text[512] = {};
    platform::GetCtrlVal(params::panelHandle, params::PANEL_STATUS, text, sizeof text);
    return text;
}

sim::HostOptions ToolFixture::Options() const {
    sim::HostOptions o;
    o.lineEmulation = false;
    o.replyLatencyMs = 0.0;
    return o;
}

void ToolFixture::SetUp() {
    PanelFixture::SetUp();
    if (HasFatalFailure()) {
        return;
    }
    host_ = std::make_unique<sim::PtyHost>(Options());
    std::string error;
    ASSERT_TRUE(host_->Start(error)) << error;
    platform::RegisterPort(1, host_->DevicePath());
}

void ToolFixture::TearDown() {
    PanelFixture::TearDown();
    host_.reset();
}

void ToolFixture::StartTool() {
    link::InitRS232(link::com);
}

void OpenLineFixture::SetUp() {
    ASSERT_LE(params::panelHandle, 0) << "a panel is loaded";
    link::SetStatusSink({});
    sim::HostOptions o;
    o.lineEmulation = false;
    o.replyLatencyMs = 0.0;
    host_ = std::make_unique<sim::PtyHost>(o);
    std::string error;
    ASSERT_TRUE(host_->Start(error)) << error;
    platform::RegisterPort(1, host_->DevicePath());
    link::com = 1;
    ASSERT_EQ(link::OpenRS232(link::com), 1);
    link::rx_flag = 1; // nothing of an earlier request is on its way
}

void OpenLineFixture::TearDown() {
    platform::CloseCom(1);
    platform::EnableTrace(false);
    host_.reset();
}

} // namespace ovx::testing
