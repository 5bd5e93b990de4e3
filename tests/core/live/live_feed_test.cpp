// The live feed of the core, with no panel loaded, against a controller on a pty that answers
// every live request with the words of the row: each reply becomes a sample word by word, and
// both switching outputs are judged on it as the LEDs would show them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "link/com232.h"
#include "live/live_feed.h"
#include "live/outputs.h"
#include "params/variables.h"
#include "platform/serial.h"
#include "support/row_name.h"
#include "support/scripted_peer.h"

namespace ovx::live {
namespace {

using testing::ScriptedPeer;

// Words 0..8 of the live reply: NORM, A, B, Amax, Bmax, upper, lower, tolerance, button.
using LiveWords = std::array<std::uint16_t, 9>;

struct Judged {
    int reference, tolerance, hysteresis, polarity;
    std::int16_t refThd, upThd, lowThd; // the thresholds left by the frame before
};

struct SampleRow {
    std::string name;
    LiveWords words;
    Judged judged;
    int referenceOutput, toleranceOutput;
};

void PrintTo(const SampleRow& row, std::ostream* os) {
    *os << row.name;
}

class LiveFeedSample : public ::testing::TestWithParam<SampleRow> {
  protected:
    void SetUp() override {
        link::SetStatusSink({});
        const LiveWords w = GetParam().words;
        peer_ = std::make_unique<ScriptedPeer>([w](const link::FrameBytes&) {
            return ScriptedPeer::Frame(link::kOrderLiveSample,
                                       {w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], w[8]});
        });
        std::string error;
        ASSERT_TRUE(peer_->Start(error)) << error;
        platform::RegisterPort(1, peer_->DevicePath());
        link::com = 1;
        ASSERT_EQ(link::OpenRS232(link::com), 1);
        link::rx_flag = 1;
    }
    void TearDown() override {
        platform::CloseCom(1);
        peer_.reset();
    }

    std::unique_ptr<ScriptedPeer> peer_;
};

TEST_P(LiveFeedSample, HoldsTheReplyWordsAndBothOutputsAsShown) {
    const SampleRow& row = GetParam();
    params::reference = static_cast<std::uint16_t>(row.judged.reference);
    params::tolerance = static_cast<std::uint16_t>(row.judged.tolerance);
    params::hysteresis = static_cast<std::uint16_t>(row.judged.hysteresis);
    params::polarity = static_cast<std::uint16_t>(row.judged.polarity);
    refTHD = row.judged.refThd;
    upTHD = row.judged.upThd;
    lowTHD = row.judged.lowThd;

    std::vector<LiveSample> samples;
    const LiveEnd end = RunLiveFeed([&](const LiveSample& s) {
        samples.push_back(s);
        return false;
    });

    EXPECT_EQ(end, LiveEnd::kStopped);
    ASSERT_EQ(samples.size(), 1u);
    const LiveSample& s = samples[0];
    EXPECT_EQ(s.norm, row.words[0]);
    EXPECT_EQ(s.a, row.words[1]);
    EXPECT_EQ(s.b, row.words[2]);
    EXPECT_EQ(s.amax, row.words[3]);
    EXPECT_EQ(s.upper, row.words[5]);
    EXPECT_EQ(s.lower, row.words[6]);
    EXPECT_EQ(s.referenceOutput, row.referenceOutput);
    EXPECT_EQ(s.toleranceOutput, row.toleranceOutput);
    EXPECT_GE(s.time, 0.0);
    EXPECT_EQ(peer_->Orders(), std::vector<int>{link::kOrderLiveSample});
}

// Start thresholds of 2048, 512 and 20: reference 2048, window 1536..2560.
constexpr Judged kStart{2048, 512, 20, 1, 2048, 2560, 1536};
constexpr Judged kInverted{2048, 512, 20, 0, 2048, 2560, 1536};

INSTANTIATE_TEST_SUITE_P(
    Rows, LiveFeedSample,
    ::testing::Values(SampleRow{"InsideTheWindowAboveTheReference",
                                {2050, 1000, 900, 3000, 2900, 2560, 1536, 512, 7},
                                kStart,
                                1,
                                1},
                      SampleRow{"BelowTheReferenceInsideTheWindow",
                                {2030, 11, 12, 13, 14, 15, 16, 17, 18},
                                kStart,
                                0,
                                1},
                      SampleRow{"BelowTheWindow", {1000, 1, 2, 3, 4, 5, 6, 7, 8}, kStart, 0, 0},
                      SampleRow{"OnBothThresholdsCountsAsOnAndInside",
                                {2560, 1, 2, 3, 4, 5, 6, 7, 8},
                                {2048, 512, 20, 1, 2560, 2560, 1536},
                                1,
                                1},
                      SampleRow{"PolarityZeroInvertsBothOutputs",
                                {2030, 11, 12, 13, 14, 15, 16, 17, 18},
                                kInverted,
                                1,
                                0},
                      SampleRow{"WordsAboveInt16AreUnsigned",
                                {65535, 65534, 40000, 32768, 1, 65000, 33000, 2, 3},
                                kStart,
                                1,
                                0}),
    testing::RowName());

} // namespace
} // namespace ovx::live
