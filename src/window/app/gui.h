// Transfer between the panels and the parameter variables, and the main panel's parameter,
// target and graph-source callbacks.
#pragma once

namespace ovx::app {

void GetPanelValues();
void SetPanelValues();
// Name of a trigger mode as shown in PANEL_TRIGMODETEXT.
const char* TrigModeName(int mode);

int CC_DROP_EvalMode(int panel, int control, int event, void* cbData, int d1, int d2);
int CC_RBTRam(int panel, int control, int event, void* cbData, int d1, int d2);
int CC_RBTEeprom(int panel, int control, int event, void* cbData, int d1, int d2);
int CC_RBTFile(int panel, int control, int event, void* cbData, int d1, int d2);
int CC_RNGGraphSource(int panel, int control, int event, void* cbData, int d1, int d2);
int CC_TOGBTNparaII(int panel, int control, int event, void* cbData, int d1, int d2);
int CC_TogButtonParaII(int panel, int control, int event, void* cbData, int d1, int d2);

// Registers the callbacks of this module and of popup.h by name.
void RegisterParamCallbacks();

} // namespace ovx::app
