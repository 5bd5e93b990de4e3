// The protocol monitor: order names and decoded words for its lines and the pane's toggle. Every
// status text reaches the monitor log through the status writer's trace, with or without --trace.
#pragma once

#include <string>

#include "platform/monitor_log.h"

namespace ovx::app {

// "live sample", "get RAM", ... for a frame, by its order word (36 bytes) or its length (64
// bytes: firmware info, 128: data block); words as decimal numbers. Unknown: empty order.
void DescribeFrame(platform::MonitorKind kind, const char* bytes, int count, std::string& order,
                   std::string& words);
const char* OrderName(int order); // "" for a code the controller does not know

// Sets the describer of the monitor's frame lines.
void InstallMonitor();

// PANEL_TOGBTNMONITOR: on commit shows (1) or hides (0) the pane PANEL_MONITOR.
int CC_TOGBTNMonitor(int panel, int control, int event, void* cbData, int d1, int d2);

} // namespace ovx::app
