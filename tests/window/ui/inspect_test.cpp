// Looking closer: zoom, pan and cursor of the graph, the paused strip chart, PNG export.
#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <array>

#include "panel_fixture.h"
#include "platform/errors.h"
#include "ui/chart_freeze.h"
#include "ui/graph.h"
#include "ui/image_file.h"
#include "ui/plot.h"
#include "ui/strip_chart.h"

namespace ovx::ui {
namespace {

// A graph of y = 2x for x = 0..127 on fixed axes 0..127 and 0..300.
class GraphLook : public ::testing::Test {
  protected:
    void SetUp() override {
        GraphPlot plot;
        for (int x = 0; x < 128; ++x) {
            plot.points.emplace_back(x, 2 * x);
        }
        plot.colour = Qt::red;
        graph_.addPlot(plot);
        graph_.setAxisRange(0, 0, 127);
        graph_.setAxisRange(1, 0, 300);
        graph_.resize(600, 400);
    }
    double PixelX(double x) const {
        const auto r = graph_.shownRange(0);
        const QRectF plot = detail::ChartFrame(graph_.rect(), graph_.fontMetrics().height(), r,
                                               graph_.shownRange(1), false)
                                .plot();
        return plot.left() + (x - r.min) / (r.max - r.min) * plot.width();
    }
    Graph graph_;
};

TEST_F(GraphLook, WheelZoomsAroundTheMouseAndDoubleClickResets) {
    const QPointF at(PixelX(64), 200);
    QWheelEvent wheel(at, graph_.mapToGlobal(at), {}, {0, 120}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&graph_, &wheel);
    ASSERT_TRUE(graph_.isZoomed());
    const auto x = graph_.shownRange(0);
    EXPECT_NEAR(x.max - x.min, 127 * 0.8, 1e-6);
    EXPECT_LT(x.min, 64);
    EXPECT_GT(x.max, 64);
    QTest::mouseDClick(&graph_, Qt::LeftButton, {}, QPoint(300, 200));
    EXPECT_FALSE(graph_.isZoomed());
    EXPECT_EQ(graph_.shownRange(0).max, 127);
}

TEST_F(GraphLook, DraggedRectangleBecomesTheViewAndRightDragPans) {
    const int left = static_cast<int>(PixelX(20));
    const int right = static_cast<int>(PixelX(40));
    QTest::mousePress(&graph_, Qt::LeftButton, {}, QPoint(left, 100));
    QTest::mouseMove(&graph_, QPoint(right, 250));
    QTest::mouseRelease(&graph_, Qt::LeftButton, {}, QPoint(right, 250));
    ASSERT_TRUE(graph_.isZoomed());
    EXPECT_NEAR(graph_.shownRange(0).min, 20, 0.5);
    EXPECT_NEAR(graph_.shownRange(0).max, 40, 0.5);
    const auto before = graph_.shownRange(0);
    QTest::mousePress(&graph_, Qt::RightButton, {}, QPoint(300, 200));
    QTest::mouseMove(&graph_, QPoint(200, 200));
    QTest::mouseRelease(&graph_, Qt::RightButton, {}, QPoint(200, 200));
    EXPECT_GT(graph_.shownRange(0).min, before.min); // dragged left: later x come in
    EXPECT_NEAR(graph_.shownRange(0).max - graph_.shownRange(0).min, before.max - before.min, 1e-9);
    graph_.setAxisRange(0, 0, 127); // a new curve's range shows whole
    EXPECT_FALSE(graph_.isZoomed());
}

TEST_F(GraphLook, CursorShowsTheNearestPointOfEachPlot) {
    EXPECT_EQ(graph_.cursorTextAt(PixelX(50.2)), QStringLiteral("x 50   100"));
    graph_.zoomTo({40, 60}, {0, 300});
    EXPECT_EQ(graph_.cursorTextAt(PixelX(59.9)), QStringLiteral("x 60   120"));
    EXPECT_TRUE(graph_.cursorTextAt(1).isEmpty()); // left of the plot area
}

TEST(StripChartPause, StillPictureKeepsItsPointsWhileTheChartGoesOn) {
    StripChart chart;
    chart.resize(500, 300);
    chart.setTraceCount(2);
    chart.setPointsPerScreen(100);
    for (int p = 0; p < 100; ++p) {
        chart.pushValue(p);
        chart.pushValue(1000 - p);
    }
    ASSERT_EQ(SetStripChartPaused(&chart, true), 0);
    EXPECT_TRUE(StripChartPaused(&chart));
    for (int p = 0; p < 50; ++p) {
        chart.pushValue(-1);
        chart.pushValue(-1);
    }
    auto* freeze = chart.findChild<StripChartFreeze*>();
    ASSERT_NE(freeze, nullptr);
    const QRectF plot = chart.currentFrame().plot();
    const double x30 = plot.left() + 30.0 / 99.0 * plot.width();
    EXPECT_EQ(freeze->cursorTextAt(x30), QStringLiteral("x 30   30   970"));
    std::array<double, 100> now{};
    chart.points(1, now.data(), 100);
    EXPECT_EQ(now[99], -1); // the chart itself went on
    SetStripChartPaused(&chart, false);
    EXPECT_FALSE(StripChartPaused(&chart));
}

using Export = testing::RealPanels;

TEST_F(Export, PngHasTheChartSizeTimesScaleAndItsTrace) {
    Window(main_)->resize(1240, 690);
    Window(main_)->show();
    const int chart = params::PANEL_STRIPNORM;
    SetCtrlAttribute(main_, chart, kAttrNumTraces, 1);
    SetTraceAttribute(main_, chart, 1, kAttrTraceColor, 0xFF0000);
    std::array<double, 100> values{};
    values.fill(500.0);
    PlotStripChart(main_, chart, values.data(), 100, 0, 0, 4);
    QTemporaryDir dir;
    const QSize size = Ctrl<QWidget>(main_, chart)->size();
    for (int scale : {1, 2}) {
        const QString path = dir.filePath(QStringLiteral("chart%1.png").arg(scale));
        ASSERT_EQ(SaveCtrlImage(main_, chart, path.toLocal8Bit().constData(), scale), 0);
        const QImage image(path);
        ASSERT_EQ(image.size(), size * scale);
        int red = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                red +=
                    c.red() - c.green() > 80 && c.red() - c.blue() > 80 ? 1 : 0; // antialiased red
            }
        }
        EXPECT_GT(red, size.width() / 2 * scale) << "scale " << scale; // the line at 500
    }
    EXPECT_EQ(SaveCtrlImage(main_, chart, dir.filePath("x/y.png").toLocal8Bit().constData(), 1),
              platform::kFileCannotOpen);
    EXPECT_EQ(SaveCtrlImage(main_, chart, "a.png", 3), platform::kUiInvalidArgument);
}

} // namespace
} // namespace ovx::ui
