// The glyph table: a text it composes has the glyphs and pen positions the shaper gives the
// whole text, in every font at hand; a text it cannot vouch for is left to the shaper.
#include <gtest/gtest.h>

#include <QFont>
#include <QGlyphRun>
#include <QImage>
#include <QTextLayout>

#include <vector>

#include "support/row_name.h"
#include "ui/glyph_table.h"

namespace ovx::ui::detail {
namespace {

struct FontRow {
    const char* name;
    const char* family;
    int pixelSize;
    bool bold;
};

void PrintTo(const FontRow& row, std::ostream* os) {
    *os << row.name;
}

class GlyphTableFonts : public ::testing::TestWithParam<FontRow> {
  protected:
    QFont Font() const {
        QFont font(GetParam().family);
        font.setPixelSize(GetParam().pixelSize);
        font.setBold(GetParam().bold);
        return font;
    }
    QImage device_{8, 8, QImage::Format_ARGB32_Premultiplied};
};

// Every pair of the characters a number shows, and longer numbers.
std::vector<QString> Texts() {
    const QString chars = QStringLiteral("0123456789+-.,:%/'\u00a0\u202f");
    std::vector<QString> texts;
    for (const QChar a : chars) {
        for (const QChar b : chars) {
            texts.push_back(QString(a) + b);
        }
    }
    for (const char* s : {"-1234.5", "1.234.567,89", "+0,001", "77.7 %", "100/101", "-0"}) {
        texts.push_back(QString::fromLatin1(s));
    }
    return texts;
}

TEST_P(GlyphTableFonts, ComposedTextIsPlacedAsTheShaperPlacesIt) {
    GlyphTable table;
    int composed = 0;
    for (const QString& text : Texts()) {
        QGlyphRun run;
        qreal width = 0.0;
        if (!table.Compose(text, Font(), &device_, run, width)) {
            continue;
        }
        ++composed;
        QTextLayout layout(text, Font(), &device_);
        layout.beginLayout();
        const QTextLine line = layout.createLine();
        layout.endLayout();
        const QList<QGlyphRun> shaped = line.glyphRuns();
        ASSERT_EQ(shaped.size(), 1) << qPrintable(text);
        EXPECT_EQ(run.glyphIndexes(), shaped[0].glyphIndexes()) << qPrintable(text);
        EXPECT_TRUE(run.rawFont() == shaped[0].rawFont()) << qPrintable(text);
        EXPECT_EQ(width, line.naturalTextWidth()) << qPrintable(text);
        for (qsizetype i = 0; i < run.positions().size(); ++i) {
            EXPECT_EQ(run.positions()[i].x(), shaped[0].positions()[i].x()) << qPrintable(text);
        }
    }
    // The digits alone are placed side by side in every font here.
    QGlyphRun run;
    qreal width = 0.0;
    EXPECT_TRUE(table.Compose(QStringLiteral("9876543210"), Font(), &device_, run, width));
    EXPECT_GT(composed, 300);
}

INSTANTIATE_TEST_SUITE_P(Fonts, GlyphTableFonts,
                         ::testing::Values(FontRow{"Sans", "DejaVu Sans", 12, false},
                                           FontRow{"SansBoldLarge", "DejaVu Sans", 31, true},
                                           FontRow{"Serif", "DejaVu Serif", 13, false},
                                           FontRow{"Mono", "DejaVu Sans Mono", 12, false}),
                         ovx::testing::RowName());

// Letters, a trailing space and an empty text go to the shaper.
TEST(GlyphTable, LeavesToTheShaperWhatItCannotVouchFor) {
    GlyphTable table;
    QImage device(8, 8, QImage::Format_ARGB32_Premultiplied);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    for (const char* text : {"12 mm", "Off", "5 ", "", "AV"}) {
        QGlyphRun run;
        qreal width = 0.0;
        EXPECT_FALSE(table.Compose(QString::fromLatin1(text), font, &device, run, width)) << text;
    }
}

} // namespace
} // namespace ovx::ui::detail
