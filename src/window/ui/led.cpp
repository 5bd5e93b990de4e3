#include "ui/led.h"

#include <QPainter>
#include <QRadialGradient>

#include <algorithm>

namespace ovx::ui {

Led::Led(QWidget* parent) : QWidget(parent) {}

void Led::setValue(int value) {
    if ((value != 0) != on_) {
        on_ = value != 0;
        update();
    }
}

void Led::setOnColor(const QColor& colour) {
    onColour_ = colour;
    update();
}

void Led::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double d = std::min(width(), height()) - 2.0;
    const QRectF lamp((width() - d) / 2.0, (height() - d) / 2.0, d, d);
    const QColor body = on_ ? onColour_ : onColour_.darker(420);
    QRadialGradient shine(lamp.center() - QPointF(d / 6.0, d / 6.0), d / 1.6);
    shine.setColorAt(0.0, on_ ? body.lighter(160) : body.lighter(140));
    shine.setColorAt(1.0, body);
    painter.setBrush(shine);
    painter.setPen(QPen(QColor(0x30, 0x30, 0x30), 1.0));
    painter.drawEllipse(lamp);
}

} // namespace ovx::ui
