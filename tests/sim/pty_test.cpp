// The pty's own wait, which paces the line's bytes: it lasts until its time, and Wake() ends it.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "sim/pty.h"

namespace ovx::sim::testing {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class PtyWait : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(pty.Open(error)) << error; }

    Pty pty;
    std::string error;
};

TEST_F(PtyWait, SleepUntilLastsUntilItsTime) {
    const auto t = Clock::now() + milliseconds(30);
    EXPECT_TRUE(pty.SleepUntil(t));
    EXPECT_GE(Clock::now(), t);
}

TEST_F(PtyWait, WakeEndsTheNextSleepAtOnce) {
    pty.Wake(); // before the sleep: the host's Stop may come just before its thread sleeps
    const auto t = Clock::now() + milliseconds(5000);
    EXPECT_FALSE(pty.SleepUntil(t));
    EXPECT_LT(Clock::now(), t);
    EXPECT_TRUE(pty.SleepUntil(Clock::now() + milliseconds(1))) << "a wake ends one sleep only";
}

} // namespace
} // namespace ovx::sim::testing
