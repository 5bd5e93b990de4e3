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

} // namespace ovx::app
