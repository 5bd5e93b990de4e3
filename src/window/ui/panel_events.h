// Inside the engine: turns what the operator does on a control or a panel window into the
// events of the callbacks (panel.h).
#pragma once

#include "ui/panel_store.h"

namespace ovx::ui::detail {

// Connects the control's operator signals to DispatchControl(panel, control, ...).
void ConnectControlEvents(int panel, int control, const Control& c);
// The window's close control gives kEventClose to the panel callback; the window stays open.
// The window repaints at most about 60 times a second, however often its controls change.
void ConnectPanelEvents(int panel, QWidget* window);

} // namespace ovx::ui::detail
