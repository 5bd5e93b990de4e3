#include "live/sample.h"

#include "link/com232.h"

namespace ovx::live {

int valNORM = 0;
std::uint16_t adcCHA = 0, adcCHB = 0, Amax = 0, Bmax = 0, UPval = 0, LOval = 0, tolval = 0,
              btnval = 0;

void DecodeLiveFrame() {
    using link::pp;
    valNORM = pp[link::kValNorm];
    adcCHA = pp[link::kAdcChA];
    adcCHB = pp[link::kAdcChB];
    Amax = pp[link::kAmax];
    Bmax = pp[link::kBmax];
    UPval = pp[link::kUpVal];
    LOval = pp[link::kLoVal];
    tolval = pp[link::kTolVal];
    btnval = pp[link::kBtnVal];
}

LiveSample SampleOfLastFrame(double time) {
    LiveSample s;
    s.time = time;
    s.norm = valNORM;
    s.a = adcCHA;
    s.b = adcCHB;
    s.amax = Amax;
    s.upper = UPval;
    s.lower = LOval;
    return s;
}

} // namespace ovx::live
