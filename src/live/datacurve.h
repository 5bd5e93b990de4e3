// The data curve: four (RAW) or two (NORM) 64-word blocks drawn in PANEL_GRAPHDATA.
#pragma once

#include <cstdint>

namespace ovx::live {

extern std::uint16_t xArray[256];
extern std::uint16_t upArray[256], loArray[256], refArray[256];

int CC_BTNData(int panel, int control, int event, void* cbData, int d1, int d2);
void PlotDATACurve(const std::uint16_t* curveA, const std::uint16_t* curveB,
                   const std::uint16_t* upper, const std::uint16_t* lower,
                   const std::uint16_t* refLine);

// Registers the callbacks of this folder by name.
void RegisterLiveCallbacks();

} // namespace ovx::live
