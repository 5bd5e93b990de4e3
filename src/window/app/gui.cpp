#include "app/gui.h"

#include <array>
#include <cstdint>

#include "app/panel_handles.h"
#include "app/popup.h"
#include "params/panels.h"
#include "params/parameters.h"
#include "params/variables.h"
#include "ui/panel.h"

namespace ovx::app {

namespace {

using ui::GetCtrlVal;
using ui::SetCtrlVal;

constexpr std::array<const char*, 4> kTrigModeNames{"CONT", "INTERN", "EXT-HI", "EXT-LO"};

constexpr int kEvalModeExcludingIntern = 2;
constexpr int kTrigModeIntern = 1;

int PanelOf(const params::Parameter& p) {
    return p.popup ? app::panelPopUp : app::panelHandle;
}

// Reads a control as an int; 0 when it cannot be read.
int ReadInt(int panel, int control) {
    int value = 0;
    return GetCtrlVal(panel, control, &value) < 0 ? 0 : value;
}

// A target radio button: its own control, the target it selects, and the two others.
struct TargetButton {
    int own;
    int selects;
    int other1;
    int other2;
};

constexpr TargetButton kRamButton{params::PANEL_RBTRAM, params::RAM, params::PANEL_RBTEEPROM,
                                  params::PANEL_RBTFILE};
constexpr TargetButton kEepromButton{params::PANEL_RBTEEPROM, params::EEPROM, params::PANEL_RBTRAM,
                                     params::PANEL_RBTFILE};
constexpr TargetButton kFileButton{params::PANEL_RBTFILE, params::DATFILE, params::PANEL_RBTEEPROM,
                                   params::PANEL_RBTRAM};

// Switched on: it becomes the only one on. Switched off: the target falls back to RAM.
void SelectTarget(const TargetButton& button) {
    if (ReadInt(app::panelHandle, button.own) != 0) {
        SetCtrlVal(app::panelHandle, button.own, 1);
        params::target = button.selects;
        SetCtrlVal(app::panelHandle, button.other1, 0);
        SetCtrlVal(app::panelHandle, button.other2, 0);
    } else {
        params::target = params::RAM;
        SetCtrlVal(app::panelHandle, params::PANEL_RBTRAM, 1);
    }
}

} // namespace

const char* TrigModeName(int mode) {
    if (mode < 0 || mode >= static_cast<int>(kTrigModeNames.size())) {
        return kTrigModeNames[0];
    }
    return kTrigModeNames[static_cast<std::size_t>(mode)];
}

// The fifteen parameters with a control, read and written in word order; para15 has none.
void GetPanelValues() {
    for (const params::Parameter& p : params::Parameters()) {
        // A control that cannot be read leaves its variable as it was.
        std::uint16_t value = 0;
        if (p.control != 0 && GetCtrlVal(PanelOf(p), p.control, &value) >= 0) {
            *p.variable = value;
        }
    }
    if (params::evalmode == kEvalModeExcludingIntern && params::trigmode == kTrigModeIntern) {
        params::trigmode = 0;
    }
}

void SetPanelValues() {
    for (const params::Parameter& p : params::Parameters()) {
        if (p.control != 0) {
            SetCtrlVal(PanelOf(p), p.control, static_cast<int>(*p.variable));
        }
    }
    ui::ReplaceTextBoxLine(app::panelHandle, params::PANEL_TRIGMODETEXT, 0,
                           TrigModeName(params::trigmode));
}

// Evaluation mode 2 excludes trigger mode INTERN on the popup. The name line follows the
// forced control, so that it never names a mode the popup no longer shows.
int CC_DROP_EvalMode(int, int, int event, void*, int, int) {
    if (event != ui::kEventValueChanged ||
        ReadInt(app::panelHandle, params::PANEL_DROP_EVALMODE) != kEvalModeExcludingIntern) {
        return 0;
    }
    if (ReadInt(app::panelPopUp, params::POPUP_DROPTRIGMODE) == kTrigModeIntern) {
        SetCtrlVal(app::panelPopUp, params::POPUP_DROPTRIGMODE, 0);
        ui::ReplaceTextBoxLine(app::panelHandle, params::PANEL_TRIGMODETEXT, 0, TrigModeName(0));
    }
    return 0;
}

int CC_RBTRam(int, int, int event, void*, int, int) {
    if (event == ui::kEventValueChanged) {
        SelectTarget(kRamButton);
    }
    return 0;
}

int CC_RBTEeprom(int, int, int event, void*, int, int) {
    if (event == ui::kEventValueChanged) {
        SelectTarget(kEepromButton);
    }
    return 0;
}

int CC_RBTFile(int, int, int event, void*, int, int) {
    if (event == ui::kEventValueChanged) {
        SelectTarget(kFileButton);
    }
    return 0;
}

int CC_RNGGraphSource(int, int, int event, void*, int, int) {
    if (event != ui::kEventCommit) {
        return 0;
    }
    const bool raw = ReadInt(app::panelHandle, params::PANEL_RNGGRAPHSOURCE) == 0;
    if (raw) {
        ui::SetCtrlAttribute(app::panelHandle, params::PANEL_STRIPRAW, ui::kAttrVisible, 1);
        ui::SetCtrlAttribute(app::panelHandle, params::PANEL_STRIPNORM, ui::kAttrVisible, 0);
        params::type = 0;
    } else {
        ui::SetCtrlAttribute(app::panelHandle, params::PANEL_STRIPRAW, ui::kAttrVisible, 0);
        ui::SetCtrlAttribute(app::panelHandle, params::PANEL_STRIPNORM, ui::kAttrVisible, 1);
        params::type = 1;
    }
    return 0;
}

int CC_TOGBTNparaII(int, int, int event, void*, int, int) {
    if (event != ui::kEventValueChanged) {
        return 0;
    }
    if (ReadInt(app::panelHandle, params::PANEL_TOGBTNPARAII) == 0) {
        ui::HidePanel(app::panelPopUp);
    } else {
        ui::DisplayPanel(app::panelPopUp);
    }
    return 0;
}

int CC_TogButtonParaII(int, int, int event, void*, int, int) {
    if (event == ui::kEventCommit) {
        ReadInt(app::panelHandle, params::PANEL_TOGBTNPARAII);
    }
    return 0;
}

void RegisterParamCallbacks() {
    using ui::RegisterCallback;
    RegisterCallback("CC_DROP_EvalMode", CC_DROP_EvalMode);
    RegisterCallback("CC_RBTRam", CC_RBTRam);
    RegisterCallback("CC_RBTEeprom", CC_RBTEeprom);
    RegisterCallback("CC_RBTFile", CC_RBTFile);
    RegisterCallback("CC_RNGGraphSource", CC_RNGGraphSource);
    RegisterCallback("CC_TOGBTNparaII", CC_TOGBTNparaII);
    RegisterCallback("CC_TogButtonParaII", CC_TogButtonParaII);
    RegisterCallback("CC_DropTrigmode", CC_DropTrigmode);
    RegisterCallback("CC_DROP_Diffbuff", CC_DROP_Diffbuff);
    ui::RequireControls(params::PANEL, params::kPanelControls.data(),
                        static_cast<int>(params::kPanelControls.size()));
    ui::RequireControls(params::POPUP, params::kPopupControls.data(),
                        static_cast<int>(params::kPopupControls.size()));
}

} // namespace ovx::app
