#include "support/tool_fixture.h"

#include "app/OVEXTAR1V12.h"
#include "app/panel_handles.h"
#include "app/runloop.h"
#include "link/com232.h"
#include "link/flash.h"
#include "params/panels.h"
#include "params/variables.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/trace.h"
#include "ui/file_dialogs.h"
#include "ui/panel.h"

namespace ovx::testing {

void PanelFixture::SetUp() {
    // No test may block on a real file dialog: the popup is cancelled unless a test answers it.
    ui::SetFileSelectResponder([](const ui::FileSelectRequest&, std::string&) { return 0; });
    app::RegisterAllCallbacks();
    app::panelHandle = ui::LoadPanel(0, params::kPanelFile, params::PANEL);
    ASSERT_GT(app::panelHandle, 0);
    app::panelPopUp = ui::LoadPanel(0, params::kPanelFile, params::POPUP);
    ASSERT_GT(app::panelPopUp, 0);
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
    ui::DiscardPanel(app::panelPopUp);
    ui::DiscardPanel(app::panelHandle);
    app::panelHandle = app::panelPopUp = 0;
}

std::string PanelFixture::StatusText() const {
    char text[512] = {};
    ui::GetCtrlVal(app::panelHandle, params::PANEL_STATUS, text, sizeof text);
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

} // namespace ovx::testing
