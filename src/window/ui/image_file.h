// A control as a PNG picture: what is on screen (with a paused chart's cursor), at screen
// resolution (scale 1) or twice it (scale 2).
#pragma once

namespace ovx::ui {

// 0, kUiInvalidPanel/kUiInvalidControl, kUiInvalidArgument (scale not 1 or 2), kFileCannotOpen
// or kFileWriteFailed (an older file of that name is kept).
int SaveCtrlImage(int panel, int control, const char* file, int scale);

} // namespace ovx::ui
