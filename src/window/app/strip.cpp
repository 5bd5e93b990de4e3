// Strip-chart traces: every live frame shifts its history by one point, appends the new point and
// hands the whole history to the chart; the same frame feeds the indicators and both LEDs.
#include "app/strip.h"

#include <array>
#include <utility>

#include "app/leds.h"
#include "app/panel_handles.h"
#include "params/panels.h"
#include "params/variables.h"
#include "ui/panel.h"
#include "ui/plot.h"

namespace ovx::app {

double arrayRAW[2 * kHistoryPoints] = {};
double arrayNORM[4 * kHistoryPoints] = {};

int upTHR = 0;
int loTHR = 0;
std::uint16_t valREF = 0;

namespace {

constexpr int kRawTraces = 2;
constexpr int kNormTraces = 4;
constexpr int kRawSlots = kRawTraces * kHistoryPoints;
constexpr int kNormSlots = kNormTraces * kHistoryPoints;
// The chart shows the history and nothing else: one point per history slot, so no point of an
// earlier frame stays at its left edge.
constexpr int kPointsPerScreen = kHistoryPoints;
constexpr int kContinuousScroll = 1;
constexpr int kUpperLineMax = 1000;
constexpr int kLowerLineMin = 1;

constexpr int kErrCountTooSmall = -20003;
constexpr int kErrShiftTooLarge = -20102;

// NORM traces: upper limit, lower limit, reference (black), NORM value (red).
constexpr std::array<int, kNormTraces> kNormTraceColors{0x000000, 0x000000, 0x000000, 0xFF0000};

void PrepareChart(int control, int traces) {
    const int panel = app::panelHandle;
    ui::SetCtrlAttribute(panel, control, ui::kAttrPointsPerScreen, kPointsPerScreen);
    ui::SetCtrlAttribute(panel, control, ui::kAttrScrollMode, kContinuousScroll);
    ui::SetCtrlAttribute(panel, control, ui::kAttrNumTraces, traces);
}

// Indicators in their fixed order; PANEL_TOLERANCE shows the tolerance the plot used.
void ShowIndicators(int shownTolerance) {
    const int panel = app::panelHandle;
    const std::array<std::pair<int, int>, 7> values{{
        {params::PANEL_VALNORM, live::valNORM},
        {params::PANEL_ADCCHA, live::adcCHA},
        {params::PANEL_ADCCHB, live::adcCHB},
        {params::PANEL_AMAX, live::Amax},
        {params::PANEL_UPVAL, live::UPval},
        {params::PANEL_LOVAL, live::LOval},
        {params::PANEL_TOLERANCE, shownTolerance},
    }};
    for (const auto& [control, value] : values) {
        ui::SetCtrlVal(panel, control, value);
    }
}

void JudgeOutputs() {
    SetREFLed(live::valNORM);
    SetTOLLed(live::valNORM);
}

// Hardware modes 0 and 2 draw the limits with the parameter, every other mode with the
// tolerance the controller reports.
int NormTolerance() {
    unsigned short mode = 0;
    ui::GetCtrlVal(app::panelHandle, params::PANEL_HWMODE, &mode);
    return (mode == 0 || mode == 2) ? params::tolerance : live::tolval;
}

// output[i] = input[i - s], highest index first; the first s slots become 0.0.
void ShiftTowardsEnd(const double* input, int n, int s, double* output) {
    for (int i = n - 1; i >= s; --i) {
        output[i] = input[i - s];
    }
    for (int i = 0; i < s; ++i) {
        output[i] = 0.0;
    }
}

// output[i] = input[i + d], lowest index first; the last d slots become 0.0.
void ShiftTowardsStart(const double* input, int n, int d, double* output) {
    for (int i = 0; i < n - d; ++i) {
        output[i] = input[i + d];
    }
    for (int i = n - d; i < n; ++i) {
        output[i] = 0.0;
    }
}

} // namespace

void PlotRAWValues() {
    live::DecodeLiveFrame();
    PlotDecodedRAWValues();
}

void PlotNORMValues(double* history) {
    live::DecodeLiveFrame();
    PlotDecodedNORMValues(history);
}

void PlotDecodedRAWValues() {
    Shift(arrayRAW, kRawSlots, -kRawTraces, arrayRAW);
    arrayRAW[kRawSlots - 2] = live::adcCHA;
    arrayRAW[kRawSlots - 1] = live::adcCHB;
    PrepareChart(params::PANEL_STRIPRAW, kRawTraces);
    ui::PlotStripChart(app::panelHandle, params::PANEL_STRIPRAW, arrayRAW, kRawSlots, 0, 0,
                       ui::kTypeDouble);
    ShowIndicators(live::tolval);
    JudgeOutputs();
}

void PlotDecodedNORMValues(double* history) {
    Shift(history, kNormSlots, -kNormTraces, history);
    const int tol = NormTolerance();
    upTHR = params::reference + tol;
    loTHR = params::reference - tol;
    valREF = params::reference;
    if (upTHR > kUpperLineMax) {
        upTHR = kUpperLineMax;
    }
    if (loTHR < kLowerLineMin) {
        loTHR = kLowerLineMin;
    }
    history[kNormSlots - 4] = upTHR;
    history[kNormSlots - 3] = loTHR;
    history[kNormSlots - 2] = valREF;
    history[kNormSlots - 1] = live::valNORM;
    PrepareChart(params::PANEL_STRIPNORM, kNormTraces);
    for (int trace = 1; trace <= kNormTraces; ++trace) {
        ui::SetTraceAttribute(app::panelHandle, params::PANEL_STRIPNORM, trace, ui::kAttrTraceColor,
                              kNormTraceColors[trace - 1]);
    }
    ui::PlotStripChart(app::panelHandle, params::PANEL_STRIPNORM, history, kNormSlots, 0, 0,
                       ui::kTypeDouble);
    ShowIndicators(tol);
    JudgeOutputs();
}

void FillarrayRAW(int first, int second) {
    for (int k = 0; k < kHistoryPoints; ++k) {
        arrayRAW[2 * k] = first;
        arrayRAW[2 * k + 1] = second;
    }
}

// The lines of a refilled history are not clamped.
void FillarrayNORM(int tol, int ref, int value) {
    for (int k = 0; k < kHistoryPoints; ++k) {
        arrayNORM[4 * k] = ref + tol;
        arrayNORM[4 * k + 1] = ref - tol;
        arrayNORM[4 * k + 2] = ref;
        arrayNORM[4 * k + 3] = value;
    }
}

// Copies from the far end first, so input and output may be the same array.
int Shift(const double* input, int n, int s, double* output) {
    if (n < 1) {
        return kErrCountTooSmall;
    }
    if (s <= -n || s >= n) {
        return kErrShiftTooLarge;
    }
    if (s == 0) {
        return Copy1D(input, n, output);
    }
    if (s > 0) {
        ShiftTowardsEnd(input, n, s, output);
    } else {
        ShiftTowardsStart(input, n, -s, output);
    }
    return 0;
}

int Copy1D(const double* input, int n, double* output) {
    if (n < 1) {
        return kErrCountTooSmall;
    }
    for (int i = 0; i < n; ++i) {
        output[i] = input[i];
    }
    return 0;
}

} // namespace ovx::app
