// What the operator does on controls and panel windows, as the callbacks see it, and the
// engine's event loop.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <array>
#include <tuple>
#include <vector>

#include "panel_fixture.h"
#include "platform/errors.h"
#include "platform/events.h"
#include "platform/timing.h"
#include "support/modal_driver.h"
#include "support/row_name.h"

namespace ovx::ui::testing {
namespace {

using namespace ovx::params;

struct Seen {
    int panel;
    int control; // -1 for a panel event
    int event;
    bool operator==(const Seen&) const = default;
};
std::vector<Seen> seen;

int Record(int panel, int control, int event, void* data, int d1, int d2) {
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(d1, 0);
    EXPECT_EQ(d2, 0);
    seen.push_back({panel, control, event});
    return 0;
}

int RecordPanel(int panel, int event, void*, int, int) {
    seen.push_back({panel, -1, event});
    return 0;
}

class OperatorEvents : public RealPanels {
  protected:
    void SetUp() override {
        for (const char* name : {"CC_BTNSend", "CC_BTNRun", "CC_DROP_EvalMode", "CC_DropTrigmode",
                                 "CC_RBTEeprom", "CC_TOGBTNparaII"}) {
            RegisterCallback(name, Record);
        }
        RegisterPanelCallback("CC_PANEL", RecordPanel);
        RegisterPanelCallback("CC_POPUP", RecordPanel);
        RealPanels::SetUp();
        DisplayPanel(main_);
        seen.clear();
    }
    void TearDown() override {
        RealPanels::TearDown();
        for (const char* name : {"CC_BTNSend", "CC_BTNRun", "CC_DROP_EvalMode", "CC_DropTrigmode",
                                 "CC_RBTEeprom", "CC_TOGBTNparaII"}) {
            RegisterCallback(name, nullptr);
        }
        RegisterPanelCallback("CC_PANEL", nullptr);
        RegisterPanelCallback("CC_POPUP", nullptr);
    }
    std::vector<Seen> Events(int panel, int control, std::initializer_list<int> events) const {
        std::vector<Seen> v;
        for (const int e : events) {
            v.push_back({panel, control, e});
        }
        return v;
    }
};

TEST_F(OperatorEvents, MouseClickOnCommandButtonGivesLeftClickThenCommit) {
    QTest::mouseClick(Ctrl<QPushButton>(main_, PANEL_BTNSEND), Qt::LeftButton);
    EXPECT_EQ(seen, Events(main_, PANEL_BTNSEND, {kEventLeftClick, kEventCommit}));
}

TEST_F(OperatorEvents, RightClickOnCommandButtonGivesNothing) {
    QTest::mouseClick(Ctrl<QPushButton>(main_, PANEL_BTNSEND), Qt::RightButton);
    EXPECT_TRUE(seen.empty());
}

TEST_F(OperatorEvents, KeyboardActivationGivesCommitOnly) {
    auto* button = Ctrl<QPushButton>(main_, PANEL_BTNRUN);
    QTest::keyClick(button, Qt::Key_Space);
    QTest::keyClick(button, Qt::Key_Return);
    QTest::keyClick(button, Qt::Key_Enter);
    EXPECT_EQ(seen, Events(main_, PANEL_BTNRUN, {kEventCommit, kEventCommit, kEventCommit}));
}

TEST_F(OperatorEvents, DimmedButtonGivesNothing) {
    SetCtrlAttribute(main_, PANEL_BTNRUN, kAttrDimmed, 1);
    auto* button = Ctrl<QPushButton>(main_, PANEL_BTNRUN);
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::keyClick(button, Qt::Key_Return);
    EXPECT_TRUE(seen.empty());
    // A later keyboard activation is not taken for a mouse click.
    SetCtrlAttribute(main_, PANEL_BTNRUN, kAttrDimmed, 0);
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_EQ(seen, Events(main_, PANEL_BTNRUN, {kEventCommit}));
}

TEST_F(OperatorEvents, RingChangedByTheOperatorGivesValueChangedThenCommit) {
    QTest::keyClick(Ctrl<QComboBox>(main_, PANEL_DROP_EVALMODE), Qt::Key_Down);
    EXPECT_EQ(seen, Events(main_, PANEL_DROP_EVALMODE, {kEventValueChanged, kEventCommit}));
    EXPECT_EQ(IntOf(main_, PANEL_DROP_EVALMODE), 1);
}

TEST_F(OperatorEvents, RadioAndToggleClicksGiveValueChangedThenCommit) {
    QTest::mouseClick(Ctrl<QRadioButton>(main_, PANEL_RBTEEPROM), Qt::LeftButton);
    QTest::mouseClick(Ctrl<QPushButton>(main_, PANEL_TOGBTNPARAII), Qt::LeftButton);
    auto expected = Events(main_, PANEL_RBTEEPROM, {kEventValueChanged, kEventCommit});
    const auto toggle = Events(main_, PANEL_TOGBTNPARAII, {kEventValueChanged, kEventCommit});
    expected.insert(expected.end(), toggle.begin(), toggle.end());
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(IntOf(main_, PANEL_RBTEEPROM), 1);
    EXPECT_EQ(IntOf(main_, PANEL_TOGBTNPARAII), 1);
}

TEST_F(OperatorEvents, ClickingACheckedRadioButtonSwitchesItOff) {
    QTest::mouseClick(Ctrl<QRadioButton>(main_, PANEL_RBTRAM), Qt::LeftButton);
    EXPECT_EQ(IntOf(main_, PANEL_RBTRAM), 0);
}

TEST_F(OperatorEvents, PopupRingChangedByTheOperatorGivesValueChangedThenCommit) {
    DisplayPanel(popup_);
    QTest::keyClick(Ctrl<QComboBox>(popup_, POPUP_DROPTRIGMODE), Qt::Key_Down);
    EXPECT_EQ(seen, Events(popup_, POPUP_DROPTRIGMODE, {kEventValueChanged, kEventCommit}));
}

TEST_F(OperatorEvents, ValueControlChangedByTheOperatorGivesValueChangedThenCommit) {
    // The file's value controls carry no callback: a small panel with one that does.
    QTemporaryDir dir;
    const QString path = dir.filePath("spin.uir");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(R"(<ui version="4.0"><widget class="QWidget" name="F">
        <widget class="QWidget" name="p"><property name="resourceId" stdset="0"><number>9</number></property>
        <layout class="QVBoxLayout" name="l"><item>
        <widget class="QSpinBox" name="s"><property name="ctrlId" stdset="0"><number>1</number></property>
        <property name="callback" stdset="0"><string>CC_SpinProbe</string></property>
        <property name="keyboardTracking"><bool>false</bool></property>
        <property name="maximum"><number>65535</number></property></widget>
        </item></layout></widget></widget></ui>)");
    f.close();
    RegisterCallback("CC_SpinProbe", Record);
    const int panel = LoadPanel(0, path.toLocal8Bit().constData(), 9);
    ASSERT_GT(panel, 0);
    DisplayPanel(panel);
    auto* spin = Ctrl<QSpinBox>(panel, 1);
    QTest::keyClick(spin, Qt::Key_Up);
    QTest::keyClicks(spin, "42"); // typing alone changes nothing yet
    const std::size_t afterTyping = seen.size();
    QTest::keyClick(spin, Qt::Key_Return);
    RegisterCallback("CC_SpinProbe", nullptr);
    DiscardPanel(panel);
    EXPECT_EQ(afterTyping, 2u);
    EXPECT_EQ(seen, Events(panel, 1,
                           {kEventValueChanged, kEventCommit, kEventValueChanged, kEventCommit}));
}

TEST_F(OperatorEvents, SetCtrlValNeverGivesEvents) {
    SetCtrlVal(main_, PANEL_DROP_EVALMODE, 2);
    SetCtrlVal(main_, PANEL_RBTEEPROM, 1);
    SetCtrlVal(main_, PANEL_TOGBTNPARAII, 1);
    SetCtrlVal(main_, PANEL_POWER, 77);
    SetCtrlVal(popup_, POPUP_DROPTRIGMODE, 4);
    SetCtrlVal(popup_, POPUP_DROPTRIGMODE, 1);
    EXPECT_TRUE(seen.empty());
}

TEST_F(OperatorEvents, ClosingAPanelWindowAsksItsCallbackAndTheWindowStays) {
    DisplayPanel(popup_);
    EXPECT_FALSE(Window(main_)->close());
    EXPECT_FALSE(Window(popup_)->close());
    EXPECT_EQ(seen, (std::vector<Seen>{{main_, -1, kEventClose}, {popup_, -1, kEventClose}}));
    EXPECT_TRUE(Window(main_)->isVisible());
    EXPECT_TRUE(Window(popup_)->isVisible());
}

TEST_F(OperatorEvents, CallbacksRegisteredAfterLoadingAreFoundByName) {
    RegisterCallback("CC_ButtonReset", Record);
    QTest::keyClick(Ctrl<QPushButton>(main_, PANEL_BUTTONRESET), Qt::Key_Space);
    RegisterCallback("CC_ButtonReset", nullptr);
    QTest::keyClick(Ctrl<QPushButton>(main_, PANEL_BUTTONRESET), Qt::Key_Space);
    EXPECT_EQ(seen, Events(main_, PANEL_BUTTONRESET, {kEventCommit}));
}

int discardFrom = 0;
int DiscardOwnPanel(int panel, int, int event, void*, int, int) {
    if (event == kEventCommit) {
        discardFrom = DiscardPanel(panel);
    }
    return 0;
}

TEST_F(OperatorEvents, CallbackMayDiscardItsOwnPanel) {
    RegisterCallback("CC_BTNGet", DiscardOwnPanel);
    QTest::mouseClick(Ctrl<QPushButton>(main_, PANEL_BTNGET), Qt::LeftButton);
    RegisterCallback("CC_BTNGet", nullptr);
    EXPECT_EQ(discardFrom, 0);
    EXPECT_EQ(PanelWidget(main_), nullptr);
    ProcessSystemEvents();
    main_ = LoadPanel(0, RealPanelFile().c_str(), PANEL); // for TearDown
    ASSERT_GT(main_, 0);
}

// --- the event loop ---

TEST(EventLoop, ProcessSystemEventsDispatchesAPostedEventAndReturnsWhenIdle) {
    bool ran = false;
    QTimer::singleShot(0, [&ran] { ran = true; });
    QElapsedTimer clock;
    clock.start();
    while (!ran && clock.elapsed() < 2000) {
        ProcessSystemEvents();
    }
    EXPECT_TRUE(ran);
    // Idle: each call waits at most about a millisecond (generous bound for a loaded machine).
    clock.restart();
    for (int i = 0; i < 20; ++i) {
        ProcessSystemEvents();
    }
    EXPECT_LT(clock.elapsed(), 1000);
}

TEST(EventLoop, RunUserInterfaceReturnsTheCodeGivenToQuit) {
    int nestedRan = 0;
    QTimer::singleShot(0, [&nestedRan] {
        // A callback that waits with nested event processing, then ends the loop.
        QTimer::singleShot(0, [&nestedRan] { ++nestedRan; });
        QElapsedTimer clock;
        clock.start();
        while (nestedRan == 0 && clock.elapsed() < 2000) {
            ProcessSystemEvents();
        }
        QuitUserInterface(7);
    });
    EXPECT_EQ(RunUserInterface(), 7);
    EXPECT_EQ(nestedRan, 1);
}

TEST(EventLoop, QuitBeforeRunEndsTheNextRunAtOnce) {
    QuitUserInterface(3);
    EXPECT_EQ(RunUserInterface(), 3);
    QTimer::singleShot(0, [] { QuitUserInterface(4); });
    EXPECT_EQ(RunUserInterface(), 4);
}

// --- the core's waits inside the window's events ---

// A loop of the core's waits (platform::WaitForEvents, run by the window's hook) wakes at the
// first event, a readable watched descriptor, or its deadline, whichever comes first, and sleeps
// in between: a few turns (a stray event of the window may end one), not one every few
// milliseconds.
struct WaitRow {
    const char* name;
    double deadline;      // seconds from the start; negative: already past
    int timerMs;          // a timer event this long after the start; -1: none
    bool readable;        // a watched descriptor is readable from the start
    double endsAfter;     // the loop ends no earlier than this
    double endsBefore;    // and before this (generous for a loaded machine)
    double earlier = 0.0; // a wait this long, ended at once by an event, came before; 0: none
};

void PrintTo(const WaitRow& row, std::ostream* os) {
    *os << row.name;
}

class WaitingLoop : public ::testing::TestWithParam<WaitRow> {};

TEST_P(WaitingLoop, WakesAtTheFirstEventOrAtItsDeadline) {
    const WaitRow& row = GetParam();
    // No looks for dialogs meanwhile: they would end a missed deadline's wait a moment later.
    const ovx::testing::ModalDialogDriver quiet({}, std::chrono::seconds(20),
                                                std::chrono::seconds(20));
    QCoreApplication::processEvents(); // what earlier tests left pending
    std::array<int, 2> pipeFds{-1, -1};
    ASSERT_EQ(pipe(pipeFds.data()), 0);
    bool served = false;
    const int watch = platform::AddWatch(pipeFds[0], [&] {
        char byte = 0;
        served = read(pipeFds[0], &byte, 1) == 1;
    });
    platform::EnableWatch(watch, true);
    if (row.readable) {
        ASSERT_EQ(write(pipeFds[1], "x", 1), 1);
    }
    bool fired = false;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&fired] { fired = true; });
    if (row.timerMs >= 0) {
        timer.start(row.timerMs);
    }
    if (row.earlier > 0.0) {
        bool ended = false;
        QTimer::singleShot(0, [&ended] { ended = true; });
        const double earlierUntil = platform::Timer() + row.earlier;
        while (!ended && platform::Timer() < earlierUntil) {
            platform::WaitForEvents(earlierUntil);
        }
    }
    const double start = platform::Timer();
    const double until = start + row.deadline;
    int turns = 0;
    do {
        platform::WaitForEvents(until);
        ++turns;
    } while (!served && !fired && platform::Timer() <= until && turns < 10000);
    const double took = platform::Timer() - start;
    platform::RemoveWatch(watch);
    close(pipeFds[0]);
    close(pipeFds[1]);
    EXPECT_GE(took, row.endsAfter);
    EXPECT_LT(took, row.endsBefore);
    EXPECT_LE(turns, 3);
    EXPECT_EQ(served, row.readable);
}

INSTANTIATE_TEST_SUITE_P(
    EventLoop, WaitingLoop,
    ::testing::Values(WaitRow{"NothingHappens", 0.15, -1, false, 0.15, 0.6},
                      WaitRow{"TimerEventComesFirst", 2.0, 50, false, 0.05, 1.0},
                      WaitRow{"DescriptorIsReadable", 2.0, -1, true, 0.0, 1.0},
                      WaitRow{"DeadlineAlreadyPast", -1.0, -1, false, 0.0, 0.1},
                      WaitRow{"NearerThanAnEarlierWaits", 0.15, -1, false, 0.15, 0.6, 5.0}),
    ovx::testing::RowName());

} // namespace
} // namespace ovx::ui::testing
