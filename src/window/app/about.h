// The About box (F1): the program, its version, and the program directory where the operator
// keeps "TARconfig.dat" and the parameter files.
#pragma once

#include <string>

namespace ovx::app {

std::string AboutText();
// A shortcut action (platform::SetPanelShortcut): shows AboutText in a message popup.
void ShowAbout(int panel);

} // namespace ovx::app
