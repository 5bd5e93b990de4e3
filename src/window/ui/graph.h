// Graph control: x/y plots with fixed or data-driven axes. Points outside the axis ranges are
// clipped to the plot area.
#pragma once

#include <QColor>
#include <QPointF>
#include <QString>
#include <QWidget>

#include <vector>

#include "ui/chart_axes.h"
#include "ui/chart_cursor.h"

namespace ovx::ui {

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

    // Looking closer: the wheel zooms around the mouse, dragging a rectangle zooms into it,
    // dragging with the right (or middle) button pans, a double click shows the full range again.
    // The ranges the program set are kept; only the view changes.
    detail::AxisRange shownRange(int axis) const;
    void zoomTo(detail::AxisRange x, detail::AxisRange y);
    void zoomBy(double factor, QPointF centre); // factor < 1 zooms in; centre in pixels
    void resetZoom();
    bool isZoomed() const { return zoomed_; }
    // The cursor readout at pixel x (nullopt-like: empty text outside the plot area).
    QString cursorTextAt(double pixelX) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;

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
    detail::ChartFrame shownFrame() const;
    bool cursorAt(double pixelX, double& x, std::vector<detail::CursorValue>& values) const;

    QString yName_;
    std::vector<QPointF> mapped_;
    bool zoomed_ = false;
    detail::AxisRange view_[2];
    enum class Drag { kNone, kBand, kPan } drag_ = Drag::kNone;
    QPointF dragStart_;
    QPointF dragNow_;
    detail::AxisRange dragView_[2];
    double cursorPixelX_ = -1.0; // -1: no cursor
};

} // namespace ovx::ui
