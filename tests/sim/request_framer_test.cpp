// How the controller cuts the tool's byte stream into requests.
#include <gtest/gtest.h>

#include <vector>

#include "sim/line_timing.h"
#include "sim/request_framer.h"

namespace ovx::sim {
namespace {

using Clock = RequestFramer::Clock;
using std::chrono::milliseconds;

std::vector<std::uint8_t> Frame(int order) {
    const auto f = link::EncodeFrame(link::kSyncWord, order, std::vector<std::uint16_t>{});
    return {f.begin(), f.end()};
}

class Framer : public ::testing::Test {
  protected:
    RequestFramer framer{milliseconds(20)};
    std::vector<RequestFramer::Request> out;
    Clock::time_point t0 = Clock::now();

    void Feed(const std::vector<std::uint8_t>& bytes, int atMs) {
        framer.Feed(bytes, t0 + milliseconds(atMs), out);
    }
};

TEST_F(Framer, WholeRequestInPiecesWithinTheGapIsOneRequest) {
    const auto f = Frame(8);
    Feed({f.begin(), f.begin() + 10}, 0);
    Feed({f.begin() + 10, f.begin() + 30}, 15);
    EXPECT_TRUE(out.empty());
    Feed({f.begin() + 30, f.end()}, 30);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(link::FrameOrder(out[0].bytes), 8);
    EXPECT_EQ(out[0].lastByte, t0 + milliseconds(30));
}

TEST_F(Framer, HalfRequestFollowedByAPauseIsDiscarded) {
    const auto f = Frame(5);
    Feed({f.begin(), f.begin() + 18}, 0);
    ASSERT_TRUE(framer.Deadline().has_value());
    EXPECT_EQ(*framer.Deadline(), t0 + milliseconds(20));
    Feed(Frame(2), 21);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(link::FrameOrder(out[0].bytes), 2);
    EXPECT_EQ(framer.Discarded(), 18u);
    EXPECT_EQ(framer.Pending(), 0u);
}

TEST_F(Framer, ExpireDropsTheStaleHalfWithoutNewBytes) {
    const auto f = Frame(5);
    Feed({f.begin(), f.begin() + 7}, 0);
    framer.Expire(t0 + milliseconds(20));
    EXPECT_EQ(framer.Pending(), 7u) << "exactly the gap is not yet too long";
    framer.Expire(t0 + milliseconds(21));
    EXPECT_EQ(framer.Pending(), 0u);
    EXPECT_FALSE(framer.Deadline().has_value());
}

TEST_F(Framer, BytesBeforeTheSyncWordAreSkipped) {
    std::vector<std::uint8_t> bytes{0x13, 0x55, 0x00, 0x00, 0x77};
    const auto f = Frame(4);
    bytes.insert(bytes.end(), f.begin(), f.end());
    Feed(bytes, 0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(link::FrameOrder(out[0].bytes), 4);
    EXPECT_EQ(framer.Discarded(), 5u);
}

TEST_F(Framer, BackToBackRequestsInOneReadAreAllTaken) {
    std::vector<std::uint8_t> bytes;
    for (int order : {1, 2, 8}) {
        const auto f = Frame(order);
        bytes.insert(bytes.end(), f.begin(), f.end());
    }
    Feed(bytes, 0);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(link::FrameOrder(out[2].bytes), 8);
}

TEST(LineTiming, ByteTimesAddUpWithoutDrift) {
    EXPECT_EQ(LineTime(1).count(), 520833);
    EXPECT_EQ(LineTime(36).count(), 18750000);
    EXPECT_EQ(LineTime(19200).count(), 10'000'000'000LL) << "19200 bytes take exactly 10 s";
    EXPECT_GT(ResyncGap(true), ResyncGap(false));
}

} // namespace
} // namespace ovx::sim
