// The window tells what happened to the serial port: why it could not be opened, that its device
// disappeared, and that the same device is back.
#include <gtest/gtest.h>

#include <QLabel>
#include <QWidget>

#include <grp.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/panel_handles.h"
#include "app/portring.h"
#include "link/com232.h"
#include "params/panels.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "sim/pty_host.h"
#include "support/hostile_files.h"
#include "support/scratch_dir.h"
#include "support/tool_fixture.h"
#include "ui/help.h"
#include "ui/panel.h"

namespace ovx::app {
namespace {

constexpr int kNobody = 65534;

// A pty set up like a serial port of group dialout (mode 0660), for a test run as root.
struct DialoutDevice {
    int master = -1;
    int slave = -1;
    std::string path;
    bool Make(std::string& error) {
        const group* dialout = getgrnam("dialout");
        if (dialout == nullptr || openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
            error = "no dialout group or no pty";
            return false;
        }
        path = ttyname(slave);
        return chown(path.c_str(), 0, dialout->gr_gid) == 0 && chmod(path.c_str(), 0660) == 0;
    }
    bool MakeAny() { // a pty as this user gets it
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
            return false;
        }
        path = ttyname(slave);
        return true;
    }
    ~DialoutDevice() {
        if (slave >= 0) {
            close(slave);
            close(master);
        }
    }
};

struct OpenRow {
    const char* name;
    bool asNobody;          // the device exists but this user may not open it
    const char* status;     // the status text, as without the hint
    const char* reasonTail; // after "cannot open DEVICE: "
    // Else the port names this in a scratch folder (none: a device that does not exist).
    std::optional<testing::Hostile> hostile = std::nullopt;
};

class PortOpenHint : public testing::PanelFixture, public ::testing::WithParamInterface<OpenRow> {
  protected:
    std::string HintText() const {
        auto* hint = static_cast<QLabel*>(CtrlWidget(params::PANEL_PORTHINT));
        return hint != nullptr ? hint->text().toStdString() : "(no hint control)";
    }
    bool HintShown() const {
        int shown = -1;
        ui::GetCtrlAttribute(app::panelHandle, params::PANEL_PORTHINT, ui::kAttrVisible, &shown);
        return shown == 1;
    }
    std::string StatusToolTip() const {
        return static_cast<QWidget*>(CtrlWidget(params::PANEL_STATUS))->toolTip().toStdString();
    }
    static QWidget* CtrlWidget(int control) {
        return static_cast<QWidget*>(ui::CtrlWidget(app::panelHandle, control));
    }
};

TEST_P(PortOpenHint, StatusStaysAndTheReasonWithTheFixShowsBesideIt) {
    const OpenRow& row = GetParam();
    DialoutDevice device;
    std::string device_path = "/dev/ovx-test-no-such-port";
    const testing::ScratchDir scratch;
    if (row.hostile) {
        device_path = scratch.File("ttyS9");
        ASSERT_TRUE(testing::MakeHostile(*row.hostile, device_path));
    }
    if (row.asNobody) {
        if (geteuid() != 0) {
            GTEST_SKIP() << "needs root to open the device as another user";
        }
        std::string error;
        ASSERT_TRUE(device.Make(error)) << error;
        device_path = device.path;
    }
    platform::RegisterPort(1, device_path);
    ASSERT_FALSE(HintShown());
    if (row.asNobody) {
        ASSERT_EQ(seteuid(kNobody), 0);
    }
    link::InitRS232(1);
    if (row.asNobody) {
        ASSERT_EQ(seteuid(0), 0);
    }
    const std::string reason = "cannot open " + device_path + ": " + row.reasonTail;
    EXPECT_EQ(StatusText(), row.status);
    EXPECT_TRUE(HintShown());
    EXPECT_EQ(HintText(), reason);
    EXPECT_EQ(StatusToolTip(), reason);

    // Once the port opens (the device made usable, or another one), the hint goes and the status
    // line's own tooltip returns.
    if (!row.asNobody) {
        ASSERT_TRUE(device.MakeAny());
        platform::RegisterPort(1, device.path);
    }
    ASSERT_EQ(platform::OpenComConfig(1, "", 19200, 0, 8, 1, 512, 512), 0);
    EXPECT_FALSE(HintShown());
    EXPECT_EQ(StatusToolTip().find("cannot open"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PortOpenHint,
    ::testing::Values(OpenRow{"Permission", true, "Cannot open port",
                              "permission denied. The device belongs to group dialout: add the "
                              "user to that group (sudo adduser nobody dialout) and log in again."},
                      OpenRow{"Missing", false, "No serial port found",
                              "No such file or directory."},
                      // A name that is no serial port: refused when opened, not by a time-out.
                      OpenRow{"Directory", false, "No serial port found", "not a serial port.",
                              testing::Hostile::kDirectory},
                      OpenRow{"RegularFile", false, "No serial port found", "not a serial port.",
                              testing::Hostile::kRegularFile},
                      OpenRow{"DevNull", false, "No serial port found", "not a serial port.",
                              testing::Hostile::kDevNull},
                      OpenRow{"Fifo", false, "No serial port found", "not a serial port.",
                              testing::Hostile::kFifo}),
    [](const auto& row) { return std::string(row.param.name); });

// The device is a link to the virtual controller's pty (as --link makes it): stopping the host
// removes it like a pulled adapter, a new host puts the same path back.
struct ReturnRow {
    const char* name;
    int answer; // 1 Reopen, 0 Not now
};

class PortComesBack : public testing::PanelFixture,
                      public ::testing::WithParamInterface<ReturnRow> {
  protected:
    void SetUp() override {
        PanelFixture::SetUp();
        link_ =
            (std::filesystem::temp_directory_path() / ("ovx-test-port-" + std::to_string(getpid())))
                .string();
        ASSERT_TRUE(StartHost());
        platform::RegisterPort(1, link_);
        ui::SetQuestionResponder([this](const std::string&, const std::string& message) {
            asked_.push_back(message);
            return GetParam().answer;
        });
    }
    void TearDown() override {
        ui::SetQuestionResponder({});
        PanelFixture::TearDown();
        host_.reset();
        platform::RegisterPort(1, "");
    }
    bool StartHost() {
        sim::HostOptions o;
        o.lineEmulation = false;
        o.replyLatencyMs = 0.0;
        o.symlink = link_;
        host_ = std::make_unique<sim::PtyHost>(o);
        std::string error;
        return host_->Start(error);
    }
    std::string Gone() const { return "Serial port 1 (" + link_ + ") disappeared"; }

    std::string link_;
    std::unique_ptr<sim::PtyHost> host_;
    std::vector<std::string> asked_;
};

TEST_P(PortComesBack, DisappearanceIsToldAtOnceAndTheReturnOffersToReopen) {
    link::InitRS232(1);
    const std::string opened = StatusText();
    // A present device is not reported gone.
    EXPECT_FALSE(testing::WaitUntil([&] { return StatusText() == Gone(); }, 1.5));

    host_.reset();
    const double pulled = platform::Timer();
    ASSERT_TRUE(testing::WaitUntil([&] { return StatusText() == Gone(); }, 3.0)) << StatusText();
    EXPECT_LT(platform::Timer() - pulled, 1.5); // within the second of one look
    EXPECT_TRUE(asked_.empty());
    // Not back yet: nothing is offered.
    EXPECT_FALSE(testing::WaitUntil([&] { return !asked_.empty(); }, 1.5));

    ASSERT_TRUE(StartHost());
    // While a command's waiting loop runs, the question waits for it to end.
    EXPECT_FALSE(testing::WaitUntil([&] { return !asked_.empty(); }, 1.5));
    ASSERT_TRUE(testing::WaitIdle([&] { return !asked_.empty(); }, 1.5));
    EXPECT_EQ(asked_[0], "Serial port 1 (" + link_ + ") is back. Reopen it?");
    if (GetParam().answer == 1) {
        EXPECT_EQ(StatusText(), opened); // opened and checked as at start-up
        EXPECT_GT(host_->RequestCount(), 0);
    } else {
        EXPECT_EQ(StatusText(), Gone());
        EXPECT_EQ(host_->RequestCount(), 0);
    }
    // Asked once only.
    EXPECT_FALSE(testing::WaitIdle([&] { return asked_.size() > 1; }, 1.5));
}

INSTANTIATE_TEST_SUITE_P(Rows, PortComesBack,
                         ::testing::Values(ReturnRow{"Reopen", 1}, ReturnRow{"NotNow", 0}),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace ovx::app
