#include "support/line_fixture.h"

#include <string>

#include "link/com232.h"
#include "link/flash.h"
#include "params/panels.h"
#include "params/variables.h"
#include "platform/serial.h"

namespace ovx::testing {

sim::HostOptions LineFixture::Options() const {
    sim::HostOptions o;
    o.lineEmulation = false;
    o.replyLatencyMs = 0.0;
    return o;
}

void LineFixture::SetUp() {
    ASSERT_EQ(params::panelHandle, 0) << "a panel is still loaded";
    ASSERT_EQ(params::panelPopUp, 0) << "a panel is still loaded";
    link::SetStatusSink({});
    params::SetValuesChangedHook(nullptr);
    link::SetFlashDisplay({});
    link::flash_stop = false;
    params::SetParameterStartValues();
    link::InitLinkVars();
    params::target = params::RAM;
    host_ = std::make_unique<sim::PtyHost>(Options());
    std::string error;
    ASSERT_TRUE(host_->Start(error)) << error;
    platform::RegisterPort(1, host_->DevicePath());
    status_.Start();
}

void LineFixture::TearDown() {
    status_.Stop();
    for (int port = 1; port <= platform::kMaxPorts; ++port) {
        platform::CloseCom(port);
    }
    params::SetValuesChangedHook(nullptr);
    link::SetFlashDisplay({});
    link::flash_stop = false;
    host_.reset();
}

} // namespace ovx::testing
