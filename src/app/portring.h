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

} // namespace ovx::app
