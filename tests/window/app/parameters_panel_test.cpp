// The parameter table against the panel: a value the table allows reaches the controller
// unchanged through the panel transfer; a value box's range is the table's range, and a ring
// offers as many values as the table takes for it (a ring holds any value, an operator picks its
// items).
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/gui.h"
#include "app/panel_handles.h"
#include "params/panels.h"
#include "params/parameters.h"
#include "params/variables.h"
#include "support/tool_fixture.h"
#include "ui/panel.h"
#include "ui/ring.h"

namespace ovx::params {
namespace {

class ParameterRow : public testing::PanelFixture,
                     public ::testing::WithParamInterface<std::size_t> {
  protected:
    const Parameter& Param() const { return Parameters()[GetParam()]; }
    // The value the panel transfer reads back after the control was given value.
    long ThroughPanel(long value) const {
        const Parameter& p = Param();
        const int panel = p.popup ? app::panelPopUp : app::panelHandle;
        ui::SetCtrlVal(panel, p.control, static_cast<int>(value));
        app::GetPanelValues();
        return *p.variable;
    }
    // The values at and just beyond the edges of what the name takes.
    std::vector<long> Candidates() const {
        const Parameter& p = Param();
        std::vector<long> v{p.minimum - 1, p.minimum, p.maximum, p.maximum + 1};
        for (const int c : p.choices) {
            v.insert(v.end(), {c - 1L, static_cast<long>(c), c + 1L});
        }
        return v;
    }
};

TEST_P(ParameterRow, TakesExactlyWhatItsControlTakes) {
    const Parameter& p = Param();
    if (p.control == 0) {
        GTEST_SKIP() << p.name << " has no control";
    }
    if (!p.choices.empty()) { // before a foreign value adds an item
        const int panel = p.popup ? app::panelPopUp : app::panelHandle;
        EXPECT_EQ(ui::GetNumRingItems(panel, p.control), static_cast<int>(p.choices.size()));
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

INSTANTIATE_TEST_SUITE_P(EveryName, ParameterRow, ::testing::Range<std::size_t>(0, 16),
                         [](const ::testing::TestParamInfo<std::size_t>& row) {
                             std::string name = Parameters()[row.param].name;
                             std::erase(name, '-');
                             return name;
                         });

} // namespace
} // namespace ovx::params
