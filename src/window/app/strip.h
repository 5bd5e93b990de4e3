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

void PlotRAWValues();
void PlotNORMValues(double* history);
void FillarrayRAW(int first, int second);
void FillarrayNORM(int tol, int ref, int value);
int Shift(const double* input, int n, int s, double* output);
int Copy1D(const double* input, int n, double* output);

} // namespace ovx::app
