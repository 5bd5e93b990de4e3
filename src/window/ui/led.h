// LED control: a round lamp, bright when on, dark when off.
#pragma once

#include <QColor>
#include <QWidget>

namespace ovx::ui {

class Led : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor onColor READ onColor WRITE setOnColor)

  public:
    explicit Led(QWidget* parent = nullptr);

    int value() const { return on_ ? 1 : 0; }
    void setValue(int value);
    QColor onColor() const { return onColour_; }
    void setOnColor(const QColor& colour);

    QSize sizeHint() const override { return {24, 24}; }
    QSize minimumSizeHint() const override { return {16, 16}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    bool on_ = false;
    QColor onColour_{0x20, 0xE0, 0x40};
};

} // namespace ovx::ui
