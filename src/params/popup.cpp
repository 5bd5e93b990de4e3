#include "params/popup.h"

#include <cstdint>

#include "params/gui.h"
#include "params/panels.h"
#include "platform/panel.h"

namespace ovx::params {

// Only the name line follows the ring; trigmode itself is taken by the next GetPanelValues.
int CC_DropTrigmode(int, int, int event, void*, int, int) {
    if (event != platform::kEventValueChanged) {
        return 0;
    }
    std::uint16_t mode = 0;
    if (platform::GetCtrlVal(panelPopUp, POPUP_DROPTRIGMODE, &mode) >= 0) {
        platform::ReplaceTextBoxLine(panelHandle, PANEL_TRIGMODETEXT, 0, TrigModeName(mode));
    }
    return 0;
}

int CC_DROP_Diffbuff(int, int, int event, void*, int, int) {
    if (event == platform::kEventValueChanged) {
        std::uint16_t value = 0;
        platform::GetCtrlVal(panelPopUp, POPUP_DROP_DIFFBUFF, &value);
    }
    return 0;
}

} // namespace ovx::params
