// The virtual controller on a real pty as port 1, and no panel at all: the link's operations as
// a program without a window runs them. Nothing is told of fetched parameters or of flash
// progress unless a test installs its own; every status text is recorded.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sim/pty_host.h"
#include "support/status_recorder.h"
#include "support/wait_until.h"

namespace ovx::testing {

// The link's start state with no port mapped: for tests that put their own peer on port 1.
// TearDown closes every port.
class LinkStateFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    StatusRecorder& Status() { return status_; }
    std::string StatusText() const; // what the status line holds: the text shown last

  private:
    StatusRecorder status_;
};

// LinkStateFixture with the virtual controller on port 1.
class LineFixture : public LinkStateFixture {
  protected:
    void SetUp() override;
    void TearDown() override;
    virtual sim::HostOptions Options() const; // no line emulation, no reply latency
    sim::PtyHost& Sim() { return *host_; }

  private:
    std::unique_ptr<sim::PtyHost> host_;
};

// LineFixture with port 1 opened and the receive notification installed as at start-up.
class OpenLineFixture : public LineFixture {
  protected:
    void SetUp() override;
};

} // namespace ovx::testing
