#include "params/gui.h"

#include <array>
#include <cstdint>

#include "params/panels.h"
#include "params/parameters.h"
#include "params/popup.h"
#include "params/variables.h"
#include "platform/panel.h"

namespace ovx::params {

namespace {

using platform::GetCtrlVal;
using platform::SetCtrlVal;

constexpr std::array<const char*, 4> kTrigModeNames{"CONT", "INTERN", "EXT-HI", "EXT-LO"};

constexpr int kEvalModeExcludingIntern = 2;
constexpr int kTrigModeIntern = 1;

int PanelOf(const Parameter& p) {
    return p.popup ? panelPopUp : panelHandle;
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

constexpr TargetButton kRamButton{PANEL_RBTRAM, RAM, PANEL_RBTEEPROM, PANEL_RBTFILE};
constexpr TargetButton kEepromButton{PANEL_RBTEEPROM, EEPROM, PANEL_RBTRAM, PANEL_RBTFILE};
constexpr TargetButton kFileButton{PANEL_RBTFILE, DATFILE, PANEL_RBTEEPROM, PANEL_RBTRAM};

// Switched on: it becomes the only one on. Switched off: the target falls back to RAM.
void SelectTarget(const TargetButton& button) {
    if (ReadInt(panelHandle, button.own) != 0) {
        SetCtrlVal(panelHandle, button.own, 1);
        target = button.selects;
        SetCtrlVal(panelHandle, button.other1, 0);
        SetCtrlVal(panelHandle, button.other2, 0);
    } else {
        target = RAM;
        SetCtrlVal(panelHandle, PANEL_RBTRAM, 1);
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
    for (const Parameter& p : Parameters()) {
        // A control that cannot be read leaves its variable as it was.
        std::uint16_t value = 0;
        if (p.control != 0 && GetCtrlVal(PanelOf(p), p.control, &value) >= 0) {
            *p.variable = value;
        }
    }
    if (evalmode == kEvalModeExcludingIntern && trigmode == kTrigModeIntern) {
        trigmode = 0;
    }
}

void SetPanelValues() {
    for (const Parameter& p : Parameters()) {
        if (p.control != 0) {
            SetCtrlVal(PanelOf(p), p.control, static_cast<int>(*p.variable));
        }
    }
    platform::ReplaceTextBoxLine(panelHandle, PANEL_TRIGMODETEXT, 0, TrigModeName(trigmode));
}

// Evaluation mode 2 excludes trigger mode INTERN on the popup. The name line follows the
// forced control, so that it never names a mode the popup no longer shows.
int CC_DROP_EvalMode(int, int, int event, void*, int, int) {
    if (event != platform::kEventValueChanged ||
        ReadInt(panelHandle, PANEL_DROP_EVALMODE) != kEvalModeExcludingIntern) {
        return 0;
    }
    if (ReadInt(panelPopUp, POPUP_DROPTRIGMODE) == kTrigModeIntern) {
        SetCtrlVal(panelPopUp, POPUP_DROPTRIGMODE, 0);
        platform::ReplaceTextBoxLine(panelHandle, PANEL_TRIGMODETEXT, 0, TrigModeName(0));
    }
    return 0;
}

int CC_RBTRam(int, int, int event, void*, int, int) {
    if (event == platform::kEventValueChanged) {
        SelectTarget(kRamButton);
    }
    return 0;
}

int CC_RBTEeprom(int, int, int event, void*, int, int) {
    if (event == platform::kEventValueChanged) {
        SelectTarget(kEepromButton);
    }
    return 0;
}

int CC_RBTFile(int, int, int event, void*, int, int) {
    if (event == platform::kEventValueChanged) {
        SelectTarget(kFileButton);
    }
    return 0;
}

int CC_RNGGraphSource(int, int, int event, void*, int, int) {
    if (event != platform::kEventCommit) {
        return 0;
    }
    const bool raw = ReadInt(panelHandle, PANEL_RNGGRAPHSOURCE) == 0;
    if (raw) {
        platform::SetCtrlAttribute(panelHandle, PANEL_STRIPRAW, platform::kAttrVisible, 1);
        platform::SetCtrlAttribute(panelHandle, PANEL_STRIPNORM, platform::kAttrVisible, 0);
        type = 0;
    } else {
        platform::SetCtrlAttribute(panelHandle, PANEL_STRIPRAW, platform::kAttrVisible, 0);
        platform::SetCtrlAttribute(panelHandle, PANEL_STRIPNORM, platform::kAttrVisible, 1);
        type = 1;
    }
    return 0;
}

int CC_TOGBTNparaII(int, int, int event, void*, int, int) {
    if (event != platform::kEventValueChanged) {
        return 0;
    }
    if (ReadInt(panelHandle, PANEL_TOGBTNPARAII) == 0) {
        platform::HidePanel(panelPopUp);
    } else {
        platform::DisplayPanel(panelPopUp);
    }
    return 0;
}

int CC_TogButtonParaII(int, int, int event, void*, int, int) {
    if (event == platform::kEventCommit) {
        ReadInt(panelHandle, PANEL_TOGBTNPARAII);
    }
    return 0;
}

void RegisterParamCallbacks() {
    using platform::RegisterCallback;
    RegisterCallback("CC_DROP_EvalMode", CC_DROP_EvalMode);
    RegisterCallback("CC_RBTRam", CC_RBTRam);
    RegisterCallback("CC_RBTEeprom", CC_RBTEeprom);
    RegisterCallback("CC_RBTFile", CC_RBTFile);
    RegisterCallback("CC_RNGGraphSource", CC_RNGGraphSource);
    RegisterCallback("CC_TOGBTNparaII", CC_TOGBTNparaII);
    RegisterCallback("CC_TogButtonParaII", CC_TogButtonParaII);
    RegisterCallback("CC_DropTrigmode", CC_DropTrigmode);
    RegisterCallback("CC_DROP_Diffbuff", CC_DROP_Diffbuff);
    platform::RequireControls(PANEL, kPanelControls.data(),
                              static_cast<int>(kPanelControls.size()));
    platform::RequireControls(POPUP, kPopupControls.data(),
                              static_cast<int>(kPopupControls.size()));
}

} // namespace ovx::params
