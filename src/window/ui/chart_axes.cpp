#include "ui/chart_axes.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace ovx::ui::detail {

namespace {

constexpr int kMaxTicks = 8;
constexpr QRgb kGridColour = 0xD8DDE3;
constexpr QRgb kTextColour = 0x333A44;

double NiceStep(double span, int maxTicks) {
    const double raw = span / std::max(1, maxTicks);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0}) {
        if (m * magnitude >= raw) {
            return m * magnitude;
        }
    }
    return 10.0 * magnitude;
}

QString TickText(double v) {
    if (std::abs(v) < 1e-12) {
        v = 0.0;
    }
    return QString::number(v, 'g', 6);
}

} // namespace

Ticks NiceTicks(AxisRange range, int maxTicks) {
    const double span = range.max - range.min;
    if (!(span > 0.0) || !std::isfinite(span)) {
        return {range.min, 1.0, 1};
    }
    Ticks t;
    t.step = NiceStep(span, maxTicks);
    t.first = std::ceil(range.min / t.step - 1e-9) * t.step;
    t.count = static_cast<int>(std::floor((range.max - t.first) / t.step + 1e-9)) + 1;
    return t;
}

AxisRange NiceRange(double lo, double hi, int maxTicks) {
    if (!std::isfinite(lo) || !std::isfinite(hi)) {
        return {0.0, 1.0};
    }
    if (hi < lo) {
        std::swap(lo, hi);
    }
    if (hi - lo <= 0.0) {
        lo -= 1.0;
        hi += 1.0;
    }
    const double step = NiceStep(hi - lo, maxTicks);
    return {std::floor(lo / step) * step, std::ceil(hi / step) * step};
}

std::vector<double> XLabelValues(AxisRange range, int maxTicks, XLabels labels) {
    const Ticks t = NiceTicks(range, maxTicks);
    std::vector<double> values;
    for (int i = 0; i < t.count; ++i) {
        values.push_back(t.first + i * t.step);
    }
    if (labels == XLabels::kRoundTicks || !(range.max > range.min)) {
        return values;
    }
    while (!values.empty() && range.max - values.back() < t.step / 2.0) {
        values.pop_back();
    }
    values.push_back(range.max);
    return values;
}

ChartFrame::ChartFrame(const QRectF& bounds, int fontHeight, AxisRange x, AxisRange y, bool yName,
                       XLabels xLabels)
    : right_(bounds.right()), x_(x), y_(y), xLabels_(xLabels) {
    const double left = fontHeight * (yName ? 5.0 : 3.8);
    const double bottom = fontHeight * 1.8;
    const double gap = fontHeight * 0.8;
    plot_ = bounds.adjusted(left, gap, -gap, -bottom);
    if (plot_.width() < 1.0 || plot_.height() < 1.0) {
        plot_ = bounds;
    }
}

std::vector<double> ChartFrame::xLabels() const {
    return XLabelValues(x_, kMaxTicks, xLabels_);
}

// A grid line and a label centred under it; a label at the right end stays inside the widget.
void ChartFrame::DrawXLabels(QPainter& painter) const {
    const QColor grid(kGridColour);
    const QColor text(kTextColour);
    const QFontMetricsF fm(painter.font());
    for (const double v : xLabels()) {
        const double px = MapX(v);
        painter.setPen(QPen(grid, 1.0, Qt::DotLine));
        painter.drawLine(QPointF(px, plot_.top()), QPointF(px, plot_.bottom()));
        painter.setPen(text);
        const QString label = TickText(v);
        const double width = fm.horizontalAdvance(label);
        const double left = std::min(px - width / 2.0, right_ - width);
        painter.drawText(QPointF(left, plot_.bottom() + fm.height()), label);
    }
}

void ChartFrame::Draw(QPainter& painter, const QString& yName) const {
    painter.save();
    const QColor grid(kGridColour);
    const QColor text(kTextColour);
    painter.setPen(QPen(grid, 1.0, Qt::DotLine));
    const Ticks ty = NiceTicks(y_, kMaxTicks);
    const QFontMetricsF fm(painter.font());
    for (int i = 0; i < ty.count; ++i) {
        const double v = ty.first + i * ty.step;
        const double py = MapY(v);
        painter.setPen(QPen(grid, 1.0, Qt::DotLine));
        painter.drawLine(QPointF(plot_.left(), py), QPointF(plot_.right(), py));
        painter.setPen(text);
        const QString label = TickText(v);
        painter.drawText(
            QPointF(plot_.left() - fm.horizontalAdvance(label) - 4.0, py + fm.ascent() / 2.5),
            label);
    }
    DrawXLabels(painter);
    painter.setPen(QPen(QColor(0x7A, 0x84, 0x90), 1.0));
    painter.drawRect(plot_);
    if (!yName.isEmpty()) {
        painter.setPen(text);
        painter.translate(fm.height() * 0.9, plot_.center().y());
        painter.rotate(-90.0);
        painter.drawText(QPointF(-fm.horizontalAdvance(yName) / 2.0, 0.0), yName);
    }
    painter.restore();
}

} // namespace ovx::ui::detail
