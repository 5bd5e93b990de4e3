// The window on a serial device server (ser2net on loopback in front of the virtual controller):
// the address in the port ring, the start-up as on the pty itself, a lost connection told and
// offered again, a refused connection with its reason beside the status text.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>

#include <string>
#include <vector>

#include "app/panel_handles.h"
#include "app/portring.h"
#include "link/com232.h"
#include "params/panels.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "support/device_server.h"
#include "support/row_name.h"
#include "support/tool_fixture.h"
#include "support/wait_until.h"
#include "ui/help.h"
#include "ui/panel.h"
#include "ui/ring.h"

namespace ovx::app {
namespace {

constexpr int kPort = 1;

struct NetRow {
    const char* name;
    bool telnet;
    int answer = 1; // to the offer to reopen: 1 Reopen, 0 Not now
};

void PrintTo(const NetRow& row, std::ostream* os) {
    *os << row.name;
}

class PortOnServer : public testing::PanelFixture, public ::testing::WithParamInterface<NetRow> {
  protected:
    void SetUp() override {
        PanelFixture::SetUp();
        std::string error;
        ASSERT_TRUE(server_.Start({"--no-line"}, error)) << error;
        address_ = GetParam().telnet ? server_.TelnetAddress() : server_.RawAddress();
        ui::SetQuestionResponder([this](const std::string&, const std::string& message) {
            asked_.push_back(message);
            return GetParam().answer;
        });
    }
    void TearDown() override {
        ui::SetQuestionResponder({});
        PanelFixture::TearDown();
        platform::RegisterPort(kPort, "");
    }
    std::string RingText(int port) const {
        auto* ring =
            static_cast<QComboBox*>(ui::CtrlWidget(app::panelHandle, params::PANEL_DROPDCOM));
        const int index = ring->findData(port);
        return index < 0 ? std::string("(not in the ring)") : ring->itemText(index).toStdString();
    }
    std::string Gone() const { return "Serial port 1 (" + address_ + ") disappeared"; }

    testing::DeviceServer server_;
    std::string address_;
    std::vector<std::string> asked_;
};

class ServerStartUp : public PortOnServer {};

TEST_P(ServerStartUp, AsOnThePtyAndTheRingKeepsTheAddress) {
    platform::RegisterPort(kPort, server_.Pty());
    link::InitRS232(kPort);
    const std::string onPty = StatusText();
    platform::CloseCom(kPort);

    platform::RegisterPort(kPort, address_);
    FillPortRing(app::panelHandle, params::PANEL_DROPDCOM, 0);
    link::InitRS232(kPort);
    EXPECT_EQ(StatusText(), onPty);
    EXPECT_EQ(RingText(kPort), "COM1  " + address_);
    CC_BTNRefreshPorts(app::panelHandle, params::PANEL_BTNREFRESHPORTS, ui::kEventCommit, nullptr,
                       0, 0);
    EXPECT_EQ(RingText(kPort), "COM1  " + address_);
    int selected = -1;
    ui::GetCtrlVal(app::panelHandle, params::PANEL_DROPDCOM, &selected);
    EXPECT_EQ(selected, kPort);
}

INSTANTIATE_TEST_SUITE_P(Rows, ServerStartUp,
                         ::testing::Values(NetRow{"Raw", false}, NetRow{"Telnet", true}),
                         testing::RowName());

class ServerLost : public PortOnServer {};

TEST_P(ServerLost, IsToldAndOfferedAgain) {
    platform::RegisterPort(kPort, address_);
    link::InitRS232(kPort);
    const std::string opened = StatusText();
    server_.StopServer();
    const double stopped = platform::Timer();
    ASSERT_TRUE(testing::WaitUntil([&] { return StatusText() == Gone(); }, 3.0)) << StatusText();
    EXPECT_LT(platform::Timer() - stopped, 1.5); // within the second of one look
    EXPECT_TRUE(asked_.empty());

    std::string error;
    ASSERT_TRUE(server_.RestartServer(error)) << error;
    ASSERT_TRUE(testing::WaitIdle([&] { return !asked_.empty(); }, 2.5));
    EXPECT_EQ(asked_[0], "The connection of Serial port 1 (" + address_ + ") was lost. Reopen it?");
    EXPECT_EQ(StatusText(), GetParam().answer == 1 ? opened : Gone());
    EXPECT_FALSE(testing::WaitIdle([&] { return asked_.size() > 1; }, 1.5)); // asked once only
}

INSTANTIATE_TEST_SUITE_P(Rows, ServerLost,
                         ::testing::Values(NetRow{"Raw", false, 1}, NetRow{"Telnet", true, 1},
                                           NetRow{"RawNotNow", false, 0}),
                         testing::RowName());

class PortRefused : public testing::PanelFixture {
  protected:
    void TearDown() override {
        PanelFixture::TearDown();
        platform::RegisterPort(kPort, "");
    }
};

TEST_F(PortRefused, TheReasonShowsBesideTheStatusAtOnce) {
    const std::string address = "tcp://127.0.0.1:" + std::to_string(testing::FreeLoopbackPort());
    platform::RegisterPort(kPort, address);
    const double start = platform::Timer();
    link::InitRS232(kPort);
    EXPECT_LT(platform::Timer() - start, 2.0);
    EXPECT_EQ(StatusText(), "Cannot open port");
    const auto* hint =
        static_cast<QLabel*>(ui::CtrlWidget(app::panelHandle, params::PANEL_PORTHINT));
    ASSERT_NE(hint, nullptr);
    EXPECT_EQ(hint->text().toStdString(), "cannot connect to " + address + ": connection refused.");
}

} // namespace
} // namespace ovx::app
