// What the window remembers between runs: its size and position, whether the protocol monitor
// was open, the recording directory, the last port and the serial device servers' addresses. With
// --port or --simulator the start port stays port 1; otherwise the last port is opened when its
// device is present again.
#pragma once

#include "app/options.h"

namespace ovx::app {

// Puts the addresses of serial device servers used before back into the port table, each under
// its number when that is free (else the next free one), unless --port or --simulator is given.
void AddRememberedAddresses(const Options& options);
// The port start-up opens: the port whose device was last used, if listed now and no --port or
// --simulator is given; else 1.
int StartPort(const Options& options);
// After the panels are loaded and InitVars ran: geometry, monitor pane, directories, and com.
void RestoreWindowState(const Options& options);
// Before the panels are discarded.
void SaveWindowState();

} // namespace ovx::app
