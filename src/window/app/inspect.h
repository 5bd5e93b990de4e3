// Looking closer at the charts: pause of the strip charts and export of the chart on screen.
#pragma once

namespace ovx::app {

// The chart on screen: the data curve graph or the strip chart of the graph source.
int VisibleChart();

// PANEL_TOGBTNPAUSE, on commit: 1 freezes both strip charts on screen (the run and a
// recording go on), 0 shows the present again.
int CC_TOGBTNPause(int panel, int control, int event, void* cbData, int d1, int d2);
// PANEL_BTNEXPORT, on commit: asks for a PNG file and saves the chart on screen, twice the
// screen resolution when PANEL_CHKEXPORT2X is on.
int CC_BTNExport(int panel, int control, int event, void* cbData, int d1, int d2);
// Saves the chart on screen to path; 1, or 0. The status line says which.
int ExportChart(const char* path, int scale);

} // namespace ovx::app
