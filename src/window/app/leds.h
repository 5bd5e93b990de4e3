// Switching-output indicators: the judgement of each frame on PANEL_LEDREF and PANEL_LEDTOL.
#pragma once

#include "live/outputs.h"

namespace ovx::app {

// Judge the value (JudgeREF, JudgeTOL) and show the state on the LED.
void SetREFLed(int value);
void SetTOLLed(int value);

} // namespace ovx::app
