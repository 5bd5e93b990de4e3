// The protocol monitor: order names and decoded words for its lines, the pane's toggle, and the
// status line's feed into the monitor log (every text it shows, with or without --trace).
#pragma once

#include <string>

#include "platform/monitor_log.h"

namespace ovx::app {

// "live sample", "get RAM", ... for a frame, by its order word (36 bytes) or its length (64
// bytes: firmware info, 128: data block); words as decimal numbers. Unknown: empty order.
void DescribeFrame(platform::MonitorKind kind, const char* bytes, int count, std::string& order,
                   std::string& words);
const char* OrderName(int order); // "" for a code the controller does not know

// Sets the describer and watches PANEL_STATUS: every status text goes to the monitor log, and
// to stderr with --trace.
void InstallMonitor();

// PANEL_TOGBTNMONITOR: on commit shows (1) or hides (0) the pane PANEL_MONITOR.
int CC_TOGBTNMonitor(int panel, int control, int event, void* cbData, int d1, int d2);

} // namespace ovx::app
