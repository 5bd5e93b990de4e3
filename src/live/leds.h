// Switching-output indicators with hysteresis.
#pragma once

#include <cstdint>

namespace ovx::live {

extern std::int16_t refTHD, upTHD, lowTHD;

// Computes the thresholds from the current reference and tolerance (start-up).
void InitThresholds();
void SetREFLed(int value);
void SetTOLLed(int value);

} // namespace ovx::live
