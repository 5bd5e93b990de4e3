// The CLI's parameter names against the panel: a value the CLI accepts reaches the controller
// unchanged through the panel transfer; a value box's range is the CLI's range, and a ring offers
// as many values as the CLI takes for it (a ring holds any value, an operator picks its items).
#include <gtest/gtest.h>

#include <vector>

#include "app/cli_params.h"
#include "params/gui.h"
#include "params/panels.h"
#include "platform/panel.h"
#include "platform/ring.h"
#include "support/tool_fixture.h"

namespace ovx::app {
namespace {

class ParamNameRow : public testing::PanelFixture,
                     public ::testing::WithParamInterface<std::size_t> {
  protected:
    const ParamName& Param() const { return ParamNames()[GetParam()]; }
    // The value the panel transfer reads back after the control was given value.
    long ThroughPanel(long value) const {
        const ParamName& p = Param();
        const int panel = p.popup ? params::panelPopUp : params::panelHandle;
        platform::SetCtrlVal(panel, p.control, static_cast<int>(value));
        params::GetPanelValues();
        return *p.variable;
    }
    // The values at and just beyond the edges of what the name takes.
    std::vector<long> Candidates() const {
        const ParamName& p = Param();
        std::vector<long> v{p.minimum - 1, p.minimum, p.maximum, p.maximum + 1};
        for (const int c : p.choices) {
            v.insert(v.end(), {c - 1L, static_cast<long>(c), c + 1L});
        }
        return v;
    }
};

TEST_P(ParamNameRow, TakesExactlyWhatItsControlTakes) {
    const ParamName& p = Param();
    if (p.control == 0) {
        GTEST_SKIP() << p.name << " has no control";
    }
    if (!p.choices.empty()) { // before a foreign value adds an item
        const int panel = p.popup ? params::panelPopUp : params::panelHandle;
        EXPECT_EQ(platform::GetNumRingItems(panel, p.control), static_cast<int>(p.choices.size()));
    }
    for (const long v : Candidates()) {
        if (v < 0 || v > 65535) {
            EXPECT_FALSE(ValueAllowed(p, v)) << p.name << " " << v;
            continue;
        }
        // A rejected value leaves the control as it was: start from another one.
        ThroughPanel(ValueAllowed(p, p.minimum) ? p.minimum : p.choices.front());
        const bool panelKeepsIt = ThroughPanel(v) == v;
        if (p.choices.empty()) {
            EXPECT_EQ(ValueAllowed(p, v), panelKeepsIt) << p.name << " " << v;
        } else if (ValueAllowed(p, v)) {
            EXPECT_TRUE(panelKeepsIt) << p.name << " " << v;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryName, ParamNameRow, ::testing::Range<std::size_t>(0, 16),
                         [](const ::testing::TestParamInfo<std::size_t>& row) {
                             std::string name = ParamNames()[row.param].name;
                             std::erase(name, '-');
                             return name;
                         });

TEST(ParamNames, AreTheSixteenWordsInBlockOrderAndFoundByName) {
    ASSERT_EQ(ParamNames().size(), 16u);
    for (const ParamName& p : ParamNames()) {
        EXPECT_EQ(FindParam(p.name), &p);
    }
    EXPECT_EQ(FindParam("Power"), nullptr);
}

} // namespace
} // namespace ovx::app
