// The bands a strip chart restores under its traces: every pixel an antialiased one-pixel
// polyline paints lies inside them, and a step in a trace widens one group of columns only.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPen>

#include <cmath>
#include <vector>

#include "support/row_name.h"
#include "ui/trace_bands.h"

namespace ovx::ui::testing {
namespace {

using detail::TraceBands;

const QRect kPlot(40, 10, 465, 380);

// The pixels a one-pixel cosmetic antialiased pen paints for the polyline, as the chart draws it.
QRegion Painted(const std::vector<QPointF>& points) {
    QImage image(kPlot.right() + 20, kPlot.bottom() + 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(Qt::black, 1.0);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.drawPolyline(points.data(), static_cast<int>(points.size()));
    painter.end();
    QRegion out;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != qRgb(255, 255, 255)) {
                out += QRect(x, y, 1, 1);
            }
        }
    }
    return out;
}

std::vector<QPointF> Trace(double (*y)(int), int count = 100) {
    std::vector<QPointF> points;
    for (int i = 0; i < count; ++i) {
        points.emplace_back(kPlot.left() + kPlot.width() * i / (count - 1.0), y(i));
    }
    return points;
}

struct BandRow {
    const char* name;
    std::vector<QPointF> points;
};

void PrintTo(const BandRow& row, std::ostream* os) {
    *os << row.name;
}

class TraceBandCover : public ::testing::TestWithParam<BandRow> {};

TEST_P(TraceBandCover, TakesInEveryPixelTheTracePaints) {
    TraceBands bands(kPlot);
    const auto& points = GetParam().points;
    bands.addPolyline(points.data(), static_cast<int>(points.size()));
    const QRegion painted = Painted(points).intersected(kPlot);
    ASSERT_FALSE(painted.isEmpty());
    EXPECT_TRUE(painted.subtracted(bands.region()).isEmpty())
        << "left out: " << painted.subtracted(bands.region()).boundingRect().x() << ","
        << painted.subtracted(bands.region()).boundingRect().y();
    for (const QRect& r : bands.rects()) {
        EXPECT_TRUE(kPlot.contains(r)) << "a band outside the plot area";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Traces, TraceBandCover,
    ::testing::Values(
        BandRow{"Level", {QPointF(40.0, 200.3), QPointF(504.0, 200.3)}},
        BandRow{"Wave", Trace([](int i) { return 200.0 + 150.0 * std::sin(i * 0.37); })},
        BandRow{"Noise", Trace([](int i) { return 30.0 + ((i * 7919) % 13) * 1.7; })},
        BandRow{"StepOnAGroupEdge",
                {QPointF(40.0, 380.0), QPointF(69.0, 380.0), QPointF(69.1, 20.0),
                 QPointF(504.0, 20.0)}},
        BandRow{"SteepSegments", Trace([](int i) { return i % 2 == 0 ? 15.0 : 385.0; }, 40)},
        BandRow{"ShortSegment", {QPointF(250.5, 150.5), QPointF(251.2, 151.0)}}),
    ovx::testing::RowName());

// A trace that steps from the bottom to the top of the plot restores the full height in the
// group of the step and a few rows in the others: far less than the rectangle around it all.
TEST(TraceBands, StepWidensOneGroupOnly) {
    const std::vector<QPointF> step{QPointF(40.0, 380.0), QPointF(200.0, 380.0),
                                    QPointF(204.0, 20.0), QPointF(504.0, 20.0)};
    TraceBands bands(kPlot);
    bands.addPolyline(step.data(), static_cast<int>(step.size()));
    long area = 0;
    for (const QRect& r : bands.rects()) {
        area += static_cast<long>(r.width()) * r.height();
    }
    const QRect around = bands.bounds();
    EXPECT_EQ(around, bands.region().boundingRect());
    EXPECT_EQ(around.height(), 380 - 20 + 5);
    EXPECT_LT(area * 4, static_cast<long>(around.width()) * around.height());
}

TEST(TraceBands, UnitedTakeInBothAndAnotherPlotTakesInAll) {
    const std::vector<QPointF> low{QPointF(40.0, 350.0), QPointF(504.0, 352.0)};
    const std::vector<QPointF> high{QPointF(300.0, 40.0), QPointF(504.0, 42.0)};
    TraceBands a(kPlot);
    a.addPolyline(low.data(), 2);
    TraceBands b(kPlot);
    b.addPolyline(high.data(), 2);
    TraceBands both = a;
    both.unite(b);
    EXPECT_TRUE(
        (Painted(low) + Painted(high)).intersected(kPlot).subtracted(both.region()).isEmpty());
    EXPECT_FALSE(both.region().contains(QPoint(100, 200))) << "a group the high trace misses";
    EXPECT_TRUE(both.region().contains(QPoint(400, 200))) << "one row range a group";

    TraceBands none;
    none.unite(a);
    EXPECT_EQ(none.region(), a.region());
    TraceBands other(kPlot.adjusted(0, 0, -10, 0));
    other.addPolyline(low.data(), 2);
    other.unite(b);
    EXPECT_EQ(other.region(), QRegion(kPlot.adjusted(0, 0, -10, 0)));
}

} // namespace
} // namespace ovx::ui::testing
