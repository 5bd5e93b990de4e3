// OVEXTAR1V12: program entry, start state, title text and the panels' own callbacks.
#pragma once

#include "app/options.h"

namespace ovx::app {

// Loads the panels, sets the start state, opens port com, shows the main panel and runs the
// event loop until the main panel is closed. 0 after a normal end, -1 when the engine or a
// panel cannot be loaded (with a one-line reason on stderr).
int WinMain(const Options& options);
void InitVars();
// Status texts go to PANEL_STATUS of the main panel (and to the trace).
void ShowStatusOnPanel();
void ShowInfoText(const char* text, int left, int top, int pointSize);
int CC_PANEL(int panel, int event, void* cbData, int d1, int d2);
int CC_POPUP(int panel, int event, void* cbData, int d1, int d2);

// Registers every callback of the program by name (before the panels are loaded), and
// ShowLinkOnPanels.
void RegisterAllCallbacks();
// Parameters fetched by the link go onto the panels (SetPanelValues), and flash programming shows
// its progress on PANEL_FLASHPROGRESS and its word counter on PANEL_VALNORM.
void ShowLinkOnPanels();

} // namespace ovx::app
