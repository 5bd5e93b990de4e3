// The start-up against the virtual controller as the window shows it: the status line and the
// controller's parameters in their controls.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/panel_handles.h"
#include "link/com232.h"
#include "params/panels.h"
#include "params/variables.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "sim/device_model.h"
#include "support/status_recorder.h"
#include "support/tool_fixture.h"
#include "ui/panel.h"

namespace ovx::link {
namespace {

constexpr const char* kFirmware = sim::DeviceModel::kFirmwareText;

// Every status text shown while a test runs, from WatchStatus() on.
class RecordsStatus {
  protected:
    void WatchStatus() { status_.Start(); }
    const std::vector<std::string>& StatusLog() const { return status_.Texts(); }

  private:
    testing::StatusRecorder status_;
};

Payload VariablesNow() {
    using namespace params;
    return {power,    reference, tolerance, hysteresis, polarity, hold,    hwmode,  average,
            evalmode, maxmode,   triglvl,   trigmode,   sdelay,   dbuflen, anamode, para15};
}

int PanelValue(int control) {
    int v = -1;
    ui::GetCtrlVal(app::panelHandle, control, &v);
    return v;
}

// Writes a request straight to port 1 and waits, without events, until its 36-byte reply is
// queued.
bool QueueReplyTo(int orderCode) {
    CopyVarsToPP();
    FillTxBuf(orderCode, pp);
    platform::ComWrt(1, reinterpret_cast<const char*>(szWriteBuf), kFrameBytes);
    const double start = platform::Timer();
    while (platform::GetInQLen(1) < kFrameBytes && platform::Timer() - start < 5.0) {
    }
    return platform::GetInQLen(1) == kFrameBytes;
}

class ConnectionOnPanel : public testing::ToolFixture, public RecordsStatus {
  protected:
    Payload ControllerRam() {
        const std::lock_guard lock(Sim().ModelMutex());
        return Sim().Model().ram;
    }
};

TEST_F(ConnectionOnPanel, NormalStartShowsTheFirmwareTextAndTheControllerParameters) {
    params::target = params::EEPROM;
    WatchStatus();
    StartTool();
    EXPECT_EQ(StatusText(), kFirmware);
    EXPECT_STREQ(szVersion, kFirmware);
    EXPECT_EQ(params::target, params::RAM);
    const Payload ram = ControllerRam();
    EXPECT_EQ(VariablesNow(), ram);
    EXPECT_EQ(PanelValue(params::PANEL_REFERENCE), ram[1]);
    EXPECT_EQ(PanelValue(params::PANEL_TOLERANCE), ram[2]);
    EXPECT_EQ(StatusLog(), (std::vector<std::string>{
                               "Echo Check - Line Ok!", "Waiting for parameter-frame ...",
                               "Parameter-frame received! - Line Ok!", "Echo Check - Line Ok!",
                               "Waiting for firmware info ...", kFirmware, kFirmware}));
    // The notification is back and the flag cleared after the firmware read.
    EXPECT_EQ(rx_flag, 0);
    ASSERT_TRUE(QueueReplyTo(kOrderReadRam));
    EXPECT_TRUE(testing::WaitUntil([] { return rx_flag == 1; }));
}

} // namespace
} // namespace ovx::link
