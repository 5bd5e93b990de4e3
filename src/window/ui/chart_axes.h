// Inside the engine: axis ranges, tick steps and the frame (grid, tick labels, axis names)
// shared by the strip chart and the graph. The arithmetic is free of widgets.
#pragma once

#include <QRectF>
#include <QString>

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
    ChartFrame(const QRectF& bounds, int fontHeight, AxisRange x, AxisRange y, bool yName,
               XLabels xLabels = XLabels::kRoundTicks);
    const QRectF& plot() const { return plot_; }
    AxisRange x() const { return x_; }
    AxisRange y() const { return y_; }
    std::vector<double> xLabels() const; // the x values that carry a label, in order
    // Pixel coordinates; values far outside the range stay at a bounded distance.
    double MapX(double v) const;
    double MapY(double v) const;
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
