// The live view's cheap painting keeps the look: indicators painted from a cached frame look as
// the spin box would paint itself, the strip chart's cached background follows its range and
// texts, and writing the value a control already shows repaints nothing.
#include <gtest/gtest.h>

#include <QBackingStore>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFocusEvent>
#include <QFont>
#include <QImage>
#include <QLineEdit>
#include <QLocale>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QRegion>
#include <QScreen>
#include <QSpinBox>
#include <QTest>
#include <QWindow>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "panel_fixture.h"
#include "support/row_name.h"
#include "support/wait_until.h"
#include "ui/chart_axes.h"
#include "ui/held_values.h"
#include "ui/indicator_painter.h"
#include "ui/plot.h"
#include "ui/repaint.h"
#include "ui/strip_chart.h"

namespace ovx::ui::testing {
namespace {

using namespace ovx::params;

class PaintCounter : public QObject {
  public:
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    int paints = 0;

  protected:
    bool eventFilter(QObject*, QEvent* e) override {
        paints += e->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

class ShownPanel : public RealPanels {
  protected:
    void SetUp() override {
        RealPanels::SetUp();
        DisplayPanel(main_);
        QElapsedTimer clock;
        clock.start();
        while (!Window(main_)->windowHandle()->isExposed() && clock.elapsed() < 2000) {
            ProcessSystemEvents();
        }
        ASSERT_TRUE(Window(main_)->windowHandle()->isExposed());
        Settle();
    }

    // Lets every paint that is due happen (the window paces its repaints at ~16 ms).
    void Settle() {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 60) {
            ProcessSystemEvents();
        }
    }

    // The indicator as the window shows it, its surroundings included.
    QImage Shown(QWidget* w) {
        QWidget* window = Window(main_);
        const QRect area(w->mapTo(window, QPoint()), w->size());
        return window->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
    }

    // Hands the painting back to the spin box itself, as Qt would paint it.
    static void PaintAsQtDoes(QSpinBox* box) {
        delete box->findChild<detail::IndicatorPainter*>();
        box->setAttribute(Qt::WA_OpaquePaintEvent, false);
        box->update();
    }
};

// Values of every width, a text too long for the box, and a dimmed indicator.
TEST_F(ShownPanel, IndicatorLooksExactlyAsTheSpinBoxPaintsItself) {
    const std::array ids{PANEL_VALNORM, PANEL_ADCCHA, PANEL_ADCCHB, PANEL_LOVAL};
    const std::array values{0, 517, -12, 4095, 2147483647, -2147483647};
    SetCtrlAttribute(main_, PANEL_LOVAL, kAttrDimmed, 1);
    std::vector<QImage> cheap;
    for (const int v : values) {
        for (const int id : ids) {
            ASSERT_EQ(SetCtrlVal(main_, id, v), 0);
            cheap.push_back(Shown(Ctrl<QSpinBox>(main_, id)));
        }
    }
    for (const int id : ids) {
        ASSERT_NE(Ctrl<QSpinBox>(main_, id)->findChild<detail::IndicatorPainter*>(), nullptr);
        PaintAsQtDoes(Ctrl<QSpinBox>(main_, id));
    }
    std::size_t i = 0;
    for (const int v : values) {
        for (const int id : ids) {
            SetCtrlVal(main_, id, v);
            EXPECT_EQ(cheap[i++], Shown(Ctrl<QSpinBox>(main_, id)))
                << "control " << id << " showing " << v;
        }
    }
}

// Without a style sheet: the frame is drawn again when the size or the state changes.
TEST(IndicatorPainter, FrameFollowsSizeAndDimmedState) {
    QWidget window;
    auto* box = new QSpinBox(&window);
    box->setReadOnly(true);
    box->setButtonSymbols(QAbstractSpinBox::NoButtons);
    box->setRange(-1000000, 1000000);
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    box->setGeometry(10, 10, 90, 26);
    window.resize(200, 60);
    const auto shown = [&] {
        return window.grab(box->geometry()).toImage().convertToFormat(QImage::Format_RGB32);
    };
    detail::IndicatorPainter::AttachAll(&window);
    ASSERT_NE(box->findChild<detail::IndicatorPainter*>(), nullptr);
    std::vector<QImage> cheap;
    const auto steps = [&](auto&& record) {
        box->setValue(42);
        record();
        box->setGeometry(10, 10, 130, 30);
        box->setValue(-77);
        record();
        box->setEnabled(false);
        record();
    };
    steps([&] { cheap.push_back(shown()); });
    delete box->findChild<detail::IndicatorPainter*>();
    box->setAttribute(Qt::WA_OpaquePaintEvent, false);
    box->setGeometry(10, 10, 90, 26);
    box->setEnabled(true);
    std::size_t i = 0;
    steps([&] { EXPECT_EQ(cheap[i++], shown()) << "step " << i; });
}

// The texts an indicator has shown are kept laid out: a value shown again, and the same value in
// another font or alignment, look as the spin box paints them.
TEST(IndicatorPainter, ValueShownAgainLooksAsTheSpinBoxPaintsIt) {
    QWidget window;
    auto* box = new QSpinBox(&window);
    box->setReadOnly(true);
    box->setButtonSymbols(QAbstractSpinBox::NoButtons);
    box->setRange(0, 10000);
    box->setGeometry(10, 10, 130, 40);
    window.resize(200, 60);
    const QFont normal = box->font();
    QFont larger = normal;
    larger.setPointSizeF(normal.pointSizeF() * 1.5);
    const auto steps = [&] {
        std::vector<QImage> shown;
        box->setFont(normal);
        box->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        for (const int v : {517, 4095, 517}) {
            box->setValue(v);
            shown.push_back(window.grab(box->geometry()).toImage());
        }
        box->setFont(larger);
        shown.push_back(window.grab(box->geometry()).toImage());
        box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        shown.push_back(window.grab(box->geometry()).toImage());
        return shown;
    };
    detail::IndicatorPainter::AttachAll(&window);
    ASSERT_NE(box->findChild<detail::IndicatorPainter*>(), nullptr);
    const std::vector<QImage> cheap = steps();
    delete box->findChild<detail::IndicatorPainter*>();
    box->setAttribute(Qt::WA_OpaquePaintEvent, false);
    const std::vector<QImage> qt = steps();
    ASSERT_EQ(cheap.size(), qt.size());
    for (std::size_t i = 0; i < cheap.size(); ++i) {
        EXPECT_EQ(cheap[i].convertToFormat(QImage::Format_RGB32),
                  qt[i].convertToFormat(QImage::Format_RGB32))
            << "picture " << i;
    }
    EXPECT_NE(qt[2], qt[3]) << "the larger font shows";
    EXPECT_NE(qt[3], qt[4]) << "the text moves to the right";
}

// A box paints the text of the value it holds before it takes the value: the picture is the one
// the written value gives, whatever the box adds to the number.
struct HeldTextRow {
    const char* name;
    int value;
    const char* prefix;
    const char* suffix;
    bool groupSeparator;
    const char* specialText;      // shown at the minimum, -5000
    const char* locale = "de_DE"; // a group separator of its own
};

void PrintTo(const HeldTextRow& row, std::ostream* os) {
    *os << row.name;
}

class HeldText : public ::testing::TestWithParam<HeldTextRow> {};

TEST_P(HeldText, IsPaintedAsTheWrittenValueShowsIt) {
    const HeldTextRow row = GetParam();
    QWidget window;
    window.resize(160, 40);
    auto* box = new QSpinBox(&window);
    box->setGeometry(10, 5, 140, 30);
    box->setReadOnly(true);
    box->setButtonSymbols(QAbstractSpinBox::NoButtons);
    box->setRange(-5000, 2000000);
    box->setLocale(QLocale(QString::fromLatin1(row.locale)));
    box->setPrefix(QString::fromUtf8(row.prefix));
    box->setSuffix(QString::fromUtf8(row.suffix));
    box->setGroupSeparatorShown(row.groupSeparator);
    box->setSpecialValueText(QString::fromUtf8(row.specialText));
    box->setValue(7);
    detail::IndicatorPainter::AttachAll(&window);
    const QImage before = box->grab().toImage();
    ASSERT_TRUE(detail::HoldValue(box, row.value));
    const QImage held = box->grab().toImage();
    EXPECT_EQ(box->value(), 7) << "the box took the value at its paint";
    detail::WriteHeldValues(&window);
    ASSERT_EQ(box->value(), row.value);
    EXPECT_EQ(held, box->grab().toImage()) << box->text().toStdString();
    EXPECT_NE(held, before);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, HeldText,
    ::testing::Values(HeldTextRow{"Plain", 1234, "", "", false, ""},
                      HeldTextRow{"Negative", -417, "", "", false, ""},
                      HeldTextRow{"GroupSeparator", 1234567, "", "", true, ""},
                      HeldTextRow{"PrefixAndSuffix", 35, "A=", " mV", false, ""},
                      HeldTextRow{"SpecialValueText", -5000, "", "", false, "off"},
                      HeldTextRow{"OtherDigits", 1234, "", "", false, "", "ar_EG"},
                      HeldTextRow{"OtherMinusSign", -417, "", "", false, "", "sv_SE"},
                      HeldTextRow{"CLocaleGroupsShown", -417, "", "", true, "", "C"}),
    ovx::testing::RowName{});

// The operator who clicks, focuses, types into or opens the menu of an indicator gets the text it
// shows, not the one the box had before its last writes.
struct ReachRow {
    const char* name;
    std::function<void(QLineEdit*)> reach;
};

void PrintTo(const ReachRow& row, std::ostream* os) {
    *os << row.name;
}

// Takes context menu events out before the edit opens its menu, which would wait for a choice.
class MenuEater : public QObject {
  protected:
    bool eventFilter(QObject*, QEvent* e) override { return e->type() == QEvent::ContextMenu; }
};

class HeldValueReached : public ::testing::TestWithParam<ReachRow> {};

// A read-only spin box of 0 to 9999 filling a small window, as the panels' indicators are.
QSpinBox* IndicatorIn(QWidget& window) {
    window.resize(160, 40);
    auto* box = new QSpinBox(&window);
    box->setGeometry(10, 5, 140, 30);
    box->setReadOnly(true);
    box->setRange(0, 9999);
    return box;
}

TEST_P(HeldValueReached, IsTakenByTheBoxAtOnce) {
    QWidget window;
    QSpinBox* box = IndicatorIn(window);
    box->setValue(7);
    auto* edit = box->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    // Installed before the painter's, so it sees events after the painter has.
    MenuEater eater;
    edit->installEventFilter(&eater);
    detail::IndicatorPainter::AttachAll(&window);
    window.show();
    ASSERT_TRUE(detail::HoldValue(box, 4242));
    ASSERT_EQ(box->text(), "7");
    GetParam().reach(edit);
    EXPECT_EQ(box->text(), "4242");
    EXPECT_EQ(detail::HeldValue(box), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Events, HeldValueReached,
    ::testing::Values(
        ReachRow{"Click", [](QLineEdit* e) { QTest::mousePress(e, Qt::LeftButton); }},
        ReachRow{"DoubleClick", [](QLineEdit* e) { QTest::mouseDClick(e, Qt::LeftButton); }},
        ReachRow{"Key", [](QLineEdit* e) { QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier); }},
        ReachRow{"Focus",
                 [](QLineEdit* e) {
                     QFocusEvent in(QEvent::FocusIn, Qt::MouseFocusReason);
                     QCoreApplication::sendEvent(e, &in);
                 }},
        ReachRow{"Menu",
                 [](QLineEdit* e) {
                     QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(2, 2),
                                            e->mapToGlobal(QPoint(2, 2)));
                     QCoreApplication::sendEvent(e, &menu);
                 }}),
    ovx::testing::RowName{});

// Counts an indicator's paints and keeps the text the last one showed (installed after the
// painter, it sees each paint event first).
class PaintedText : public QObject {
  public:
    explicit PaintedText(QSpinBox* box) : box_(box) { box->installEventFilter(this); }
    int paints = 0;
    QString last;

  protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            ++paints;
            last = detail::HeldText(box_).value_or(box_->text());
        }
        return false;
    }

  private:
    QSpinBox* box_;
};

// A number that changes faster than ten times a second cannot be read: a burst of values, each
// followed by event processing as the live view's frames are, repaints the box at most once an
// interval, and the last value written is painted, once the writes stop if not before.
TEST(IndicatorReading, ABurstIsPaintedTenTimesASecondAndItsLastValueAfterIt) {
    QWidget window;
    QSpinBox* box = IndicatorIn(window);
    detail::IndicatorPainter::AttachAll(&window);
    window.show();
    QCoreApplication::processEvents();
    PaintedText painted(box);
    QElapsedTimer clock;
    clock.start();
    constexpr int kWrites = 60;
    for (int i = 1; i <= kWrites; ++i) {
        ASSERT_TRUE(detail::HoldValue(box, i));
        QCoreApplication::processEvents();
    }
    EXPECT_GE(painted.paints, 1) << "the first value at once";
    EXPECT_LE(painted.paints, clock.elapsed() / 100 + 1);
    EXPECT_TRUE(ovx::testing::WaitUntil([&] { return painted.last == QStringLiteral("60"); }, 2.0))
        << "the last value painted: " << painted.last.toStdString();
}

// While a live run writes a box, the box paints the values it holds and takes none of them (each
// take lays its text out); a second after the writes stop it takes the last one.
TEST(IndicatorReading, TheBoxTakesItsValueOnlyOnceTheWritesStop) {
    QWidget window;
    QSpinBox* box = IndicatorIn(window);
    detail::IndicatorPainter::AttachAll(&window);
    window.show();
    QCoreApplication::processEvents(); // the box takes the focus, and with it what it holds
    const int before = box->value();
    PaintedText painted(box);
    const auto frameApart = [] { ovx::testing::WaitUntil([] { return false; }, 0.04); };
    QElapsedTimer clock;
    clock.start();
    int written = 0;
    while (clock.elapsed() < 1300) { // frames 40 ms apart for longer than the write-back's second
        ASSERT_TRUE(detail::HoldValue(box, ++written));
        frameApart();
    }
    EXPECT_GE(painted.paints, 5);
    EXPECT_EQ(box->value(), before) << "taken while the writes go on";
    clock.restart();
    ASSERT_TRUE(ovx::testing::WaitUntil([&] { return box->value() == written; }, 2.5));
    EXPECT_GE(clock.elapsed(), 700) << "taken before a second without paints";
}

// The operator who selects an indicator's text (to copy a value) sees the selection, and values
// written meanwhile show at once; without a selection the box holds them again.
TEST(IndicatorPainter, TheOperatorsSelectionShowsAndValuesAreWrittenAtOnce) {
    QWidget window;
    QSpinBox* box = IndicatorIn(window);
    box->setValue(1234);
    detail::IndicatorPainter::AttachAll(&window);
    window.show();
    QCoreApplication::processEvents();
    auto* edit = box->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    const auto highlighted = [box, edit] {
        const QImage image = box->grab().toImage();
        const QRgb highlight = edit->palette().color(QPalette::Highlight).rgb();
        int pixels = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                pixels += image.pixel(x, y) == highlight ? 1 : 0;
            }
        }
        return pixels;
    };
    EXPECT_EQ(highlighted(), 0);
    ASSERT_TRUE(detail::HoldValue(box, 777)); // held when the selection begins
    edit->selectAll();
    EXPECT_GT(highlighted(), 20) << "the selection's highlight";
    EXPECT_FALSE(detail::HoldValue(box, 4321)) << "held while the text is selected";
    EXPECT_EQ(detail::HeldValue(box), std::nullopt) << "a read would get the old value";
    edit->deselect();
    EXPECT_TRUE(detail::HoldValue(box, 4321));
}

TEST(IndicatorPainter, EditableSpinBoxesPaintThemselves) {
    QWidget window;
    auto* editable = new QSpinBox(&window);
    auto* indicator = new QSpinBox(&window);
    indicator->setReadOnly(true);
    detail::IndicatorPainter::AttachAll(&window);
    EXPECT_EQ(editable->findChild<detail::IndicatorPainter*>(), nullptr);
    EXPECT_NE(indicator->findChild<detail::IndicatorPainter*>(), nullptr);
    EXPECT_FALSE(editable->testAttribute(Qt::WA_OpaquePaintEvent));
}

TEST_F(ShownPanel, WritingTheValueAControlShowsRepaintsNothing) {
    auto* indicator = Ctrl<QSpinBox>(main_, PANEL_ADCCHA);
    auto* tolerance = Ctrl<QSpinBox>(main_, PANEL_TOLERANCE);
    auto* led = static_cast<QWidget*>(CtrlWidget(main_, PANEL_LEDREF));
    SetCtrlVal(main_, PANEL_ADCCHA, 1234);
    SetCtrlVal(main_, PANEL_TOLERANCE, 100);
    SetCtrlVal(main_, PANEL_LEDREF, 1);
    Settle();
    PaintCounter indicatorPaints(indicator), tolerancePaints(tolerance), ledPaints(led);
    for (int frame = 0; frame < 5; ++frame) {
        SetCtrlVal(main_, PANEL_ADCCHA, 1234);
        SetCtrlVal(main_, PANEL_TOLERANCE, 100);
        SetCtrlVal(main_, PANEL_LEDREF, 1);
        Settle();
    }
    EXPECT_EQ(indicatorPaints.paints, 0);
    EXPECT_EQ(tolerancePaints.paints, 0);
    EXPECT_EQ(ledPaints.paints, 0);

    SetCtrlVal(main_, PANEL_ADCCHA, 1235);
    Settle();
    EXPECT_GE(indicatorPaints.paints, 1);
    EXPECT_EQ(IntOf(main_, PANEL_ADCCHA), 1235);
    QElapsedTimer clock;
    clock.start();
    while (indicator->text() != "1235" && clock.elapsed() < 2000) {
        ProcessSystemEvents(); // the box takes the value it showed a moment later
    }
    EXPECT_EQ(indicator->text(), "1235");
    // A value beyond the range is still clamped, the second time as the first.
    for (int i = 0; i < 2; ++i) {
        SetCtrlVal(main_, PANEL_TOLERANCE, 70000);
        EXPECT_EQ(IntOf(main_, PANEL_TOLERANCE), 65535);
    }
}

// A dialog that has just closed leaves its picture on the window until the window is painted
// again; a flash run started by that dialog processes no events, so the paint must not wait for
// the window's pacing of repaints, and it must reach the chart too.
TEST_F(ShownPanel, EveryWindowIsPaintedAtOnceWhenADialogHasClosed) {
    PaintCounter chartPaints(static_cast<QWidget*>(CtrlWidget(main_, PANEL_STRIPNORM)));
    SetCtrlVal(main_, PANEL_ADCCHA, 4321);
    detail::FlushPendingRepaints(); // a paint just now: the window holds the next one back
    detail::RepaintWindowsNow();
    EXPECT_GE(chartPaints.paints, 1);
}

// --- values written faster than they are painted ---

// An indicator of a hidden panel, written again and again (the live view with the window
// minimised), keeps its text until the window shows it; reading it gives the last value at once.
TEST_F(RealPanels, HiddenIndicatorTakesItsLastValueWhenShown) {
    auto* box = Ctrl<QSpinBox>(main_, PANEL_VALNORM);
    ASSERT_NE(box->findChild<detail::IndicatorPainter*>(), nullptr);
    const QString before = box->text();
    for (int v = 1; v <= 500; ++v) {
        ASSERT_EQ(SetCtrlVal(main_, PANEL_VALNORM, v), 0);
        ASSERT_EQ(IntOf(main_, PANEL_VALNORM), v);
    }
    EXPECT_EQ(box->text(), before) << "no text laid out for a window nobody sees";
    DisplayPanel(main_);
    QElapsedTimer clock;
    clock.start();
    while (box->text() != "500" && clock.elapsed() < 2000) {
        ProcessSystemEvents();
    }
    EXPECT_EQ(box->text(), "500");
    EXPECT_EQ(box->value(), 500);
}

// Read back at once, shown or hidden, clamped to the box's range as the box itself would (here
// a range a panel file may give: 0 to 65535).
struct ReadBackRow {
    const char* name;
    bool shown;
    int written;
    int read;
};

class IndicatorReadBack : public ShownPanel, public ::testing::WithParamInterface<ReadBackRow> {};

TEST_P(IndicatorReadBack, ReadsTheLastValueWritten) {
    const ReadBackRow& row = GetParam();
    Ctrl<QSpinBox>(main_, PANEL_AMAX)->setRange(0, 65535);
    if (!row.shown) {
        HidePanel(main_);
    }
    ASSERT_EQ(SetCtrlVal(main_, PANEL_AMAX, row.written - 1), 0);
    ASSERT_EQ(SetCtrlVal(main_, PANEL_AMAX, row.written), 0);
    EXPECT_EQ(IntOf(main_, PANEL_AMAX), row.read);
    Settle();
    EXPECT_EQ(IntOf(main_, PANEL_AMAX), row.read);
}

INSTANTIATE_TEST_SUITE_P(Indicators, IndicatorReadBack,
                         ::testing::Values(ReadBackRow{"Shown", true, 4321, 4321},
                                           ReadBackRow{"Hidden", false, 4321, 4321},
                                           ReadBackRow{"ShownBeyondItsRange", true, 70000, 65535},
                                           ReadBackRow{"HiddenBeyondItsRange", false, 70000,
                                                       65535}),
                         ovx::testing::RowName());

// --- strip chart ---

constexpr int kPoints = 101;
constexpr int kTraces = 4;

void Prepare(StripChart& chart) {
    chart.resize(480, 300);
    chart.setTraceCount(kTraces);
    chart.setPointsPerScreen(kPoints);
    chart.setTraceColor(4, QColor(0xFF0000));
}

// Two limits, the reference and a wave, then a falling line.
std::array<double, kTraces> FrameValues(int frame) {
    const double value = frame < 150 ? 500.0 + 300.0 * std::sin(frame * 0.2) : 2600.0 - frame;
    return {612.0, 412.0, 512.0, value};
}

void PushFrame(StripChart& chart, int frame) {
    for (const double v : FrameValues(frame)) {
        chart.pushValue(v);
    }
}

QImage Painted(StripChart& chart) {
    return chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

int RedPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += c.red() > 200 && c.green() < 90 && c.blue() < 90 ? 1 : 0;
        }
    }
    return n;
}

// A trace with level runs (a run of equal values) looks as every one of its points joined by a
// line: the run is drawn as one segment, its steps and its ends where they are.
struct LevelRow {
    const char* name;
    std::vector<double> values; // cycled over the chart's points
};

class StripChartLevels : public ::testing::TestWithParam<LevelRow> {};

constexpr int kJoinShade = 96; // measured up to 57; a misplaced step or end: 171 and more

// The chart's background alone (no points), and every point of the trace joined on it as the
// chart draws a trace.
QImage EveryPointJoined(const StripChart& chart, const std::vector<double>& points) {
    StripChart empty;
    Prepare(empty);
    QImage image = Painted(empty);
    const detail::ChartFrame frame = chart.currentFrame();
    std::vector<QPointF> line;
    for (std::size_t p = 0; p < points.size(); ++p) {
        line.emplace_back(frame.MapX(static_cast<double>(p)), frame.MapY(points[p]));
    }
    QPainter painter(&image);
    painter.setClipRect(frame.plot());
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(QColor(0xFF0000), 1.0);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.drawPolyline(line.data(), static_cast<int>(line.size()));
    return image;
}

TEST_P(StripChartLevels, TraceLooksAsEveryPointJoined) {
    const LevelRow& row = GetParam();
    StripChart chart;
    Prepare(chart);
    chart.setTraceCount(1);
    chart.setTraceColor(1, QColor(0xFF0000));
    std::vector<double> points;
    for (int p = 0; p < kPoints; ++p) {
        points.push_back(row.values[static_cast<std::size_t>(p) % row.values.size()]);
        chart.pushValue(points.back());
    }
    const QImage expected = EveryPointJoined(chart, points);
    EXPECT_GT(RedPixels(expected), 100);
    const QImage shown = Painted(chart);
    ASSERT_EQ(shown.size(), expected.size());
    // Where points of a run meet, the joined line blends one segment's end into the next: a
    // shade apart at most. A step or an end out of place is a whole line apart.
    int worst = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            const QColor a = shown.pixelColor(x, y), b = expected.pixelColor(x, y);
            worst = std::max({worst, std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                              std::abs(a.blue() - b.blue())});
        }
    }
    EXPECT_LE(worst, kJoinShade);
}

INSTANTIATE_TEST_SUITE_P(
    Chart, StripChartLevels,
    ::testing::Values(LevelRow{"OneLevel", {512.0}},
                      LevelRow{"StepsEveryTenPoints",
                               {100, 100, 100, 100, 100, 100, 100, 100, 100, 100,
                                700, 700, 700, 700, 700, 700, 700, 700, 700, 700}},
                      LevelRow{"PairsOfEqualValues", {300, 300, 600, 600}},
                      LevelRow{"RampThenLevel", {0, 100, 200, 300, 400, 500, 500, 500, 500, 500}},
                      LevelRow{"NoTwoEqualInARow", {250, 750}}),
    ovx::testing::RowName());

// Frame after frame the range widens (values up to 2450) and narrows again as they scroll out,
// and the y-axis name comes and goes: each painting equals a new chart's with the same data.
// Level traces at the head of the trace order (the NORM chart's limits and reference) are kept
// drawn on the background from frame to frame: the chart still looks exactly as every trace
// drawn in order, frame after frame, also when a level moves or a trace becomes level.
constexpr double kWave = std::numeric_limits<double>::quiet_NaN();

struct LayerRow {
    const char* name;
    std::array<double, kTraces> first;  // per trace: a level, or kWave (no two points equal)
    std::array<double, kTraces> second; // for the next screen of points
};

class StripChartLevelLayer : public ::testing::TestWithParam<LayerRow> {};

double TraceValue(const std::array<double, kTraces>& levels, int trace, int frame) {
    const double level = levels[static_cast<std::size_t>(trace)];
    return std::isnan(level) ? 500.0 + 300.0 * std::sin(frame * 0.7 + trace) : level;
}

// Every trace's points joined, in trace order, on the background of an empty chart; a level
// trace as the one line from its first point to its last, as the chart draws a level run.
QImage EveryTraceJoined(const StripChart& chart, const std::vector<std::vector<double>>& traces) {
    StripChart empty;
    Prepare(empty);
    QImage image = Painted(empty);
    const detail::ChartFrame frame = chart.currentFrame();
    QPainter painter(&image);
    painter.setClipRect(frame.plot());
    painter.setRenderHint(QPainter::Antialiasing);
    for (int t = 0; t < kTraces; ++t) {
        const auto& trace = traces[static_cast<std::size_t>(t)];
        const bool level =
            std::all_of(trace.begin(), trace.end(), [&](double v) { return v == trace.front(); });
        std::vector<QPointF> line;
        for (std::size_t p = 0; p < trace.size(); ++p) {
            if (!level || p == 0 || p + 1 == trace.size()) {
                line.emplace_back(frame.MapX(static_cast<double>(p)), frame.MapY(trace[p]));
            }
        }
        QPen pen(chart.traceColor(t + 1), 1.0);
        pen.setCosmetic(true);
        painter.setPen(pen);
        painter.drawPolyline(line.data(), static_cast<int>(line.size()));
    }
    return image;
}

TEST_P(StripChartLevelLayer, LooksAsEveryTraceDrawnInOrder) {
    StripChart chart;
    Prepare(chart);
    std::vector<std::vector<double>> traces(kTraces);
    int frame = 0;
    for (const auto* levels : {&GetParam().first, &GetParam().second}) {
        for (int p = 0; p < kPoints; ++p, ++frame) {
            for (int t = 0; t < kTraces; ++t) {
                auto& trace = traces[static_cast<std::size_t>(t)];
                trace.push_back(TraceValue(*levels, t, frame));
                if (trace.size() > static_cast<std::size_t>(kPoints)) {
                    trace.erase(trace.begin());
                }
                chart.pushValue(trace.back());
            }
        }
        EXPECT_EQ(Painted(chart), EveryTraceJoined(chart, traces)) << "frame " << frame;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Chart, StripChartLevelLayer,
    ::testing::Values(
        LayerRow{"LimitsAndReference", {612, 412, 512, kWave}, {612, 412, 512, kWave}},
        LayerRow{"LimitMovedSincePainted", {612, 412, 512, kWave}, {700, 412, 512, kWave}},
        LayerRow{"LevelsAfterAWave", {kWave, 412, 512, kWave}, {kWave, 412, 512, kWave}},
        LayerRow{"LastTraceLevel", {kWave, kWave, kWave, 512}, {kWave, kWave, kWave, 512}},
        LayerRow{"WaveBecomesLevel", {kWave, kWave, kWave, kWave}, {600, kWave, kWave, kWave}}),
    ovx::testing::RowName());

TEST(StripChartPainting, ChartPaintedFrameAfterFrameLooksAsANewChartWithTheSameData) {
    StripChart live;
    Prepare(live);
    int compared = 0;
    for (int frame = 0; frame < 420; ++frame) {
        PushFrame(live, frame);
        if (frame == 200) {
            live.setYName("NORM");
        }
        if (frame == 330) {
            live.setYName("");
        }
        const QImage shown = Painted(live);
        if (frame % 30 != 29) {
            continue;
        }
        StripChart fresh;
        Prepare(fresh);
        fresh.setYName(frame >= 200 && frame < 330 ? "NORM" : "");
        for (int f = std::max(0, frame - kPoints + 1); f <= frame; ++f) {
            PushFrame(fresh, f);
        }
        const QImage expected = Painted(fresh);
        EXPECT_GT(RedPixels(expected), 100) << "frame " << frame;
        EXPECT_EQ(shown, expected) << "frame " << frame;
        ++compared;
    }
    EXPECT_EQ(compared, 14);
}

// A change after a paint shows on the next: the chart paints as a new one given the same data
// and settings would.
struct ChartChangeRow {
    const char* name;
    std::function<void(StripChart&)> change;
};

void PrintTo(const ChartChangeRow& row, std::ostream* os) {
    *os << row.name;
}

class StripChartChange : public ::testing::TestWithParam<ChartChangeRow> {};

TEST_P(StripChartChange, ShowsOnTheNextPaint) {
    const auto filled = [](StripChart& chart) {
        Prepare(chart);
        for (int frame = 0; frame < 120; ++frame) {
            PushFrame(chart, frame);
        }
    };
    StripChart live;
    filled(live);
    const QImage before = Painted(live);
    GetParam().change(live);
    StripChart fresh;
    filled(fresh);
    GetParam().change(fresh);
    const QImage expected = Painted(fresh);
    ASSERT_NE(expected, before) << "a change that shows";
    EXPECT_EQ(Painted(live), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Chart, StripChartChange,
    ::testing::Values(ChartChangeRow{"PointsPushedWhole",
                                     [](StripChart& chart) {
                                         std::vector<double> points;
                                         for (int frame = 120; frame < 130; ++frame) {
                                             const auto values = FrameValues(frame);
                                             points.insert(points.end(), values.begin(),
                                                           values.end());
                                         }
                                         chart.pushPoints(points.data(), 10);
                                     }},
                      ChartChangeRow{
                          "LevelLineColour",
                          [](StripChart& chart) { chart.setTraceColor(1, QColor(0x00A000)); }},
                      ChartChangeRow{"YName", [](StripChart& chart) { chart.setYName("NORM"); }},
                      ChartChangeRow{"LargerFont",
                                     [](StripChart& chart) {
                                         QFont font = chart.font();
                                         font.setPointSizeF(font.pointSizeF() * 1.5);
                                         chart.setFont(font);
                                     }},
                      ChartChangeRow{"Resized", [](StripChart& chart) { chart.resize(400, 260); }},
                      ChartChangeRow{"Cleared", [](StripChart& chart) { chart.clear(); }}),
    ovx::testing::RowName());

// The regions the chart's paints cover.
class PaintRegions : public QObject {
  public:
    explicit PaintRegions(QWidget* w) { w->installEventFilter(this); }
    std::vector<QRegion> regions;

    // Asks the chart for its repaint and processes events until it paints, for 2 s at most.
    bool PaintedAfter(StripChart& chart) {
        const std::size_t before = regions.size();
        chart.scheduleRepaint();
        return ovx::testing::WaitUntil([&] { return regions.size() > before; }, 2.0);
    }

  protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            regions.push_back(static_cast<QPaintEvent*>(e)->region());
        }
        return false;
    }
};

// A new point inside the chart's y range repaints the rows of the plot area where the trace was
// and is now, from the first point held to the right edge; one that widens the range repaints the
// labels with it.
struct RepaintRow {
    const char* name;
    double value;
    bool whole;
};

class StripChartRepaint : public ::testing::TestWithParam<RepaintRow> {};

TEST_P(StripChartRepaint, CoversWhatTheNewPointChanges) {
    StripChart chart;
    chart.resize(480, 300);
    chart.setPointsPerScreen(10);
    PaintRegions paints(&chart);
    const auto paintAfter = [&](double value) {
        chart.pushValue(value);
        return paints.PaintedAfter(chart);
    };
    chart.show();
    // The whole chart as it is shown, then the plot area: the window's picture is known then.
    for (const double v : {500.0, 520.0, 540.0}) {
        ASSERT_TRUE(paintAfter(v));
    }
    ASSERT_TRUE(paintAfter(GetParam().value));
    const QRect shown = paints.regions.back().boundingRect();
    if (GetParam().whole) {
        EXPECT_TRUE(QRegion(chart.rect()).subtracted(paints.regions.back()).isEmpty());
        return;
    }
    const detail::ChartFrame frame = chart.currentFrame();
    const QRect plot = frame.plot().toAlignedRect();
    EXPECT_TRUE(plot.contains(shown));
    EXPECT_EQ(shown.right(), plot.right()) << "the newest point is at the right edge";
    EXPECT_LT(shown.height(), plot.height() / 2);
    for (const double v : {500.0, GetParam().value}) {
        const int y = static_cast<int>(frame.MapY(v));
        EXPECT_TRUE(shown.top() < y && y < shown.bottom()) << "the trace at " << v;
    }
}

// What the window shows after frame after frame of partial repaints (bands, level lines that
// move, a trace that becomes level, a wider range) is what a paint of the whole chart draws.
TEST(StripChartPainting, WindowShowsWhatAWholePaintDraws) {
    StripChart chart;
    Prepare(chart);
    chart.setPointsPerScreen(20);
    chart.show();
    PaintRegions paints(&chart);
    // The window's backing store as it stands, in device pixels (the offscreen screen's grab
    // of a window is in points, which a scale of 2 would not show).
    const auto screen = [&] {
        const auto* stored = dynamic_cast<const QImage*>(chart.backingStore()->paintDevice());
        return stored != nullptr ? stored->convertToFormat(QImage::Format_RGB32) : QImage();
    };
    int compared = 0;
    for (int frame = 0; frame < 100; ++frame) {
        const double wave = 500.0 + 300.0 * std::sin(frame * 0.5);
        const double upper = frame < 30 ? 612.0 : 700.0;
        const double value = frame < 60 ? wave : (frame < 90 ? 512.0 : 1000.0 + 60.0 * frame);
        for (const double v : {upper, 412.0, 512.0, value}) {
            chart.pushValue(v);
        }
        const std::size_t before = paints.regions.size();
        chart.scheduleRepaint();
        // A frame that changes nothing shown (every trace a level line that stays) paints
        // nothing; any other paints within the chart's pacing of ~25 ms.
        ovx::testing::WaitUntil([&] { return paints.regions.size() > before; }, 0.1);
        QCoreApplication::processEvents(); // a paint that asked for more gets it
        if (frame % 5 == 4) {
            EXPECT_EQ(screen(), Painted(chart)) << "frame " << frame;
            ++compared;
        }
    }
    EXPECT_EQ(compared, 20);
}

// A paint of part of the chart that the chart did not ask for (an expose) between a frame and
// the repaint the frame asks for draws the new trace there only: the window still shows the old
// trace elsewhere, and the frame's repaint takes it away.
TEST(StripChartPainting, ExposeBeforeAFramesRepaintLeavesNoOldTrace) {
    StripChart chart;
    Prepare(chart);
    chart.setPointsPerScreen(20);
    chart.show();
    PaintRegions paints(&chart);
    const auto paintedAfter = [&](int frame) {
        PushFrame(chart, frame);
        return paints.PaintedAfter(chart);
    };
    // The whole chart, the plot area, then the bands: the window's picture is known.
    for (int frame = 0; frame < 24; ++frame) {
        ASSERT_TRUE(paintedAfter(frame));
    }
    PushFrame(chart, 40); // the wave moves; its repaint is not asked for yet
    const QRect plot = chart.currentFrame().plot().toAlignedRect();
    chart.repaint(QRect(plot.left(), plot.top(), plot.width() / 4, plot.height()));
    ASSERT_TRUE(paintedAfter(41));
    const auto* stored = dynamic_cast<const QImage*>(chart.backingStore()->paintDevice());
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->convertToFormat(QImage::Format_RGB32), Painted(chart));
}

INSTANTIATE_TEST_SUITE_P(Points, StripChartRepaint,
                         ::testing::Values(RepaintRow{"InsideTheRange", 600.0, false},
                                           RepaintRow{"WideningTheRange", 5000.0, true}),
                         ovx::testing::RowName());

} // namespace
} // namespace ovx::ui::testing
