// What the window remembers between runs: its size and position, whether the protocol monitor
// was open, the recording directory and the last port. With --port or --simulator the start
// port stays port 1; otherwise the last port is opened when its device is present again.
#pragma once

#include "app/options.h"

namespace ovx::app {

// The port start-up opens: the port whose device was last used, if listed now and no --port or
// --simulator is given; else 1.
int StartPort(const Options& options);
// After the panels are loaded and InitVars ran: geometry, monitor pane, directories, and com.
void RestoreWindowState(const Options& options);
// Before the panels are discarded.
void SaveWindowState();

} // namespace ovx::app
