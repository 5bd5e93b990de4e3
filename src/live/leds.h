// Switching-output indicators with hysteresis.
#pragma once

#include <cstdint>

namespace ovx::live {

extern std::int16_t refTHD, upTHD, lowTHD;

// Computes the thresholds from the current reference and tolerance (start-up).
void InitThresholds();
// The judgement of one value: moves the output's thresholds and returns its state as the LED
// shows it (the polarity applied). SetREFLed and SetTOLLed judge and show.
int JudgeREF(int value);
int JudgeTOL(int value);
void SetREFLed(int value);
void SetTOLLed(int value);

} // namespace ovx::live
