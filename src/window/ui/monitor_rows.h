// Paints the protocol monitor's rows, each as wide as the view: a row longer than that ends in an
// ellipsis (the payload words and bytes come last), so the list never scrolls sideways. A row of
// printable ASCII (every frame line and most status texts) is drawn as a run of glyphs placed one
// advance apart, taken from a table made once per font: no text layout or shaping per row and
// paint, which is what a list of a few dozen monospaced lines repainted twice a second would
// otherwise spend most of its time on. Other rows are painted as any item view paints them.
#pragma once

#include <QFont>
#include <QRawFont>
#include <QString>
#include <QStyledItemDelegate>

#include <array>
#include <optional>

namespace ovx::ui {

class MonitorRowPainter : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // The height of a row of one line of text in the view's font and style.
    static int RowHeight(const QWidget* view);

  private:
    static constexpr char16_t kFirst = 0x20; // the table covers ' ' ... '~'
    static constexpr char16_t kLast = 0x7e;

    struct Glyphs {
        QRawFont font;
        std::array<quint32, kLast - kFirst + 1> index{};
        std::array<qreal, kLast - kFirst + 1> advance{};
        quint32 ellipsis = 0; // glyph of U+2026, 0 when the font has none
        qreal ellipsisAdvance = 0.0;
    };

    // Where a row is cut: the characters kept, and the ellipsis's place (negative: no cut).
    struct Cut {
        qsizetype kept = 0;
        qreal ellipsisX = -1.0;
    };

    static bool Plain(const QStyleOptionViewItem& option);
    const Glyphs& GlyphsFor(const QFont& font) const;
    Cut CutFor(const Glyphs& glyphs, const QString& text, qreal width) const;
    bool Covers(const Glyphs& glyphs, const QString& text) const;
    void DrawRun(QPainter* painter, const Glyphs& glyphs, const QString& text,
                 const QRect& rect) const;

    mutable std::optional<QFont> glyphsFont_; // the font glyphs_ was made for
    mutable Glyphs glyphs_;
};

} // namespace ovx::ui
