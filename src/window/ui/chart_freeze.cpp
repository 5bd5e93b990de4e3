#include "ui/chart_freeze.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

#include "ui/strip_chart.h"

namespace ovx::ui {

StripChartFreeze::StripChartFreeze(StripChart* chart)
    : QWidget(chart), chart_(chart), frame_(chart->currentFrame()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setAccessibleName(QStringLiteral("Paused strip chart"));
    chart->installEventFilter(this);
    setGeometry(chart->rect());
}

void StripChartFreeze::capture() {
    setGeometry(chart_->rect());
    frame_ = chart_->currentFrame();
    const bool wasVisible = isVisible();
    hide(); // the picture is the chart's own, without this cover
    picture_ = chart_->grab();
    if (wasVisible) {
        show();
    }
    traces_.clear();
    colours_.clear();
    const int n = chart_->pointCount();
    for (int t = 1; t <= chart_->traceCount(); ++t) {
        std::vector<double> points(static_cast<std::size_t>(n));
        chart_->points(t, points.data(), n);
        traces_.push_back(std::move(points));
        colours_.push_back(chart_->traceColor(t));
    }
    offset_ = chart_->pointsPerScreen() - n;
    update();
}

bool StripChartFreeze::cursorAt(double pixelX, double& x,
                                std::vector<detail::CursorValue>& values) const {
    const QRectF plot = frame_.plot();
    if (pixelX < plot.left() || pixelX > plot.right() || plot.width() <= 0 || traces_.empty()) {
        return false;
    }
    const detail::AxisRange r = frame_.x();
    const double at = r.min + (pixelX - plot.left()) / plot.width() * (r.max - r.min);
    const auto p = static_cast<long>(std::lround(at)) - offset_;
    if (p < 0 || p >= static_cast<long>(traces_.front().size())) {
        return false;
    }
    x = static_cast<double>(p + offset_);
    for (std::size_t t = 0; t < traces_.size(); ++t) {
        values.push_back({colours_[t], traces_[t][static_cast<std::size_t>(p)]});
    }
    return true;
}

QString StripChartFreeze::cursorTextAt(double pixelX) const {
    double x = 0.0;
    std::vector<detail::CursorValue> values;
    return cursorAt(pixelX, x, values) ? detail::CursorText(x, values) : QString();
}

void StripChartFreeze::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(rect(), picture_);
    painter.setPen(QColor(0xc0, 0x18, 0x18));
    painter.drawText(frame_.plot().adjusted(0, 4, -6, 0), Qt::AlignRight | Qt::AlignTop,
                     QStringLiteral("PAUSED"));
    double x = 0.0;
    std::vector<detail::CursorValue> values;
    if (cursorAt(cursorPixelX_, x, values)) {
        detail::DrawCursor(painter, frame_, x, values);
    }
}

void StripChartFreeze::mouseMoveEvent(QMouseEvent* event) {
    cursorPixelX_ = event->position().x();
    update();
}

void StripChartFreeze::leaveEvent(QEvent* event) {
    cursorPixelX_ = -1.0;
    update();
    QWidget::leaveEvent(event);
}

bool StripChartFreeze::eventFilter(QObject* watched, QEvent* event) {
    if (watched == chart_ && event->type() == QEvent::Resize) {
        setGeometry(chart_->rect());
    }
    return false;
}

int SetStripChartPaused(StripChart* chart, bool paused) {
    auto* freeze = chart->findChild<StripChartFreeze*>(QString(), Qt::FindDirectChildrenOnly);
    if (!paused) {
        if (freeze != nullptr) {
            freeze->hide();
        }
        return 0;
    }
    if (freeze == nullptr) {
        freeze = new StripChartFreeze(chart);
    }
    freeze->capture();
    freeze->show();
    freeze->raise();
    return 0;
}

bool StripChartPaused(const StripChart* chart) {
    const auto* freeze = chart->findChild<StripChartFreeze*>(QString(), Qt::FindDirectChildrenOnly);
    return freeze != nullptr && !freeze->isHidden();
}

} // namespace ovx::ui
