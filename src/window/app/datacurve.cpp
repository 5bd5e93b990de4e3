// The data curve on the panel: the strip charts give way to the graph, the curve is read
// (ReadDataCurve), its live frame goes to the indicators and the curve into the graph.
#include "app/datacurve.h"

#include <array>

#include "app/panel_handles.h"
#include "app/recorder.h"
#include "app/runloop.h"
#include "app/strip.h"
#include "live/curve_file.h"
#include "params/panels.h"
#include "params/variables.h"
#include "ui/panel.h"
#include "ui/plot.h"

namespace ovx::app {

std::uint16_t xArray[link::kCurveArrayPoints];

namespace {

using app::panelHandle;

using link::kCurvePoints;
constexpr double kYMax = 1000.0;

constexpr const char* kRawAxisName = "RAW-values / [ADC-units]";
constexpr const char* kNormAxisName = "NORM=1000*(A/Amax)";

// The five arrays handed to PlotDATACurve, by role.
enum Curve { kCurveA, kCurveB, kUpper, kLower, kRefLine };

struct CurvePlot {
    Curve curve;
    int plotStyle;
    int lineStyle;
    int color;
};

// Plot order, styles and colours of both sources.
constexpr std::array kRawPlots{
    CurvePlot{kCurveA, ui::kConnectedPoints, ui::kSolid, 0x00FF00},
    CurvePlot{kCurveB, ui::kConnectedPoints, ui::kSolid, 0x0000FF},
};
constexpr std::array kNormPlots{
    CurvePlot{kUpper, ui::kThinLine, ui::kSolid, 0x000000},
    CurvePlot{kLower, ui::kThinLine, ui::kSolid, 0x000000},
    CurvePlot{kCurveA, ui::kConnectedPoints, ui::kSolid, 0xFF0000},
    CurvePlot{kRefLine, ui::kThinLine, ui::kDash, 0x000000},
};

int GraphSource() {
    int source = 0;
    ui::GetCtrlVal(panelHandle, params::PANEL_RNGGRAPHSOURCE, &source);
    return source;
}

void SetVisible(int control, int on) {
    ui::SetCtrlAttribute(panelHandle, control, ui::kAttrVisible, on);
}

// The live frame on the indicators and switching outputs (nothing without one: pp then holds
// the request, no value of the controller's), then the curve as read in the graph.
void ShowCurve(const live::CurveRead& read) {
    if (read.frame) {
        PlotRAWValues();
    }
    upTHR = read.upper;
    loTHR = read.lower;
    valREF = read.reference;
    PlotDATACurve(link::yArrayA, link::yArrayB, live::upArray, live::loArray, live::refArray);
    ui::SetCtrlAttribute(panelHandle, params::PANEL_BTNDATA, ui::kAttrDimmed, 0);
}

template <std::size_t N>
void PlotCurves(const std::array<CurvePlot, N>& plots,
                const std::array<const std::uint16_t*, 5>& arrays) {
    for (const CurvePlot& p : plots) {
        ui::PlotXY(panelHandle, params::PANEL_GRAPHDATA, xArray, arrays[p.curve], kCurvePoints,
                   ui::kTypeUShort, ui::kTypeUShort, p.plotStyle, ui::kPointEmptySquare,
                   p.lineStyle, 1, p.color);
    }
}

void SetYAxis(const char* name) {
    ui::SetCtrlAttribute(panelHandle, params::PANEL_GRAPHDATA, ui::kAttrYName, name);
    ui::SetAxisScalingMode(panelHandle, params::PANEL_GRAPHDATA, 1, 0, 0.0, kYMax);
}

} // namespace

int CC_BTNData(int /*panel*/, int /*control*/, int event, void* /*cbData*/, int /*d1*/,
               int /*d2*/) {
    if (event != ui::kEventCommit) {
        return 0;
    }
    SetVisible(params::PANEL_STRIPRAW, 0);
    SetVisible(params::PANEL_STRIPNORM, 0);
    SetVisible(params::PANEL_GRAPHDATA, 1);

    live::ReadDataCurve(GraphSource(), ShowCurve);
    return 0;
}

void PlotDATACurve(const std::uint16_t* curveA, const std::uint16_t* curveB,
                   const std::uint16_t* upper, const std::uint16_t* lower,
                   const std::uint16_t* refLine) {
    SetVisible(params::PANEL_STRIPRAW, 0);
    SetVisible(params::PANEL_STRIPNORM, 0);
    ui::SetAxisScalingMode(panelHandle, params::PANEL_GRAPHDATA, 0, 0, 1.0,
                           static_cast<double>(kCurvePoints));
    ui::DeleteGraphPlot(panelHandle, params::PANEL_GRAPHDATA, -1, 1);

    const std::array<const std::uint16_t*, 5> arrays{curveA, curveB, upper, lower, refLine};
    switch (GraphSource()) {
    case live::kSourceRaw:
        SetYAxis(kRawAxisName);
        PlotCurves(kRawPlots, arrays);
        break;
    case live::kSourceNorm:
        SetYAxis(kNormAxisName);
        PlotCurves(kNormPlots, arrays);
        break;
    default: // any other graph source leaves the graph empty
        break;
    }
}

int CC_BTNSaveCurve(int /*panel*/, int /*control*/, int event, void* /*cbData*/, int /*d1*/,
                    int /*d2*/) {
    if (event != ui::kEventCommit) {
        return 0;
    }
    std::array<char, live::kRecordPathSize> path{};
    if (AskForCsvFile("'curve_'yyyyMMdd_hhmmss'.csv'", "Save the data curve", path)) {
        live::SaveCurveFile(path.data());
    }
    return 0;
}

void RegisterLiveCallbacks() {
    ui::RegisterCallback("CC_BTNRun", CC_BTNRun);
    ui::RegisterCallback("CC_BTNStop", CC_BTNStop);
    ui::RegisterCallback("CC_BTNData", CC_BTNData);
    ui::RegisterCallback("CC_TOGBTNRecord", CC_TOGBTNRecord);
    ui::RegisterCallback("CC_BTNSaveCurve", CC_BTNSaveCurve);
}

} // namespace ovx::app
