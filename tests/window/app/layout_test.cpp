// The main panel as a new operator first sees it: nothing selected or focused that they did not
// choose, the title a title, and no two visible controls on top of each other at the sizes the
// window allows, with the monitor pane and without.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QTest>
#include <QWidget>

#include <string>
#include <vector>

#include "app/monitor.h"
#include "app/panel_handles.h"
#include "params/panels.h"
#include "support/control_overlap.h"
#include "support/row_name.h"
#include "support/tool_fixture.h"
#include "ui/panel.h"

namespace ovx::app {
namespace {

QWidget* MainWindow() {
    return static_cast<QWidget*>(ui::PanelWidget(app::panelHandle));
}

QLabel* Title() {
    for (QLabel* label : MainWindow()->findChildren<QLabel*>()) {
        if (label->text() == QLatin1String("O-VEX-TAR-Zidoz V1.2 ")) {
            return label;
        }
    }
    return nullptr;
}

void ShowMonitorPane(bool shown) {
    ui::SetCtrlVal(app::panelHandle, params::PANEL_TOGBTNMONITOR, shown ? 1 : 0);
    CC_TOGBTNMonitor(app::panelHandle, params::PANEL_TOGBTNMONITOR, ui::kEventCommit, nullptr, 0,
                     0);
}

class FirstLook : public testing::PanelFixture {
  protected:
    void SetUp() override {
        PanelFixture::SetUp();
        ui::DisplayPanel(app::panelHandle);
        MainWindow()->activateWindow(); // as the desktop does with a new window
        ASSERT_TRUE(QTest::qWaitForWindowActive(MainWindow()));
    }
};

TEST_F(FirstLook, NothingIsFocusedOrSelectedAfterStartUp) {
    const QWidget* focus = QApplication::focusWidget();
    EXPECT_TRUE(focus == nullptr || focus == MainWindow())
        << "focus on " << focus->objectName().toStdString();
    QLabel* title = Title();
    ASSERT_NE(title, nullptr);
    EXPECT_FALSE(title->hasSelectedText());
    EXPECT_FALSE(title->hasFocus());
    EXPECT_EQ(title->textInteractionFlags() & Qt::TextSelectableByMouse, 0);
}

// Its coloured box is a plate with room around the text, not a highlight tight around it.
TEST_F(FirstLook, TitleTextHasRoomInsideItsColouredBox) {
    QLabel* title = Title();
    ASSERT_NE(title, nullptr);
    const QRect text = title->contentsRect();
    EXPECT_GE(text.left(), 8);
    EXPECT_GE(text.top(), 4);
    EXPECT_GE(title->width() - text.right(), 8);
    EXPECT_GE(title->height() - text.bottom(), 4);
}

// The laptop's screen: the window may be as large as it, not larger.
constexpr QSize kLaptop(1366, 768);

struct LayoutRow {
    std::string name;
    bool laptopSize; // else the window's minimum size
    bool monitorPane;
};

void PrintTo(const LayoutRow& row, std::ostream* out) {
    *out << row.name;
}

class MainPanelLayout : public testing::PanelFixture,
                        public ::testing::WithParamInterface<LayoutRow> {};

TEST_P(MainPanelLayout, NoTwoVisibleControlsOverlap) {
    QWidget* window = MainWindow();
    ui::DisplayPanel(app::panelHandle);
    ShowMonitorPane(GetParam().monitorPane);
    QCoreApplication::processEvents(); // the layout's request, as the event loop serves it
    const QSize size = GetParam().laptopSize ? kLaptop : window->minimumSize();
    window->resize(size);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->size(), size) << "the window cannot take this size";
    EXPECT_LE(window->minimumWidth(), kLaptop.width());
    const std::vector<std::string> faults = testing::LayoutFaults(window);
    EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults);
    EXPECT_GT(testing::VisibleControls(window).size(), 40u); // the panel's controls were seen
}

INSTANTIATE_TEST_SUITE_P(SizeAndPane, MainPanelLayout,
                         ::testing::Values(LayoutRow{"MinimumSize", false, false},
                                           LayoutRow{"MinimumSizeWithMonitor", false, true},
                                           LayoutRow{"Laptop", true, false},
                                           LayoutRow{"LaptopWithMonitor", true, true}),
                         ovx::testing::RowName{});

using MonitorPaneWidth = testing::PanelFixture;

// The window widens by the pane and gives the width back when it goes.
TEST_F(MonitorPaneWidth, HidingThePaneGivesItsWidthBack) {
    QWidget* window = MainWindow();
    ui::DisplayPanel(app::panelHandle);
    QCoreApplication::processEvents();
    const int before = window->width();
    ShowMonitorPane(true);
    QCoreApplication::processEvents();
    EXPECT_GT(window->width(), before);
    ShowMonitorPane(false);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->width(), before);
}

} // namespace
} // namespace ovx::app
