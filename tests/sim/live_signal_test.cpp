// What an operator sees over a minute of live view must look like a working sensor.
#include <gtest/gtest.h>

#include <cstdlib>

#include "sim/device_model.h"
#include "sim/live_signal.h"

namespace ovx::sim {
namespace {

struct Minute {
    int crossingsOfReference = 0;
    int exitsAbove = 0; // leaving the window reference ± tolerance upwards
    int exitsBelow = 0;
    int minNorm = 1000, maxNorm = 0;
};

// A minute of live samples at the rate of the emulated line (~25 per second).
Minute WatchAMinute(std::uint32_t seed) {
    LiveSignal s(seed);
    const link::Payload ram = DeviceModel::kStartValues;
    const int ref = ram[1], lo = ram[1] - ram[2], up = ram[1] + ram[2];
    Minute m;
    int prev = -1;
    for (double t = 0; t < 60; t += 0.04) {
        const int v = s.Sample(t, ram)[kValNorm];
        if (prev >= 0) {
            m.crossingsOfReference += (prev < ref) != (v < ref);
            m.exitsAbove += prev <= up && v > up;
            m.exitsBelow += prev >= lo && v < lo;
        }
        m.minNorm = std::min(m.minNorm, v);
        m.maxNorm = std::max(m.maxNorm, v);
        prev = v;
    }
    return m;
}

TEST(LiveSignal, AMinuteShowsTheValueCrossingTheReferenceAndLeavingTheWindow) {
    for (std::uint32_t seed : {1u, 2u, 77u}) {
        const Minute m = WatchAMinute(seed);
        EXPECT_GE(m.crossingsOfReference, 4) << "seed " << seed;
        EXPECT_GE(m.exitsAbove, 2) << "seed " << seed;
        EXPECT_GE(m.exitsBelow, 2) << "seed " << seed;
        EXPECT_LE(m.maxNorm, 1000);
        EXPECT_GT(m.minNorm, 0);
    }
}

TEST(LiveSignal, ChannelsStayInRangeAndMoveSmoothlyWithLittleNoise) {
    const LiveSignal s(5);
    int biggestStep = 0;
    int lowest = 1000, highest = 0;
    for (double t = 0; t < 120; t += 0.01) {
        const int a = s.ChannelA(t), b = s.ChannelB(t);
        lowest = std::min({lowest, a, b});
        highest = std::max({highest, a, b});
        biggestStep = std::max(biggestStep, std::abs(a - s.ChannelA(t + 0.01)));
    }
    EXPECT_GE(lowest, 0);
    EXPECT_LE(highest, 1000);
    EXPECT_GT(highest - lowest, 500) << "the signal swings visibly";
    EXPECT_LT(biggestStep, 30) << "10 ms apart the channel moves only a little";
}

TEST(LiveSignal, NoiseMakesNeighbouringSamplesDiffer) {
    const LiveSignal s(3);
    int differing = 0;
    for (int i = 0; i < 100; ++i) {
        // The same phase of the swing, whole periods apart: only drift and noise differ.
        differing += s.ChannelA(1.0 + 20.0 * i) != s.ChannelA(1.0 + 20.0 * (i + 1));
    }
    EXPECT_GT(differing, 50);
}

TEST(LiveSignal, AmaxIsTheRunningMaximumAndNeverZero) {
    LiveSignal s(1);
    const link::Payload ram = DeviceModel::kStartValues;
    int seenMax = 0;
    for (double t = 0; t < 25; t += 0.1) {
        const auto sample = s.Sample(t, ram);
        seenMax = std::max<int>(seenMax, sample[kAdcChA]);
        EXPECT_EQ(sample[kAmax], std::max(seenMax, 1));
    }
}

TEST(LiveSignal, NormaliseIsThousandTimesTheRatioCappedAt1000) {
    EXPECT_EQ(LiveSignal::Normalise(450, 900), 500);
    EXPECT_EQ(LiveSignal::Normalise(900, 900), 1000);
    EXPECT_EQ(LiveSignal::Normalise(1, 3), 333);
    EXPECT_EQ(LiveSignal::Normalise(2, 3), 667);
    EXPECT_EQ(LiveSignal::Normalise(500, 0), 1000) << "a zero maximum does not divide by zero";
    EXPECT_EQ(LiveSignal::Normalise(0, 0), 0);
}

} // namespace
} // namespace ovx::sim
