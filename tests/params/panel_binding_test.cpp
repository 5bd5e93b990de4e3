// Transfer between the offscreen panels and the parameter variables, and the parameter,
// target, graph-source and popup callbacks.
#include <gtest/gtest.h>

#include <QMetaObject>
#include <QWidget>

#include <array>
#include <cstdint>
#include <string>

#include "params/gui.h"
#include "params/panels.h"
#include "params/popup.h"
#include "params/variables.h"
#include "platform/panel.h"
#include "support/tool_fixture.h"

namespace ovx::params {
namespace {

using platform::kEventCommit;
using platform::kEventValueChanged;

struct Bound {
    bool onPopup;
    int control;
    std::uint16_t* variable;
};

// Every bound control with its variable.
const std::array<Bound, 15> kBound{{
    {false, PANEL_POWER, &power},
    {false, PANEL_REFERENCE, &reference},
    {false, PANEL_TOLERANCE, &tolerance},
    {false, PANEL_HYSTERESIS, &hysteresis},
    {false, PANEL_POLARITY, &polarity},
    {false, PANEL_HOLD, &hold},
    {false, PANEL_HWMODE, &hwmode},
    {false, PANEL_AVERAGE, &average},
    {false, PANEL_DROP_EVALMODE, &evalmode},
    {false, PANEL_MAXMODE, &maxmode},
    {false, PANEL_TRIGLVL, &triglvl},
    {true, POPUP_DROPTRIGMODE, &trigmode},
    {true, POPUP_SDELAY, &sdelay},
    {true, POPUP_DROP_DIFFBUFF, &dbuflen},
    {true, POPUP_ANAMODE, &anamode},
}};

class PanelBinding : public testing::PanelFixture {
  protected:
    static int Panel(bool onPopup) { return onPopup ? panelPopUp : panelHandle; }
    static int Value(int panel, int control) {
        int v = -1;
        EXPECT_GE(platform::GetCtrlVal(panel, control, &v), 0) << "control " << control;
        return v;
    }
    static void Set(int panel, int control, int value) {
        ASSERT_GE(platform::SetCtrlVal(panel, control, value), 0) << "control " << control;
    }
    static std::string NameLine() {
        char line[64] = {};
        platform::GetTextBoxLine(panelHandle, PANEL_TRIGMODETEXT, 0, line, sizeof line);
        return line;
    }
    static void SetModes(int evalMode, int trigMode) {
        Set(panelHandle, PANEL_DROP_EVALMODE, evalMode);
        Set(panelPopUp, POPUP_DROPTRIGMODE, trigMode);
    }
    static bool Visible(int panel, int control) {
        int v = -1;
        platform::GetCtrlAttribute(panel, control, platform::kAttrVisible, &v);
        return v == 1;
    }
    static bool PopupShown() {
        return static_cast<QWidget*>(platform::PanelWidget(panelPopUp))->isVisible();
    }
};

TEST_F(PanelBinding, EverySixteenBitValueSurvivesTheRoundTrip) {
    for (std::size_t i = 0; i < kBound.size(); ++i) {
        *kBound[i].variable = static_cast<std::uint16_t>(65535 - 4369 * i);
    }
    SetPanelValues();
    for (const Bound& b : kBound) {
        EXPECT_EQ(Value(Panel(b.onPopup), b.control), *b.variable) << "control " << b.control;
        *b.variable = 1;
    }
    GetPanelValues();
    for (std::size_t i = 0; i < kBound.size(); ++i) {
        EXPECT_EQ(*kBound[i].variable, 65535 - 4369 * i) << "control " << kBound[i].control;
    }
}

TEST_F(PanelBinding, Para15NeverTravelsThroughThePanels) {
    para15 = 4711;
    SetPanelValues();
    GetPanelValues();
    EXPECT_EQ(para15, 4711);
}

TEST_F(PanelBinding, InterlockForcesOnlyTheVariable) {
    SetModes(2, 1);
    CC_DropTrigmode(panelPopUp, POPUP_DROPTRIGMODE, kEventValueChanged, nullptr, 0, 0);
    ASSERT_EQ(NameLine(), "INTERN");
    GetPanelValues();
    EXPECT_EQ(evalmode, 2);
    EXPECT_EQ(trigmode, 0);
    EXPECT_EQ(Value(panelPopUp, POPUP_DROPTRIGMODE), 1);
    EXPECT_EQ(NameLine(), "INTERN");
    SetPanelValues();
    EXPECT_EQ(Value(panelPopUp, POPUP_DROPTRIGMODE), 0);
    EXPECT_EQ(NameLine(), "CONT");
}

TEST_F(PanelBinding, InterlockLeavesOtherModePairsAlone) {
    const std::array<std::array<int, 2>, 4> pairs{{{2, 2}, {2, 3}, {1, 1}, {0, 1}}};
    for (const auto& [evalMode, trigMode] : pairs) {
        SetModes(evalMode, trigMode);
        GetPanelValues();
        EXPECT_EQ(trigmode, trigMode) << "evaluation mode " << evalMode;
    }
}

TEST_F(PanelBinding, NameLineShowsTheTriggerModeAndContForAnyOther) {
    const std::array<const char*, 4> names{"CONT", "INTERN", "EXT-HI", "EXT-LO"};
    for (int mode = 0; mode < 4; ++mode) {
        trigmode = static_cast<std::uint16_t>(mode);
        SetPanelValues();
        EXPECT_EQ(NameLine(), names[static_cast<std::size_t>(mode)]);
    }
    for (const int mode : {4, 65535}) {
        trigmode = static_cast<std::uint16_t>(mode);
        SetPanelValues();
        EXPECT_EQ(NameLine(), "CONT");
        EXPECT_EQ(Value(panelPopUp, POPUP_DROPTRIGMODE), mode) << "written as received";
    }
    EXPECT_STREQ(TrigModeName(-1), "CONT");
}

TEST_F(PanelBinding, TriggerModeChangeRewritesOnlyTheNameLine) {
    trigmode = 0;
    platform::ReplaceTextBoxLine(panelHandle, PANEL_TRIGMODETEXT, 0, "");
    Set(panelPopUp, POPUP_DROPTRIGMODE, 3);
    CC_DropTrigmode(panelPopUp, POPUP_DROPTRIGMODE, kEventCommit, nullptr, 0, 0);
    EXPECT_NE(NameLine(), "EXT-LO") << "only value changed acts";
    CC_DropTrigmode(panelPopUp, POPUP_DROPTRIGMODE, kEventValueChanged, nullptr, 0, 0);
    EXPECT_EQ(NameLine(), "EXT-LO");
    EXPECT_EQ(trigmode, 0);
}

TEST_F(PanelBinding, EvaluationModeTwoForcesTheTriggerRingOffIntern) {
    SetModes(2, 1);
    CC_DropTrigmode(panelPopUp, POPUP_DROPTRIGMODE, kEventValueChanged, nullptr, 0, 0);
    evalmode = 7;
    trigmode = 1;
    CC_DROP_EvalMode(panelHandle, PANEL_DROP_EVALMODE, kEventValueChanged, nullptr, 0, 0);
    EXPECT_EQ(Value(panelPopUp, POPUP_DROPTRIGMODE), 0);
    EXPECT_EQ(NameLine(), "CONT") << "the name line follows the forced ring";
    EXPECT_EQ(evalmode, 7);
    EXPECT_EQ(trigmode, 1) << "no variable changes";
}

TEST_F(PanelBinding, EvaluationModeChangeLeavesOtherCasesAlone) {
    const std::array<std::array<int, 2>, 3> pairs{{{2, 3}, {1, 1}, {0, 1}}};
    for (const auto& [evalMode, trigMode] : pairs) {
        SetModes(evalMode, trigMode);
        CC_DROP_EvalMode(panelHandle, PANEL_DROP_EVALMODE, kEventValueChanged, nullptr, 0, 0);
        EXPECT_EQ(Value(panelPopUp, POPUP_DROPTRIGMODE), trigMode) << "evaluation " << evalMode;
    }
    SetModes(2, 1);
    CC_DROP_EvalMode(panelHandle, PANEL_DROP_EVALMODE, kEventCommit, nullptr, 0, 0);
    EXPECT_EQ(Value(panelPopUp, POPUP_DROPTRIGMODE), 1) << "only value changed acts";
}

// The target radio buttons: (button, its callback, the target it selects).
struct Radio {
    int control;
    platform::CtrlCallback callback;
    int selects;
};
const std::array<Radio, 3> kRadios{{
    {PANEL_RBTRAM, CC_RBTRam, RAM},
    {PANEL_RBTEEPROM, CC_RBTEeprom, EEPROM},
    {PANEL_RBTFILE, CC_RBTFile, DATFILE},
}};

TEST_F(PanelBinding, SwitchingATargetOnSwitchesTheOthersOff) {
    for (const Radio& on : kRadios) {
        for (const Radio& r : kRadios) {
            Set(panelHandle, r.control, 1);
        }
        target = 0;
        on.callback(panelHandle, on.control, kEventValueChanged, nullptr, 0, 0);
        EXPECT_EQ(target, on.selects);
        for (const Radio& r : kRadios) {
            EXPECT_EQ(Value(panelHandle, r.control), r.control == on.control ? 1 : 0)
                << "button " << r.control << " after switching " << on.control << " on";
        }
    }
}

TEST_F(PanelBinding, SwitchingATargetOffFallsBackToRam) {
    for (const Radio& off : kRadios) {
        for (const Radio& r : kRadios) {
            Set(panelHandle, r.control, 0);
        }
        target = off.selects;
        off.callback(panelHandle, off.control, kEventValueChanged, nullptr, 0, 0);
        EXPECT_EQ(target, RAM);
        EXPECT_EQ(Value(panelHandle, PANEL_RBTRAM), 1);
        if (off.control != PANEL_RBTRAM) {
            EXPECT_EQ(Value(panelHandle, off.control), 0) << "keeps the operator's 0";
        }
    }
}

TEST_F(PanelBinding, TargetButtonsActOnlyOnValueChanged) {
    for (const Radio& r : kRadios) {
        Set(panelHandle, r.control, 1);
        target = 0;
        r.callback(panelHandle, r.control, kEventCommit, nullptr, 0, 0);
        r.callback(panelHandle, r.control, platform::kEventLeftClick, nullptr, 0, 0);
        EXPECT_EQ(target, 0);
    }
}

TEST_F(PanelBinding, GraphSourceShowsOneStripChartAndSetsType) {
    Set(panelHandle, PANEL_RNGGRAPHSOURCE, 0);
    CC_RNGGraphSource(panelHandle, PANEL_RNGGRAPHSOURCE, kEventCommit, nullptr, 0, 0);
    EXPECT_EQ(type, 0);
    EXPECT_TRUE(Visible(panelHandle, PANEL_STRIPRAW));
    EXPECT_FALSE(Visible(panelHandle, PANEL_STRIPNORM));
    Set(panelHandle, PANEL_RNGGRAPHSOURCE, 1);
    CC_RNGGraphSource(panelHandle, PANEL_RNGGRAPHSOURCE, kEventValueChanged, nullptr, 0, 0);
    EXPECT_EQ(type, 0) << "only commit acts";
    CC_RNGGraphSource(panelHandle, PANEL_RNGGRAPHSOURCE, kEventCommit, nullptr, 0, 0);
    EXPECT_EQ(type, 1);
    EXPECT_FALSE(Visible(panelHandle, PANEL_STRIPRAW));
    EXPECT_TRUE(Visible(panelHandle, PANEL_STRIPNORM));
    Set(panelHandle, PANEL_RNGGRAPHSOURCE, 0);
    CC_RNGGraphSource(panelHandle, PANEL_RNGGRAPHSOURCE, kEventCommit, nullptr, 0, 0);
    Set(panelHandle, PANEL_RNGGRAPHSOURCE, 2);
    CC_RNGGraphSource(panelHandle, PANEL_RNGGRAPHSOURCE, kEventCommit, nullptr, 0, 0);
    EXPECT_EQ(type, 1) << "any non-zero source is NORM";
    EXPECT_TRUE(Visible(panelHandle, PANEL_STRIPNORM));
}

TEST_F(PanelBinding, ToggleShowsAndHidesThePopup) {
    Set(panelHandle, PANEL_TOGBTNPARAII, 1);
    CC_TOGBTNparaII(panelHandle, PANEL_TOGBTNPARAII, kEventValueChanged, nullptr, 0, 0);
    EXPECT_TRUE(PopupShown());
    Set(panelHandle, PANEL_TOGBTNPARAII, 0);
    CC_TogButtonParaII(panelHandle, PANEL_TOGBTNPARAII, kEventCommit, nullptr, 0, 0);
    EXPECT_TRUE(PopupShown()) << "the commit callback has no effect";
    CC_TOGBTNparaII(panelHandle, PANEL_TOGBTNPARAII, kEventValueChanged, nullptr, 0, 0);
    EXPECT_FALSE(PopupShown());
}

TEST_F(PanelBinding, ClosingThePopupWindowResetsTheToggle) {
    Set(panelHandle, PANEL_TOGBTNPARAII, 1);
    CC_TOGBTNparaII(panelHandle, PANEL_TOGBTNPARAII, kEventValueChanged, nullptr, 0, 0);
    ASSERT_TRUE(PopupShown());
    static_cast<QWidget*>(platform::PanelWidget(panelPopUp))->close();
    EXPECT_TRUE(testing::WaitUntil([] { return !PopupShown(); }));
    EXPECT_EQ(Value(panelHandle, PANEL_TOGBTNPARAII), 0);
}

TEST_F(PanelBinding, CallbacksAreAttachedByNameFromThePanelFile) {
    power = 1;
    // The operator picks another item in the popup's trigger ring.
    Set(panelPopUp, POPUP_DROPTRIGMODE, 0);
    platform::ReplaceTextBoxLine(panelHandle, PANEL_TRIGMODETEXT, 0, "");
    auto* ring = static_cast<QWidget*>(platform::CtrlWidget(panelPopUp, POPUP_DROPTRIGMODE));
    ASSERT_NE(ring, nullptr);
    ASSERT_TRUE(QMetaObject::invokeMethod(ring, "setCurrentIndex", Q_ARG(int, 2)));
    EXPECT_TRUE(testing::WaitUntil([] { return NameLine() == "EXT-HI"; }));
    EXPECT_EQ(power, 1) << "no parameter variable changes through a callback";
}

} // namespace
} // namespace ovx::params
