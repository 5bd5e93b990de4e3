// Switching-output indicators: the judgement of each frame shown on the panel's LEDs.
#include "live/leds.h"

#include "params/panels.h"
#include "params/variables.h"
#include "platform/panel.h"

namespace ovx::live {

void SetREFLed(int value) {
    platform::SetCtrlVal(params::panelHandle, params::PANEL_LEDREF, JudgeREF(value));
}

void SetTOLLed(int value) {
    platform::SetCtrlVal(params::panelHandle, params::PANEL_LEDTOL, JudgeTOL(value));
}

} // namespace ovx::live
