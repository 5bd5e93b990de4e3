// Every fault of the virtual controller against every operator action. Each cell asserts the
// status text the operator ends with, that nothing the controller did not send reached the
// parameters, the panels, the charts or the flash, that the action gave the event loop back
// within its time-out plus 0.1 s, and that the port works again once the fault is gone.
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/datacurve.h"
#include "app/panel_handles.h"
#include "app/paramfile.h"
#include "app/runloop.h"
#include "app/strip.h"
#include "link/com232.h"
#include "link/datablock.h"
#include "params/lintable.h"
#include "params/panels.h"
#include "params/variables.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "sim/data_curve.h"
#include "sim/live_signal.h"
#include "support/scratch_dir.h"
#include "support/tool_fixture.h"
#include "ui/file_dialogs.h"
#include "ui/panel.h"

namespace ovx::testing {
namespace {

using Words = std::array<std::uint16_t, 16>;

enum class Action {
    kStartUp,
    kRunStop,
    kDataNorm,
    kDataRaw,
    kGetRam,
    kGetEeprom,
    kSendRam,
    kSendEeprom,
    kTeach,
    kReset,
    kFlash,
    kPortChange,
};

struct ActionInfo {
    const char* name;
    double limit; // seconds the action may take before it gives the event loop back
};

// Echo 0.05 + 2.0, parameter fetch 2.0, firmware 2.0.
constexpr double kStartLimit = 6.05;
// Pauses of four whole pages, one 2.0 s read time-out per page at most (a failure ends it), and
// before each next page up to 2.0 s more for the late answer of a page that got none.
constexpr double kFlashLimit = 4 * 16 * 2 * 0.05 + 4 * 0.15 + 3 * 0.05 + 4 * 2.0 + 3 * 2.0;
constexpr double kRunFor = 2.3; // the stop button is pressed after the line time-out
constexpr std::array<ActionInfo, 12> kActions{{
    {"StartUp", kStartLimit},
    {"RunStop", kRunFor + 2.0},
    {"DataNorm", 2 * 1.5 + 2.0},
    {"DataRaw", 4 * 1.5 + 2.0},
    {"GetRam", 2.0},
    {"GetEeprom", 2.0},
    {"SendRam", 0.0},
    {"SendEeprom", 0.0},
    {"Teach", 1.5 + 2.0},
    {"Reset", 1.5 + 2.0},
    {"Flash", kFlashLimit},
    {"PortChange", kStartLimit},
}};

const ActionInfo& Info(Action a) {
    return kActions[static_cast<std::size_t>(a)];
}

constexpr const char* kFirmware = "OVX virtual controller 1.0";
constexpr const char* kFlashOk = "ok : D801 FLASH page7-write 255 words!";
constexpr const char* kFlashFailed = "error : D801 FLASH page7-write <255 words!";
constexpr const char* kDataOk = "Data[64] block received!";
constexpr const char* kDataTimeout = "Timeout-RS-232 while reading 64 data-words!";
constexpr const char* kEchoRefused = "read error - not sync byte 0xAA!";
constexpr const char* kEchoOk = "Echo Check - Line Ok!";
constexpr const char* kBlockWithStrayBytes = "Data[64] block refused - 133 bytes instead of 128!";

struct Cell {
    const char* fault;                // name of the row, and a fault option of the controller
    std::vector<std::string> options; // fault options; "--unplug-after=+N" counts from the action
    Action action;
    const char* status; // the text the status line ends with
};

std::string CellName(const ::testing::TestParamInfo<Cell>& info) {
    return std::string(info.param.fault) + "_" + Info(info.param.action).name;
}

void PrintTo(const Cell& cell, std::ostream* os) {
    *os << cell.fault << " x " << Info(cell.action).name;
}

// Longest return time over the time-out seen, for the summary line.
struct Summary {
    int cells = 0, passed = 0;
    double worstOver = -1e9;
    std::string worstCell;
};
Summary& Totals() {
    static Summary s;
    return s;
}

class FaultMatrix : public ToolFixture, public ::testing::WithParamInterface<Cell> {
  protected:
    void SetUp() override {
        ToolFixture::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(dir_.Valid());
        dir_.MakeWorkingDirectory();
        platform::SetProjectDirForTesting(dir_.Path());
        ASSERT_EQ(platform::GetProjectDir(app::proj_dir), 0);
        if (GetParam().action != Action::kStartUp) {
            StartTool();
            ASSERT_EQ(link::szStatus, std::string(kFirmware));
        }
    }
    void TearDown() override {
        ui::SetFileSelectResponder({});
        platform::SetProjectDirForTesting("");
        ToolFixture::TearDown();
        Summary& s = Totals();
        ++s.cells;
        s.passed += HasFailure() ? 0 : 1;
    }

    void ApplyFaults() {
        sim::Faults f;
        for (const std::string& o : GetParam().options) {
            if (o.starts_with("--unplug-after=+")) {
                f.unplugAfterFrames = Sim().RequestCount() + std::stoi(o.substr(16));
                unplugAtOnce_ = o == "--unplug-after=+0";
                continue;
            }
            std::string error;
            ASSERT_TRUE(sim::ParseFaultOption(o, f, error)) << o << ": " << error;
        }
        Sim().SetFaults(f);
        if (unplugAtOnce_) { // the device is gone before the action starts
            ASSERT_TRUE(WaitUntil([this] { return Sim().IsUnplugged(); }));
        }
    }

    Words SimMemory(bool eeprom) {
        std::lock_guard lock(Sim().ModelMutex());
        return eeprom ? Sim().Model().eeprom : Sim().Model().ram;
    }
    std::vector<std::uint16_t> Flash() {
        std::lock_guard lock(Sim().ModelMutex());
        std::vector<std::uint16_t> words;
        for (int n = 0; n < params::kTableSize; ++n) {
            words.push_back(Sim().Model().FlashWord(link::FlashPageAddress(4) + n));
        }
        return words;
    }

    void Perform(Action a);
    void PrepareFlash();
    void CheckIntegrity(Action a);
    void CheckPortWorksAgain();

    ScratchDir dir_;
    bool unplugAtOnce_ = false;
    Words varsBefore_{}, ramBefore_{}, eepromBefore_{};
    std::vector<std::uint16_t> flashBefore_;
};

Words Variables() {
    using namespace params;
    return {power,    reference, tolerance, hysteresis, polarity, hold,    hwmode,  average,
            evalmode, maxmode,   triglvl,   trigmode,   sdelay,   dbuflen, anamode, para15};
}

void Click(int (*callback)(int, int, int, void*, int, int), int control) {
    callback(app::panelHandle, control, ui::kEventLeftClick, nullptr, 0, 0);
    callback(app::panelHandle, control, ui::kEventCommit, nullptr, 0, 0);
}

void RunThenStop() {
    ui::SetCtrlVal(app::panelHandle, params::PANEL_RNGGRAPHSOURCE, 1);
    QTimer::singleShot(static_cast<int>(kRunFor * 1000.0), [] {
        app::CC_BTNStop(app::panelHandle, params::PANEL_BTNSTOP, ui::kEventCommit, nullptr, 0, 0);
    });
    app::CC_BTNRun(app::panelHandle, params::PANEL_BTNRUN, ui::kEventCommit, nullptr, 0, 0);
}

// A measurement file whose table is entry n = 3 * n + 7, chosen in the file popup.
void FaultMatrix::PrepareFlash() {
    std::string text;
    for (int k = 0; k < params::kTableSize; ++k) {
        // group 1 is taken last value first: line k holds entry 1023 - k
        text +=
            std::to_string(3 * (params::kTableSize - 1 - k) + 7) + "\t" + std::to_string(k) + "\n";
    }
    WriteText(dir_.File(params::kMeasurementFile), text);
    const std::string path = dir_.File(params::kMeasurementFile);
    ui::SetFileSelectResponder([path](const ui::FileSelectRequest&, std::string& c) {
        c = path;
        return 1;
    });
    params::target = params::DATFILE;
}

void FaultMatrix::Perform(Action a) {
    switch (a) {
    case Action::kStartUp:
        link::InitRS232(1);
        break;
    case Action::kRunStop:
        RunThenStop();
        break;
    case Action::kDataNorm:
    case Action::kDataRaw:
        ui::SetCtrlVal(app::panelHandle, params::PANEL_RNGGRAPHSOURCE,
                       a == Action::kDataNorm ? 1 : 0);
        app::CC_BTNData(app::panelHandle, params::PANEL_BTNDATA, ui::kEventCommit, nullptr, 0, 0);
        break;
    case Action::kGetRam:
    case Action::kGetEeprom:
        params::target = a == Action::kGetRam ? params::RAM : params::EEPROM;
        Click(app::CC_BTNGet, params::PANEL_BTNGET);
        break;
    case Action::kSendRam:
    case Action::kSendEeprom:
        params::target = a == Action::kSendRam ? params::RAM : params::EEPROM;
        Click(app::CC_BTNSend, params::PANEL_BTNSEND);
        break;
    case Action::kTeach:
        Click(app::CC_ButtonTeach, params::PANEL_BUTTONTEACH);
        break;
    case Action::kReset:
        Click(app::CC_ButtonReset, params::PANEL_BUTTONRESET);
        break;
    case Action::kFlash:
        Click(app::CC_BTNSend, params::PANEL_BTNSEND);
        break;
    case Action::kPortChange:
        platform::RegisterPort(2, Sim().DevicePath());
        ui::SetCtrlVal(app::panelHandle, params::PANEL_DROPDCOM, 2);
        app::CC_DropDCom(app::panelHandle, params::PANEL_DROPDCOM, ui::kEventCommit, nullptr, 0, 0);
        break;
    }
}

// A live sample is the controller's own when its words fit together as the controller derives
// them: NORM = 1000 * A / Amax, every channel within the converter's range.
bool PlausibleLiveSample() {
    const bool ranges = live::adcCHA <= sim::LiveSignal::kAdcMax &&
                        live::adcCHB <= sim::LiveSignal::kAdcMax &&
                        live::Amax <= sim::LiveSignal::kAdcMax && live::adcCHA <= live::Amax;
    return ranges && live::valNORM == sim::LiveSignal::Normalise(live::adcCHA, live::Amax);
}

// Every point of the curve is the controller's point, or cleared by a time-out when clearing is
// allowed.
bool CurveIsTheControllers(int source, bool orCleared) {
    const sim::CurveKind a = source == 1 ? sim::CurveKind::kNorm : sim::CurveKind::kRawA;
    for (int i = 0; i < sim::kCurvePoints; ++i) {
        const bool okA =
            link::yArrayA[i] == sim::CurvePoint(a, i) || (orCleared && link::yArrayA[i] == 0);
        const bool okB = source == 1 || (orCleared && link::yArrayB[i] == 0) ||
                         link::yArrayB[i] == sim::CurvePoint(sim::CurveKind::kRawB, i);
        if (!okA || !okB) {
            return false;
        }
    }
    return true;
}

void FaultMatrix::CheckIntegrity(Action a) {
    const Words vars = Variables();
    const Words ram = SimMemory(false), eeprom = SimMemory(true);
    switch (a) {
    case Action::kRunStop:
    case Action::kDataNorm:
    case Action::kDataRaw:
        EXPECT_EQ(vars, varsBefore_) << "a live frame reached the parameters";
        EXPECT_TRUE(PlausibleLiveSample())
            << "NORM " << live::valNORM << " A " << live::adcCHA << " Amax " << live::Amax;
        if (a != Action::kRunStop) {
            // A curve reported as received must be the controller's, point for point.
            EXPECT_TRUE(
                CurveIsTheControllers(a == Action::kDataNorm ? 1 : 0, StatusText() != kDataOk));
        }
        break;
    case Action::kSendRam:
    case Action::kSendEeprom:
        EXPECT_TRUE(ram == ramBefore_ || ram == vars) << "RAM holds what nobody sent";
        EXPECT_TRUE(eeprom == eepromBefore_ || eeprom == vars) << "EEPROM holds what nobody sent";
        break;
    case Action::kFlash: {
        const std::vector<std::uint16_t> flash = Flash();
        const std::int32_t* pages[] = {params::flashp4, params::flashp5, params::flashp6,
                                       params::flashp7};
        for (int n = 0; n < params::kTableSize; ++n) {
            const auto wanted = static_cast<std::uint16_t>(pages[n / 256][n % 256] & 0xFFFF);
            ASSERT_TRUE(flash[n] == flashBefore_[n] || flash[n] == wanted) << "flash word " << n;
        }
        break;
    }
    default: // fetches: the variables are the old ones or the controller's
        EXPECT_TRUE(vars == varsBefore_ || vars == ram || vars == eeprom)
            << "the parameters hold what the controller never sent";
        break;
    }
}

// Descriptors of this process open on device (a removed device node reads "... (deleted)").
int DescriptorsOn(const std::string& device) {
    int count = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        const std::string target = std::filesystem::read_symlink(entry.path(), ec).string();
        count += target == device || target == device + " (deleted)" ? 1 : 0;
    }
    return count;
}

// What the fault left on its way (bytes sent after a request that awaits none) is gone once the
// line has been quiet for two frames' line time.
void AwaitQuietPort() {
    double quietSince = platform::Timer();
    WaitUntil([&quietSince] {
        if (platform::GetInQLen(link::com) > 0) {
            platform::FlushInQ(link::com);
            quietSince = platform::Timer();
        }
        return platform::Timer() - quietSince > 2 * 36 * 10.0 / 19200.0;
    });
}

void FaultMatrix::CheckPortWorksAgain() {
    Sim().SetFaults({});
    if (Sim().IsUnplugged()) { // the device is gone: the operator picks another port in the ring
        const std::string gone = Sim().DevicePath();
        Sim().Stop();
        std::string error;
        ASSERT_TRUE(Sim().Start(error)) << error;
        // A pty still open in the tool keeps its number: the same path means none was left open.
        const bool heldOpen = Sim().DevicePath() != gone;
        Perform(Action::kPortChange);
        EXPECT_EQ(link::com, 2);
        EXPECT_EQ(link::szStatus, std::string(kFirmware));
        EXPECT_TRUE(!heldOpen || DescriptorsOn(gone) == 0)
            << "the vanished device's port was not closed";
        return;
    }
    AwaitQuietPort();
    EXPECT_EQ(link::CheckComLine(link::com), 1) << link::szStatus;
    params::target = params::RAM;
    Click(app::CC_BTNGet, params::PANEL_BTNGET);
    EXPECT_EQ(StatusText(), "Data Transfer Ok!");
    EXPECT_EQ(Variables(), SimMemory(false));
}

TEST_P(FaultMatrix, Cell) {
    const Cell& cell = GetParam();
    if (cell.action == Action::kFlash) {
        PrepareFlash();
    }
    varsBefore_ = Variables();
    ramBefore_ = SimMemory(false);
    eepromBefore_ = SimMemory(true);
    flashBefore_ = Flash();
    ApplyFaults();

    const double start = platform::Timer();
    Perform(cell.action);
    const double took = platform::Timer() - start;

    const double over = took - Info(cell.action).limit;
    if (over > Totals().worstOver) {
        Totals().worstOver = over;
        Totals().worstCell = CellName({cell, 0});
    }
    const std::string wanted = cell.status;
    if (wanted.ends_with('*')) { // the rest names a device path
        EXPECT_TRUE(StatusText().starts_with(wanted.substr(0, wanted.size() - 1))) << StatusText();
    } else {
        EXPECT_EQ(StatusText(), wanted);
    }
    EXPECT_LE(took, Info(cell.action).limit + 0.1) << "the action held the window too long";
    CheckIntegrity(cell.action);
    CheckPortWorksAgain();
}

// Faults that touch every exchange, against every action.
std::vector<Cell> EveryExchangeCells() {
    struct Row {
        const char* fault;
        std::vector<std::string> options;
        std::array<const char*, 12> status;
    };
    const std::vector<Row> rows = {
        {"None",
         {},
         {kFirmware, "Line Ok!", kDataOk, kDataOk, "Data Transfer Ok!", "Data Transfer Ok!",
          "Transmit Ok!", "Transmit Ok!", kFirmware, kFirmware, kFlashOk, kFirmware}},
        {"Silent",
         {"--silent"},
         {"Timeout < 36 Bytes", "Timeout RS232-Line!", kDataTimeout, kDataTimeout,
          "Timeout RS232-Line!", "Timeout RS232-Line!", "Transmit Ok!", "Transmit Ok!",
          "Timeout RS-232!!", "Timeout RS-232!!", kFlashFailed, "Timeout < 36 Bytes"}},
        {"Cut10",
         {"--cut=10"},
         {"Timeout < 36 Bytes", "Timeout RS232-Line!", kDataTimeout, kDataTimeout,
          "Timeout RS232-Line!", "Timeout RS232-Line!", "Transmit Ok!", "Transmit Ok!",
          "Timeout RS-232!!", "Timeout RS-232!!", kFlashFailed, "Timeout < 36 Bytes"}},
        {"Slow2100",
         {"--slow=2100"},
         {"Timeout < 36 Bytes", "Timeout RS232-Line!", kDataTimeout, kDataTimeout,
          "Timeout RS232-Line!", "Timeout RS232-Line!", "Transmit Ok!", "Transmit Ok!",
          "Timeout RS-232!!", "Timeout RS-232!!", kFlashFailed, "Timeout < 36 Bytes"}},
        // Frames are realigned on their header; a data block has none and is refused. The
        // firmware information (64 bytes, no header) arrives as 69 and is not shown: start-up
        // ends with the echo check's text.
        {"Garbage5",
         {"--garbage=5"},
         {kEchoOk, "Line Ok!", kBlockWithStrayBytes, kBlockWithStrayBytes, "Data Transfer Ok!",
          "Data Transfer Ok!", "Transmit Ok!", "Transmit Ok!", kFirmware, kFirmware, kFlashOk,
          kEchoOk}},
    };
    std::vector<Cell> cells;
    for (const Row& r : rows) {
        for (std::size_t a = 0; a < kActions.size(); ++a) {
            cells.push_back({r.fault, r.options, static_cast<Action>(a), r.status[a]});
        }
    }
    return cells;
}

// Faults that touch some orders only: the actions that use those orders, and one that does not.
std::vector<Cell> OrderCells() {
    return {
        {"NoEcho", {"--no-echo"}, Action::kStartUp, "Timeout < 36 Bytes"},
        {"NoEcho", {"--no-echo"}, Action::kPortChange, "Timeout < 36 Bytes"},
        {"NoEcho", {"--no-echo"}, Action::kGetRam, "Data Transfer Ok!"},
        {"EchoAck01AA",
         {"--echo-ack=0x01AA"},
         Action::kStartUp,
         "read error - not sync byte 0xAA!"},
        {"EchoAck01AA",
         {"--echo-ack=0x01AA"},
         Action::kPortChange,
         "read error - not sync byte 0xAA!"},
        {"EchoAck01AA", {"--echo-ack=0x01AA"}, Action::kTeach, kFirmware},
        {"DropLive2", {"--drop-live=2"}, Action::kRunStop, "Timeout RS232-Line!"},
        {"DropLive2", {"--drop-live=2"}, Action::kDataNorm, kDataOk},
        {"DropLive2", {"--drop-live=2"}, Action::kGetEeprom, "Data Transfer Ok!"},
        {"RejectFlashAt3", {"--reject-flash-at=3"}, Action::kFlash, kFlashFailed},
        {"RejectFlashAt3", {"--reject-flash-at=3"}, Action::kReset, kFirmware},
        {"FlashAck0001", {"--flash-ack=0x0001"}, Action::kFlash, kFlashFailed},
        {"FlashAnswer0", {"--flash-answer=0"}, Action::kFlash, kFlashFailed},
        {"FlashAnswer0", {"--flash-answer=0"}, Action::kSendEeprom, "Transmit Ok!"},
    };
}

// The device vanishing in the middle of an action.
std::vector<Cell> UnplugCells() {
    return {
        {"UnplugAtOnce", {"--unplug-after=+0"}, Action::kStartUp, "No serial port found"},
        {"UnplugAfter1", {"--unplug-after=+1"}, Action::kStartUp, "Error reading firmware-info!"},
        {"UnplugAfter3", {"--unplug-after=+3"}, Action::kRunStop, "Timeout RS232-Line!"},
        // The port watch reports the vanished device during the curve's last wait.
        {"UnplugAfter1", {"--unplug-after=+1"}, Action::kDataRaw, "Serial port 1 (*"},
        {"UnplugAtOnce", {"--unplug-after=+0"}, Action::kGetRam, "Timeout RS232-Line!"},
        {"UnplugAtOnce", {"--unplug-after=+0"}, Action::kSendRam, "Transmit..."},
        {"UnplugAfter1", {"--unplug-after=+1"}, Action::kTeach, "Timeout-RS-232..."},
        {"UnplugAfter10", {"--unplug-after=+10"}, Action::kFlash, kFlashFailed},
    };
}

INSTANTIATE_TEST_SUITE_P(EveryExchange, FaultMatrix, ::testing::ValuesIn(EveryExchangeCells()),
                         CellName);
INSTANTIATE_TEST_SUITE_P(SomeOrders, FaultMatrix, ::testing::ValuesIn(OrderCells()), CellName);
INSTANTIATE_TEST_SUITE_P(Unplug, FaultMatrix, ::testing::ValuesIn(UnplugCells()), CellName);

// The summary line: cells, passed, and the longest return time over the time-out.
class SummaryPrinter : public ::testing::EmptyTestEventListener {
    void OnTestProgramEnd(const ::testing::UnitTest&) override {
        const Summary& s = Totals();
        if (s.cells > 0) {
            std::printf("fault matrix: %d cells, %d passed; longest return over the time-out "
                        "%+.3f s (%s)\n",
                        s.cells, s.passed, s.worstOver, s.worstCell.c_str());
        }
    }
};
const bool kSummaryInstalled = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new SummaryPrinter);
    return true;
}();

} // namespace
} // namespace ovx::testing
