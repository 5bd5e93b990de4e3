// The measured signal of the virtual controller: two converter channels that swing slowly with
// a little noise, their running maxima and the normalised value 1000·A/Amax. The signal is a
// function of the model clock and the seed, so the same times give the same samples.
#pragma once

#include <array>
#include <cstdint>

#include "link/frame.h"

namespace ovx::sim {

// Words 0 to 8 of an order-8 reply, as the frame layout names them.
using link::kAdcChA, link::kAdcChB, link::kAmax, link::kBmax, link::kBtnVal, link::kLiveWords,
    link::kLoVal, link::kTolVal, link::kUpVal, link::kValNorm;

using LiveSample = std::array<std::uint16_t, kLiveWords>;

class LiveSignal {
  public:
    static constexpr int kAdcMax = 1000; // converter range 0..1000 ADC units
    static constexpr int kNormMax = 1000;

    explicit LiveSignal(std::uint32_t seed = 1) : seed_(seed) {}

    // Channel values at time t (seconds), noise included, clamped to the converter range.
    std::uint16_t ChannelA(double t) const;
    std::uint16_t ChannelB(double t) const;

    // Takes one sample at t: updates the maxima and derives the normalised value and the
    // window words from the parameters in ram (reference word 1, tolerance word 2).
    LiveSample Sample(double t, const link::Payload& ram);

    // 1000·a/amax, at most 1000; amax 0 counts as 1.
    static std::uint16_t Normalise(std::uint16_t a, std::uint16_t amax);

    std::uint16_t Amax() const { return amax_; }
    std::uint16_t Bmax() const { return bmax_; }

  private:
    double Noise(double t, int channel) const;

    std::uint32_t seed_;
    std::uint16_t amax_ = 0; // 0 until the first sample
    std::uint16_t bmax_ = 0;
};

} // namespace ovx::sim
