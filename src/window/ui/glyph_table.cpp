#include "ui/glyph_table.h"

#include <QList>
#include <QPointF>
#include <QTextLayout>

namespace ovx::ui::detail {

namespace {

// Digits, signs, separators and spaces; letters may join, kern or change shape with what is
// around them, so a text with any is shaped whole.
bool MayStandAlone(QChar c) {
    return c.isDigit() || c.isPunct() || c.isSymbol() || c == QLatin1Char(' ') ||
           c == QChar(0x00A0) || c == QChar(0x202F);
}

struct Shaped {
    QList<QGlyphRun> runs;
    qreal width = 0.0;
};

Shaped Shape(const QString& text, const QFont& font, const QPaintDevice* device) {
    QTextLayout layout(text, font, const_cast<QPaintDevice*>(device));
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid()) {
        return {};
    }
    return {line.glyphRuns(), line.naturalTextWidth()};
}

} // namespace

void GlyphTable::Clear() {
    raw_ = QRawFont();
    glyphs_.clear();
    alone_.clear();
    kerned_.clear();
}

const GlyphTable::Glyph* GlyphTable::Single(QChar c) {
    if (const auto known = glyphs_.find(c.unicode()); known != glyphs_.end()) {
        return &known->second;
    }
    if (alone_.count(c.unicode()) != 0 || glyphs_.size() >= kMaxCharacters) {
        return nullptr;
    }
    const Shaped shaped = Shape(QString(c), font_, device_);
    const bool one = shaped.runs.size() == 1 && shaped.runs[0].glyphIndexes().size() == 1 &&
                     shaped.runs[0].positions()[0].x() == 0.0;
    if (!one || (raw_.isValid() && !(shaped.runs[0].rawFont() == raw_))) {
        alone_.insert(c.unicode()); // several glyphs, or a glyph of a fallback font
        return nullptr;
    }
    raw_ = shaped.runs[0].rawFont();
    glyphs_[c.unicode()] = Glyph{shaped.runs[0].glyphIndexes()[0], shaped.width};
    if (!MeetTheOthers(c)) {
        glyphs_.erase(c.unicode());
        alone_.insert(c.unicode());
        return nullptr;
    }
    return &glyphs_.at(c.unicode());
}

// One text holds every pair of c with the characters known, itself too (c k1 c k2 ... c kn c):
// the shaper places each glyph one advance after the one before, unless it kerns that pair.
bool GlyphTable::MeetTheOthers(QChar c) {
    QString text;
    for (const auto& [k, glyph] : glyphs_) {
        text += c;
        text += QChar(k);
    }
    text += c;
    const Shaped shaped = Shape(text, font_, device_);
    if (shaped.runs.size() != 1 || shaped.runs[0].glyphIndexes().size() != text.size()) {
        return false; // a ligature, or another font
    }
    const QList<quint32> indexes = shaped.runs[0].glyphIndexes();
    const QList<QPointF> at = shaped.runs[0].positions();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const Glyph& glyph = glyphs_.at(text[i].unicode());
        if (indexes[i] != glyph.index) {
            return false; // shaped otherwise beside others
        }
        if (i + 1 < text.size() && at[i + 1].x() - at[i].x() != glyph.advance) {
            kerned_.insert({text[i].unicode(), text[i + 1].unicode()});
        }
    }
    return true;
}

bool GlyphTable::Compose(const QString& text, const QFont& font, const QPaintDevice* device,
                         QGlyphRun& run, qreal& width) {
    if (font != font_ || device != device_) {
        Clear();
        font_ = font;
        device_ = device;
    }
    // A line's width leaves out the spaces it ends in.
    if (text.isEmpty() || text.back().isSpace()) {
        return false;
    }
    QList<quint32> indexes;
    QList<QPointF> positions;
    indexes.reserve(text.size());
    positions.reserve(text.size());
    qreal x = 0.0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const Glyph* glyph = MayStandAlone(text[i]) ? Single(text[i]) : nullptr;
        if (glyph == nullptr ||
            (i > 0 && kerned_.count({text[i - 1].unicode(), text[i].unicode()}) != 0)) {
            return false;
        }
        indexes.push_back(glyph->index);
        positions.push_back(QPointF(x, 0.0));
        x += glyph->advance;
    }
    run.setRawFont(raw_);
    run.setGlyphIndexes(indexes);
    run.setPositions(positions);
    width = x;
    return true;
}

} // namespace ovx::ui::detail
