// Inside the engine: the glyphs of single characters, so that a number can be drawn as its
// characters' glyphs side by side without shaping it. A character is taken in when the shaper
// places it alone as one glyph, and beside each character known (shaped with all of them in one
// text, when it is first met) as that same glyph. A text of characters taken in, with no pair
// that the shaper kerns, is composed: its glyphs and pen positions are the ones the shaper
// would give the whole text. Anything else is left to the shaper.
#pragma once

#include <QChar>
#include <QFont>
#include <QGlyphRun>
#include <QRawFont>

#include <map>
#include <set>
#include <utility>

class QPaintDevice;

namespace ovx::ui::detail {

class GlyphTable {
  public:
    // The glyphs of text in font, as laid out for device, positioned from the start of its
    // baseline, and the width of the text; false when the shaper must lay the text out.
    bool Compose(const QString& text, const QFont& font, const QPaintDevice* device, QGlyphRun& run,
                 qreal& width);
    // Forgets every glyph, for a new font, screen or style.
    void Clear();

  private:
    struct Glyph {
        quint32 index = 0;
        qreal advance = 0.0;
    };

    // The glyph of c, which the table takes in when the shaper places it alone as one glyph of
    // the table's font, and beside every character known as it is alone or with kerning.
    const Glyph* Single(QChar c);
    // Shapes c beside every character known, both ways, and notes the pairs the shaper kerns;
    // false when the shaper gives c or another character another glyph there.
    bool MeetTheOthers(QChar c);

    static constexpr std::size_t kMaxCharacters = 64;
    QFont font_;
    const QPaintDevice* device_ = nullptr;
    QRawFont raw_;
    std::map<char16_t, Glyph> glyphs_;
    std::set<char16_t> alone_; // characters the shaper does not place alone as one glyph
    std::set<std::pair<char16_t, char16_t>> kerned_; // texts with these pairs are shaped whole
};

} // namespace ovx::ui::detail
