// The judging of the two switching outputs with hysteresis: each output keeps its thresholds
// from frame to frame, moved after every decision.
#pragma once

#include <cstdint>

namespace ovx::live {

extern std::int16_t refTHD, upTHD, lowTHD;

// Computes the thresholds from the current reference and tolerance (start-up).
void InitThresholds();
// The judgement of one value: moves the output's thresholds and returns its state as the LED
// shows it (the polarity applied).
int JudgeREF(int value);
int JudgeTOL(int value);

} // namespace ovx::live
