// Strip charts, graphs, LEDs and the axis arithmetic behind them.
#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "panel_fixture.h"
#include "platform/errors.h"
#include "support/row_name.h"
#include "ui/chart_axes.h"
#include "ui/graph.h"
#include "ui/led.h"
#include "ui/plot.h"
#include "ui/strip_chart.h"

namespace ovx::ui::testing {
namespace {

using namespace ovx::params;

class StripCharts : public RealPanels {
  protected:
    std::vector<double> Trace(int chart, int trace) const {
        std::vector<double> out(1000);
        const int n = GetStripChartPoints(main_, chart, trace, out.data(), 1000);
        EXPECT_GE(n, 0);
        out.resize(static_cast<std::size_t>(std::max(n, 0)));
        return out;
    }
};

TEST_F(StripCharts, ConsecutiveValuesGoToConsecutiveTraces) {
    ASSERT_EQ(SetCtrlAttribute(main_, PANEL_STRIPNORM, kAttrNumTraces, 4), 0);
    const std::array<double, 8> values{1, 2, 3, 4, 11, 12, 13, 14};
    ASSERT_EQ(PlotStripChart(main_, PANEL_STRIPNORM, values.data(), 8, 0, 0, kTypeDouble), 0);
    for (int t = 1; t <= 4; ++t) {
        EXPECT_EQ(Trace(PANEL_STRIPNORM, t), (std::vector<double>{1.0 * t, 10.0 + t}));
    }
}

TEST_F(StripCharts, ChartKeepsTheLastPointsPerScreen) {
    ASSERT_EQ(SetCtrlAttribute(main_, PANEL_STRIPRAW, kAttrNumTraces, 2), 0);
    ASSERT_EQ(SetCtrlAttribute(main_, PANEL_STRIPRAW, kAttrPointsPerScreen, 100), 0);
    std::vector<double> values;
    for (int p = 0; p < 250; ++p) {
        values.push_back(p);
        values.push_back(-p);
    }
    // In two calls, as the live view hands over its history frame after frame.
    ASSERT_EQ(PlotStripChart(main_, PANEL_STRIPRAW, values.data(), 300, 0, 0, kTypeDouble), 0);
    ASSERT_EQ(PlotStripChart(main_, PANEL_STRIPRAW, values.data() + 300, 200, 0, 0, kTypeDouble),
              0);
    const auto a = Trace(PANEL_STRIPRAW, 1);
    const auto b = Trace(PANEL_STRIPRAW, 2);
    ASSERT_EQ(a.size(), 100u);
    ASSERT_EQ(b.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(a[static_cast<std::size_t>(i)], 150 + i);
        EXPECT_EQ(b[static_cast<std::size_t>(i)], -(150 + i));
    }
}

// A chart holding some points takes a history of whole points in one call, as the live view
// hands over its history every frame: the chart then shows the newest points of both.
struct HistoryRow {
    const char* name;
    int held;   // points plotted before, one call each
    int handed; // points in the one call after them
};

class StripChartHistory : public StripCharts, public ::testing::WithParamInterface<HistoryRow> {};

TEST_P(StripChartHistory, ShowsTheNewestPoints) {
    ASSERT_EQ(SetCtrlAttribute(main_, PANEL_STRIPRAW, kAttrNumTraces, 2), 0);
    ASSERT_EQ(SetCtrlAttribute(main_, PANEL_STRIPRAW, kAttrPointsPerScreen, 100), 0);
    const auto point = [](int p) { return std::array<double, 2>{1.0 * p, 1000.0 + p}; };
    for (int p = 0; p < GetParam().held; ++p) {
        ASSERT_EQ(PlotStripChart(main_, PANEL_STRIPRAW, point(p).data(), 2, 0, 0, kTypeDouble), 0);
    }
    std::vector<double> history;
    const int total = GetParam().held + GetParam().handed;
    for (int p = GetParam().held; p < total; ++p) {
        history.insert(history.end(), {point(p)[0], point(p)[1]});
    }
    ASSERT_EQ(PlotStripChart(main_, PANEL_STRIPRAW, history.data(),
                             static_cast<int>(history.size()), 0, 0, kTypeDouble),
              0);
    std::vector<double> a, b;
    for (int p = std::max(total - 100, 0); p < total; ++p) {
        a.push_back(point(p)[0]);
        b.push_back(point(p)[1]);
    }
    EXPECT_EQ(Trace(PANEL_STRIPRAW, 1), a);
    EXPECT_EQ(Trace(PANEL_STRIPRAW, 2), b);
}

INSTANTIATE_TEST_SUITE_P(Plots, StripChartHistory,
                         ::testing::Values(HistoryRow{"IntoAnEmptyChart", 0, 100},
                                           HistoryRow{"FewIntoAnEmptyChart", 0, 5},
                                           HistoryRow{"RoundTheEndOfTheRing", 30, 100},
                                           HistoryRow{"FillingTheScreen", 70, 50},
                                           HistoryRow{"AfterAFullScreen", 130, 40},
                                           HistoryRow{"MoreThanTheScreen", 10, 250}),
                         ovx::testing::RowName());

TEST_F(StripCharts, RepeatingTheSameLayoutKeepsTheData) {
    // The live view sets traces, points per screen and scroll mode before every plot.
    const std::array<double, 4> frame{1, 2, 3, 4};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(SetCtrlAttribute(main_, PANEL_STRIPNORM, kAttrPointsPerScreen, 101), 0);
        ASSERT_EQ(SetCtrlAttribute(main_, PANEL_STRIPNORM, kAttrScrollMode, 1), 0);
        ASSERT_EQ(SetCtrlAttribute(main_, PANEL_STRIPNORM, kAttrNumTraces, 4), 0);
        ASSERT_EQ(PlotStripChart(main_, PANEL_STRIPNORM, frame.data(), 4, 0, 0, kTypeDouble), 0);
    }
    EXPECT_EQ(Trace(PANEL_STRIPNORM, 4), (std::vector<double>{4, 4, 4}));
    int v = 0;
    ASSERT_EQ(GetCtrlAttribute(main_, PANEL_STRIPNORM, kAttrPointsPerScreen, &v), 0);
    EXPECT_EQ(v, 101);
    // A new layout starts empty.
    ASSERT_EQ(SetCtrlAttribute(main_, PANEL_STRIPNORM, kAttrNumTraces, 2), 0);
    EXPECT_TRUE(Trace(PANEL_STRIPNORM, 1).empty());
}

TEST_F(StripCharts, IntegerTypesAreTakenAsWell) {
    ASSERT_EQ(SetCtrlAttribute(main_, PANEL_STRIPRAW, kAttrNumTraces, 2), 0);
    const std::array<std::int32_t, 2> ints{-5, 70000};
    const std::array<std::uint16_t, 2> words{65535, 7};
    ASSERT_EQ(PlotStripChart(main_, PANEL_STRIPRAW, ints.data(), 2, 0, 0, kTypeInt), 0);
    ASSERT_EQ(PlotStripChart(main_, PANEL_STRIPRAW, words.data(), 2, 0, 0, kTypeUShort), 0);
    EXPECT_EQ(Trace(PANEL_STRIPRAW, 1), (std::vector<double>{-5, 65535}));
    EXPECT_EQ(Trace(PANEL_STRIPRAW, 2), (std::vector<double>{70000, 7}));
}

TEST_F(StripCharts, BadArgumentsChangeNothing) {
    ASSERT_EQ(SetCtrlAttribute(main_, PANEL_STRIPNORM, kAttrNumTraces, 4), 0);
    const std::array<double, 6> values{};
    EXPECT_EQ(PlotStripChart(main_, PANEL_STRIPNORM, values.data(), 6, 0, 0, kTypeDouble),
              platform::kUiInvalidArgument); // not whole points
    EXPECT_EQ(PlotStripChart(main_, PANEL_STRIPNORM, values.data(), 4, 0, 0, 99),
              platform::kUiInvalidArgument);
    EXPECT_EQ(PlotStripChart(main_, PANEL_STRIPNORM, nullptr, 4, 0, 0, kTypeDouble),
              platform::kUiInvalidArgument);
    EXPECT_EQ(PlotStripChart(main_, PANEL_GRAPHDATA, values.data(), 4, 0, 0, kTypeDouble),
              platform::kUiWrongControlKind);
    EXPECT_TRUE(Trace(PANEL_STRIPNORM, 1).empty());
    EXPECT_EQ(SetCtrlAttribute(main_, PANEL_STRIPNORM, kAttrNumTraces, 0),
              platform::kUiInvalidArgument);
    EXPECT_EQ(SetTraceAttribute(main_, PANEL_STRIPNORM, 0, kAttrTraceColor, 0),
              platform::kUiInvalidArgument);
    EXPECT_EQ(SetTraceAttribute(main_, PANEL_STRIPNORM, 4, kAttrTraceColor, 0xFF0000), 0);
    EXPECT_EQ(GetStripChartPoints(main_, PANEL_STRIPNORM, 5, nullptr, 0),
              platform::kUiInvalidArgument);
}

TEST_F(StripCharts, ClearEmptiesEveryTrace) {
    const std::array<double, 4> frame{1, 2, 3, 4};
    SetCtrlAttribute(main_, PANEL_STRIPNORM, kAttrNumTraces, 4);
    PlotStripChart(main_, PANEL_STRIPNORM, frame.data(), 4, 0, 0, kTypeDouble);
    ASSERT_EQ(ClearStripChart(main_, PANEL_STRIPNORM), 0);
    EXPECT_TRUE(Trace(PANEL_STRIPNORM, 4).empty());
}

// --- graph ---

class Graphs : public RealPanels {
  protected:
    std::array<std::uint16_t, 128> x_{};
    std::array<std::uint16_t, 128> y_{};
    void SetUp() override {
        RealPanels::SetUp();
        for (std::size_t i = 0; i < x_.size(); ++i) {
            x_[i] = static_cast<std::uint16_t>(i);
            y_[i] = 500;
        }
    }
    int Plot(int colour, const std::uint16_t* y) {
        return PlotXY(main_, PANEL_GRAPHDATA, x_.data(), y, 128, kTypeUShort, kTypeUShort,
                      kConnectedPoints, kPointEmptySquare, kSolid, 1, colour);
    }
    // Pixels of exactly this colour in the rendered graph.
    int CountColour(QRgb colour) {
        auto* graph = static_cast<QWidget*>(CtrlWidget(main_, PANEL_GRAPHDATA));
        graph->resize(400, 300);
        const QImage image = graph->grab().toImage();
        int n = 0;
        for (int yy = 0; yy < image.height(); ++yy) {
            for (int xx = 0; xx < image.width(); ++xx) {
                n += (image.pixel(xx, yy) & 0xFFFFFFu) == colour ? 1 : 0;
            }
        }
        return n;
    }
};

TEST_F(Graphs, PlotsAreCountedAndRemovedAllAtOnce) {
    const int first = Plot(0x00FF00, y_.data());
    const int second = Plot(0x0000FF, y_.data());
    EXPECT_GT(first, 0);
    EXPECT_GT(second, first);
    EXPECT_EQ(GetGraphPlotCount(main_, PANEL_GRAPHDATA), 2);
    ASSERT_EQ(DeleteGraphPlot(main_, PANEL_GRAPHDATA, first, 1), 0);
    EXPECT_EQ(GetGraphPlotCount(main_, PANEL_GRAPHDATA), 1);
    EXPECT_EQ(DeleteGraphPlot(main_, PANEL_GRAPHDATA, first, 1), platform::kUiInvalidArgument);
    Plot(0xFF0000, y_.data());
    ASSERT_EQ(DeleteGraphPlot(main_, PANEL_GRAPHDATA, -1, 1), 0);
    EXPECT_EQ(GetGraphPlotCount(main_, PANEL_GRAPHDATA), 0);
}

TEST_F(Graphs, PlotStylesAndTypesAreChecked) {
    const std::array<double, 2> dx{0.0, 1.0};
    const std::array<std::int32_t, 2> iy{-3, 4};
    EXPECT_GT(PlotXY(main_, PANEL_GRAPHDATA, dx.data(), iy.data(), 2, kTypeDouble, kTypeInt,
                     kThinLine, kPointEmptySquare, kDash, 1, 0),
              0);
    EXPECT_EQ(PlotXY(main_, PANEL_GRAPHDATA, dx.data(), iy.data(), 2, 3, kTypeInt, kThinLine,
                     kPointEmptySquare, kSolid, 1, 0),
              platform::kUiInvalidArgument);
    EXPECT_EQ(PlotXY(main_, PANEL_GRAPHDATA, dx.data(), iy.data(), 2, kTypeDouble, kTypeInt, 2,
                     kPointEmptySquare, kSolid, 1, 0),
              platform::kUiInvalidArgument);
    EXPECT_EQ(PlotXY(main_, PANEL_STRIPRAW, dx.data(), iy.data(), 2, kTypeDouble, kTypeInt,
                     kThinLine, kPointEmptySquare, kSolid, 1, 0),
              platform::kUiWrongControlKind);
    EXPECT_EQ(GetGraphPlotCount(main_, PANEL_GRAPHDATA), 1);
}

TEST_F(Graphs, ManualAxisRangeIsKept) {
    ASSERT_EQ(SetAxisScalingMode(main_, PANEL_GRAPHDATA, 0, 0, 1.0, 128.0), 0);
    ASSERT_EQ(SetAxisScalingMode(main_, PANEL_GRAPHDATA, 1, 0, 0.0, 1000.0), 0);
    Plot(0xFF0000, y_.data());
    auto* graph = Ctrl<Graph>(main_, PANEL_GRAPHDATA);
    EXPECT_EQ(graph->axisRange(0).min, 1.0);
    EXPECT_EQ(graph->axisRange(0).max, 128.0);
    EXPECT_EQ(graph->axisRange(1).max, 1000.0);
    EXPECT_EQ(SetAxisScalingMode(main_, PANEL_GRAPHDATA, 1, 0, 5.0, 5.0),
              platform::kUiInvalidArgument);
    EXPECT_EQ(SetAxisScalingMode(main_, PANEL_GRAPHDATA, 2, 0, 0.0, 1.0),
              platform::kUiInvalidArgument);
    ASSERT_EQ(SetCtrlAttribute(main_, PANEL_GRAPHDATA, kAttrYName, "NORM=1000*(A/Amax)"), 0);
    EXPECT_EQ(graph->yName(), "NORM=1000*(A/Amax)");
}

TEST_F(Graphs, PointsOutsideTheRangeAreNotDrawn) {
    SetAxisScalingMode(main_, PANEL_GRAPHDATA, 1, 0, 0.0, 1000.0);
    std::array<std::uint16_t, 128> high{};
    high.fill(4095);
    Plot(0xFF0000, high.data());
    EXPECT_EQ(CountColour(0xFF0000), 0);
    Plot(0xFF0000, y_.data());
    EXPECT_GT(CountColour(0xFF0000), 100);
}

// --- LED ---

TEST(LedControl, OnIsBrightGreenAndOffIsDark) {
    Led led;
    led.resize(24, 24);
    const auto centre = [&led] { return QColor(led.grab().toImage().pixel(12, 12)); };
    led.setValue(1);
    const QColor on = centre();
    led.setValue(0);
    const QColor off = centre();
    EXPECT_GT(on.green(), 150);
    EXPECT_GT(on.green(), on.red() + 50);
    EXPECT_LT(off.value(), on.value() / 2);
    led.setOnColor(QColor(0xFF, 0x20, 0x20));
    led.setValue(1);
    EXPECT_GT(centre().red(), centre().green());
}

// --- axis arithmetic ---

TEST(ChartAxes, TicksFallOnRoundSteps) {
    const auto t = detail::NiceTicks({0.0, 1000.0}, 8);
    EXPECT_EQ(t.step, 200.0);
    EXPECT_EQ(t.first, 0.0);
    EXPECT_EQ(t.count, 6);
    const auto x = detail::NiceTicks({1.0, 128.0}, 8);
    EXPECT_EQ(x.step, 20.0);
    EXPECT_EQ(x.first, 20.0);
    EXPECT_EQ(x.count, 6);
    const auto neg = detail::NiceTicks({-0.35, 0.35}, 8);
    EXPECT_DOUBLE_EQ(neg.step, 0.1);
    EXPECT_EQ(neg.count, 7);
}

TEST(ChartAxes, RangesWidenToWholeStepsAndSurviveBadInput) {
    const auto r = detail::NiceRange(0.0, 4095.0, 8);
    EXPECT_EQ(r.min, 0.0);
    EXPECT_EQ(r.max, 5000.0);
    const auto flat = detail::NiceRange(7.0, 7.0, 8);
    EXPECT_LT(flat.min, 7.0);
    EXPECT_GT(flat.max, 7.0);
    const auto swapped = detail::NiceRange(10.0, -10.0, 8);
    EXPECT_LE(swapped.min, -10.0);
    EXPECT_GE(swapped.max, 10.0);
    const auto nan = detail::NiceRange(std::nan(""), 1.0, 8);
    EXPECT_LT(nan.min, nan.max);
    EXPECT_EQ(detail::NiceTicks({1.0, 1.0}, 8).count, 1);
}

TEST(ChartAxes, FarValuesMapNearThePlotArea) {
    const detail::ChartFrame frame(QRectF(0, 0, 400, 300), 12, {0.0, 100.0}, {0.0, 1000.0}, false);
    EXPECT_NEAR(frame.MapY(0.0), frame.plot().bottom(), 1e-9);
    EXPECT_NEAR(frame.MapY(1000.0), frame.plot().top(), 1e-9);
    EXPECT_NEAR(frame.MapX(50.0), frame.plot().center().x(), 1e-9);
    EXPECT_GT(frame.MapY(-1e300), frame.plot().bottom());
    EXPECT_LT(frame.MapY(-1e300), 1e6);
}

// The y axis takes in the points the chart holds, and only those: a large value pushed out of
// the screen, or cleared away, no longer widens it.
struct YRangeRow {
    const char* name;
    std::vector<double> points; // one trace; nan = clear the chart
    double top;                 // of the y axis
};

class StripChartYRange : public ::testing::TestWithParam<YRangeRow> {};

TEST_P(StripChartYRange, FollowsThePointsHeld) {
    StripChart chart;
    ASSERT_TRUE(chart.setTraceCount(1));
    ASSERT_TRUE(chart.setPointsPerScreen(4));
    chart.resize(520, 300);
    for (const double v : GetParam().points) {
        if (std::isnan(v)) {
            chart.clear();
        } else {
            chart.pushValue(v);
        }
    }
    EXPECT_EQ(chart.currentFrame().y().max, GetParam().top);
}

constexpr double kClear = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Points, StripChartYRange,
    ::testing::Values(YRangeRow{"Default", {5, 6}, 1000},
                      YRangeRow{"WidenedByALargeValue", {5, 4000, 6}, 4000},
                      YRangeRow{"LargeValuePushedOut", {4000, 1, 2, 3, 4}, 1000},
                      YRangeRow{"LargeValueCleared", {1, 4000, 3, kClear, 7}, 1000},
                      YRangeRow{"ClearedAndWidenedAgain", {4000, kClear, 2500}, 2500}),
    ovx::testing::RowName());

// The strip chart numbers its points from 0; the x axis names the last one.
struct StripAxisRow {
    const char* name;
    int points;
    std::vector<double> labels;
};

class StripChartXAxis : public ::testing::TestWithParam<StripAxisRow> {};

TEST_P(StripChartXAxis, LastLabelIsTheLastPoint) {
    StripChart chart;
    ASSERT_TRUE(chart.setPointsPerScreen(GetParam().points));
    chart.resize(520, 300);
    EXPECT_EQ(chart.currentFrame().xLabels(), GetParam().labels);
}

INSTANTIATE_TEST_SUITE_P(
    Points, StripChartXAxis,
    ::testing::Values(StripAxisRow{"Hundred", 100, {0, 20, 40, 60, 80, 99}},
                      StripAxisRow{"RoundTickGivesWay", 256, {0, 50, 100, 150, 200, 255}},
                      StripAxisRow{"EndOnARoundTick", 201, {0, 50, 100, 150, 200}},
                      StripAxisRow{"Few", 7, {0, 1, 2, 3, 4, 5, 6}},
                      StripAxisRow{"Thousand", 1000, {0, 200, 400, 600, 800, 999}}),
    ovx::testing::RowName{});

TEST(ChartAxes, GraphsKeepTheirRoundTicksOnly) {
    const detail::ChartFrame frame(QRectF(0, 0, 400, 300), 12, {0.0, 99.0}, {0.0, 1.0}, false);
    EXPECT_EQ(frame.xLabels(), (std::vector<double>{0, 20, 40, 60, 80}));
}

} // namespace
} // namespace ovx::ui::testing
