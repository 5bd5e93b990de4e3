// What the window remembers between runs, in the settings directory of this test run.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QWidget>

#include <map>
#include <string>

#include "app/panel_handles.h"
#include "app/portring.h"
#include "app/recorder.h"
#include "app/window_state.h"
#include "link/com232.h"
#include "params/panels.h"
#include "platform/serial.h"
#include "support/tool_fixture.h"
#include "ui/panel.h"
#include "ui/settings.h"

namespace ovx::app {
namespace {

constexpr int kRememberedPort = 200;
constexpr const char* kRememberedDevice = "/dev/ovx-test-remembered";

class WindowState : public testing::PanelFixture {
  protected:
    QWidget* Window() const { return static_cast<QWidget*>(ui::PanelWidget(app::panelHandle)); }
    int MonitorShown() const {
        int v = -1;
        ui::GetCtrlAttribute(app::panelHandle, params::PANEL_MONITOR, ui::kAttrVisible, &v);
        return v;
    }
};

TEST_F(WindowState, RoundTripOfGeometryMonitorDirectoryAndPort) {
    platform::RegisterPort(kRememberedPort, kRememberedDevice);
    Window()->setGeometry(40, 30, 1200, 705);
    ui::SetCtrlAttribute(app::panelHandle, params::PANEL_MONITOR, ui::kAttrVisible, 1);
    std::snprintf(app::szRecordDir, sizeof app::szRecordDir, "%s", "/tmp/records");
    link::com = kRememberedPort;
    SaveWindowState();

    Window()->setGeometry(0, 0, 1240, 690);
    ui::SetCtrlAttribute(app::panelHandle, params::PANEL_MONITOR, ui::kAttrVisible, 0);
    app::szRecordDir[0] = '\0';
    link::com = 1;
    RestoreWindowState(Options{});

    EXPECT_EQ(Window()->size(), QSize(1200, 705));
    EXPECT_EQ(MonitorShown(), 1);
    int toggle = -1;
    ui::GetCtrlVal(app::panelHandle, params::PANEL_TOGBTNMONITOR, &toggle);
    EXPECT_EQ(toggle, 1);
    EXPECT_STREQ(app::szRecordDir, "/tmp/records");
    EXPECT_EQ(link::com, kRememberedPort);
    int ring = -1;
    ui::GetCtrlVal(app::panelHandle, params::PANEL_DROPDCOM, &ring);
    EXPECT_EQ(ring, kRememberedPort);
}

struct StartRow {
    const char* name;
    const char* remembered;
    bool simulator;
    bool portOption;
    int expected;
};

class StartPortChoice : public ::testing::TestWithParam<StartRow> {};

TEST_P(StartPortChoice, LastPortOnlyWhenPresentAndNotOverridden) {
    platform::RegisterPort(kRememberedPort, kRememberedDevice);
    ui::SetSetting("port/device", GetParam().remembered);
    Options options;
    options.simulator = GetParam().simulator;
    if (GetParam().portOption) {
        options.ports.emplace_back(1, "/dev/null");
    }
    EXPECT_EQ(StartPort(options), GetParam().expected);
    ui::SetSetting("port/device", "");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StartPortChoice,
    ::testing::Values(StartRow{"remembered", kRememberedDevice, false, false, kRememberedPort},
                      StartRow{"gone", "/dev/ovx-test-unplugged", false, false, 1},
                      StartRow{"nothing", "", false, false, 1},
                      StartRow{"simulator", kRememberedDevice, true, false, 1},
                      StartRow{"portOption", kRememberedDevice, false, true, 1}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(WindowState, RefreshListsAPortAddedAfterStartAndKeepsThePortInUse) {
    FillPortRing(app::panelHandle, params::PANEL_DROPDCOM, 0);
    auto* ring = static_cast<QComboBox*>(ui::CtrlWidget(app::panelHandle, params::PANEL_DROPDCOM));
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(ring->findData(201), -1);
    platform::RegisterPort(201, "/dev/ovx-test-plugged-later");
    link::com = 1;
    CC_BTNRefreshPorts(app::panelHandle, params::PANEL_BTNREFRESHPORTS, ui::kEventCommit, nullptr,
                       0, 0);
    const int index = ring->findData(201);
    ASSERT_GE(index, 0);
    EXPECT_TRUE(
        ring->itemText(index).startsWith(QStringLiteral("COM201  /dev/ovx-test-plugged-later")));
    int value = -1;
    ui::GetCtrlVal(app::panelHandle, params::PANEL_DROPDCOM, &value);
    EXPECT_EQ(value, 1);
}

// ---- Addresses of serial device servers --------------------------------------------------------

constexpr int kAddressPort = 150; // numbers no machine's own ports reach

std::map<int, std::string> AddressesInTable() {
    std::map<int, std::string> table;
    for (const platform::PortInfo& info : platform::ListPorts()) {
        if (info.device.find("://") != std::string::npos) {
            table[info.port] = info.device;
        }
    }
    return table;
}

void ClearAddressPorts() {
    for (int port = kAddressPort; port < kAddressPort + 4; ++port) {
        platform::RegisterPort(port, "");
    }
}

struct AddressRow {
    const char* name;
    std::string remembered; // the settings' text
    bool simulator;
    bool portOption;
    bool numberTaken; // the first address's number holds a device already
    std::map<int, std::string> expected;
};

class RememberedAddresses : public ::testing::TestWithParam<AddressRow> {
  protected:
    void TearDown() override {
        ClearAddressPorts();
        ui::SetSetting("port/addresses", "");
    }
};

TEST_P(RememberedAddresses, ComeBackUnderTheirNumbersUnlessOverridden) {
    const AddressRow& row = GetParam();
    if (row.numberTaken) {
        platform::RegisterPort(kAddressPort, "/dev/ovx-test-taken");
    }
    ui::SetSetting("port/addresses", row.remembered);
    Options options;
    options.simulator = row.simulator;
    if (row.portOption) {
        options.ports.emplace_back(1, "/dev/null");
    }
    AddRememberedAddresses(options);
    EXPECT_EQ(AddressesInTable(), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RememberedAddresses,
    ::testing::Values(
        AddressRow{"Both",
                   "150=tcp://10.0.0.7:4001 152=rfc2217://[::1]:4002",
                   false,
                   false,
                   false,
                   {{150, "tcp://10.0.0.7:4001"}, {152, "rfc2217://[::1]:4002"}}},
        AddressRow{"NumberTaken",
                   "150=tcp://10.0.0.7:4001",
                   false,
                   false,
                   true,
                   {{151, "tcp://10.0.0.7:4001"}}},
        // A damaged or hand-edited settings file: only the whole, valid entry is taken.
        AddressRow{"Damaged",
                   "x=tcp://h:1 150=/dev/ttyS0 300=tcp://h:1 0=tcp://h:1 151=tcp://h "
                   "1500=tcp://h:1 =tcp://h:1 152=ftp://h:1 153=tcp://h:4001",
                   false,
                   false,
                   false,
                   {{153, "tcp://h:4001"}}},
        AddressRow{"Simulator", "150=tcp://10.0.0.7:4001", true, false, false, {}},
        AddressRow{"PortOption", "150=tcp://10.0.0.7:4001", false, true, false, {}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(WindowState, AddressesInUseAreRememberedBesideTheOldOnes) {
    ui::SetSetting("port/addresses", "152=tcp://old:4001");
    platform::RegisterPort(kAddressPort, "rfc2217://new:4002");
    SaveWindowState();
    ClearAddressPorts();
    AddRememberedAddresses(Options{});
    const std::map<int, std::string> expected{{kAddressPort, "rfc2217://new:4002"},
                                              {152, "tcp://old:4001"}};
    EXPECT_EQ(AddressesInTable(), expected);
    ClearAddressPorts();
    ui::SetSetting("port/addresses", "");
}

} // namespace
} // namespace ovx::app
