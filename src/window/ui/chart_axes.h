// Inside the engine: axis ranges, tick steps and the frame (grid, tick labels, axis names)
// shared by the strip chart and the graph. The arithmetic is free of widgets.
#pragma once

#include <QRectF>
#include <QString>

#include <algorithm>
#include <vector>

class QPainter;

namespace ovx::ui::detail {

struct AxisRange {
    double min = 0.0;
    double max = 1.0;
};

// Ticks at first, first + step, ... (count of them), step 1, 2 or 5 times a power of ten,
// at most about maxTicks inside [range.min, range.max].
struct Ticks {
    double first = 0.0;
    double step = 1.0;
    int count = 0;
};
Ticks NiceTicks(AxisRange range, int maxTicks);

// Range widened outwards to whole tick steps; an empty or inverted range becomes usable.
AxisRange NiceRange(double lo, double hi, int maxTicks);

// Where the x axis is labelled: at its round ticks, or also at its end, which a chart of points
// must name (0 ... 99 for 100 points, where the round ticks stop at 80).
enum class XLabels { kRoundTicks, kRoundTicksAndEnd };

// The labelled x values, in order. With kRoundTicksAndEnd the last is range.max; a round tick
// less than half a step before it gives way, so the two labels never crowd each other.
std::vector<double> XLabelValues(AxisRange range, int maxTicks, XLabels labels);

// Plot area inside a widget and the mapping of values onto it.
class ChartFrame {
  public:
    // Mapped coordinates are kept within this many pixels of the plot area (clipped anyway).
    static constexpr double kFarOutside = 1.0e5;

    ChartFrame(const QRectF& bounds, int fontHeight, AxisRange x, AxisRange y, bool yName,
               XLabels xLabels = XLabels::kRoundTicks);
    const QRectF& plot() const { return plot_; }
    AxisRange x() const { return x_; }
    AxisRange y() const { return y_; }
    std::vector<double> xLabels() const; // the x values that carry a label, in order
    // Pixel coordinates; values far outside the range stay at a bounded distance. Inline: a
    // strip chart maps every point of every trace on every paint.
    double MapX(double v) const {
        const double span = x_.max - x_.min;
        const double px = plot_.left() + (span > 0.0 ? (v - x_.min) / span : 0.5) * plot_.width();
        return std::clamp(px, plot_.left() - kFarOutside, plot_.right() + kFarOutside);
    }
    double MapY(double v) const {
        const double span = y_.max - y_.min;
        const double py =
            plot_.bottom() - (span > 0.0 ? (v - y_.min) / span : 0.5) * plot_.height();
        return std::clamp(py, plot_.top() - kFarOutside, plot_.bottom() + kFarOutside);
    }
    // Grid, tick labels and the y-axis name; the painter's state is left as found.
    void Draw(QPainter& painter, const QString& yName) const;

  private:
    void DrawXLabels(QPainter& painter) const;

    QRectF plot_;
    double right_ = 0.0; // the widget's right edge: no label reaches past it
    AxisRange x_;
    AxisRange y_;
    XLabels xLabels_;
};

} // namespace ovx::ui::detail
