// The data curve: the controller's 128-point curve, read in 64-word blocks (two for NORM, four
// for RAW) with the receive notification removed, then one live frame, then the graph.
#include "live/datacurve.h"

#include <algorithm>
#include <array>

#include "link/com232.h"
#include "link/datablock.h"
#include "live/curve_file.h"
#include "live/recorder.h"
#include "live/runloop.h"
#include "live/strip.h"
#include "params/panels.h"
#include "params/variables.h"
#include "platform/panel.h"
#include "platform/plot.h"

namespace ovx::live {

std::uint16_t xArray[link::kCurveArrayPoints];
std::uint16_t upArray[link::kCurveArrayPoints], loArray[link::kCurveArrayPoints],
    refArray[link::kCurveArrayPoints];

namespace {

using params::panelHandle;

using link::kCurvePoints;
constexpr int kLineMax = 4095;
constexpr int kLineMin = 1;
constexpr double kYMax = 1000.0;
constexpr int kSourceRaw = 0;
constexpr int kSourceNorm = 1;
constexpr std::array kRawOffsets{0, 64, 128, 192};
constexpr std::array kNormOffsets{0, 64};

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
    CurvePlot{kCurveA, platform::kConnectedPoints, platform::kSolid, 0x00FF00},
    CurvePlot{kCurveB, platform::kConnectedPoints, platform::kSolid, 0x0000FF},
};
constexpr std::array kNormPlots{
    CurvePlot{kUpper, platform::kThinLine, platform::kSolid, 0x000000},
    CurvePlot{kLower, platform::kThinLine, platform::kSolid, 0x000000},
    CurvePlot{kCurveA, platform::kConnectedPoints, platform::kSolid, 0xFF0000},
    CurvePlot{kRefLine, platform::kThinLine, platform::kDash, 0x000000},
};

int GraphSource() {
    int source = 0;
    platform::GetCtrlVal(panelHandle, params::PANEL_RNGGRAPHSOURCE, &source);
    return source;
}

void SetVisible(int control, int on) {
    platform::SetCtrlAttribute(panelHandle, control, platform::kAttrVisible, on);
}

// A block that failed has cleared the whole curve; the blocks after it are not requested: the
// late answer of the failed one could pass for theirs.
void ReadBlocks(int source) {
    const auto read = [source](auto offsets) {
        for (const int offset : offsets) {
            if (link::ReadData64(offset, source, link::kOrderDataBlock) == 0) {
                return;
            }
        }
    };
    if (source == kSourceNorm) {
        read(kNormOffsets);
    } else {
        read(kRawOffsets);
    }
}

// One live frame from the current pp, shown on the indicators and switching outputs. Without a
// reply nothing is shown: pp then holds the request, no value of the controller's.
void RequestOneLiveFrame() {
    link::AwaitQuietLine();
    link::rx_flag = 0;
    link::SendRequest(link::kOrderLiveSample, link::pp);
    if (link::WaitRxFull() == 1) {
        PlotRAWValues();
    }
}

// The limit and reference lines, clamped to 1..4095.
void FillLineArrays() {
    upTHR = params::reference + params::tolerance;
    loTHR = params::reference - params::tolerance;
    valREF = params::reference;
    upTHR = std::min(upTHR, kLineMax);
    loTHR = std::max(loTHR, kLineMin);
    std::fill_n(upArray, kCurvePoints, static_cast<std::uint16_t>(upTHR));
    std::fill_n(loArray, kCurvePoints, static_cast<std::uint16_t>(loTHR));
    std::fill_n(refArray, kCurvePoints, valREF);
}

template <std::size_t N>
void PlotCurves(const std::array<CurvePlot, N>& plots,
                const std::array<const std::uint16_t*, 5>& arrays) {
    for (const CurvePlot& p : plots) {
        platform::PlotXY(panelHandle, params::PANEL_GRAPHDATA, xArray, arrays[p.curve],
                         kCurvePoints, platform::kTypeUShort, platform::kTypeUShort, p.plotStyle,
                         platform::kPointEmptySquare, p.lineStyle, 1, p.color);
    }
}

void SetYAxis(const char* name) {
    platform::SetCtrlAttribute(panelHandle, params::PANEL_GRAPHDATA, platform::kAttrYName, name);
    platform::SetAxisScalingMode(panelHandle, params::PANEL_GRAPHDATA, 1, 0, 0.0, kYMax);
}

} // namespace

int CC_BTNData(int /*panel*/, int /*control*/, int event, void* /*cbData*/, int /*d1*/,
               int /*d2*/) {
    if (event != platform::kEventCommit) {
        return 0;
    }
    SetVisible(params::PANEL_STRIPRAW, 0);
    SetVisible(params::PANEL_STRIPNORM, 0);
    SetVisible(params::PANEL_GRAPHDATA, 1);

    // A live reply still on its way after a stop must not end up in a data block.
    link::AwaitQuietLine();
    // The block answers are polled for: the notification must not take them.
    link::InstallRxNotification(false);
    link::FlushQueues();
    ReadBlocks(GraphSource());
    link::InstallRxNotification(true);
    link::FlushQueues();

    RequestOneLiveFrame();
    FillLineArrays();
    PlotDATACurve(link::yArrayA, link::yArrayB, upArray, loArray, refArray);
    platform::SetCtrlAttribute(panelHandle, params::PANEL_BTNDATA, platform::kAttrDimmed, 0);
    link::FlushQueues();
    return 0;
}

void PlotDATACurve(const std::uint16_t* curveA, const std::uint16_t* curveB,
                   const std::uint16_t* upper, const std::uint16_t* lower,
                   const std::uint16_t* refLine) {
    SetVisible(params::PANEL_STRIPRAW, 0);
    SetVisible(params::PANEL_STRIPNORM, 0);
    platform::SetAxisScalingMode(panelHandle, params::PANEL_GRAPHDATA, 0, 0, 1.0,
                                 static_cast<double>(kCurvePoints));
    platform::DeleteGraphPlot(panelHandle, params::PANEL_GRAPHDATA, -1, 1);

    const std::array<const std::uint16_t*, 5> arrays{curveA, curveB, upper, lower, refLine};
    switch (GraphSource()) {
    case kSourceRaw:
        SetYAxis(kRawAxisName);
        PlotCurves(kRawPlots, arrays);
        break;
    case kSourceNorm:
        SetYAxis(kNormAxisName);
        PlotCurves(kNormPlots, arrays);
        break;
    default: // any other graph source leaves the graph empty
        break;
    }
}

void RegisterLiveCallbacks() {
    platform::RegisterCallback("CC_BTNRun", CC_BTNRun);
    platform::RegisterCallback("CC_BTNStop", CC_BTNStop);
    platform::RegisterCallback("CC_BTNData", CC_BTNData);
    platform::RegisterCallback("CC_TOGBTNRecord", CC_TOGBTNRecord);
    platform::RegisterCallback("CC_BTNSaveCurve", CC_BTNSaveCurve);
}

} // namespace ovx::live
