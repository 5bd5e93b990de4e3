// Plotting services on StripChart and Graph controls, and the Led control.
#pragma once

namespace ovx::ui {

enum DataType : int {
    kTypeInt = 1, // signed 32-bit
    kTypeDouble = 4,
    kTypeUShort = 6, // unsigned 16-bit
    kTypeUInt = 7,   // unsigned 32-bit
};

enum PlotStyle : int { kThinLine = 0, kConnectedPoints = 5 };
enum LineStyle : int { kSolid = 0, kDash = 1 };
constexpr int kPointEmptySquare = 10;

// Appends count values; consecutive values go to consecutive traces (count a multiple of the
// number of traces). The chart shows the last kAttrPointsPerScreen points of every trace.
// Repaints are coalesced; the data is always current.
int PlotStripChart(int panel, int control, const void* values, int count, int start, int skip,
                   int dataType);
int ClearStripChart(int panel, int control);
int SetTraceAttribute(int panel, int control, int trace, int attribute, int value);

// Adds one plot; returns its handle (> 0).
int PlotXY(int panel, int control, const void* x, const void* y, int count, int xType, int yType,
           int plotStyle, int pointStyle, int lineStyle, int pointFrequency, int color);
// plot -1 removes all; refresh 1 redraws at once.
int DeleteGraphPlot(int panel, int control, int plot, int refresh);
// axis 0 = x, 1 = y; mode 0 = manual from min to max.
int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max);

// Test access to what a chart holds.
int GetStripChartPoints(int panel, int control, int trace, double* out, int capacity);
int GetGraphPlotCount(int panel, int control);

} // namespace ovx::ui
