// Switching-output indicators: the judgement of each frame shown on the panel's LEDs.
#include "app/leds.h"

#include "app/panel_handles.h"
#include "params/panels.h"
#include "params/variables.h"
#include "ui/panel.h"

namespace ovx::app {

void SetREFLed(int value) {
    ui::SetCtrlVal(app::panelHandle, params::PANEL_LEDREF, live::JudgeREF(value));
}

void SetTOLLed(int value) {
    ui::SetCtrlVal(app::panelHandle, params::PANEL_LEDTOL, live::JudgeTOL(value));
}

} // namespace ovx::app
