// The rows of a chart's plot area that its traces cross, kept for each of a few groups of pixel
// columns. A new frame of a strip chart moves every trace, but a trace crosses few rows of each
// group: a repaint that restores the background there, and not across every row any trace
// crosses anywhere, copies a fraction of the pixels (a step in a trace widens the group it is in,
// not the whole plot area).
#pragma once

#include <QPointF>
#include <QRect>
#include <QRegion>

#include <array>
#include <vector>

namespace ovx::ui::detail {

class TraceBands {
  public:
    static constexpr int kGroups = 16;

    TraceBands() = default;
    explicit TraceBands(const QRect& plot) : plot_(plot) {}

    // The pixels a one-pixel antialiased polyline through the points may touch.
    void addPolyline(const QPointF* points, int n);
    // Takes in the rows of other as well; bands of another plot area take in the whole of it.
    void unite(const TraceBands& other);
    // The group rectangles, inside the plot area; empty when no trace is drawn.
    QRegion region() const;
    std::vector<QRect> rects() const; // the same, a rectangle a group, left to right
    QRect bounds() const;             // the rectangle around them all
    bool isEmpty() const;

  private:
    void addSpan(double left, double right, double top, double bottom);
    void takeAll();

    QRect plot_;
    std::array<int, kGroups> top_ = Empty(1);     // per group, the first row crossed
    std::array<int, kGroups> bottom_ = Empty(-1); // and the last one; top > bottom: none

    static constexpr std::array<int, kGroups> Empty(int sign) {
        std::array<int, kGroups> a{};
        a.fill(sign * (1 << 30));
        return a;
    }
};

} // namespace ovx::ui::detail
