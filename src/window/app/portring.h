// The port ring PANEL_DROPDCOM, filled at start-up with the ports of the port table.
#pragma once

#include <string>

#include "platform/serial.h"

namespace ovx::app {

// "COM1  /dev/pts/3 (virtual controller)": number, device, description where there is one.
std::string PortLabel(const platform::PortInfo& info);

// Fills the ring with every listed port (item value = port number) and selects port 1, which
// start-up opens. simulatorPort names the port of the embedded virtual controller (0 = none).
void FillPortRing(int panel, int control, int simulatorPort);

// PANEL_BTNREFRESHPORTS, on commit: lists the ports again (an adapter plugged in after start
// appears) and keeps the port in use selected; the open port is not touched.
int CC_BTNRefreshPorts(int panel, int control, int event, void* cbData, int d1, int d2);
extern int simulatorPortNumber; // the embedded virtual controller's port (0 = none)

// Hook on every port opening: after a failed open, the reason the serial layer gives (who owns
// the device and the fix) shows under the status line and as its tooltip, while the status text
// itself stays as it is; a successful open hides it again.
void ShowPortOpenResult(int port, const char* reason);

// Hooks of the port watch: a port whose device disappeared says so in the status line at once
// ("Serial port 1 (/dev/ttyUSB0) disappeared"); when the same device is back, the operator is
// asked whether to reopen it (Reopen / Not now), and Reopen opens it as choosing it in the ring.
// A lost connection to a serial device server ("Serial port 1 (tcp://host:4001) disappeared") is
// offered again at the port watch's next look.
void TellPortGone(int port, const std::string& device);
void OfferPortReopen(int port, const std::string& device);
void InstallPortHooks(); // the three hooks above

} // namespace ovx::app
