// Fixtures shared by the tests of the tool: both panels loaded offscreen with the start state,
// and the virtual controller on a real pty, mapped to port 1.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sim/pty_host.h"

namespace ovx::testing {

// Both panels loaded, callbacks registered, InitVars run. No port is opened. The file popup is
// answered "cancel" unless a test sets its own responder; TearDown closes every port.
class PanelFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    std::string StatusText() const; // PANEL_STATUS
};

// PanelFixture plus the virtual controller (line emulation off, no reply latency) on port 1.
// StartTool() runs InitRS232(1) as at start-up; tests that need faults set them first.
class ToolFixture : public PanelFixture {
  protected:
    void SetUp() override;
    void TearDown() override;
    virtual sim::HostOptions Options() const; // override to change the host's options
    void StartTool();
    sim::PtyHost& Sim() { return *host_; }

  private:
    std::unique_ptr<sim::PtyHost> host_;
};

} // namespace ovx::testing

#include "support/tool_fixture_impl.h"
