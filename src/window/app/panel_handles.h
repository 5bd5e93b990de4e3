// The window's two panels once loaded, and the control IDs that address them (params/panels.h).
#pragma once

#include "params/panels.h"

namespace ovx::app {

// Handles of the loaded panels (set at start-up); 0 while a panel is not loaded.
extern int panelHandle;
extern int panelPopUp;

} // namespace ovx::app
