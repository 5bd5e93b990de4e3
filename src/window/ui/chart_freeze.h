// Pause of a strip chart: a still picture of the chart as it was, laid over it, while the chart
// below goes on taking points. The still picture has the cursor readout of its points.
#pragma once

#include <QPixmap>
#include <QWidget>

#include <vector>

#include "ui/chart_axes.h"
#include "ui/chart_cursor.h"

namespace ovx::ui {

class StripChart;

class StripChartFreeze : public QWidget {
    Q_OBJECT

  public:
    explicit StripChartFreeze(StripChart* chart);
    void capture(); // takes the chart's picture and points now
    QString cursorTextAt(double pixelX) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool cursorAt(double pixelX, double& x, std::vector<detail::CursorValue>& values) const;

    StripChart* chart_;
    QPixmap picture_;
    detail::ChartFrame frame_;
    std::vector<std::vector<double>> traces_;
    std::vector<QColor> colours_;
    int offset_ = 0; // the first point's x
    double cursorPixelX_ = -1.0;
};

// Shows (paused != 0) or removes the still picture; 0.
int SetStripChartPaused(StripChart* chart, bool paused);
bool StripChartPaused(const StripChart* chart);

} // namespace ovx::ui
