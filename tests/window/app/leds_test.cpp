// Switching-output indicators: thresholds, hysteresis, polarity and 16-bit threshold arithmetic.
#include <gtest/gtest.h>

#include <vector>

#include "app/leds.h"
#include "app/panel_handles.h"
#include "params/panels.h"
#include "params/variables.h"
#include "support/tool_fixture.h"
#include "ui/panel.h"

namespace ovx::app {
namespace {

class LedTest : public testing::PanelFixture {
  protected:
    void SetParams(int ref, int tol, int hyst, int pol) {
        params::reference = static_cast<std::uint16_t>(ref);
        params::tolerance = static_cast<std::uint16_t>(tol);
        params::hysteresis = static_cast<std::uint16_t>(hyst);
        params::polarity = static_cast<std::uint16_t>(pol);
    }
    static void SetThresholds(int ref, int up, int low) {
        live::refTHD = static_cast<std::int16_t>(ref);
        live::upTHD = static_cast<std::int16_t>(up);
        live::lowTHD = static_cast<std::int16_t>(low);
    }
    static int Led(int control) {
        int v = -1;
        ui::GetCtrlVal(app::panelHandle, control, &v);
        return v;
    }
    std::vector<int> RefSequence(const std::vector<int>& values) {
        std::vector<int> shown;
        for (int v : values) {
            SetREFLed(v);
            shown.push_back(Led(params::PANEL_LEDREF));
        }
        return shown;
    }
};

TEST_F(LedTest, StartThresholdsComeFromTheDefaultParametersNotThePanel) {
    // InitVars ran in SetUp: thresholds from 2048 and 512, whatever the panel held.
    EXPECT_EQ(live::refTHD, 2048);
    EXPECT_EQ(live::upTHD, 2560);
    EXPECT_EQ(live::lowTHD, 1536);
}

TEST_F(LedTest, StartThresholdsAreClampedToTheTwelveBitRange) {
    SetParams(4000, 512, 20, 1);
    live::InitThresholds();
    EXPECT_EQ(live::upTHD, 4095);
    EXPECT_EQ(live::lowTHD, 3488);
    SetParams(300, 512, 20, 1);
    live::InitThresholds();
    EXPECT_EQ(live::upTHD, 812);
    EXPECT_EQ(live::lowTHD, 0);
}

TEST_F(LedTest, ReferenceOutputSwitchesOnAtReferencePlusHysteresisAndOffBelowReference) {
    SetParams(2048, 512, 20, 1);
    live::refTHD = 2048;
    EXPECT_EQ(RefSequence({2050, 2049, 2030, 2060, 2067, 2068}),
              (std::vector<int>{1, 1, 0, 0, 0, 1}));
    EXPECT_EQ(live::refTHD, 2048);
}

TEST_F(LedTest, ReferenceOutputValueEqualToThresholdSwitchesOn) {
    SetParams(1000, 100, 10, 1);
    live::refTHD = 1010;
    SetREFLed(1010);
    EXPECT_EQ(Led(params::PANEL_LEDREF), 1);
    EXPECT_EQ(live::refTHD, 1000);
    SetREFLed(999);
    EXPECT_EQ(Led(params::PANEL_LEDREF), 0);
    EXPECT_EQ(live::refTHD, 1010);
}

TEST_F(LedTest, PolarityOtherThanOneInvertsBothLedsWhileThresholdsMoveAlike) {
    const std::vector<int> values{2050, 2049, 2030, 2060, 2067, 2068, 3000, 1000, 2000};
    for (int pol : {0, 2}) {
        SetParams(2048, 512, 20, 1);
        SetThresholds(2048, 2560, 1536);
        std::vector<int> ref1, tol1, thresholds1;
        for (int v : values) {
            SetREFLed(v);
            SetTOLLed(v);
            ref1.push_back(Led(params::PANEL_LEDREF));
            tol1.push_back(Led(params::PANEL_LEDTOL));
            thresholds1.insert(thresholds1.end(), {live::refTHD, live::upTHD, live::lowTHD});
        }
        SetParams(2048, 512, 20, pol);
        SetThresholds(2048, 2560, 1536);
        for (std::size_t i = 0; i < values.size(); ++i) {
            SetREFLed(values[i]);
            SetTOLLed(values[i]);
            EXPECT_EQ(Led(params::PANEL_LEDREF), 1 - ref1[i]) << "value " << values[i];
            EXPECT_EQ(Led(params::PANEL_LEDTOL), 1 - tol1[i]) << "value " << values[i];
            EXPECT_EQ(live::refTHD, thresholds1[3 * i]);
            EXPECT_EQ(live::upTHD, thresholds1[3 * i + 1]);
            EXPECT_EQ(live::lowTHD, thresholds1[3 * i + 2]);
        }
    }
}

TEST_F(LedTest, ToleranceOutputTruthTable) {
    SetParams(2048, 512, 20, 1);
    // Above the upper threshold: off, upper threshold lowered, lower one kept.
    SetThresholds(live::refTHD, 2560, 1600);
    SetTOLLed(2561);
    EXPECT_EQ(Led(params::PANEL_LEDTOL), 0);
    EXPECT_EQ(live::upTHD, 2540);
    EXPECT_EQ(live::lowTHD, 1600);
    // Below the lower threshold: off, upper threshold reset, lower one raised.
    SetThresholds(live::refTHD, 2540, 1536);
    SetTOLLed(1535);
    EXPECT_EQ(Led(params::PANEL_LEDTOL), 0);
    EXPECT_EQ(live::upTHD, 2560);
    EXPECT_EQ(live::lowTHD, 1556);
    // Inside: on, both thresholds reset.
    SetThresholds(live::refTHD, 2540, 1556);
    SetTOLLed(2000);
    EXPECT_EQ(Led(params::PANEL_LEDTOL), 1);
    EXPECT_EQ(live::upTHD, 2560);
    EXPECT_EQ(live::lowTHD, 1536);
}

TEST_F(LedTest, ToleranceOutputCountsValuesOnEitherThresholdAsInside) {
    SetParams(2048, 512, 20, 1);
    SetThresholds(live::refTHD, 2540, 1556);
    SetTOLLed(2540);
    EXPECT_EQ(Led(params::PANEL_LEDTOL), 1);
    SetThresholds(live::refTHD, 2540, 1556);
    SetTOLLed(1556);
    EXPECT_EQ(Led(params::PANEL_LEDTOL), 1);
}

TEST_F(LedTest, ToleranceOutputHysteresisOnLeavingUpwardsAndDownwards) {
    SetParams(2048, 512, 20, 1);
    SetThresholds(live::refTHD, 2560, 1536);
    const std::vector<int> values{2560, 2561, 2550, 2540, 1536, 1535, 1550, 1556};
    std::vector<int> shown;
    for (int v : values) {
        SetTOLLed(v);
        shown.push_back(Led(params::PANEL_LEDTOL));
    }
    EXPECT_EQ(shown, (std::vector<int>{1, 0, 0, 1, 1, 0, 0, 1}));
}

TEST_F(LedTest, LowerThresholdIsNeverStoredBelowZero) {
    SetParams(300, 512, 20, 1);
    live::InitThresholds();
    for (int v : {0, 1, 400, 812}) {
        SetTOLLed(v);
        EXPECT_EQ(Led(params::PANEL_LEDTOL), 1) << "value " << v;
        EXPECT_EQ(live::lowTHD, 0);
    }
    // Even the raised lower threshold (300 - 512 + 20) stays at 0.
    live::lowTHD = 5;
    SetTOLLed(0);
    EXPECT_EQ(Led(params::PANEL_LEDTOL), 0);
    EXPECT_EQ(live::lowTHD, 0);
}

TEST_F(LedTest, ValuesAreComparedUnsigned) {
    SetParams(2048, 512, 20, 1);
    SetThresholds(2048, 2560, 1536);
    SetTOLLed(65535);
    SetREFLed(65535);
    EXPECT_EQ(Led(params::PANEL_LEDTOL), 0);
    EXPECT_EQ(Led(params::PANEL_LEDREF), 1);
}

TEST_F(LedTest, ThresholdSumsWrapToSigned16BitAndANegativeThresholdLiesAboveEveryValue) {
    // 40000 is stored as -25536: no value reaches it.
    SetParams(40000, 0, 0, 1);
    live::refTHD = 0;
    SetREFLed(100);
    EXPECT_EQ(live::refTHD, -25536);
    SetREFLed(65535);
    EXPECT_EQ(Led(params::PANEL_LEDREF), 0);
    EXPECT_EQ(live::refTHD, -25536);
    // 65530 + 20 wraps to 14: small values switch on again.
    SetParams(65530, 0, 20, 1);
    live::refTHD = 0;
    SetREFLed(0);
    SetREFLed(5);
    EXPECT_EQ(live::refTHD, 14);
    SetREFLed(14);
    EXPECT_EQ(Led(params::PANEL_LEDREF), 1);
    // A negative upper threshold is never exceeded: 65535 is inside the window.
    SetParams(30000, 5000, 0, 1);
    SetThresholds(live::refTHD, -30536, 25000);
    SetTOLLed(65535);
    EXPECT_EQ(Led(params::PANEL_LEDTOL), 1);
}

} // namespace
} // namespace ovx::app
