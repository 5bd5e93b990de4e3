#include "params/variables.h"

namespace ovx::params {

std::uint16_t power, reference, tolerance, hysteresis, polarity, hold, hwmode, average, evalmode,
    maxmode, triglvl, trigmode, sdelay, dbuflen, anamode, para15;

std::uint16_t ref10Bit, tol10Bit;

int target = RAM;
int type = 1;

namespace {

ValuesChangedHook valuesChanged = nullptr;

} // namespace

void SetValuesChangedHook(ValuesChangedHook hook) {
    valuesChanged = hook;
}

void ValuesChanged() {
    if (valuesChanged != nullptr) {
        valuesChanged();
    }
}

void SetParameterStartValues() {
    power = 500;
    reference = 2048;
    tolerance = 512;
    hysteresis = 20;
    polarity = 1;
    hold = 100;
    hwmode = 1;
    average = 8;
    evalmode = 0;
    maxmode = 0;
    triglvl = 950;
    trigmode = 0;
    sdelay = 500;
    dbuflen = 8;
    anamode = 0;
    para15 = 0;
    ref10Bit = 2048;
    tol10Bit = 512;
}

} // namespace ovx::params
