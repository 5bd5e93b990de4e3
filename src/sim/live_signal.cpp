#include "sim/live_signal.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ovx::sim {

namespace {

constexpr double kSwingPeriod = 20.0;   // seconds of one slow swing of the sensor signal
constexpr double kDriftPeriodA = 170.0; // slower drift on top of it
constexpr double kDriftPeriodB = 230.0;
constexpr double kNoiseAmplitude = 6.0; // ADC units, peak
constexpr double kNoiseStep = 0.01;     // the noise holds one value per 10 ms

double Wave(double t, double period, double phase) {
    return std::sin(2.0 * std::numbers::pi * t / period + phase);
}

std::uint16_t ClampAdc(double v) {
    return static_cast<std::uint16_t>(std::clamp(std::lround(v), 0L, long{LiveSignal::kAdcMax}));
}

// A well-mixed 32-bit hash (splitmix style) of a step index, a seed and a channel.
std::uint32_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return static_cast<std::uint32_t>((x ^ (x >> 31)) >> 32);
}

std::uint16_t Clamp16(long v) {
    return static_cast<std::uint16_t>(std::clamp(v, 0L, 65535L));
}

} // namespace

double LiveSignal::Noise(double t, int channel) const {
    const auto step = static_cast<std::int64_t>(std::floor(t / kNoiseStep));
    const std::uint64_t key = (static_cast<std::uint64_t>(step) << 8) ^
                              (static_cast<std::uint64_t>(seed_) << 40) ^
                              static_cast<std::uint64_t>(channel);
    const double unit = Mix(key) / 4294967295.0; // 0..1
    return (2.0 * unit - 1.0) * kNoiseAmplitude;
}

std::uint16_t LiveSignal::ChannelA(double t) const {
    return ClampAdc(550.0 + 350.0 * Wave(t, kSwingPeriod, 0.0) +
                    40.0 * Wave(t, kDriftPeriodA, 0.7) + Noise(t, 0));
}

std::uint16_t LiveSignal::ChannelB(double t) const {
    return ClampAdc(480.0 + 260.0 * Wave(t, kSwingPeriod, 1.1) +
                    30.0 * Wave(t, kDriftPeriodB, 0.0) + Noise(t, 1));
}

std::uint16_t LiveSignal::Normalise(std::uint16_t a, std::uint16_t amax) {
    const long max = std::max<long>(amax, 1);
    return static_cast<std::uint16_t>(std::min<long>(kNormMax, std::lround(1000.0 * a / max)));
}

LiveSample LiveSignal::Sample(double t, const link::Payload& ram) {
    const std::uint16_t a = ChannelA(t);
    const std::uint16_t b = ChannelB(t);
    amax_ = std::max<std::uint16_t>({amax_, a, 1});
    bmax_ = std::max<std::uint16_t>({bmax_, b, 1});
    const long reference = ram[1];
    const long tolerance = ram[2];
    LiveSample s{};
    s[kValNorm] = Normalise(a, amax_);
    s[kAdcChA] = a;
    s[kAdcChB] = b;
    s[kAmax] = amax_;
    s[kBmax] = bmax_;
    s[kUpVal] = Clamp16(reference + tolerance);
    s[kLoVal] = Clamp16(reference - tolerance);
    s[kTolVal] = static_cast<std::uint16_t>(tolerance);
    s[kBtnVal] = 0; // no key pressed on the virtual front panel
    return s;
}

} // namespace ovx::sim
