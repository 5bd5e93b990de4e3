#include "ui/chart_cursor.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRegularExpression>

namespace ovx::ui::detail {

namespace {

QString Number(double v) {
    return QString::number(v, 'f', 3).remove(QRegularExpression(QStringLiteral("\\.?0+$")));
}

constexpr int kPad = 4;
constexpr int kSwatch = 8;

} // namespace

QString CursorText(double x, const std::vector<CursorValue>& values) {
    QString text = QStringLiteral("x ") + Number(x);
    for (const CursorValue& v : values) {
        text += QStringLiteral("   ") + Number(v.value);
    }
    return text;
}

void DrawCursor(QPainter& painter, const ChartFrame& frame, double x,
                const std::vector<CursorValue>& values) {
    painter.save();
    painter.setClipping(false);
    const QRectF plot = frame.plot();
    const double px = frame.MapX(x);
    painter.setPen(QPen(QColor(0x1d, 0x4f, 0x7c), 1.0, Qt::DashLine));
    painter.drawLine(QPointF(px, plot.top()), QPointF(px, plot.bottom()));
    for (const CursorValue& v : values) {
        painter.setPen(QPen(v.colour, 1.0));
        painter.setBrush(Qt::white);
        painter.drawEllipse(QPointF(px, frame.MapY(v.value)), 3.0, 3.0);
    }
    // The box: "x 57" then a coloured swatch and the value of each trace.
    const QFontMetrics fm = painter.fontMetrics();
    QString head = QStringLiteral("x ") + Number(x);
    int width = fm.horizontalAdvance(head) + 2 * kPad;
    for (const CursorValue& v : values) {
        width += kSwatch + 2 * kPad + fm.horizontalAdvance(Number(v.value));
    }
    const double left = px + width + 8 < plot.right() ? px + 6 : px - width - 6;
    const QRectF box(left, plot.top() + 4, width, fm.height() + 2 * kPad);
    painter.setPen(QPen(QColor(0x9a, 0xa7, 0xb4), 1.0));
    painter.setBrush(QColor(255, 255, 246, 235));
    painter.drawRect(box);
    double cx = box.left() + kPad;
    const double baseline = box.top() + kPad + fm.ascent();
    painter.setPen(Qt::black);
    painter.drawText(QPointF(cx, baseline), head);
    cx += fm.horizontalAdvance(head) + kPad;
    for (const CursorValue& v : values) {
        painter.fillRect(QRectF(cx, box.center().y() - kSwatch / 2.0, kSwatch, kSwatch), v.colour);
        cx += kSwatch + kPad;
        painter.setPen(Qt::black);
        painter.drawText(QPointF(cx, baseline), Number(v.value));
        cx += fm.horizontalAdvance(Number(v.value)) + kPad;
    }
    painter.restore();
}

} // namespace ovx::ui::detail
