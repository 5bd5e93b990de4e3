// Graph control: x/y plots with fixed or data-driven axes. Points outside the axis ranges are
// clipped to the plot area.
#pragma once

#include <QColor>
#include <QPointF>
#include <QString>
#include <QWidget>

#include <vector>

#include "platform/chart_axes.h"

namespace ovx::platform {

struct GraphPlot {
    std::vector<QPointF> points;
    int plotStyle = 0;  // kThinLine or kConnectedPoints
    int pointStyle = 0; // kPointEmptySquare draws an empty square at each marked point
    int lineStyle = 0;  // kSolid or kDash
    int pointFrequency = 1;
    QColor colour;
};

class Graph : public QWidget {
    Q_OBJECT

  public:
    explicit Graph(QWidget* parent = nullptr);

    // Handle of the new plot (> 0).
    int addPlot(GraphPlot plot);
    // Removes one plot (handle) or all (-1); false for an unknown handle.
    bool deletePlot(int handle, bool refresh);
    int plotCount() const { return static_cast<int>(plots_.size()); }
    // axis 0 = x, 1 = y. A manual range stays until set again.
    void setAxisRange(int axis, double min, double max);
    detail::AxisRange axisRange(int axis) const;
    void setYName(const QString& name);
    const QString& yName() const { return yName_; }

    QSize sizeHint() const override { return {520, 300}; }
    QSize minimumSizeHint() const override { return {240, 140}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct Entry {
        int handle;
        GraphPlot plot;
    };
    detail::AxisRange autoRange(int axis) const;
    void drawPlot(QPainter& painter, const detail::ChartFrame& frame, const GraphPlot& plot);

    std::vector<Entry> plots_;
    int nextHandle_ = 1;
    bool manual_[2] = {false, false};
    detail::AxisRange range_[2];
    QString yName_;
    std::vector<QPointF> mapped_;
};

} // namespace ovx::platform
