// The virtual controller on a real pty as port 1, and no panel at all: the link's operations as
// a program without a window runs them. Nothing is told of fetched parameters or of flash
// progress unless a test installs its own; every status text is recorded.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "sim/pty_host.h"
#include "support/status_recorder.h"

namespace ovx::testing {

class LineFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    virtual sim::HostOptions Options() const; // no line emulation, no reply latency
    sim::PtyHost& Sim() { return *host_; }
    StatusRecorder& Status() { return status_; }

  private:
    std::unique_ptr<sim::PtyHost> host_;
    StatusRecorder status_;
};

} // namespace ovx::testing
