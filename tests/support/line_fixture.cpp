#include "support/line_fixture.h"

#include <string>

#include "link/com232.h"
#include "link/flash.h"
#include "link/status.h"
#include "params/variables.h"
#include "platform/serial.h"

namespace ovx::testing {

void LinkStateFixture::SetUp() {
    link::SetStatusSink({});
    params::SetValuesChangedHook(nullptr);
    link::SetFlashDisplay({});
    link::flash_stop = false;
    params::SetParameterStartValues();
    link::InitLinkVars();
    params::target = params::RAM;
    link::ShowStatus(""); // nothing of an earlier test on the status line
    status_.Start();
}

void LinkStateFixture::TearDown() {
    status_.Stop();
    for (int port = 1; port <= platform::kMaxPorts; ++port) {
        platform::CloseCom(port);
    }
    params::SetValuesChangedHook(nullptr);
    link::SetFlashDisplay({});
    link::flash_stop = false;
}

std::string LinkStateFixture::StatusText() const {
    return link::ShownStatus();
}

sim::HostOptions LineFixture::Options() const {
    sim::HostOptions o;
    o.lineEmulation = false;
    o.replyLatencyMs = 0.0;
    return o;
}

void LineFixture::SetUp() {
    LinkStateFixture::SetUp();
    host_ = std::make_unique<sim::PtyHost>(Options());
    std::string error;
    ASSERT_TRUE(host_->Start(error)) << error;
    platform::RegisterPort(1, host_->DevicePath());
}

void LineFixture::TearDown() {
    LinkStateFixture::TearDown();
    host_.reset();
}

void OpenLineFixture::SetUp() {
    LineFixture::SetUp();
    if (HasFatalFailure()) {
        return;
    }
    ASSERT_EQ(link::OpenRS232(link::com), 1);
    link::rx_flag = 1; // nothing of an earlier request is on its way
}

} // namespace ovx::testing
