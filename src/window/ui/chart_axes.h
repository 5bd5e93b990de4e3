// Inside the engine: axis ranges, tick steps and the frame (grid, tick labels, axis names)
// shared by the strip chart and the graph. The arithmetic is free of widgets.
#pragma once

#include <QRectF>
#include <QString>

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

// Plot area inside a widget and the mapping of values onto it.
class ChartFrame {
  public:
    ChartFrame(const QRectF& bounds, int fontHeight, AxisRange x, AxisRange y, bool yName);
    const QRectF& plot() const { return plot_; }
    AxisRange x() const { return x_; }
    AxisRange y() const { return y_; }
    // Pixel coordinates; values far outside the range stay at a bounded distance.
    double MapX(double v) const;
    double MapY(double v) const;
    // Grid, tick labels and the y-axis name; the painter's state is left as found.
    void Draw(QPainter& painter, const QString& yName) const;

  private:
    QRectF plot_;
    AxisRange x_;
    AxisRange y_;
};

} // namespace ovx::ui::detail
