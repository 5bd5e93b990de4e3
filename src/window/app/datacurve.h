// The data curve on the panel: the curve read (curve_read.h) drawn in PANEL_GRAPHDATA, its live
// frame on the indicators, and the save button.
#pragma once

#include <cstdint>

#include "link/frame.h"
#include "live/curve_read.h"

namespace ovx::app {

extern std::uint16_t xArray[link::kCurveArrayPoints];

int CC_BTNData(int panel, int control, int event, void* cbData, int d1, int d2);
void PlotDATACurve(const std::uint16_t* curveA, const std::uint16_t* curveB,
                   const std::uint16_t* upper, const std::uint16_t* lower,
                   const std::uint16_t* refLine);
// PANEL_BTNSAVECURVE, on commit: asks for the file and saves the curve.
int CC_BTNSaveCurve(int panel, int control, int event, void* cbData, int d1, int d2);

// Registers the callbacks of this folder by name.
void RegisterLiveCallbacks();

} // namespace ovx::app
