#include "platform/graph.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

#include "platform/plot.h"

namespace ovx::platform {

namespace {

constexpr double kMarkerHalf = 3.0;

} // namespace

Graph::Graph(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int Graph::addPlot(GraphPlot plot) {
    plots_.push_back(Entry{nextHandle_, std::move(plot)});
    update();
    return nextHandle_++;
}

bool Graph::deletePlot(int handle, bool refresh) {
    if (handle == -1) {
        plots_.clear();
    } else {
        const auto it = std::find_if(plots_.begin(), plots_.end(),
                                     [handle](const Entry& e) { return e.handle == handle; });
        if (it == plots_.end()) {
            return false;
        }
        plots_.erase(it);
    }
    if (refresh) {
        repaint();
    } else {
        update();
    }
    return true;
}

void Graph::setAxisRange(int axis, double min, double max) {
    const int a = axis == 0 ? 0 : 1;
    manual_[a] = true;
    range_[a] = {std::min(min, max), std::max(min, max)};
    update();
}

detail::AxisRange Graph::axisRange(int axis) const {
    const int a = axis == 0 ? 0 : 1;
    return manual_[a] ? range_[a] : autoRange(a);
}

void Graph::setYName(const QString& name) {
    yName_ = name;
    update();
}

detail::AxisRange Graph::autoRange(int axis) const {
    double lo = 0.0;
    double hi = axis == 0 ? 10.0 : 1000.0;
    bool any = false;
    for (const Entry& e : plots_) {
        for (const QPointF& p : e.plot.points) {
            const double v = axis == 0 ? p.x() : p.y();
            if (!std::isfinite(v)) {
                continue;
            }
            lo = any ? std::min(lo, v) : v;
            hi = any ? std::max(hi, v) : v;
            any = true;
        }
    }
    return detail::NiceRange(lo, hi, 8);
}

void Graph::drawPlot(QPainter& painter, const detail::ChartFrame& frame, const GraphPlot& plot) {
    mapped_.clear();
    for (const QPointF& p : plot.points) {
        if (std::isfinite(p.x()) && std::isfinite(p.y())) {
            mapped_.emplace_back(frame.MapX(p.x()), frame.MapY(p.y()));
        }
    }
    const Qt::PenStyle style = plot.lineStyle == kDash ? Qt::DashLine : Qt::SolidLine;
    painter.setPen(QPen(plot.colour, plot.plotStyle == kThinLine ? 1.0 : 1.5, style));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(mapped_.data(), static_cast<int>(mapped_.size()));
    if (plot.plotStyle != kConnectedPoints || plot.pointStyle != kPointEmptySquare) {
        return;
    }
    painter.setPen(QPen(plot.colour, 1.0));
    const auto step = static_cast<std::size_t>(std::max(1, plot.pointFrequency));
    for (std::size_t i = 0; i < mapped_.size(); i += step) {
        const QPointF& c = mapped_[i];
        painter.drawRect(
            QRectF(c.x() - kMarkerHalf, c.y() - kMarkerHalf, 2 * kMarkerHalf, 2 * kMarkerHalf));
    }
}

void Graph::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    const detail::ChartFrame frame(rect(), fontMetrics().height(), axisRange(0), axisRange(1),
                                   !yName_.isEmpty());
    frame.Draw(painter, yName_);
    painter.setClipRect(frame.plot());
    painter.setRenderHint(QPainter::Antialiasing);
    for (const Entry& e : plots_) {
        drawPlot(painter, frame, e.plot);
    }
}

} // namespace ovx::platform
