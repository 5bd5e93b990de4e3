// Strip-chart traces: the RAW and NORM histories, the indicators and the NORM chart's lines.
#pragma once

#include <cstdint>

#include "live/sample.h"

namespace ovx::app {

constexpr int kHistoryPoints = 100;
extern double arrayRAW[2 * kHistoryPoints];
extern double arrayNORM[4 * kHistoryPoints];

// Line values of the NORM chart and the data curve.
extern int upTHR, loTHR;
extern std::uint16_t valREF;

// Decode the live frame in pp, then plot it.
void PlotRAWValues();
void PlotNORMValues(double* history);
// Plot the frame DecodeLiveFrame took last: the run loop decodes a reply before its next request
// packs the parameters into pp, and plots it while that request is on the line.
void PlotDecodedRAWValues();
void PlotDecodedNORMValues(double* history);
void FillarrayRAW(int first, int second);
void FillarrayNORM(int tol, int ref, int value);
int Shift(const double* input, int n, int s, double* output);
int Copy1D(const double* input, int n, double* output);

} // namespace ovx::app
