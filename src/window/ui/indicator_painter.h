// Inside the engine: paints a read-only spin box (a numeric indicator) from a cached image of
// its frame plus its text, and lets the box hold the values written to it until it paints them
// (held_values.h). While the operator has selected some of the text, the line edit draws it
// itself, with the selection. The live view rewrites its indicators every frame, and the spin box's
// own painting (style sheet rules, style options, its line edit's panel, the group box behind
// it) costs several times as much as copying the frame and drawing the number.
#pragma once

#include <QCache>
#include <QFont>
#include <QObject>
#include <QPixmap>
#include <QRect>
#include <QSize>

#include <memory>

#include "ui/glyph_table.h"

class QAbstractSpinBox;
class QLineEdit;
class QStyle;
class QTextLayout;

namespace ovx::ui::detail {

class IndicatorPainter : public QObject {
    Q_OBJECT

  public:
    // Takes over the painting of box and its line edit; owned by box.
    IndicatorPainter(QAbstractSpinBox* box, QLineEdit* edit);
    ~IndicatorPainter() override; // the box writes its values itself again

    // Attaches a painter to every read-only spin box under root.
    static void AttachAll(QWidget* root);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // What the cached frame depends on; it is painted again when any of it changes.
    struct FrameKey {
        QSize size;
        qreal pixelRatio = 0.0;
        qint64 palette = 0;
        qint64 parentPalette = 0;
        bool enabled = false;
        bool active = false;
        const QStyle* style = nullptr;
        bool operator==(const FrameKey&) const = default;
    };

    // A text laid out once: its line's glyphs and width.
    struct ShapedText {
        std::unique_ptr<QTextLayout> layout;
        qreal width = 0.0;
        qreal ascent = 0.0;
    };

    FrameKey CurrentKey() const;
    // The layout of text in the line edit's font, nullptr for a text with no line; the texts
    // shown last are kept, so a value shown again is not shaped again.
    const ShapedText* Shaped(const QString& text);
    void RenderFrame(const FrameKey& key);
    QRect LineRect() const;
    int TextX(const QRect& line, qreal textWidth) const;
    // The baseline the line edit gives a line of the given ascent in line.
    qreal Baseline(const QRect& line, qreal ascent) const;
    // The frame and, withText, the text of the value shown.
    void Paint(bool withText);

    QAbstractSpinBox* box_;
    QLineEdit* edit_;
    QPixmap frame_;
    FrameKey key_;
    GlyphTable glyphs_; // a number is drawn as its digits' glyphs, unshaped
    QCache<QString, ShapedText> shaped_;
    QFont shapedFont_;
};

} // namespace ovx::ui::detail
