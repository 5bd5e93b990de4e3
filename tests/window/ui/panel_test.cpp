// Loading panels, the controls of the real panel file, values and attributes by kind.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QWindow>

#include <array>
#include <cmath>
#include <cstring>
#include <span>
#include <string>

#include "panel_fixture.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/timing.h"
#include "ui/graph.h"
#include "ui/led.h"
#include "ui/repaint.h"
#include "ui/strip_chart.h"

namespace ovx::ui::testing {
namespace {

using namespace ovx::params;

// A panel file with one panel (resource 7) holding control 1 and, unless left out, control 2.
std::string SmallPanelFile(bool withControl2, const char* extraControl = "") {
    std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0"><class>F</class><widget class="QWidget" name="F">
 <widget class="QWidget" name="p7">
  <property name="resourceId" stdset="0"><number>7</number></property>
  <widget class="QSpinBox" name="a"><property name="ctrlId" stdset="0"><number>1</number></property></widget>
)";
    if (withControl2) {
        xml +=
            R"(<widget class="QLineEdit" name="b"><property name="ctrlId" stdset="0"><number>2</number></property></widget>)";
    }
    xml += extraControl;
    xml += "</widget></widget></ui>\n";
    return xml;
}

class PanelFileErrors : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        const std::array required{1, 2};
        RequireControls(7, required.data(), static_cast<int>(required.size()));
    }
    void TearDown() override { RequireControls(7, nullptr, 0); }

    std::string Write(const std::string& name, const std::string& content) {
        const QString path = dir_.filePath(QString::fromStdString(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content.data(), static_cast<qint64>(content.size()));
        return path.toStdString();
    }

    QTemporaryDir dir_;
};

TEST_F(PanelFileErrors, MissingFileIsReportedAsMissing) {
    const std::string path = dir_.filePath("nothing.uir").toStdString();
    EXPECT_EQ(LoadPanel(0, path.c_str(), 7), platform::kUiPanelFileMissing);
    EXPECT_EQ(LoadPanel(0, nullptr, 7), platform::kUiPanelFileMissing);
}

TEST_F(PanelFileErrors, FilesThatAreNoPanelFileAreDamaged) {
    EXPECT_EQ(LoadPanel(0, Write("junk.uir", "\x01\x02 not xml at all").c_str(), 7),
              platform::kUiPanelFileDamaged);
    EXPECT_EQ(LoadPanel(0, Write("cut.uir", SmallPanelFile(true).substr(0, 200)).c_str(), 7),
              platform::kUiPanelFileDamaged);
    const std::string noPanels = R"(<ui version="4.0"><widget class="QWidget" name="F">
        <widget class="QLabel" name="x"/></widget></ui>)";
    EXPECT_EQ(LoadPanel(0, Write("plain.uir", noPanels).c_str(), 7), platform::kUiPanelFileDamaged);
}

TEST_F(PanelFileErrors, FileLackingARequiredControlIsDamaged) {
    EXPECT_EQ(LoadPanel(0, Write("short.uir", SmallPanelFile(false)).c_str(), 7),
              platform::kUiPanelFileDamaged);
    const int ok = LoadPanel(0, Write("full.uir", SmallPanelFile(true)).c_str(), 7);
    EXPECT_GT(ok, 0);
    DiscardPanel(ok);
}

TEST_F(PanelFileErrors, ControlOfNoUsableKindDoesNotCount) {
    // Control 2 is there, but as a plain frame that holds no value.
    const char* frame =
        R"(<widget class="QFrame" name="b"><property name="ctrlId" stdset="0"><number>2</number></property></widget>)";
    EXPECT_EQ(LoadPanel(0, Write("frame.uir", SmallPanelFile(false, frame)).c_str(), 7),
              platform::kUiPanelFileDamaged);
}

TEST_F(PanelFileErrors, ControlIdUsedTwiceIsDamaged) {
    const char* twice =
        R"(<widget class="QSpinBox" name="c"><property name="ctrlId" stdset="0"><number>1</number></property></widget>)";
    EXPECT_EQ(LoadPanel(0, Write("twice.uir", SmallPanelFile(true, twice)).c_str(), 7),
              platform::kUiPanelFileDamaged);
}

TEST_F(PanelFileErrors, RingValuesNotMatchingItsItemsAreDamaged) {
    const char* ring = R"(<widget class="QComboBox" name="r">
        <property name="ctrlId" stdset="0"><number>3</number></property>
        <property name="itemValues" stdset="0"><string>5,x</string></property>
        <item><property name="text"><string>a</string></property></item>
        <item><property name="text"><string>b</string></property></item></widget>)";
    EXPECT_EQ(LoadPanel(0, Write("ring.uir", SmallPanelFile(true, ring)).c_str(), 7),
              platform::kUiPanelFileDamaged);
}

TEST_F(PanelFileErrors, UnknownResourceAndParent) {
    const std::string path = Write("full.uir", SmallPanelFile(true));
    EXPECT_EQ(LoadPanel(0, path.c_str(), 8), platform::kUiNoSuchResource);
    EXPECT_EQ(LoadPanel(999, path.c_str(), 7), platform::kUiInvalidPanel);
}

TEST_F(PanelFileErrors, DiscardedPanelIsNoLongerAddressable) {
    const int handle = LoadPanel(0, Write("full.uir", SmallPanelFile(true)).c_str(), 7);
    ASSERT_GT(handle, 0);
    EXPECT_EQ(DiscardPanel(handle), 0);
    int v = 0;
    EXPECT_EQ(GetCtrlVal(handle, 1, &v), platform::kUiInvalidPanel);
    EXPECT_EQ(DiscardPanel(handle), platform::kUiInvalidPanel);
    EXPECT_EQ(DisplayPanel(handle), platform::kUiInvalidPanel);
    EXPECT_EQ(CtrlWidget(handle, 1), nullptr);
}

// --- the real panel file ---

using PanelDefinition = RealPanels;

struct KindRow {
    int id;
    const char* qtClass;
};

constexpr std::array kMainKinds{
    KindRow{PANEL_DROPDCOM, "QComboBox"},
    KindRow{PANEL_STRIPNORM, "ovx::ui::StripChart"},
    KindRow{PANEL_STRIPRAW, "ovx::ui::StripChart"},
    KindRow{PANEL_RNGGRAPHSOURCE, "QComboBox"},
    KindRow{PANEL_BTNDATA, "QPushButton"},
    KindRow{PANEL_LEDTOL, "ovx::ui::Led"},
    KindRow{PANEL_LEDREF, "ovx::ui::Led"},
    KindRow{PANEL_RBTFILE, "QRadioButton"},
    KindRow{PANEL_RBTEEPROM, "QRadioButton"},
    KindRow{PANEL_RBTRAM, "QRadioButton"},
    KindRow{PANEL_POLARITY, "QSpinBox"},
    KindRow{PANEL_BTNRUN, "QPushButton"},
    KindRow{PANEL_HOLD, "QSpinBox"},
    KindRow{PANEL_MAXMODE, "QSpinBox"},
    KindRow{PANEL_AVERAGE, "QSpinBox"},
    KindRow{PANEL_HWMODE, "QSpinBox"},
    KindRow{PANEL_DROP_EVALMODE, "QComboBox"},
    KindRow{PANEL_VALNORM, "QSpinBox"},
    KindRow{PANEL_ADCCHB, "QSpinBox"},
    KindRow{PANEL_ADCCHA, "QSpinBox"},
    KindRow{PANEL_LOVAL, "QSpinBox"},
    KindRow{PANEL_UPVAL, "QSpinBox"},
    KindRow{PANEL_AMAX, "QSpinBox"},
    KindRow{PANEL_TOLERANCE, "QSpinBox"},
    KindRow{PANEL_REFERENCE, "QSpinBox"},
    KindRow{PANEL_HYSTERESIS, "QSpinBox"},
    KindRow{PANEL_STATUS, "QLineEdit"},
    KindRow{PANEL_TRIGLVL, "QSpinBox"},
    KindRow{PANEL_POWER, "QSpinBox"},
    KindRow{PANEL_GRAPHDATA, "ovx::ui::Graph"},
    KindRow{PANEL_TOGBTNPARAII, "QPushButton"},
    KindRow{PANEL_TRIGMODETEXT, "QPlainTextEdit"},
    KindRow{PANEL_BTNSEND, "QPushButton"},
    KindRow{PANEL_BTNGET, "QPushButton"},
    KindRow{PANEL_BTNSTOP, "QPushButton"},
    KindRow{PANEL_BUTTONTEACH, "QPushButton"},
    KindRow{PANEL_BUTTONRESET, "QPushButton"},
};
constexpr std::array kPopupKinds{
    KindRow{POPUP_ANAMODE, "QSpinBox"}, KindRow{POPUP_DROP_DIFFBUFF, "QComboBox"},
    KindRow{POPUP_SDELAY, "QSpinBox"}, KindRow{POPUP_DROPTRIGMODE, "QComboBox"}};

TEST_F(PanelDefinition, EveryControlOfBothPanelsHasItsKindAndAName) {
    static_assert(kMainKinds.size() == kPanelControls.size());
    for (const auto& [panel, rows] : {std::pair{main_, std::span<const KindRow>(kMainKinds)},
                                      std::pair{popup_, std::span<const KindRow>(kPopupKinds)}}) {
        for (const KindRow& row : rows) {
            auto* w = static_cast<QWidget*>(CtrlWidget(panel, row.id));
            ASSERT_NE(w, nullptr) << "control " << row.id;
            EXPECT_STREQ(w->metaObject()->className(), row.qtClass) << "control " << row.id;
            EXPECT_FALSE(w->accessibleName().isEmpty()) << "control " << row.id;
        }
    }
    for (const int id : kPanelControls) {
        EXPECT_NE(CtrlWidget(main_, id), nullptr) << "control " << id;
    }
}

TEST_F(PanelDefinition, ToggleIsCheckableAndCommandButtonsAreNot) {
    EXPECT_TRUE(Ctrl<QPushButton>(main_, PANEL_TOGBTNPARAII)->isCheckable());
    for (const int id : {PANEL_BTNSEND, PANEL_BTNGET, PANEL_BTNSTOP, PANEL_BUTTONTEACH,
                         PANEL_BUTTONRESET, PANEL_BTNRUN, PANEL_BTNDATA}) {
        EXPECT_FALSE(Ctrl<QPushButton>(main_, id)->isCheckable()) << "control " << id;
    }
    for (const int id : {PANEL_RBTRAM, PANEL_RBTEEPROM, PANEL_RBTFILE}) {
        EXPECT_FALSE(Ctrl<QRadioButton>(main_, id)->autoExclusive()) << "control " << id;
    }
}

TEST_F(PanelDefinition, ParameterControlsStartAtTheStartValues) {
    const std::array<std::pair<int, int>, 11> mainStart{{{PANEL_POWER, 500},
                                                         {PANEL_REFERENCE, 2048},
                                                         {PANEL_TOLERANCE, 512},
                                                         {PANEL_HYSTERESIS, 20},
                                                         {PANEL_POLARITY, 1},
                                                         {PANEL_HOLD, 100},
                                                         {PANEL_HWMODE, 1},
                                                         {PANEL_AVERAGE, 8},
                                                         {PANEL_DROP_EVALMODE, 0},
                                                         {PANEL_MAXMODE, 0},
                                                         {PANEL_TRIGLVL, 950}}};
    for (const auto& [id, start] : mainStart) {
        EXPECT_EQ(IntOf(main_, id), start) << "control " << id;
    }
    const std::array<std::pair<int, int>, 4> popupStart{{{POPUP_DROPTRIGMODE, 0},
                                                         {POPUP_SDELAY, 500},
                                                         {POPUP_DROP_DIFFBUFF, 8},
                                                         {POPUP_ANAMODE, 0}}};
    for (const auto& [id, start] : popupStart) {
        EXPECT_EQ(IntOf(popup_, id), start) << "control " << id;
    }
    EXPECT_EQ(IntOf(main_, PANEL_RBTRAM), 1);
    EXPECT_EQ(IntOf(main_, PANEL_RBTEEPROM), 0);
    EXPECT_EQ(IntOf(main_, PANEL_RBTFILE), 0);
    EXPECT_EQ(IntOf(main_, PANEL_RNGGRAPHSOURCE), 1);
    EXPECT_EQ(IntOf(main_, PANEL_DROPDCOM), 1);
    EXPECT_EQ(IntOf(main_, PANEL_TOGBTNPARAII), 0);
    char line[16] = {};
    ASSERT_EQ(GetTextBoxLine(main_, PANEL_TRIGMODETEXT, 0, line, sizeof line), 0);
    EXPECT_STREQ(line, "CONT");
}

TEST_F(PanelDefinition, ChartsStartWithOnlyTheNormChartShown) {
    int visible = -1;
    ASSERT_EQ(GetCtrlAttribute(main_, PANEL_STRIPNORM, kAttrVisible, &visible), 0);
    EXPECT_EQ(visible, 1);
    ASSERT_EQ(GetCtrlAttribute(main_, PANEL_STRIPRAW, kAttrVisible, &visible), 0);
    EXPECT_EQ(visible, 0);
    ASSERT_EQ(GetCtrlAttribute(main_, PANEL_GRAPHDATA, kAttrVisible, &visible), 0);
    EXPECT_EQ(visible, 0);
}

TEST_F(PanelDefinition, RingItemsCarryTheirValues) {
    auto* trig = Ctrl<QComboBox>(popup_, POPUP_DROPTRIGMODE);
    ASSERT_EQ(trig->count(), 4);
    const std::array names{"CONT", "INTERN", "EXT-HI", "EXT-LO"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(trig->itemText(i).toStdString(), names[static_cast<std::size_t>(i)]);
        EXPECT_EQ(trig->itemData(i).toInt(), i);
    }
    EXPECT_GE(Ctrl<QComboBox>(main_, PANEL_DROP_EVALMODE)->findData(2), 0);
    EXPECT_GE(Ctrl<QComboBox>(popup_, POPUP_DROP_DIFFBUFF)->findData(32), 0);
    auto* source = Ctrl<QComboBox>(main_, PANEL_RNGGRAPHSOURCE);
    EXPECT_EQ(source->itemData(source->findText("RAW")).toInt(), 0);
    EXPECT_EQ(source->itemData(source->findText("NORM")).toInt(), 1);
}

TEST_F(PanelDefinition, MainPanelKeepsAUsableMinimumSize) {
    const QSize min = Window(main_)->minimumSize();
    EXPECT_GE(min.width(), 1000);
    EXPECT_GE(min.height(), 600);
    EXPECT_LE(min.width(), 1366);
    EXPECT_LE(min.height(), 740);
    EXPECT_TRUE(Window(main_)->isWindow());
    EXPECT_TRUE(Window(popup_)->isWindow());
}

// --- values by kind ---

using ControlValues = RealPanels;

TEST_F(ControlValues, SixteenBitValueControlHoldsTheFullRange) {
    for (const int v : {0, 1, 32768, 65535}) {
        ASSERT_EQ(SetCtrlVal(main_, PANEL_REFERENCE, v), 0);
        unsigned short u = 0;
        ASSERT_EQ(GetCtrlVal(main_, PANEL_REFERENCE, &u), 0);
        EXPECT_EQ(u, v);
    }
    double d = 0.0;
    ASSERT_EQ(SetCtrlVal(main_, PANEL_POWER, 411.6), 0);
    ASSERT_EQ(GetCtrlVal(main_, PANEL_POWER, &d), 0);
    EXPECT_EQ(d, 412.0);
    EXPECT_EQ(SetCtrlVal(main_, PANEL_POWER, std::nan("")), platform::kUiInvalidArgument);
}

TEST_F(ControlValues, RingShowsAValueItDoesNotList) {
    auto* ring = Ctrl<QComboBox>(popup_, POPUP_DROPTRIGMODE);
    ASSERT_EQ(SetCtrlVal(popup_, POPUP_DROPTRIGMODE, 4), 0);
    EXPECT_EQ(IntOf(popup_, POPUP_DROPTRIGMODE), 4);
    EXPECT_EQ(ring->currentText(), "4");
    ASSERT_EQ(SetCtrlVal(popup_, POPUP_DROPTRIGMODE, 7), 0);
    EXPECT_EQ(IntOf(popup_, POPUP_DROPTRIGMODE), 7);
    EXPECT_EQ(ring->count(), 5); // one shown-only item at a time
    ASSERT_EQ(SetCtrlVal(popup_, POPUP_DROPTRIGMODE, 2), 0);
    EXPECT_EQ(IntOf(popup_, POPUP_DROPTRIGMODE), 2);
    EXPECT_EQ(ring->currentText(), "EXT-HI");
    EXPECT_EQ(ring->count(), 4);
}

TEST_F(ControlValues, RingSelectsByValueNotByIndex) {
    ASSERT_EQ(SetCtrlVal(popup_, POPUP_DROP_DIFFBUFF, 16), 0);
    EXPECT_EQ(Ctrl<QComboBox>(popup_, POPUP_DROP_DIFFBUFF)->currentText(), "16");
    EXPECT_EQ(IntOf(popup_, POPUP_DROP_DIFFBUFF), 16);
}

TEST_F(ControlValues, RadioToggleAndLedHoldZeroOrOne) {
    for (const int id : {PANEL_RBTEEPROM, PANEL_TOGBTNPARAII, PANEL_LEDREF}) {
        ASSERT_EQ(SetCtrlVal(main_, id, 5), 0);
        EXPECT_EQ(IntOf(main_, id), 1) << "control " << id;
        ASSERT_EQ(SetCtrlVal(main_, id, 0), 0);
        EXPECT_EQ(IntOf(main_, id), 0) << "control " << id;
    }
    // Radio buttons are not exclusive: switching one on leaves the others alone.
    SetCtrlVal(main_, PANEL_RBTFILE, 1);
    EXPECT_EQ(IntOf(main_, PANEL_RBTRAM), 1);
}

TEST_F(ControlValues, TextIsCutToTheCallersBufferAndTerminated) {
    ASSERT_EQ(SetCtrlVal(main_, PANEL_STATUS, "Transmit Ok!"), 0);
    std::array<char, 16> text{};
    text.fill('#');
    ASSERT_EQ(GetCtrlVal(main_, PANEL_STATUS, text.data(), 6), 0);
    EXPECT_STREQ(text.data(), "Trans");
    EXPECT_EQ(text[6], '#');
    ASSERT_EQ(GetCtrlVal(main_, PANEL_STATUS, text.data(), static_cast<int>(text.size())), 0);
    EXPECT_STREQ(text.data(), "Transmit Ok!");
    EXPECT_EQ(GetCtrlVal(main_, PANEL_STATUS, text.data(), 0), platform::kUiInvalidArgument);
}

TEST_F(ControlValues, TextBoxLineZeroIsReplacedAlone) {
    ASSERT_EQ(ReplaceTextBoxLine(main_, PANEL_TRIGMODETEXT, 0, "EXT-LO"), 0);
    char line[16] = {};
    ASSERT_EQ(GetTextBoxLine(main_, PANEL_TRIGMODETEXT, 0, line, sizeof line), 0);
    EXPECT_STREQ(line, "EXT-LO");
    EXPECT_EQ(Ctrl<QPlainTextEdit>(main_, PANEL_TRIGMODETEXT)->toPlainText(), "EXT-LO");
    EXPECT_EQ(ReplaceTextBoxLine(main_, PANEL_TRIGMODETEXT, 3, "x"), platform::kUiInvalidArgument);
    EXPECT_EQ(ReplaceTextBoxLine(main_, PANEL_TRIGMODETEXT, -1, "x"), platform::kUiInvalidArgument);
    EXPECT_EQ(ReplaceTextBoxLine(main_, PANEL_STATUS, 0, "x"), platform::kUiWrongControlKind);
}

TEST_F(ControlValues, WrongKindsAndUnknownControlsAreRefused) {
    int v = 0;
    char text[8];
    EXPECT_EQ(GetCtrlVal(main_, PANEL_STATUS, &v), platform::kUiWrongControlKind);
    EXPECT_EQ(GetCtrlVal(main_, PANEL_POWER, text, sizeof text), platform::kUiWrongControlKind);
    EXPECT_EQ(SetCtrlVal(main_, PANEL_POWER, "12"), platform::kUiWrongControlKind);
    EXPECT_EQ(SetCtrlVal(main_, PANEL_BTNSEND, 1), platform::kUiWrongControlKind);
    EXPECT_EQ(SetCtrlVal(main_, 999, 1), platform::kUiInvalidControl);
    EXPECT_EQ(SetCtrlVal(12345, PANEL_POWER, 1), platform::kUiInvalidPanel);
    EXPECT_EQ(GetCtrlVal(main_, PANEL_POWER, static_cast<int*>(nullptr)),
              platform::kUiInvalidArgument);
}

TEST_F(ControlValues, WatcherSeesEveryTextWrittenToItsControl) {
    std::string watched;
    WatchCtrlText(main_, PANEL_STATUS, [&watched](const char* text) { watched = text; });
    SetCtrlVal(main_, PANEL_STATUS, "Line Ok!");
    EXPECT_EQ(watched, "Line Ok!");
    WatchCtrlText(main_, PANEL_STATUS, nullptr);
    SetCtrlVal(main_, PANEL_STATUS, "other");
    EXPECT_EQ(watched, "Line Ok!");
}

// --- attributes ---

using ControlAttributes = RealPanels;

TEST_F(ControlAttributes, VisibleAndDimmedRoundTrip) {
    auto* run = Ctrl<QPushButton>(main_, PANEL_BTNRUN);
    ASSERT_EQ(SetCtrlAttribute(main_, PANEL_BTNRUN, kAttrDimmed, 1), 0);
    EXPECT_FALSE(run->isEnabled());
    int v = -1;
    ASSERT_EQ(GetCtrlAttribute(main_, PANEL_BTNRUN, kAttrDimmed, &v), 0);
    EXPECT_EQ(v, 1);
    ASSERT_EQ(SetCtrlAttribute(main_, PANEL_BTNRUN, kAttrDimmed, 0), 0);
    EXPECT_TRUE(run->isEnabled());

    ASSERT_EQ(SetCtrlAttribute(main_, PANEL_STRIPRAW, kAttrVisible, 1), 0);
    ASSERT_EQ(SetCtrlAttribute(main_, PANEL_STRIPNORM, kAttrVisible, 0), 0);
    ASSERT_EQ(GetCtrlAttribute(main_, PANEL_STRIPRAW, kAttrVisible, &v), 0);
    EXPECT_EQ(v, 1);
    ASSERT_EQ(GetCtrlAttribute(main_, PANEL_STRIPNORM, kAttrVisible, &v), 0);
    EXPECT_EQ(v, 0);
}

TEST_F(ControlAttributes, UnknownAttributesAreRefused) {
    EXPECT_EQ(SetCtrlAttribute(main_, PANEL_POWER, 4711, 1), platform::kUiInvalidAttribute);
    EXPECT_EQ(SetCtrlAttribute(main_, PANEL_POWER, kAttrNumTraces, 2),
              platform::kUiInvalidAttribute);
    EXPECT_EQ(SetCtrlAttribute(main_, PANEL_POWER, kAttrYName, "y"), platform::kUiInvalidAttribute);
    EXPECT_EQ(SetCtrlAttribute(main_, PANEL_POWER, kAttrTextFont, 99),
              platform::kUiInvalidArgument);
}

TEST_F(ControlAttributes, NewTextMessageSitsWhereAskedWithItsColoursAndSize) {
    const int id = NewCtrl(main_, kCtrlTextMsg, "", 19, 30);
    ASSERT_GT(id, 0);
    for (const int existing : kPanelControls) {
        EXPECT_NE(id, existing);
    }
    EXPECT_EQ(SetCtrlAttribute(main_, id, kAttrTextFont, kAppFont), 0);
    EXPECT_EQ(SetCtrlAttribute(main_, id, kAttrTextBgColor, 0x0080FF), 0);
    EXPECT_EQ(SetCtrlAttribute(main_, id, kAttrTextColor, 0xFFFFFF), 0);
    EXPECT_EQ(SetCtrlAttribute(main_, id, kAttrTextPointSize, 18), 0);
    EXPECT_EQ(SetCtrlVal(main_, id, "O-VEX-TAR-Zidoz V1.2 "), 0);

    auto* label = Ctrl<QLabel>(main_, id);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->pos(), QPoint(30, 19));
    EXPECT_EQ(label->palette().color(QPalette::WindowText).rgb() & 0xFFFFFFu, 0xFFFFFFu);
    EXPECT_EQ(label->palette().color(QPalette::Window).rgb() & 0xFFFFFFu, 0x0080FFu);
    EXPECT_TRUE(label->autoFillBackground());
    EXPECT_EQ(label->font().pointSize(), 18);
    EXPECT_EQ(label->font().family(), QApplication::font().family());
    EXPECT_GE(label->width(), label->sizeHint().width()); // the whole text fits
    int v = 0;
    ASSERT_EQ(GetCtrlAttribute(main_, id, kAttrTextBgColor, &v), 0);
    EXPECT_EQ(v, 0x0080FF);
    char text[32] = {};
    ASSERT_EQ(GetCtrlVal(main_, id, text, sizeof text), 0);
    EXPECT_STREQ(text, "O-VEX-TAR-Zidoz V1.2 ");
    EXPECT_NE(NewCtrl(main_, kCtrlTextMsg, "", 0, 0), id);
    EXPECT_EQ(NewCtrl(main_, 1, "", 0, 0), platform::kUiInvalidArgument);
    EXPECT_EQ(NewCtrl(12345, kCtrlTextMsg, "", 0, 0), platform::kUiInvalidPanel);
}

// --- repaint of values written while no events run ---

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

class BlockingRepaint : public RealPanels {
  protected:
    // Shows the main panel and lets the window system expose it, so that it can be painted.
    void ShowMain() {
        DisplayPanel(main_);
        QElapsedTimer clock;
        clock.start();
        while (!Window(main_)->windowHandle()->isExposed() && clock.elapsed() < 2000) {
            ProcessSystemEvents();
        }
        ASSERT_TRUE(Window(main_)->windowHandle()->isExposed());
        for (int i = 0; i < 5; ++i) {
            ProcessSystemEvents(); // first paints done
        }
    }
};

TEST_F(BlockingRepaint, IndicatorWrittenWithoutEventsIsPaintedByTheFlush) {
    ShowMain();
    auto* indicator = Ctrl<QSpinBox>(main_, PANEL_VALNORM);
    PaintCounter counter(indicator);
    detail::FlushPendingRepaints();
    counter.paints = 0;
    SetCtrlVal(main_, PANEL_VALNORM, 321);
    detail::FlushPendingRepaints();
    EXPECT_GE(counter.paints, 1);
    counter.paints = 0;
    detail::FlushPendingRepaints(); // nothing written since: nothing to paint
    EXPECT_EQ(counter.paints, 0);
}

TEST_F(BlockingRepaint, FrequentWritesPaintAboutEveryTwentyMilliseconds) {
    ShowMain();
    auto* indicator = Ctrl<QSpinBox>(main_, PANEL_ADCCHA);
    PaintCounter counter(indicator);
    QElapsedTimer clock;
    clock.start();
    int writes = 0;
    // No event processing here: only the engine's own flush can paint.
    while (clock.elapsed() < 100) {
        SetCtrlVal(main_, PANEL_ADCCHA, writes++);
    }
    const auto elapsedMs = clock.elapsed();
    EXPECT_GE(counter.paints, 2);
    EXPECT_LE(counter.paints, elapsedMs / 20 + 2);
    EXPECT_GT(writes, 10 * counter.paints);
}

TEST_F(BlockingRepaint, PacedWindowStillShowsTheLastValueWritten) {
    ShowMain();
    auto* indicator = Ctrl<QSpinBox>(main_, PANEL_AMAX);
    PaintCounter counter(indicator);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; clock.elapsed() < 200; ++i) {
        SetCtrlVal(main_, PANEL_AMAX, i);
        ProcessSystemEvents();
    }
    // Paced window paints plus the engine's own flushes, far fewer than the writes.
    EXPECT_LE(counter.paints, clock.elapsed() / 16 + clock.elapsed() / 20 + 4);

    // Right after a paint, a new value is held back, then painted all the same.
    const int before = counter.paints;
    while (counter.paints == before && clock.elapsed() < 2000) {
        SetCtrlVal(main_, PANEL_AMAX, 1);
        ProcessSystemEvents();
    }
    detail::FlushPendingRepaints();
    const int afterPaint = counter.paints;
    SetCtrlVal(main_, PANEL_AMAX, 4242);
    clock.restart();
    while ((counter.paints == afterPaint || indicator->text() != "4242") &&
           clock.elapsed() < 2000) {
        ProcessSystemEvents();
    }
    EXPECT_GT(counter.paints, afterPaint);
    EXPECT_EQ(indicator->text(), "4242");
}

// A live frame comes after a long wait in the event loop: its writes are painted by the window
// in one paint, not flushed one by one at once as writes of a loop that runs no events.
TEST_F(BlockingRepaint, WriteRightAfterALongWaitForEventsIsLeftToTheWindow) {
    ShowMain();
    auto* led = Ctrl<Led>(main_, PANEL_LEDTOL);
    PaintCounter counter(led);
    const int was = led->value();
    const double end = platform::Timer() + 0.06;
    while (platform::Timer() < end) {
        ProcessSystemEventsUntil(end);
    }
    counter.paints = 0;
    SetCtrlVal(main_, PANEL_LEDTOL, was == 0 ? 1 : 0);
    EXPECT_EQ(counter.paints, 0) << "flushed as if no events had run";
    QElapsedTimer clock;
    clock.start();
    while (counter.paints == 0 && clock.elapsed() < 1000) {
        ProcessSystemEvents();
    }
    EXPECT_EQ(counter.paints, 1);
}

TEST_F(BlockingRepaint, FlushAfterDiscardingAWrittenPanelIsHarmless) {
    ShowMain();
    SetCtrlVal(main_, PANEL_VALNORM, 5);
    DiscardPanel(main_);
    detail::FlushPendingRepaints();
    main_ = LoadPanel(0, RealPanelFile().c_str(), PANEL);
    EXPECT_GT(main_, 0);
}

} // namespace
} // namespace ovx::ui::testing
