#include "ui/monitor_rows.h"

#include <QApplication>
#include <QGlyphRun>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionViewItem>

#include <vector>

namespace ovx::ui {

const MonitorRowPainter::Glyphs& MonitorRowPainter::GlyphsFor(const QFont& font) const {
    // Asked once a row: comparing fonts is cheap, making a font's key is not.
    if (glyphsFont_ && *glyphsFont_ == font) {
        return glyphs_;
    }
    glyphsFont_ = font;
    glyphs_ = {};
    glyphs_.font = QRawFont::fromFont(font);
    if (!glyphs_.font.isValid()) {
        return glyphs_;
    }
    QString chars;
    for (char16_t c = kFirst; c <= kLast; ++c) {
        chars += QChar(c);
    }
    const QList<quint32> indexes = glyphs_.font.glyphIndexesForString(chars);
    const QList<QPointF> advances = glyphs_.font.advancesForGlyphIndexes(indexes);
    for (qsizetype i = 0; i < indexes.size() && i < advances.size() &&
                          i < static_cast<qsizetype>(glyphs_.index.size());
         ++i) {
        glyphs_.index[static_cast<std::size_t>(i)] = indexes[i];
        glyphs_.advance[static_cast<std::size_t>(i)] = advances[i].x();
    }
    const QList<quint32> ellipsis = glyphs_.font.glyphIndexesForString(QString(QChar(0x2026)));
    if (ellipsis.size() == 1 && ellipsis.front() != 0) {
        glyphs_.ellipsis = ellipsis.front();
        glyphs_.ellipsisAdvance = glyphs_.font.advancesForGlyphIndexes(ellipsis).front().x();
    }
    return glyphs_;
}

// Every character printable ASCII and in the font (glyph 0 is the font's "missing" glyph).
bool MonitorRowPainter::Covers(const Glyphs& glyphs, const QString& text) const {
    if (!glyphs.font.isValid()) {
        return false;
    }
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < kFirst || u > kLast || glyphs.index[u - kFirst] == 0) {
            return false;
        }
    }
    return true;
}

// The characters of text drawn in a row width wide: all of them, or those before the cut and an
// ellipsis where the cut is (whole glyphs up to where the ellipsis still fits).
MonitorRowPainter::Cut MonitorRowPainter::CutFor(const Glyphs& glyphs, const QString& text,
                                                 qreal width) const {
    qreal x = 0.0;
    for (const QChar c : text) {
        x += glyphs.advance[c.unicode() - kFirst];
    }
    if (x <= width || glyphs.ellipsis == 0) {
        return {text.size(), -1.0};
    }
    x = 0.0;
    qsizetype kept = 0;
    for (; kept < text.size(); ++kept) {
        const qreal next = x + glyphs.advance[text[kept].unicode() - kFirst];
        if (next + glyphs.ellipsisAdvance > width) {
            break;
        }
        x = next;
    }
    return {kept, x};
}

void MonitorRowPainter::DrawRun(QPainter* painter, const Glyphs& glyphs, const QString& text,
                                const QRect& rect) const {
    const Cut cut = CutFor(glyphs, text, rect.width());
    std::vector<quint32> indexes;
    std::vector<QPointF> positions;
    indexes.reserve(static_cast<std::size_t>(cut.kept) + 1);
    positions.reserve(indexes.capacity());
    qreal x = 0.0;
    for (qsizetype i = 0; i < cut.kept; ++i) {
        const std::size_t slot = text[i].unicode() - kFirst;
        if (text[i] != u' ') { // a space has no ink: a third of a frame's row
            indexes.push_back(glyphs.index[slot]);
            positions.emplace_back(x, 0.0);
        }
        x += glyphs.advance[slot];
    }
    if (cut.ellipsisX >= 0.0) {
        indexes.push_back(glyphs.ellipsis);
        positions.emplace_back(cut.ellipsisX, 0.0);
    }
    if (indexes.empty()) {
        return;
    }
    QGlyphRun run;
    run.setRawFont(glyphs.font);
    run.setRawData(indexes.data(), positions.data(), static_cast<int>(indexes.size()));
    const qreal height = glyphs.font.ascent() + glyphs.font.descent();
    const qreal baseline = rect.top() + (rect.height() - height) / 2.0 + glyphs.font.ascent();
    painter->save();
    painter->setClipRect(rect, Qt::IntersectClip);
    painter->drawGlyphRun(QPointF(rect.left(), baseline), run);
    painter->restore();
}

// The row the style gives a one-line text: what the delegate's own size hint is, without a row
// of the model to ask it for. The view's rows all have this height and the view's width.
int MonitorRowPainter::RowHeight(const QWidget* view) {
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.font = view->font();
    option.fontMetrics = view->fontMetrics();
    option.features = QStyleOptionViewItem::HasDisplay;
    option.text = QStringLiteral("0");
    option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    return view->style()
        ->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), view)
        .height();
}

// A row neither selected, focused nor under the mouse, with no brush of its own, has nothing for
// the style to paint: the view has filled the row with its base colour.
bool MonitorRowPainter::Plain(const QStyleOptionViewItem& option) {
    constexpr QStyle::State kMarked =
        QStyle::State_Selected | QStyle::State_HasFocus | QStyle::State_MouseOver;
    return (option.state & kMarked) == 0 && option.backgroundBrush.style() == Qt::NoBrush &&
           (option.features & QStyleOptionViewItem::Alternate) == 0;
}

void MonitorRowPainter::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    // The text and its colour only: the delegate's whole option asks the model for seven roles.
    const QString text = index.data(Qt::DisplayRole).toString();
    const QFont& font = option.font;
    const Glyphs& glyphs = GlyphsFor(font);
    if (!Covers(glyphs, text)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt = option;
    const QWidget* widget = opt.widget;
    const QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    if (Plain(option)) {
        if (const QVariant colour = index.data(Qt::ForegroundRole); colour.canConvert<QBrush>()) {
            opt.palette.setBrush(QPalette::Text, qvariant_cast<QBrush>(colour));
        }
    } else { // the style paints the background, the selection and the focus only
        initStyleOption(&opt, index);
        opt.text.clear();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    }

    const bool enabled = (opt.state & QStyle::State_Enabled) != 0;
    const bool active = (opt.state & QStyle::State_Active) != 0;
    const QPalette::ColorGroup group =
        !enabled ? QPalette::Disabled : (active ? QPalette::Normal : QPalette::Inactive);
    const bool selected = (opt.state & QStyle::State_Selected) != 0;
    painter->setPen(
        opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    DrawRun(painter, glyphs, text, opt.rect.adjusted(margin, 0, -margin, 0));
}

} // namespace ovx::ui
