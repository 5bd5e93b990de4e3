// The receive notification of a port on a real pty, with a recorder as its callback: shared by
// the tests of the notification and of the window's event loop waking for it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/errors.h"
#include "platform/pty_device.h"
#include "platform/serial.h"

namespace ovx::platform::testing {

constexpr int kPort = 211;
constexpr int kFrame = 36;
constexpr int kMask = 32774; // notify count, plus two events that are never reported

// What the callback saw, and what it does when called.
struct Recorder {
    int calls = 0;
    int depth = 0;
    int maxDepth = 0;
    int port = 0;
    int eventWord = 0;
    std::vector<char> bytes;
    int readCount = kFrame;
    bool processEvents = false;
    bool closePort = false;
};

inline void Record(int port, int eventWord, void* data) {
    Recorder& r = *static_cast<Recorder*>(data);
    ++r.calls;
    r.maxDepth = std::max(r.maxDepth, ++r.depth);
    r.port = port;
    r.eventWord = eventWord;
    if (r.processEvents) {
        ProcessFor(0.05);
    }
    if (r.readCount > 0) {
        r.bytes.assign(static_cast<std::size_t>(r.readCount), 0);
        ComRd(port, r.bytes.data(), r.readCount);
    }
    if (r.closePort) {
        CloseCom(port);
    }
    --r.depth;
}

class SerialNotification : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(device_.Ok());
        ASSERT_EQ(OpenAs(kPort, device_), 0);
        ASSERT_EQ(SetComTime(kPort, 2.0), 0);
        ASSERT_EQ(Install(rec_), 0);
    }
    void TearDown() override {
        CloseCom(kPort);
        RegisterPort(kPort, "");
    }
    static int Install(Recorder& r) {
        return InstallComCallback(kPort, kMask, kFrame, 85, Record, &r);
    }
    bool WaitCalls(const Recorder& r, int calls) {
        return ProcessUntil([&] { return r.calls >= calls; });
    }

    PtyDevice device_;
    Recorder rec_;
};

} // namespace ovx::platform::testing
