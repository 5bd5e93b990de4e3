// Strip-chart traces: the RAW and NORM histories, the live-sample values and the indicators.
#pragma once

#include <cstdint>

namespace ovx::live {

constexpr int kHistoryPoints = 100;
extern double arrayRAW[2 * kHistoryPoints];
extern double arrayNORM[4 * kHistoryPoints];

// Live-sample values of the last frame.
extern int valNORM;
extern std::uint16_t adcCHA, adcCHB, Amax, Bmax, UPval, LOval, tolval, btnval;
// Line values of the NORM chart and the data curve.
extern int upTHR, loTHR;
extern std::uint16_t valREF;

// The live-sample values of the reply in pp, nothing shown.
void DecodeLiveFrame();
void PlotRAWValues();
void PlotNORMValues(double* history);
void FillarrayRAW(int first, int second);
void FillarrayNORM(int tol, int ref, int value);
int Shift(const double* input, int n, int s, double* output);
int Copy1D(const double* input, int n, double* output);

} // namespace ovx::live
