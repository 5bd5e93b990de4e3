// Each output keeps its thresholds from frame to frame; the hysteresis is the move of a
// threshold after every decision.
#include "live/outputs.h"

#include "params/variables.h"

namespace ovx::live {

std::int16_t refTHD = 0;
std::int16_t upTHD = 0;
std::int16_t lowTHD = 0;

namespace {

constexpr std::int16_t kUpperLimit = 4095;

// Sums stored into a threshold wrap modulo 2^16 into a signed 16-bit number.
std::int16_t Wrap(int v) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
}

// The lower threshold of the tolerance window never goes below 0.
std::int16_t WrapNotBelowZero(int v) {
    const std::int16_t t = Wrap(v);
    return t < 0 ? std::int16_t{0} : t;
}

// A threshold that is negative as a 16-bit number lies above every value (0..65535).
bool BelowThreshold(int value, std::int16_t threshold) {
    return threshold < 0 || value < threshold;
}
bool AboveThreshold(int value, std::int16_t threshold) {
    return threshold >= 0 && value > threshold;
}

int Shown(int state) {
    return params::polarity == 1 ? state : 1 - state;
}

} // namespace

void InitThresholds() {
    using params::reference;
    using params::tolerance;
    refTHD = Wrap(reference);
    upTHD = Wrap(reference + tolerance);
    if (upTHD > kUpperLimit) {
        upTHD = kUpperLimit;
    }
    lowTHD = WrapNotBelowZero(reference - tolerance);
}

int JudgeREF(int value) {
    using params::hysteresis;
    using params::reference;
    int state = 0;
    if (BelowThreshold(value, refTHD)) {
        refTHD = Wrap(reference + hysteresis);
    } else {
        state = 1;
        refTHD = Wrap(reference);
    }
    return Shown(state);
}

int JudgeTOL(int value) {
    using params::hysteresis;
    using params::reference;
    using params::tolerance;
    int state = 0;
    if (AboveThreshold(value, upTHD)) {
        upTHD = Wrap(reference + tolerance - hysteresis);
    } else {
        upTHD = Wrap(reference + tolerance);
        if (value < lowTHD) {
            lowTHD = WrapNotBelowZero(reference - tolerance + hysteresis);
        } else {
            state = 1;
            lowTHD = WrapNotBelowZero(reference - tolerance);
        }
    }
    return Shown(state);
}

} // namespace ovx::live
