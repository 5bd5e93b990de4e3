// A live frame as a sample: the words of the reply in pp, decoded into the live-sample values
// that the charts, the indicators, the switching outputs and the recordings take.
#pragma once

#include <cstdint>

namespace ovx::live {

// Live-sample values of the last frame decoded.
extern int valNORM;
extern std::uint16_t adcCHA, adcCHB, Amax, Bmax, UPval, LOval, tolval, btnval;

struct LiveSample {
    double time = 0.0; // seconds since the run started
    int norm = 0;
    std::uint16_t a = 0, b = 0, amax = 0, upper = 0, lower = 0;
    int toleranceOutput = 0, referenceOutput = 0; // as the LEDs show them
};

// The live-sample values of the reply in pp, nothing shown and nothing judged.
void DecodeLiveFrame();
// The values of the last frame decoded as a sample at time; the switching outputs are left 0.
LiveSample SampleOfLastFrame(double time);

} // namespace ovx::live
