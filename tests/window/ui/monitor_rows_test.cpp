// The monitor's row painter: a row is drawn whole, from its left margin, in its colour, and no
// further than its rectangle, whether it takes the glyph table (printable ASCII) or not.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableView>

#include <algorithm>
#include <cstdlib>

#include "support/row_name.h"
#include "ui/monitor_rows.h"

namespace ovx::ui {
namespace {

struct PaintRow {
    const char* name;
    const char16_t* text;
    bool selected;
    int width; // of the row rectangle
};

// Where ink of a colour far from the background lies, and how close the inkiest pixel comes to
// the wanted colour.
struct Ink {
    int left = -1;
    int right = -1;
    int closest = 1000;
};

int Distance(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
           std::abs(qBlue(a) - qBlue(b));
}

Ink FindInk(const QImage& image, QRgb background, QRgb wanted) {
    Ink ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (Distance(p, background) < 150) {
                continue;
            }
            ink.left = ink.left < 0 ? x : std::min(ink.left, x);
            ink.right = std::max(ink.right, x);
            ink.closest = std::min(ink.closest, Distance(p, wanted));
        }
    }
    return ink;
}

class MonitorRowPaint : public ::testing::TestWithParam<PaintRow> {};

TEST_P(MonitorRowPaint, DrawsTheTextFromTheMarginInItsColourWithinTheRow) {
    const PaintRow& row = GetParam();
    const QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const QColor colour(0x1d, 0x4f, 0x7c);
    QStandardItemModel model;
    auto* item = new QStandardItem(QString::fromUtf16(row.text));
    item->setForeground(colour);
    model.appendRow(item);

    QStyleOptionViewItem option;
    option.font = font;
    option.palette = QApplication::palette();
    option.state = QStyle::State_Enabled | QStyle::State_Active |
                   (row.selected ? QStyle::State_Selected : QStyle::State_None);
    const int height = QFontMetrics(font).height() + 4;
    option.rect = QRect(0, 0, row.width, height);
    QImage image(row.width + 40, height, QImage::Format_RGB32);
    const QRgb background =
        row.selected ? option.palette.color(QPalette::Highlight).rgb() : QColor(Qt::white).rgb();
    image.fill(background);
    QPainter painter(&image);
    painter.fillRect(option.rect, QColor::fromRgb(background));
    MonitorRowPainter rows;
    rows.paint(&painter, option, model.index(0, 0));
    painter.end();

    const QRgb wanted =
        row.selected ? option.palette.color(QPalette::HighlightedText).rgb() : colour.rgb();
    const Ink ink = FindInk(image, background, wanted);
    const int margin = QApplication::style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1;
    const double advance = QFontMetricsF(font).horizontalAdvance(QChar(u'0'));
    const double textEnd = margin + QFontMetricsF(font).horizontalAdvance(item->text());
    const QString text = item->text();
    const qsizetype firstInk = text.size() - text.trimmed().size(); // the texts end in ink
    const double textStart = margin + QFontMetricsF(font).horizontalAdvance(text.left(firstInk));
    ASSERT_GE(ink.left, 0) << "nothing painted";
    EXPECT_NEAR(ink.left, textStart, advance);
    EXPECT_NEAR(ink.right, std::min(textEnd, double(row.width)), 1.5 * advance);
    EXPECT_LT(ink.right, row.width); // never beyond the row
    EXPECT_LT(ink.closest, 90) << "the row's colour";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MonitorRowPaint,
    ::testing::Values(
        PaintRow{"frame", u"  12.345  rx      live sample       512 7  | 00550008020007", false,
                 900},
        PaintRow{"selected", u"   0.020  status  Echo Check - Line Ok!", true, 900},
        PaintRow{"not_ascii", u"   1.500  status  Temperatur 20 \u00b0C \u2013 ok", false, 900},
        PaintRow{"cut_at_the_edge", u"  12.345  tx      get RAM  1 2 3 4 5 6 7 8 9 10 11 12 13",
                 false, 160}),
    testing::RowName());

// In a table of one column, as the pane holds its rows, the rows drawn as glyph runs keep what
// the view paints under them: a selected row is highlighted to its end, a plain one keeps the
// base colour.
TEST(MonitorRowMarks, SelectedRowIsHighlightedToItsEndAndAPlainRowIsNot) {
    QStandardItemModel model;
    model.appendRow(new QStandardItem(QStringLiteral("   0.020  status  Line Ok!")));
    model.appendRow(new QStandardItem(QStringLiteral("   0.040  status  Line Ok!")));
    QTableView view;
    view.setModel(&model);
    view.setItemDelegate(new MonitorRowPainter(&view));
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.horizontalHeader()->hide();
    view.horizontalHeader()->setStretchLastSection(true);
    view.verticalHeader()->hide();
    view.resize(300, 120);
    view.show();
    view.selectRow(0);
    const QImage image = view.viewport()->grab().toImage();
    const QPalette palette = view.palette();
    const QRgb highlight = palette.color(QPalette::Inactive, QPalette::Highlight).rgb();
    const QRgb active = palette.color(QPalette::Active, QPalette::Highlight).rgb();
    const QRgb base = palette.color(QPalette::Base).rgb();
    // The image has the screen's device pixels, the view's positions are logical.
    const auto pixel = [&](int x, int y) {
        return image.pixel(QPoint(x, y) * image.devicePixelRatio());
    };
    const int x = view.viewport()->width() - 3;
    const QRgb selectedEnd = pixel(x, view.rowViewportPosition(0) + 2);
    EXPECT_LT(std::min(Distance(selectedEnd, highlight), Distance(selectedEnd, active)), 30);
    EXPECT_LT(Distance(pixel(x, view.rowViewportPosition(1) + 2), base), 30);
}

// The style still marks the row that has the keyboard's focus: the same row painted with and
// without the focus differs.
TEST(MonitorRowMarks, FocusedRowGetsTheStylesFocusFrame) {
    QStandardItemModel model;
    model.appendRow(new QStandardItem(QStringLiteral("   0.020  status  Line Ok!")));
    QTableView view;
    view.setModel(&model);
    MonitorRowPainter rows;
    const auto paint = [&](QStyle::State focus) {
        QStyleOptionViewItem option;
        option.initFrom(&view);
        option.widget = &view;
        option.font = view.font();
        option.state = QStyle::State_Enabled | QStyle::State_Active | focus;
        option.rect = QRect(0, 0, 300, QFontMetrics(view.font()).height() + 6);
        QImage image(option.rect.size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        rows.paint(&painter, option, model.index(0, 0));
        return image;
    };
    EXPECT_NE(paint(QStyle::State_HasFocus | QStyle::State_KeyboardFocusChange),
              paint(QStyle::State_None));
}

// How tall the ink is in the columns [left, right] of an image on white.
int InkHeight(const QImage& image, int left, int right) {
    int top = image.height();
    int bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = std::max(0, left); x <= right && x < image.width(); ++x) {
            if (Distance(image.pixel(x, y), QColor(Qt::white).rgb()) >= 150) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return bottom < top ? 0 : bottom - top + 1;
}

// A row longer than its rectangle ends in an ellipsis (a few dots on the baseline), not in a
// digit cut through at the edge.
TEST(MonitorRowElision, ACutRowEndsInAnEllipsis) {
    const QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    QStandardItemModel model;
    model.appendRow(new QStandardItem(QStringLiteral(
        "  12.345  rx      live sample       512 7  | 0055000802000700550008020007005500080200")));
    QStyleOptionViewItem option;
    option.font = font;
    option.palette = QApplication::palette();
    option.state = QStyle::State_Enabled | QStyle::State_Active;
    const int height = QFontMetrics(font).height() + 4;
    option.rect = QRect(0, 0, 200, height);
    QImage image(option.rect.width(), height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    MonitorRowPainter rows;
    rows.paint(&painter, option, model.index(0, 0));
    painter.end();

    const Ink ink = FindInk(image, QColor(Qt::white).rgb(), QColor(Qt::black).rgb());
    ASSERT_GE(ink.left, 0) << "nothing painted";
    const int advance = QFontMetrics(font).horizontalAdvance(QChar(u'0'));
    const int digitHeight = InkHeight(image, ink.left, ink.left + advance); // the "1" of 12.345
    const int lastHeight = InkHeight(image, ink.right - advance / 2, ink.right);
    EXPECT_GT(lastHeight, 0);
    EXPECT_LT(lastHeight * 3, digitHeight) << "the last glyph is not an ellipsis";
}

} // namespace
} // namespace ovx::ui
