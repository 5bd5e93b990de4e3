// The monitor's lines name every order and decode its words; the status line feeds the history.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/monitor.h"
#include "app/panel_handles.h"
#include "link/com232.h"
#include "link/frame.h"
#include "params/panels.h"
#include "platform/monitor_log.h"
#include "support/german_locale.h"
#include "support/tool_fixture.h"
#include "ui/panel.h"
#include "ui/status_history.h"

namespace ovx::app {
namespace {

struct OrderRow {
    int order;
    const char* name;
};

class MonitorOrderNames : public ::testing::TestWithParam<OrderRow> {};

TEST_P(MonitorOrderNames, SentFrameShowsNameWordsAndHex) {
    const link::Payload words{512, 7};
    const auto frame = link::EncodeFrame(link::kSyncWord, GetParam().order, words);
    platform::SetFrameDescriber(DescribeFrame);
    platform::ClearMonitorLog();
    platform::LogMonitorEntry(platform::MonitorKind::kTx,
                              reinterpret_cast<const char*>(frame.data()), link::kFrameBytes);
    std::vector<platform::MonitorEntry> entries;
    platform::ReadMonitorEntries(0, entries);
    ASSERT_EQ(entries.size(), 1U);
    EXPECT_EQ(platform::MonitorOrderName(entries[0]), GetParam().name);
    const std::string line = platform::FormatMonitorEntry(entries[0]);
    EXPECT_NE(line.find(std::string("tx      ") + GetParam().name), std::string::npos) << line;
    EXPECT_NE(line.find(" 512 7 0 0 0 0 0 0 0 0 0 0 0 0 0 0  | 00550"), std::string::npos) << line;
}

INSTANTIATE_TEST_SUITE_P(EveryOrder, MonitorOrderNames,
                         ::testing::Values(OrderRow{1, "send RAM"}, OrderRow{2, "get RAM"},
                                           OrderRow{3, "send EEPROM"}, OrderRow{4, "get EEPROM"},
                                           OrderRow{5, "echo check"}, OrderRow{6, "teach"},
                                           OrderRow{7, "firmware info"}, OrderRow{8, "live sample"},
                                           OrderRow{9, "data block"}, OrderRow{10, "reset"},
                                           OrderRow{20, "flash address"},
                                           OrderRow{21, "flash block"}, OrderRow{33, "order 33"}),
                         [](const auto& row) { return "order" + std::to_string(row.param.order); });

// A saved monitor log is read by machines too: its times keep a decimal point in any locale.
TEST(MonitorFrames, TimeKeepsItsDecimalPointUnderAGermanLocale) {
    std::string why;
    ASSERT_FALSE(testing::GermanLocaleDir(&why).empty()) << why;
    testing::ScopedGermanLocale german;
    ASSERT_EQ(testing::ScopedGermanLocale::DecimalPoint(), ",");
    platform::MonitorEntry entry{};
    entry.kind = platform::MonitorKind::kStatus;
    entry.time = 12.3456;
    const std::string line = platform::FormatMonitorEntry(entry);
    EXPECT_EQ(line.substr(0, 8), "  12.346") << line;
}

struct ReplyRow {
    int count;
    const char* name;
};

class MonitorBareReplies : public ::testing::TestWithParam<ReplyRow> {};

TEST_P(MonitorBareReplies, NamedByTheirLength) {
    std::vector<char> bytes(static_cast<std::size_t>(GetParam().count), '\0');
    bytes[1] = 3; // word 0 = 3
    std::string order;
    std::string words;
    DescribeFrame(platform::MonitorKind::kRx, bytes.data(), GetParam().count, order, words);
    EXPECT_EQ(order, GetParam().name);
    if (*GetParam().name != '\0') {
        EXPECT_EQ(words.rfind("3 0 ", 0), 0U) << words;
        EXPECT_EQ(static_cast<int>(std::count(words.begin(), words.end(), ' ')) + 1,
                  GetParam().count / 2);
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, MonitorBareReplies,
                         ::testing::Values(ReplyRow{64, "firmware info"},
                                           ReplyRow{128, "data block"}, ReplyRow{20, ""}));

TEST(MonitorFrames, WrongSyncIsNamed) {
    auto frame = link::EncodeFrame(0x1234, 8, link::Payload{});
    std::string order;
    std::string words;
    DescribeFrame(platform::MonitorKind::kRx, reinterpret_cast<const char*>(frame.data()),
                  link::kFrameBytes, order, words);
    EXPECT_EQ(order, "no sync");
}

class MonitorOnTheTool : public testing::ToolFixture {
  protected:
    void SetUp() override {
        ToolFixture::SetUp();
        InstallMonitor();
        platform::ClearMonitorLog();
    }
};

TEST_F(MonitorOnTheTool, StartUpShowsEchoGetAndFirmwareWithTheirTexts) {
    StartTool();
    std::vector<platform::MonitorEntry> entries;
    platform::ReadMonitorEntries(0, entries);
    std::vector<std::string> seen;
    for (const auto& e : entries) {
        seen.push_back(e.kind == platform::MonitorKind::kStatus
                           ? "status"
                           : (e.kind == platform::MonitorKind::kTx ? "tx " : "rx ") +
                                 platform::MonitorOrderName(e));
    }
    const std::vector<std::string> expected{"tx echo check", "rx echo check", "status",
                                            "tx get RAM"};
    ASSERT_GE(seen.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(seen.begin(), seen.begin() + 4), expected);
    EXPECT_NE(std::find(seen.begin(), seen.end(), "rx firmware info"), seen.end());
}

TEST_F(MonitorOnTheTool, EveryStatusTextIsInTheHistoryEvenWhenOverwritten) {
    link::ShowStatus("first, transient");
    link::ShowStatus("second");
    const QStringList items = ui::StatusHistoryButton::Items();
    ASSERT_GE(items.size(), 2);
    EXPECT_TRUE(items[0].endsWith(QStringLiteral("  second")));
    EXPECT_TRUE(items[1].endsWith(QStringLiteral("  first, transient")));
    EXPECT_EQ(StatusText(), "second");
}

TEST_F(MonitorOnTheTool, ToggleShowsAndHidesThePane) {
    auto* pane = static_cast<QWidget*>(ui::CtrlWidget(app::panelHandle, params::PANEL_MONITOR));
    ASSERT_NE(pane, nullptr);
    EXPECT_TRUE(pane->isHidden());
    for (int on : {1, 0}) {
        ui::SetCtrlVal(app::panelHandle, params::PANEL_TOGBTNMONITOR, on);
        CC_TOGBTNMonitor(app::panelHandle, params::PANEL_TOGBTNMONITOR, ui::kEventCommit, nullptr,
                         0, 0);
        EXPECT_EQ(pane->isHidden(), on == 0);
    }
}

} // namespace
} // namespace ovx::app
