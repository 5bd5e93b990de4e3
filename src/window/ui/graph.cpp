#include "ui/graph.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "ui/plot.h"

namespace ovx::ui {

namespace {

constexpr double kMarkerHalf = 3.0;

} // namespace

Graph::Graph(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
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
    zoomed_ = false; // a new range shows whole
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
    const detail::ChartFrame frame = shownFrame();
    frame.Draw(painter, yName_);
    painter.setClipRect(frame.plot());
    painter.setRenderHint(QPainter::Antialiasing);
    for (const Entry& e : plots_) {
        drawPlot(painter, frame, e.plot);
    }
    if (drag_ == Drag::kBand) {
        painter.setPen(QPen(QColor(0x1d, 0x4f, 0x7c), 1.0, Qt::DashLine));
        painter.setBrush(QColor(0x1d, 0x4f, 0x7c, 40));
        painter.drawRect(QRectF(dragStart_, dragNow_).normalized());
    }
    double x = 0.0;
    std::vector<detail::CursorValue> values;
    if (drag_ == Drag::kNone && cursorAt(cursorPixelX_, x, values)) {
        detail::DrawCursor(painter, frame, x, values);
    }
}

detail::AxisRange Graph::shownRange(int axis) const {
    const int a = axis == 0 ? 0 : 1;
    return zoomed_ ? view_[a] : axisRange(a);
}

detail::ChartFrame Graph::shownFrame() const {
    return {rect(), fontMetrics().height(), shownRange(0), shownRange(1), !yName_.isEmpty()};
}

void Graph::zoomTo(detail::AxisRange x, detail::AxisRange y) {
    if (!(x.max > x.min) || !(y.max > y.min)) {
        return;
    }
    view_[0] = x;
    view_[1] = y;
    zoomed_ = true;
    update();
}

void Graph::zoomBy(double factor, QPointF centre) {
    const detail::ChartFrame frame = shownFrame();
    const QRectF plot = frame.plot();
    detail::AxisRange r[2] = {shownRange(0), shownRange(1)};
    const double fx = plot.width() > 0 ? (centre.x() - plot.left()) / plot.width() : 0.5;
    const double fy = plot.height() > 0 ? (plot.bottom() - centre.y()) / plot.height() : 0.5;
    const double f[2] = {std::clamp(fx, 0.0, 1.0), std::clamp(fy, 0.0, 1.0)};
    for (int a = 0; a < 2; ++a) {
        const double span = r[a].max - r[a].min;
        const double at = r[a].min + f[a] * span;
        r[a] = {at - f[a] * span * factor, at + (1.0 - f[a]) * span * factor};
    }
    zoomTo(r[0], r[1]);
}

void Graph::resetZoom() {
    zoomed_ = false;
    update();
}

// The nearest point of each plot to the cursor's x, in plot order.
bool Graph::cursorAt(double pixelX, double& x, std::vector<detail::CursorValue>& values) const {
    const detail::ChartFrame frame = shownFrame();
    const QRectF plot = frame.plot();
    if (pixelX < plot.left() || pixelX > plot.right() || plots_.empty() || plot.width() <= 0) {
        return false;
    }
    const detail::AxisRange r = shownRange(0);
    x = r.min + (pixelX - plot.left()) / plot.width() * (r.max - r.min);
    bool any = false;
    double nearestX = x;
    for (const Entry& e : plots_) {
        const QPointF* best = nullptr;
        for (const QPointF& p : e.plot.points) {
            if (best == nullptr || std::abs(p.x() - x) < std::abs(best->x() - x)) {
                best = &p;
            }
        }
        if (best != nullptr) {
            values.push_back({e.plot.colour, best->y()});
            nearestX = best->x();
            any = true;
        }
    }
    x = nearestX;
    return any;
}

QString Graph::cursorTextAt(double pixelX) const {
    double x = 0.0;
    std::vector<detail::CursorValue> values;
    return cursorAt(pixelX, x, values) ? detail::CursorText(x, values) : QString();
}

void Graph::mousePressEvent(QMouseEvent* event) {
    const bool pan =
        event->button() == Qt::RightButton || event->button() == Qt::MiddleButton ||
        (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier) != 0);
    if (!pan && event->button() != Qt::LeftButton) {
        return;
    }
    drag_ = pan ? Drag::kPan : Drag::kBand;
    dragStart_ = dragNow_ = event->position();
    dragView_[0] = shownRange(0);
    dragView_[1] = shownRange(1);
    setCursor(pan ? Qt::ClosedHandCursor : Qt::CrossCursor);
}

void Graph::mouseMoveEvent(QMouseEvent* event) {
    dragNow_ = event->position();
    cursorPixelX_ = event->position().x();
    if (drag_ == Drag::kPan) {
        const QRectF plot = shownFrame().plot();
        const QPointF d = dragNow_ - dragStart_;
        const double dx = plot.width() > 0 ? d.x() / plot.width() : 0.0;
        const double dy = plot.height() > 0 ? d.y() / plot.height() : 0.0;
        const double sx = (dragView_[0].max - dragView_[0].min) * dx;
        const double sy = (dragView_[1].max - dragView_[1].min) * dy;
        zoomTo({dragView_[0].min - sx, dragView_[0].max - sx},
               {dragView_[1].min + sy, dragView_[1].max + sy});
    }
    update();
}

void Graph::mouseReleaseEvent(QMouseEvent* event) {
    if (drag_ == Drag::kBand) {
        const QRectF band = QRectF(dragStart_, event->position()).normalized();
        const detail::ChartFrame frame = shownFrame();
        const QRectF plot = frame.plot();
        if (band.width() > 4 && band.height() > 4 && plot.width() > 0 && plot.height() > 0) {
            const detail::AxisRange rx = shownRange(0);
            const detail::AxisRange ry = shownRange(1);
            const auto vx = [&](double px) {
                return rx.min + (px - plot.left()) / plot.width() * (rx.max - rx.min);
            };
            const auto vy = [&](double py) {
                return ry.min + (plot.bottom() - py) / plot.height() * (ry.max - ry.min);
            };
            zoomTo({vx(band.left()), vx(band.right())}, {vy(band.bottom()), vy(band.top())});
        }
    }
    drag_ = Drag::kNone;
    unsetCursor();
    update();
}

void Graph::mouseDoubleClickEvent(QMouseEvent* /*event*/) {
    drag_ = Drag::kNone;
    resetZoom();
}

void Graph::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0.0) {
        zoomBy(std::pow(0.8, steps), event->position());
    }
    event->accept();
}

void Graph::leaveEvent(QEvent* event) {
    cursorPixelX_ = -1.0;
    update();
    QWidget::leaveEvent(event);
}

} // namespace ovx::ui
