// Strip-chart traces: history shifting, refills, the RAW and NORM plots and their indicators.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "app/leds.h"
#include "app/panel_handles.h"
#include "app/strip.h"
#include "link/com232.h"
#include "params/panels.h"
#include "params/variables.h"
#include "support/row_name.h"
#include "support/tool_fixture.h"
#include "ui/panel.h"
#include "ui/plot.h"

namespace ovx::app {
namespace {

TEST(Shift, RejectsAnEmptyCountAndAShiftOfTheWholeArrayWithoutWriting) {
    const std::array<double, 4> in{1, 2, 3, 4};
    std::array<double, 4> out{9, 9, 9, 9};
    EXPECT_EQ(Shift(in.data(), 0, 1, out.data()), -20003);
    EXPECT_EQ(Shift(in.data(), -3, 0, out.data()), -20003);
    EXPECT_EQ(Shift(in.data(), 4, 4, out.data()), -20102);
    EXPECT_EQ(Shift(in.data(), 4, -4, out.data()), -20102);
    EXPECT_EQ(Shift(in.data(), 4, -1000, out.data()), -20102);
    EXPECT_EQ(out, (std::array<double, 4>{9, 9, 9, 9}));
    EXPECT_EQ(Copy1D(in.data(), 0, out.data()), -20003);
    EXPECT_EQ(out, (std::array<double, 4>{9, 9, 9, 9}));
}

TEST(Shift, ByZeroIsAPlainCopy) {
    const std::array<double, 4> in{1, 2, 3, 4};
    std::array<double, 4> out{};
    EXPECT_EQ(Shift(in.data(), 4, 0, out.data()), 0);
    EXPECT_EQ(out, in);
}

TEST(Shift, MovesInPlaceInBothDirectionsAndFillsWithZeros) {
    std::array<double, 6> a{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(Shift(a.data(), 6, 2, a.data()), 0);
    EXPECT_EQ(a, (std::array<double, 6>{0, 0, 1, 2, 3, 4}));
    std::array<double, 6> b{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(Shift(b.data(), 6, -2, b.data()), 0);
    EXPECT_EQ(b, (std::array<double, 6>{3, 4, 5, 6, 0, 0}));
    std::array<double, 6> c{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(Shift(c.data(), 6, 5, c.data()), 0);
    EXPECT_EQ(c, (std::array<double, 6>{0, 0, 0, 0, 0, 1}));
}

TEST(Shift, LeavesSlotsBeyondTheCountAlone) {
    std::array<double, 5> a{1, 2, 3, 4, 5};
    EXPECT_EQ(Shift(a.data(), 3, -1, a.data()), 0);
    EXPECT_EQ(a, (std::array<double, 5>{2, 3, 0, 4, 5}));
}

TEST(Fillarray, RefillsEveryPointWithUnclampedLines) {
    FillarrayNORM(512, 300, 7);
    for (int k = 0; k < kHistoryPoints; ++k) {
        ASSERT_EQ(arrayNORM[4 * k], 812);
        ASSERT_EQ(arrayNORM[4 * k + 1], -212);
        ASSERT_EQ(arrayNORM[4 * k + 2], 300);
        ASSERT_EQ(arrayNORM[4 * k + 3], 7);
    }
    FillarrayRAW(11, 22);
    for (int k = 0; k < kHistoryPoints; ++k) {
        ASSERT_EQ(arrayRAW[2 * k], 11);
        ASSERT_EQ(arrayRAW[2 * k + 1], 22);
    }
}

class StripTest : public testing::PanelFixture {
  protected:
    static void SetFrame(std::initializer_list<std::uint16_t> words) {
        std::fill(std::begin(link::pp), std::end(link::pp), std::uint16_t{0});
        std::copy(words.begin(), words.end(), link::pp);
    }
    static int Value(int control) {
        int v = -1;
        ui::GetCtrlVal(app::panelHandle, control, &v);
        return v;
    }
    static int Attribute(int control, int attribute) {
        int v = -1;
        ui::GetCtrlAttribute(app::panelHandle, control, attribute, &v);
        return v;
    }
    static std::vector<double> Trace(int control, int trace) {
        std::vector<double> points(1000);
        const int n =
            ui::GetStripChartPoints(app::panelHandle, control, trace, points.data(), 1000);
        points.resize(static_cast<std::size_t>(std::max(n, 0)));
        return points;
    }
    static void SetHwMode(int mode) {
        ui::SetCtrlVal(app::panelHandle, params::PANEL_HWMODE, mode);
    }
};

TEST_F(StripTest, RawPlotAppendsTheNewestPointAndShowsTheFrameOnTheIndicators) {
    FillarrayRAW(1, 2);
    SetFrame({2100, 1500, 1600, 1700, 1800, 1900, 1200, 333, 9});
    PlotRAWValues();
    EXPECT_EQ(arrayRAW[0], 1);
    EXPECT_EQ(arrayRAW[196], 1);
    EXPECT_EQ(arrayRAW[197], 2);
    EXPECT_EQ(arrayRAW[198], 1500);
    EXPECT_EQ(arrayRAW[199], 1600);
    EXPECT_EQ(Value(params::PANEL_VALNORM), 2100);
    EXPECT_EQ(Value(params::PANEL_ADCCHA), 1500);
    EXPECT_EQ(Value(params::PANEL_ADCCHB), 1600);
    EXPECT_EQ(Value(params::PANEL_AMAX), 1700);
    EXPECT_EQ(Value(params::PANEL_UPVAL), 1900);
    EXPECT_EQ(Value(params::PANEL_LOVAL), 1200);
    EXPECT_EQ(Value(params::PANEL_TOLERANCE), 333);
    EXPECT_EQ(live::Bmax, 1800);
    EXPECT_EQ(live::btnval, 9);
    EXPECT_EQ(Attribute(params::PANEL_STRIPRAW, ui::kAttrNumTraces), 2);
    EXPECT_EQ(Attribute(params::PANEL_STRIPRAW, ui::kAttrPointsPerScreen), 100);
    const auto a = Trace(params::PANEL_STRIPRAW, 1);
    const auto b = Trace(params::PANEL_STRIPRAW, 2);
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    EXPECT_EQ(a.back(), 1500);
    EXPECT_EQ(b.back(), 1600);
}

TEST_F(StripTest, RawPlotKeepsOneHundredPointsAndDropsTheOldest) {
    FillarrayRAW(0, 0);
    for (int i = 1; i <= 101; ++i) {
        SetFrame({0, static_cast<std::uint16_t>(i), static_cast<std::uint16_t>(1000 + i)});
        PlotRAWValues();
    }
    EXPECT_EQ(arrayRAW[0], 2);
    EXPECT_EQ(arrayRAW[1], 1002);
    EXPECT_EQ(arrayRAW[198], 101);
    EXPECT_EQ(arrayRAW[199], 1101);
}

TEST_F(StripTest, FrameWordsAboveInt16AreShownAndPlottedUnsigned) {
    SetFrame({65535, 40000, 32768});
    PlotRAWValues();
    EXPECT_EQ(live::valNORM, 65535);
    EXPECT_EQ(Value(params::PANEL_VALNORM), 65535);
    EXPECT_EQ(Value(params::PANEL_ADCCHA), 40000);
    EXPECT_EQ(arrayRAW[198], 40000);
    EXPECT_EQ(arrayRAW[199], 32768);
}

TEST_F(StripTest, NormPlotClampsTheLimitLinesOfNewPointsTo1000And1) {
    SetHwMode(0);
    params::reference = 900;
    params::tolerance = 200;
    SetFrame({950});
    PlotNORMValues(arrayNORM);
    EXPECT_EQ(upTHR, 1000);
    EXPECT_EQ(loTHR, 700);
    EXPECT_EQ(arrayNORM[396], 1000);
    EXPECT_EQ(arrayNORM[397], 700);
    EXPECT_EQ(arrayNORM[398], 900);
    EXPECT_EQ(arrayNORM[399], 950);
    params::reference = 100;
    params::tolerance = 100;
    PlotNORMValues(arrayNORM);
    EXPECT_EQ(loTHR, 1);
    EXPECT_EQ(arrayNORM[397], 1);
    params::tolerance = 300;
    PlotNORMValues(arrayNORM);
    EXPECT_EQ(loTHR, 1);
    EXPECT_EQ(upTHR, 400);
    EXPECT_EQ(valREF, 100);
    // The previous point moved one place towards the start.
    EXPECT_EQ(arrayNORM[392], 200);
    EXPECT_EQ(arrayNORM[393], 1);
}

TEST_F(StripTest, NormLinesFollowTheParameterInHardwareModes0And2AndTheFrameOtherwise) {
    params::reference = 500;
    params::tolerance = 100;
    SetFrame({510, 0, 0, 0, 0, 0, 0, 40});
    for (int mode : {0, 2}) {
        SetHwMode(mode);
        PlotNORMValues(arrayNORM);
        EXPECT_EQ(upTHR, 600) << "mode " << mode;
        EXPECT_EQ(loTHR, 400) << "mode " << mode;
        EXPECT_EQ(Value(params::PANEL_TOLERANCE), 100) << "mode " << mode;
    }
    for (int mode : {1, 3, 7}) {
        SetHwMode(mode);
        PlotNORMValues(arrayNORM);
        EXPECT_EQ(upTHR, 540) << "mode " << mode;
        EXPECT_EQ(loTHR, 460) << "mode " << mode;
        EXPECT_EQ(Value(params::PANEL_TOLERANCE), 40) << "mode " << mode;
    }
    EXPECT_EQ(Attribute(params::PANEL_STRIPNORM, ui::kAttrNumTraces), 4);
    EXPECT_EQ(Attribute(params::PANEL_STRIPNORM, ui::kAttrPointsPerScreen), 100);
    const auto value = Trace(params::PANEL_STRIPNORM, 4);
    ASSERT_FALSE(value.empty());
    EXPECT_EQ(value.back(), 510);
}

TEST_F(StripTest, EveryPlotJudgesBothSwitchingOutputs) {
    params::reference = 2048;
    params::tolerance = 512;
    params::hysteresis = 20;
    params::polarity = 1;
    live::refTHD = 2048;
    live::upTHD = 2560;
    live::lowTHD = 1536;
    SetFrame({2100});
    PlotRAWValues();
    EXPECT_EQ(Value(params::PANEL_LEDREF), 1);
    EXPECT_EQ(Value(params::PANEL_LEDTOL), 1);
    SetFrame({3000});
    PlotNORMValues(arrayNORM);
    EXPECT_EQ(Value(params::PANEL_LEDREF), 1);
    EXPECT_EQ(Value(params::PANEL_LEDTOL), 0);
    SetFrame({1000});
    PlotRAWValues();
    EXPECT_EQ(Value(params::PANEL_LEDREF), 0);
    EXPECT_EQ(Value(params::PANEL_LEDTOL), 0);
}

// What the chart holds after a plot is the history, point for point: no point of an earlier
// plot stays at its left edge.
struct ChartCase {
    const char* name;
    int control;
    int traces;
    bool norm;
};

class ChartHoldsTheHistory : public StripTest, public ::testing::WithParamInterface<ChartCase> {};

TEST_P(ChartHoldsTheHistory, PointForPointAfterEveryFrame) {
    const ChartCase& c = GetParam();
    SetHwMode(0);
    params::reference = 500;
    params::tolerance = 100;
    FillarrayRAW(1, 2);
    FillarrayNORM(100, 500, 3);
    const double* history = c.norm ? arrayNORM : arrayRAW;
    for (std::uint16_t i = 1; i <= 3; ++i) {
        SetFrame({static_cast<std::uint16_t>(700 + i), static_cast<std::uint16_t>(10 * i),
                  static_cast<std::uint16_t>(20 * i)});
        c.norm ? PlotNORMValues(arrayNORM) : PlotRAWValues();
        for (int trace = 1; trace <= c.traces; ++trace) {
            const auto shown = Trace(c.control, trace);
            ASSERT_EQ(shown.size(), static_cast<std::size_t>(kHistoryPoints))
                << "frame " << i << " trace " << trace;
            for (int k = 0; k < kHistoryPoints; ++k) {
                ASSERT_EQ(shown[static_cast<std::size_t>(k)], history[c.traces * k + trace - 1])
                    << "frame " << i << " trace " << trace << " point " << k;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(StripCharts, ChartHoldsTheHistory,
                         ::testing::Values(ChartCase{"Raw", params::PANEL_STRIPRAW, 2, false},
                                           ChartCase{"Norm", params::PANEL_STRIPNORM, 4, true}),
                         testing::RowName());

} // namespace
} // namespace ovx::app
