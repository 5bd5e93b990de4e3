// Transfer between the offscreen panels and the parameter variables, and the parameter,
// target, graph-source and popup callbacks.
#include <gtest/gtest.h>

#include <QMetaObject>
#include <QWidget>

#include <array>
#include <cstdint>
#include <string>

#include "app/gui.h"
#include "app/panel_handles.h"
#include "app/popup.h"
#include "params/panels.h"
#include "params/variables.h"
#include "support/tool_fixture.h"
#include "ui/panel.h"

namespace ovx::app {
namespace {

using ui::kEventCommit;
using ui::kEventValueChanged;

struct Bound {
    bool onPopup;
    int control;
    std::uint16_t* variable;
};

// Every bound control with its variable.
const std::array<Bound, 15> kBound{{
    {false, params::PANEL_POWER, &params::power},
    {false, params::PANEL_REFERENCE, &params::reference},
    {false, params::PANEL_TOLERANCE, &params::tolerance},
    {false, params::PANEL_HYSTERESIS, &params::hysteresis},
    {false, params::PANEL_POLARITY, &params::polarity},
    {false, params::PANEL_HOLD, &params::hold},
    {false, params::PANEL_HWMODE, &params::hwmode},
    {false, params::PANEL_AVERAGE, &params::average},
    {false, params::PANEL_DROP_EVALMODE, &params::evalmode},
    {false, params::PANEL_MAXMODE, &params::maxmode},
    {false, params::PANEL_TRIGLVL, &params::triglvl},
    {true, params::POPUP_DROPTRIGMODE, &params::trigmode},
    {true, params::POPUP_SDELAY, &params::sdelay},
    {true, params::POPUP_DROP_DIFFBUFF, &params::dbuflen},
    {true, params::POPUP_ANAMODE, &params::anamode},
}};

class PanelBinding : public testing::PanelFixture {
  protected:
    static int Panel(bool onPopup) { return onPopup ? app::panelPopUp : app::panelHandle; }
    static int Value(int panel, int control) {
        int v = -1;
        EXPECT_GE(ui::GetCtrlVal(panel, control, &v), 0) << "control " << control;
        return v;
    }
    static void Set(int panel, int control, int value) {
        ASSERT_GE(ui::SetCtrlVal(panel, control, value), 0) << "control " << control;
    }
    static std::string NameLine() {
        char line[64] = {};
        ui::GetTextBoxLine(app::panelHandle, params::PANEL_TRIGMODETEXT, 0, line, sizeof line);
        return line;
    }
    static void SetModes(int evalMode, int trigMode) {
        Set(app::panelHandle, params::PANEL_DROP_EVALMODE, evalMode);
        Set(app::panelPopUp, params::POPUP_DROPTRIGMODE, trigMode);
    }
    static bool Visible(int panel, int control) {
        int v = -1;
        ui::GetCtrlAttribute(panel, control, ui::kAttrVisible, &v);
        return v == 1;
    }
    static bool PopupShown() {
        return static_cast<QWidget*>(ui::PanelWidget(app::panelPopUp))->isVisible();
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
    params::para15 = 4711;
    SetPanelValues();
    GetPanelValues();
    EXPECT_EQ(params::para15, 4711);
}

TEST_F(PanelBinding, InterlockForcesOnlyTheVariable) {
    SetModes(2, 1);
    CC_DropTrigmode(app::panelPopUp, params::POPUP_DROPTRIGMODE, kEventValueChanged, nullptr, 0, 0);
    ASSERT_EQ(NameLine(), "INTERN");
    GetPanelValues();
    EXPECT_EQ(params::evalmode, 2);
    EXPECT_EQ(params::trigmode, 0);
    EXPECT_EQ(Value(app::panelPopUp, params::POPUP_DROPTRIGMODE), 1);
    EXPECT_EQ(NameLine(), "INTERN");
    SetPanelValues();
    EXPECT_EQ(Value(app::panelPopUp, params::POPUP_DROPTRIGMODE), 0);
    EXPECT_EQ(NameLine(), "CONT");
}

TEST_F(PanelBinding, InterlockLeavesOtherModePairsAlone) {
    const std::array<std::array<int, 2>, 4> pairs{{{2, 2}, {2, 3}, {1, 1}, {0, 1}}};
    for (const auto& [evalMode, trigMode] : pairs) {
        SetModes(evalMode, trigMode);
        GetPanelValues();
        EXPECT_EQ(params::trigmode, trigMode) << "evaluation mode " << evalMode;
    }
}

TEST_F(PanelBinding, NameLineShowsTheTriggerModeAndContForAnyOther) {
    const std::array<const char*, 4> names{"CONT", "INTERN", "EXT-HI", "EXT-LO"};
    for (int mode = 0; mode < 4; ++mode) {
        params::trigmode = static_cast<std::uint16_t>(mode);
        SetPanelValues();
        EXPECT_EQ(NameLine(), names[static_cast<std::size_t>(mode)]);
    }
    for (const int mode : {4, 65535}) {
        params::trigmode = static_cast<std::uint16_t>(mode);
        SetPanelValues();
        EXPECT_EQ(NameLine(), "CONT");
        EXPECT_EQ(Value(app::panelPopUp, params::POPUP_DROPTRIGMODE), mode)
            << "written as received";
    }
    EXPECT_STREQ(TrigModeName(-1), "CONT");
}

TEST_F(PanelBinding, TriggerModeChangeRewritesOnlyTheNameLine) {
    params::trigmode = 0;
    ui::ReplaceTextBoxLine(app::panelHandle, params::PANEL_TRIGMODETEXT, 0, "");
    Set(app::panelPopUp, params::POPUP_DROPTRIGMODE, 3);
    CC_DropTrigmode(app::panelPopUp, params::POPUP_DROPTRIGMODE, kEventCommit, nullptr, 0, 0);
    EXPECT_NE(NameLine(), "EXT-LO") << "only value changed acts";
    CC_DropTrigmode(app::panelPopUp, params::POPUP_DROPTRIGMODE, kEventValueChanged, nullptr, 0, 0);
    EXPECT_EQ(NameLine(), "EXT-LO");
    EXPECT_EQ(params::trigmode, 0);
}

TEST_F(PanelBinding, EvaluationModeTwoForcesTheTriggerRingOffIntern) {
    SetModes(2, 1);
    CC_DropTrigmode(app::panelPopUp, params::POPUP_DROPTRIGMODE, kEventValueChanged, nullptr, 0, 0);
    params::evalmode = 7;
    params::trigmode = 1;
    CC_DROP_EvalMode(app::panelHandle, params::PANEL_DROP_EVALMODE, kEventValueChanged, nullptr, 0,
                     0);
    EXPECT_EQ(Value(app::panelPopUp, params::POPUP_DROPTRIGMODE), 0);
    EXPECT_EQ(NameLine(), "CONT") << "the name line follows the forced ring";
    EXPECT_EQ(params::evalmode, 7);
    EXPECT_EQ(params::trigmode, 1) << "no variable changes";
}

TEST_F(PanelBinding, EvaluationModeChangeLeavesOtherCasesAlone) {
    const std::array<std::array<int, 2>, 3> pairs{{{2, 3}, {1, 1}, {0, 1}}};
    for (const auto& [evalMode, trigMode] : pairs) {
        SetModes(evalMode, trigMode);
        CC_DROP_EvalMode(app::panelHandle, params::PANEL_DROP_EVALMODE, kEventValueChanged, nullptr,
                         0, 0);
        EXPECT_EQ(Value(app::panelPopUp, params::POPUP_DROPTRIGMODE), trigMode)
            << "evaluation " << evalMode;
    }
    SetModes(2, 1);
    CC_DROP_EvalMode(app::panelHandle, params::PANEL_DROP_EVALMODE, kEventCommit, nullptr, 0, 0);
    EXPECT_EQ(Value(app::panelPopUp, params::POPUP_DROPTRIGMODE), 1) << "only value changed acts";
}

// The target radio buttons: (button, its callback, the target it selects).
struct Radio {
    int control;
    ui::CtrlCallback callback;
    int selects;
};
const std::array<Radio, 3> kRadios{{
    {params::PANEL_RBTRAM, CC_RBTRam, params::RAM},
    {params::PANEL_RBTEEPROM, CC_RBTEeprom, params::EEPROM},
    {params::PANEL_RBTFILE, CC_RBTFile, params::DATFILE},
}};

TEST_F(PanelBinding, SwitchingATargetOnSwitchesTheOthersOff) {
    for (const Radio& on : kRadios) {
        for (const Radio& r : kRadios) {
            Set(app::panelHandle, r.control, 1);
        }
        params::target = 0;
        on.callback(app::panelHandle, on.control, kEventValueChanged, nullptr, 0, 0);
        EXPECT_EQ(params::target, on.selects);
        for (const Radio& r : kRadios) {
            EXPECT_EQ(Value(app::panelHandle, r.control), r.control == on.control ? 1 : 0)
                << "button " << r.control << " after switching " << on.control << " on";
        }
    }
}

TEST_F(PanelBinding, SwitchingATargetOffFallsBackToRam) {
    for (const Radio& off : kRadios) {
        for (const Radio& r : kRadios) {
            Set(app::panelHandle, r.control, 0);
        }
        params::target = off.selects;
        off.callback(app::panelHandle, off.control, kEventValueChanged, nullptr, 0, 0);
        EXPECT_EQ(params::target, params::RAM);
        EXPECT_EQ(Value(app::panelHandle, params::PANEL_RBTRAM), 1);
        if (off.control != params::PANEL_RBTRAM) {
            EXPECT_EQ(Value(app::panelHandle, off.control), 0) << "keeps the operator's 0";
        }
    }
}

TEST_F(PanelBinding, TargetButtonsActOnlyOnValueChanged) {
    for (const Radio& r : kRadios) {
        Set(app::panelHandle, r.control, 1);
        params::target = 0;
        r.callback(app::panelHandle, r.control, kEventCommit, nullptr, 0, 0);
        r.callback(app::panelHandle, r.control, ui::kEventLeftClick, nullptr, 0, 0);
        EXPECT_EQ(params::target, 0);
    }
}

TEST_F(PanelBinding, GraphSourceShowsOneStripChartAndSetsType) {
    Set(app::panelHandle, params::PANEL_RNGGRAPHSOURCE, 0);
    CC_RNGGraphSource(app::panelHandle, params::PANEL_RNGGRAPHSOURCE, kEventCommit, nullptr, 0, 0);
    EXPECT_EQ(params::type, 0);
    EXPECT_TRUE(Visible(app::panelHandle, params::PANEL_STRIPRAW));
    EXPECT_FALSE(Visible(app::panelHandle, params::PANEL_STRIPNORM));
    Set(app::panelHandle, params::PANEL_RNGGRAPHSOURCE, 1);
    CC_RNGGraphSource(app::panelHandle, params::PANEL_RNGGRAPHSOURCE, kEventValueChanged, nullptr,
                      0, 0);
    EXPECT_EQ(params::type, 0) << "only commit acts";
    CC_RNGGraphSource(app::panelHandle, params::PANEL_RNGGRAPHSOURCE, kEventCommit, nullptr, 0, 0);
    EXPECT_EQ(params::type, 1);
    EXPECT_FALSE(Visible(app::panelHandle, params::PANEL_STRIPRAW));
    EXPECT_TRUE(Visible(app::panelHandle, params::PANEL_STRIPNORM));
    Set(app::panelHandle, params::PANEL_RNGGRAPHSOURCE, 0);
    CC_RNGGraphSource(app::panelHandle, params::PANEL_RNGGRAPHSOURCE, kEventCommit, nullptr, 0, 0);
    Set(app::panelHandle, params::PANEL_RNGGRAPHSOURCE, 2);
    CC_RNGGraphSource(app::panelHandle, params::PANEL_RNGGRAPHSOURCE, kEventCommit, nullptr, 0, 0);
    EXPECT_EQ(params::type, 1) << "any non-zero source is NORM";
    EXPECT_TRUE(Visible(app::panelHandle, params::PANEL_STRIPNORM));
}

TEST_F(PanelBinding, ToggleShowsAndHidesThePopup) {
    Set(app::panelHandle, params::PANEL_TOGBTNPARAII, 1);
    CC_TOGBTNparaII(app::panelHandle, params::PANEL_TOGBTNPARAII, kEventValueChanged, nullptr, 0,
                    0);
    EXPECT_TRUE(PopupShown());
    Set(app::panelHandle, params::PANEL_TOGBTNPARAII, 0);
    CC_TogButtonParaII(app::panelHandle, params::PANEL_TOGBTNPARAII, kEventCommit, nullptr, 0, 0);
    EXPECT_TRUE(PopupShown()) << "the commit callback has no effect";
    CC_TOGBTNparaII(app::panelHandle, params::PANEL_TOGBTNPARAII, kEventValueChanged, nullptr, 0,
                    0);
    EXPECT_FALSE(PopupShown());
}

TEST_F(PanelBinding, ClosingThePopupWindowResetsTheToggle) {
    Set(app::panelHandle, params::PANEL_TOGBTNPARAII, 1);
    CC_TOGBTNparaII(app::panelHandle, params::PANEL_TOGBTNPARAII, kEventValueChanged, nullptr, 0,
                    0);
    ASSERT_TRUE(PopupShown());
    static_cast<QWidget*>(ui::PanelWidget(app::panelPopUp))->close();
    EXPECT_TRUE(testing::WaitUntil([] { return !PopupShown(); }));
    EXPECT_EQ(Value(app::panelHandle, params::PANEL_TOGBTNPARAII), 0);
}

TEST_F(PanelBinding, CallbacksAreAttachedByNameFromThePanelFile) {
    params::power = 1;
    // The operator picks another item in the popup's trigger ring.
    Set(app::panelPopUp, params::POPUP_DROPTRIGMODE, 0);
    ui::ReplaceTextBoxLine(app::panelHandle, params::PANEL_TRIGMODETEXT, 0, "");
    auto* ring = static_cast<QWidget*>(ui::CtrlWidget(app::panelPopUp, params::POPUP_DROPTRIGMODE));
    ASSERT_NE(ring, nullptr);
    ASSERT_TRUE(QMetaObject::invokeMethod(ring, "setCurrentIndex", Q_ARG(int, 2)));
    EXPECT_TRUE(testing::WaitUntil([] { return NameLine() == "EXT-HI"; }));
    EXPECT_EQ(params::power, 1) << "no parameter variable changes through a callback";
}

} // namespace
} // namespace ovx::app
