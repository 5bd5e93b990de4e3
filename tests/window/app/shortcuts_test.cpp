// Keyboard shortcuts reach the callback of the button they stand for with the events of a
// keyboard activation; every control tells its purpose (and shortcut) and has a name.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QTest>
#include <QWidget>

#include <string>
#include <vector>

#include "app/OVEXTAR1V12.h"
#include "app/panel_handles.h"
#include "params/panels.h"
#include "support/tool_fixture.h"
#include "ui/panel.h"

namespace ovx::app {
namespace {

std::vector<std::pair<int, int>>* gEvents = nullptr; // (control, event)

int RecordEvent(int /*panel*/, int control, int event, void*, int, int) {
    if (gEvents != nullptr) {
        gEvents->emplace_back(control, event);
    }
    return 0;
}

struct ShortcutRow {
    const char* name;
    const char* callback;
    int control;
    QKeySequence keys;
    std::vector<int> events;
};

class Shortcuts : public testing::PanelFixture, public ::testing::WithParamInterface<ShortcutRow> {
  protected:
    void TearDown() override {
        gEvents = nullptr;
        RegisterAllCallbacks(); // the real callbacks again
        PanelFixture::TearDown();
    }
};

TEST_P(Shortcuts, ActLikeTheirButton) {
    std::vector<std::pair<int, int>> events;
    gEvents = &events;
    ui::RegisterCallback(GetParam().callback, RecordEvent);
    auto* window = static_cast<QWidget*>(ui::PanelWidget(app::panelHandle));
    ui::DisplayPanel(app::panelHandle);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keySequence(window, GetParam().keys);
    ASSERT_TRUE(testing::WaitUntil([&] { return events.size() >= GetParam().events.size(); }));
    QTest::qWait(150); // nothing more comes
    std::vector<std::pair<int, int>> expected;
    for (int e : GetParam().events) {
        expected.emplace_back(GetParam().control, e);
    }
    EXPECT_EQ(events, expected);
}

INSTANTIATE_TEST_SUITE_P(Keys, Shortcuts,
                         ::testing::Values(ShortcutRow{"F5Run",
                                                       "CC_BTNRun",
                                                       params::PANEL_BTNRUN,
                                                       QKeySequence(Qt::Key_F5),
                                                       {ui::kEventCommit}},
                                           ShortcutRow{"ShiftF5Stop",
                                                       "CC_BTNStop",
                                                       params::PANEL_BTNSTOP,
                                                       QKeySequence(Qt::SHIFT | Qt::Key_F5),
                                                       {ui::kEventCommit}},
                                           ShortcutRow{"CtrlRRecord",
                                                       "CC_TOGBTNRecord",
                                                       params::PANEL_TOGBTNRECORD,
                                                       QKeySequence(Qt::CTRL | Qt::Key_R),
                                                       {ui::kEventValueChanged, ui::kEventCommit}},
                                           ShortcutRow{"CtrlMMonitor",
                                                       "CC_TOGBTNMonitor",
                                                       params::PANEL_TOGBTNMONITOR,
                                                       QKeySequence(Qt::CTRL | Qt::Key_M),
                                                       {ui::kEventValueChanged, ui::kEventCommit}}),
                         [](const auto& row) { return std::string(row.param.name); });

using Controls = testing::PanelFixture;

TEST_F(Controls, EveryControlHasATooltipAndANameAndTooltipsNameTheShortcut) {
    for (int panel : {app::panelHandle, app::panelPopUp}) {
        auto* window = static_cast<QWidget*>(ui::PanelWidget(panel));
        for (QWidget* w : window->findChildren<QWidget*>()) {
            if (!w->property("ctrlId").isValid()) {
                continue;
            }
            const std::string name = w->objectName().toStdString();
            EXPECT_FALSE(w->accessibleName().isEmpty()) << name;
            EXPECT_FALSE(w->toolTip().isEmpty()) << name;
            if (auto* b = qobject_cast<QAbstractButton*>(w); b && !b->shortcut().isEmpty()) {
                EXPECT_TRUE(b->toolTip().contains(b->shortcut().toString())) << name;
            }
        }
    }
}

} // namespace
} // namespace ovx::app
