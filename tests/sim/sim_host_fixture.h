// A virtual controller on a pty (line emulation off, no latency) and a raw client on it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "pty_client.h"
#include "sim/pty_host.h"

namespace ovx::sim::testing {

inline HostOptions FastOptions() {
    HostOptions o;
    o.lineEmulation = false;
    o.replyLatencyMs = 0.0;
    return o;
}

class SimHost : public ::testing::Test {
  protected:
    void SetUp() override { StartWith(FastOptions()); }

    void StartWith(const HostOptions& options) {
        client.reset();
        host = std::make_unique<PtyHost>(options);
        std::string error;
        ASSERT_TRUE(host->Start(error)) << error;
        client = std::make_unique<PtyClient>(host->DevicePath());
        ASSERT_TRUE(client->IsOpen());
    }

    std::unique_ptr<PtyHost> host;
    std::unique_ptr<PtyClient> client;
};

} // namespace ovx::sim::testing
