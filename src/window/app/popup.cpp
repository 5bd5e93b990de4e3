#include "app/popup.h"

#include <cstdint>

#include "app/gui.h"
#include "app/panel_handles.h"
#include "params/panels.h"
#include "ui/panel.h"

namespace ovx::app {

// Only the name line follows the ring; trigmode itself is taken by the next GetPanelValues.
int CC_DropTrigmode(int, int, int event, void*, int, int) {
    if (event != ui::kEventValueChanged) {
        return 0;
    }
    std::uint16_t mode = 0;
    if (ui::GetCtrlVal(app::panelPopUp, params::POPUP_DROPTRIGMODE, &mode) >= 0) {
        ui::ReplaceTextBoxLine(app::panelHandle, params::PANEL_TRIGMODETEXT, 0, TrigModeName(mode));
    }
    return 0;
}

int CC_DROP_Diffbuff(int, int, int event, void*, int, int) {
    if (event == ui::kEventValueChanged) {
        std::uint16_t value = 0;
        ui::GetCtrlVal(app::panelPopUp, params::POPUP_DROP_DIFFBUFF, &value);
    }
    return 0;
}

} // namespace ovx::app
