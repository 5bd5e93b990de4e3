// The core's waiting turn without an event hook (a program without a window): the receive
// notification of a pty line and the timers are served inside WaitForEvents, which waits in the
// OS until one of them is due or its end has come, exact to that end and never re-entering a
// handler that runs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <ostream>
#include <thread>

#include "platform/events.h"
#include "platform/pty_device.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "support/event_hook_restore.h"
#include "support/row_name.h"

namespace ovx::platform {
namespace {

using testing::OpenAs;
using testing::PtyDevice;
using testing::WaitInQ;

constexpr int kPort = 212;
constexpr int kFrame = 36;
constexpr double kTurn = 0.3;     // how long the turn under test may wait
constexpr double kEventAt = 0.05; // when a frame or a timer comes during the turn
constexpr double kNestedWait = 0.1;
constexpr double kLate = 0.15; // how late a loaded machine may wake a waiting thread

// Installs no hook and no backend for the test: the core serves watches and timers itself.
// What the test program installed is put back afterwards.
class WithoutEventHook : public ::testing::Test {
  protected:
    void SetUp() override {
        SetEventHook(nullptr);
        SetWatchBackend(nullptr);
    }
    void TearDown() override {
        if (ovx::testing::RestoreEventHook()) {
            ovx::testing::RestoreEventHook()();
        }
    }
};

// What the receive callback saw; with nest, its first call waits another turn (its frame still
// queued) before it reads.
struct Calls {
    int count = 0;
    int depth = 0;
    int maxDepth = 0;
    bool nest = false;
};

void Receive(int port, int, void* data) {
    Calls& c = *static_cast<Calls*>(data);
    ++c.count;
    c.maxDepth = std::max(c.maxDepth, ++c.depth);
    if (c.nest && c.count == 1) {
        WaitForEvents(Timer() + kNestedWait);
    }
    std::array<char, kFrame> frame{};
    ComRd(port, frame.data(), kFrame);
    --c.depth;
}

struct TurnRow {
    const char* name;
    int queued;   // bytes queued before the turn
    int later;    // bytes the device sends kEventAt into the turn
    bool nest;    // the callback waits a turn of its own
    bool timer;   // a timer runs out kEventAt into the turn
    int calls;    // receive notifications
    int maxTurns; // turns the waiting loop takes: each one a wake-up in the OS
    double minSeconds, maxSeconds;
    friend void PrintTo(const TurnRow& row, std::ostream* os) { *os << row.name; }
};

class WaitTurn : public WithoutEventHook, public ::testing::WithParamInterface<TurnRow> {
  protected:
    void SetUp() override {
        WithoutEventHook::SetUp();
        ASSERT_TRUE(device_.Ok());
        ASSERT_EQ(OpenAs(kPort, device_), 0);
        ASSERT_EQ(SetComTime(kPort, 1.0), 0);
        ASSERT_EQ(InstallComCallback(kPort, kEvNotifyCount, kFrame, 0, Receive, &calls_), 0);
    }
    void TearDown() override {
        if (sender_.joinable()) {
            sender_.join();
        }
        CloseCom(kPort);
        RegisterPort(kPort, "");
        WithoutEventHook::TearDown();
    }

    PtyDevice device_;
    Calls calls_;
    std::thread sender_;
};

// As a command's waiting loop: turns until the callback or the timer ran, or the end came.
TEST_P(WaitTurn, ServesWhatComesOrReturnsAtItsEnd) {
    const TurnRow& row = GetParam();
    calls_.nest = row.nest;
    ASSERT_TRUE(device_.Send(row.queued));
    ASSERT_TRUE(WaitInQ(kPort, row.queued));
    // From before the timer starts and the sender sleeps: neither can end the wait earlier.
    const double start = Timer();
    bool timerRan = false;
    const int timer = AddTimer([&timerRan] { timerRan = true; });
    if (row.timer) {
        StartTimer(timer, kEventAt);
    }
    if (row.later > 0) {
        sender_ = std::thread([this, row] {
            std::this_thread::sleep_for(std::chrono::duration<double>(kEventAt));
            device_.Send(row.later);
        });
    }
    int turns = 0;
    while (calls_.count == 0 && !timerRan && Timer() < start + kTurn) {
        WaitForEvents(start + kTurn);
        ++turns;
    }
    const double took = Timer() - start;
    RemoveTimer(timer);
    EXPECT_EQ(calls_.count, row.calls);
    EXPECT_EQ(calls_.maxDepth, std::min(row.calls, 1)) << "the callback was re-entered";
    EXPECT_EQ(timerRan, row.timer);
    EXPECT_LE(turns, row.maxTurns) << "the wait spun";
    EXPECT_GE(took, row.minSeconds);
    EXPECT_LE(took, row.maxSeconds);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WaitTurn,
    ::testing::Values(
        TurnRow{"NothingComesItReturnsAtItsEnd", 0, 0, false, false, 0, 1, kTurn, kTurn + kLate},
        // One turn sees the first byte and arms the notifier for the rest of the frame.
        TurnRow{"PartialFrameIsWaitedOut", kFrame - 1, 0, false, false, 0, 2, kTurn, kTurn + kLate},
        TurnRow{"QueuedFrameIsServedAtOnce", kFrame, 0, false, false, 1, 1, 0.0, kLate},
        TurnRow{"FrameDuringTheWaitEndsIt", 0, kFrame, false, false, 1, 2, kEventAt,
                kEventAt + kLate},
        TurnRow{"CallbackThatWaitsIsNotReentered", 2 * kFrame, 0, true, false, 1, 1, kNestedWait,
                kNestedWait + kLate},
        TurnRow{"TimerEndsTheWaitAtItsTime", 0, 0, false, true, 0, 1, kEventAt, kEventAt + kLate}),
    ovx::testing::RowName{});

// A watch whose handler waits a turn of its own while its descriptor stays readable: the inner
// turn does not run it again, and waits out its end instead of returning at once.
TEST_F(WithoutEventHook, WatchHandlerIsNeverNested) {
    std::array<int, 2> pipeEnds{};
    ASSERT_EQ(pipe2(pipeEnds.data(), O_NONBLOCK | O_CLOEXEC), 0);
    ASSERT_EQ(write(pipeEnds[1], "x", 1), 1);
    int depth = 0;
    int maxDepth = 0;
    int runs = 0;
    double innerTook = 0.0;
    const int watch = AddWatch(pipeEnds[0], [&] {
        ++runs;
        maxDepth = std::max(maxDepth, ++depth);
        if (depth == 1) { // a nested run would otherwise recurse until the stack overflowed
            const double start = Timer();
            WaitForEvents(start + kNestedWait);
            innerTook = Timer() - start;
        }
        --depth;
    });
    EnableWatch(watch, true);
    WaitForEvents(Timer() + kTurn);
    RemoveWatch(watch);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(maxDepth, 1);
    EXPECT_GE(innerTook, kNestedWait);
}

} // namespace
} // namespace ovx::platform
