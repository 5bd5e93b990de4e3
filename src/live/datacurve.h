// The data curve: four (RAW) or two (NORM) 64-word blocks drawn in PANEL_GRAPHDATA.
#pragma once

#include <cstdint>

#include "link/datablock.h"

namespace ovx::live {

extern std::uint16_t xArray[link::kCurveArrayPoints];
extern std::uint16_t upArray[link::kCurveArrayPoints], loArray[link::kCurveArrayPoints],
    refArray[link::kCurveArrayPoints];

int CC_BTNData(int panel, int control, int event, void* cbData, int d1, int d2);
void PlotDATACurve(const std::uint16_t* curveA, const std::uint16_t* curveB,
                   const std::uint16_t* upper, const std::uint16_t* lower,
                   const std::uint16_t* refLine);

// Registers the callbacks of this folder by name.
void RegisterLiveCallbacks();

} // namespace ovx::live
