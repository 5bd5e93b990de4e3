// Operator commands against the virtual controller: send, get, teach, reset and port change,
// with the file target's parameter file and configuration file.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/gui.h"
#include "app/panel_handles.h"
#include "app/paramfile.h"
#include "app/portring.h"
#include "link/com232.h"
#include "link/flash.h"
#include "params/lintable.h"
#include "params/panels.h"
#include "params/variables.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "support/modal_driver.h"
#include "support/row_name.h"
#include "support/scratch_dir.h"
#include "support/status_recorder.h"
#include "support/tool_fixture.h"
#include "ui/file_dialogs.h"
#include "ui/panel.h"

namespace ovx::app {
namespace {

using Words = std::array<std::uint16_t, 16>;
using ui::kEventCommit;
using ui::kEventLeftClick;
using ui::kEventValueChanged;

Words Variables() {
    using namespace params;
    return {power,    reference, tolerance, hysteresis, polarity, hold,    hwmode,  average,
            evalmode, maxmode,   triglvl,   trigmode,   sdelay,   dbuflen, anamode, para15};
}

bool Contains(const std::vector<std::string>& log, const std::string& text) {
    return std::find(log.begin(), log.end(), text) != log.end();
}

// A measurement file whose table comes out as entry n = scale * n + offset.
void WriteMeasurementFile(const std::string& path, int scale, int offset) {
    std::string text;
    for (int k = 0; k < params::kTableSize; ++k) {
        const int entry = params::kTableSize - 1 - k; // group 1 in file order is reversed
        text += std::to_string(scale * entry + offset) + "\t" + std::to_string(k) + "\n";
    }
    testing::WriteText(path, text);
}

class Commands : public testing::ToolFixture {
  protected:
    void SetUp() override {
        ToolFixture::SetUp();
        ASSERT_TRUE(dir_.Valid());
        dir_.MakeWorkingDirectory(); // the table file is written under its bare name
        platform::SetProjectDirForTesting(dir_.Path());
        ASSERT_EQ(platform::GetProjectDir(proj_dir), 0);
        StartTool();
        ASSERT_EQ(params::target, params::RAM);
        status_.Start();
    }
    void TearDown() override {
        status_.Stop();
        ui::SetFileSelectResponder({});
        platform::SetProjectDirForTesting(""); // the panel file is found beside the program
        ToolFixture::TearDown();
    }

    static void Click(int (*callback)(int, int, int, void*, int, int), int control) {
        callback(app::panelHandle, control, kEventLeftClick, nullptr, 0, 0);
        callback(app::panelHandle, control, kEventCommit, nullptr, 0, 0);
    }
    void UseFileTarget() { params::target = params::DATFILE; }
    void AnswerPopupWith(const std::string& path) {
        ui::SetFileSelectResponder(
            [this, path](const ui::FileSelectRequest& r, std::string& chosen) {
                requests_.push_back(r);
                chosen = path;
                return path.empty() ? 0 : 1;
            });
    }
    void SetFaults(const sim::Faults& f) { Sim().SetFaults(f); }
    void Silence() {
        sim::Faults f;
        f.silent = true;
        SetFaults(f);
    }
    Words SimRam() {
        std::lock_guard lock(Sim().ModelMutex());
        return Sim().Model().ram;
    }
    Words SimEeprom() {
        std::lock_guard lock(Sim().ModelMutex());
        return Sim().Model().eeprom;
    }
    void SetSimMemory(const Words& ram, const Words& eeprom) {
        std::lock_guard lock(Sim().ModelMutex());
        Sim().Model().ram = ram;
        Sim().Model().eeprom = eeprom;
    }
    std::uint16_t FlashWord(int address) {
        std::lock_guard lock(Sim().ModelMutex());
        return Sim().Model().FlashWord(address);
    }
    int PanelInt(int panel, int control) const {
        int v = -1;
        ui::GetCtrlVal(panel, control, &v);
        return v;
    }

    testing::ScratchDir dir_;
    testing::StatusRecorder status_;
    std::vector<std::string>& log_ = status_.Texts();
    std::vector<ui::FileSelectRequest> requests_;
};

constexpr Words kControllerRam = {510, 2100, 300, 25, 1, 90, 1, 8, 0, 0, 900, 2, 450, 8, 0, 777};
constexpr Words kControllerEeprom = {520, 2200, 310, 26, 0, 91, 1, 8, 0, 0, 901, 3, 460, 8, 0, 888};

// ---- Send ----------------------------------------------------------------------------------

TEST_F(Commands, SendToRamWritesThePanelValuesIntoTheController) {
    ui::SetCtrlVal(app::panelHandle, params::PANEL_POWER, 777);
    CC_BTNSend(app::panelHandle, params::PANEL_BTNSEND, kEventLeftClick, nullptr, 0, 0);
    EXPECT_EQ(log_, (std::vector<std::string>{"Transmit...", "Transmit Ok!"}));
    EXPECT_EQ(link::order, 1);
    EXPECT_TRUE(testing::WaitUntil([&] { return SimRam()[0] == 777; }));
    EXPECT_NE(SimEeprom()[0], 777);
}

TEST_F(Commands, SendToEepromCarriesThePanelValuesAfterTheInterlock) {
    params::target = params::EEPROM;
    ui::SetCtrlVal(app::panelHandle, params::PANEL_DROP_EVALMODE, 2);
    ui::SetCtrlVal(app::panelPopUp, params::POPUP_DROPTRIGMODE, 1);
    CC_BTNSend(app::panelHandle, params::PANEL_BTNSEND, kEventLeftClick, nullptr, 0, 0);
    EXPECT_EQ(link::order, 3);
    ASSERT_TRUE(testing::WaitUntil([&] { return SimEeprom()[8] == 2; }));
    EXPECT_EQ(SimEeprom()[11], 0) << "evaluation mode 2 excludes trigger mode 1";
    EXPECT_NE(SimRam()[8], 2);
}

TEST_F(Commands, CommitWithoutLeftClickSendsNothing) {
    const std::uint16_t before = SimRam()[0];
    ui::SetCtrlVal(app::panelHandle, params::PANEL_POWER, before + 1);
    CC_BTNSend(app::panelHandle, params::PANEL_BTNSEND, kEventCommit, nullptr, 0, 0);
    EXPECT_TRUE(log_.empty());
    // A get answers after anything sent before it: the controller still holds its value.
    Click(CC_BTNGet, params::PANEL_BTNGET);
    EXPECT_EQ(log_.back(), "Data Transfer Ok!");
    EXPECT_EQ(params::power, before);
}

TEST_F(Commands, SendOnClosedPortShowsNoSuccess) {
    platform::CloseCom(link::com);
    CC_BTNSend(app::panelHandle, params::PANEL_BTNSEND, kEventLeftClick, nullptr, 0, 0);
    EXPECT_EQ(log_, std::vector<std::string>{"Transmit..."});
    EXPECT_EQ(StatusText(), "Transmit...");
}

// ---- Get -----------------------------------------------------------------------------------

TEST_F(Commands, GetFromRamOrEepromShowsTheControllerParameters) {
    SetSimMemory(kControllerRam, kControllerEeprom);
    Click(CC_BTNGet, params::PANEL_BTNGET);
    EXPECT_EQ(log_, (std::vector<std::string>{"Receive...", "Transmit Ok!", "Data Transfer Ok!"}));
    EXPECT_EQ(Variables(), kControllerRam);
    EXPECT_EQ(PanelInt(app::panelHandle, params::PANEL_POWER), 510);
    EXPECT_EQ(PanelInt(app::panelPopUp, params::POPUP_SDELAY), 450);

    params::target = params::EEPROM;
    Click(CC_BTNGet, params::PANEL_BTNGET);
    EXPECT_EQ(link::order, 4);
    EXPECT_EQ(Variables(), kControllerEeprom);
    EXPECT_EQ(PanelInt(app::panelHandle, params::PANEL_REFERENCE), 2200);
}

TEST_F(Commands, GetWithoutAnswerTimesOutAndRewritesThePanelsFromTheVariables) {
    Silence();
    const Words before = Variables();
    ui::SetCtrlVal(app::panelHandle, params::PANEL_POWER, before[0] + 7);
    const double start = platform::Timer();
    Click(CC_BTNGet, params::PANEL_BTNGET);
    EXPECT_GT(platform::Timer() - start, 2.0);
    EXPECT_EQ(log_,
              (std::vector<std::string>{"Receive...", "Transmit Ok!", "Timeout RS232-Line!"}));
    EXPECT_EQ(Variables(), before);
    EXPECT_EQ(PanelInt(app::panelHandle, params::PANEL_POWER), before[0]);
}

TEST_F(Commands, GetFromFileLoadsAndShowsTheFileOrKeepsTheVariables) {
    UseFileTarget();
    const std::string path = dir_.File("saved.dat");
    std::string text;
    for (std::uint16_t w : kControllerEeprom) {
        text += std::to_string(w) + "\n";
    }
    testing::WriteText(path, text);
    AnswerPopupWith(path);
    Click(CC_BTNGet, params::PANEL_BTNGET);
    EXPECT_EQ(Variables(), kControllerEeprom);
    EXPECT_EQ(PanelInt(app::panelHandle, params::PANEL_TRIGLVL), 901);
    ASSERT_EQ(requests_.size(), 1u);
    EXPECT_EQ(requests_[0].buttonCode, 3);

    // Cancelled: the panel edit is overwritten from the unchanged variables.
    AnswerPopupWith("");
    ui::SetCtrlVal(app::panelHandle, params::PANEL_TRIGLVL, 5);
    Click(CC_BTNGet, params::PANEL_BTNGET);
    EXPECT_EQ(PanelInt(app::panelHandle, params::PANEL_TRIGLVL), 901);
    EXPECT_EQ(StatusText(), "Receive...");

    // A short file: the variables stay, the status line says why.
    testing::WriteText(path, "1\n2\n3\n");
    AnswerPopupWith(path);
    Click(CC_BTNGet, params::PANEL_BTNGET);
    EXPECT_EQ(Variables(), kControllerEeprom);
    EXPECT_EQ(StatusText(), "error : parameter file holds 3 values, not 16!");
}

// ---- Send with the file target ---------------------------------------------------------------

TEST_F(Commands, SendToFileSavesThePanelParametersWithoutTouchingTheController) {
    UseFileTarget();
    const std::string path = dir_.File("TARpara.dat");
    AnswerPopupWith(path);
    ui::SetCtrlVal(app::panelHandle, params::PANEL_HYSTERESIS, 33);
    Click(CC_BTNSend, params::PANEL_BTNSEND);
    const std::vector<long long> saved = testing::ReadIntegers(path);
    ASSERT_EQ(saved.size(), 16u);
    EXPECT_EQ(saved[3], 33);
    EXPECT_EQ(StatusText(), "Transmit...");
    ASSERT_EQ(requests_.size(), 1u);
    EXPECT_EQ(requests_[0].defaultDir, dir_.Path());
    EXPECT_EQ(requests_[0].defaultName, "TARpara.dat");
    EXPECT_EQ(requests_[0].filter, "*.dat");
    EXPECT_EQ(requests_[0].title, "O-VEX-TAR Parameter File");
    EXPECT_EQ(requests_[0].buttonCode, 0);
    EXPECT_EQ(FlashWord(link::PAGE4), 0xFFFF);
}

TEST_F(Commands, SendToFileCancelledOrUnwritableWritesNothing) {
    UseFileTarget();
    AnswerPopupWith("");
    Click(CC_BTNSend, params::PANEL_BTNSEND);
    EXPECT_EQ(log_, std::vector<std::string>{"Transmit..."});
    EXPECT_TRUE(std::filesystem::is_empty(dir_.Path()));

    AnswerPopupWith(dir_.File("missing-dir/p.dat"));
    Click(CC_BTNSend, params::PANEL_BTNSEND);
    EXPECT_EQ(StatusText(), "error : cannot write parameter file!");
}

TEST_F(Commands, SendChoosingTheConfigurationFileProgramsItsTable) {
    UseFileTarget();
    const std::string config = dir_.File("TARconfig.dat");
    WriteMeasurementFile(config, 3, 1);
    const std::string before = testing::ReadText(config);
    AnswerPopupWith(config);
    Click(CC_BTNSend, params::PANEL_BTNSEND);
    EXPECT_EQ(StatusText(), "ok : D801 FLASH page7-write 255 words!");
    for (int n = 0; n < params::kTableSize; ++n) {
        ASSERT_EQ(FlashWord(link::PAGE4 + n), 3 * n + 1) << "entry " << n;
    }
    EXPECT_EQ(testing::ReadText(config), before) << "no parameters saved over it";
    EXPECT_EQ(testing::ReadIntegers(params::kTableFile).size(), 3u * params::kTableSize);
    EXPECT_EQ(std::string(dir_fname), config);
}

TEST_F(Commands, ConfigurationFileNameInOtherCaseIsReadAsChosenAndOtherDirectoriesSave) {
    UseFileTarget();
    WriteMeasurementFile(dir_.File("TARconfig.dat"), 2, 5);
    const std::string lower = dir_.File("tarconfig.dat");
    WriteMeasurementFile(lower, 4, 9);
    sim::Faults f;
    f.rejectFlashAtBlock = 1; // block 0 of each page is enough to tell the tables apart
    SetFaults(f);
    AnswerPopupWith(lower);
    Click(CC_BTNSend, params::PANEL_BTNSEND);
    for (int n = 0; n < 16; ++n) {
        ASSERT_EQ(FlashWord(link::PAGE4 + n), 4 * n + 9) << "entry " << n;
        ASSERT_EQ(FlashWord(link::PAGE7 + n), 4 * (768 + n) + 9) << "entry " << 768 + n;
    }

    std::filesystem::create_directory(dir_.File("other"));
    const std::string elsewhere = dir_.File("other/TARconfig.dat");
    AnswerPopupWith(elsewhere);
    Click(CC_BTNSend, params::PANEL_BTNSEND);
    EXPECT_EQ(testing::ReadIntegers(elsewhere).size(), 16u) << "saved as a parameter file";
}

TEST_F(Commands, MeasurementFileThatCannotBeReadProgramsNothing) {
    UseFileTarget();
    const std::string config = dir_.File("TARconfig.dat");
    AnswerPopupWith(config);
    Click(CC_BTNSend, params::PANEL_BTNSEND);
    EXPECT_EQ(StatusText(), "error : cannot read TARconfig.dat - nothing programmed!");

    testing::WriteText(config, "1\t2\n3\t4\n");
    Click(CC_BTNSend, params::PANEL_BTNSEND);
    EXPECT_EQ(StatusText(),
              "error : TARconfig.dat holds fewer than 2048 values - nothing programmed!");
    EXPECT_EQ(FlashWord(link::PAGE4), 0xFFFF);
    EXPECT_FALSE(std::filesystem::exists(params::kTableFile));
}

// The send command with the configuration file: a table whose entries do not all fit in 16-bit
// flash words programs nothing and names the first that does not; a table the repair had to raise
// is programmed, and its warning stays in view after the flash texts.
struct FlashRow {
    const char* name;
    int scale, offset; // table entry n = scale * n + offset
    const char* status;
    bool programmed;
};

void PrintTo(const FlashRow& row, std::ostream* os) {
    *os << row.name;
}

class ConfigurationFileFlash : public Commands, public ::testing::WithParamInterface<FlashRow> {};

TEST_P(ConfigurationFileFlash, ProgramsOnlyATableOfSixteenBitWords) {
    const FlashRow& row = GetParam();
    UseFileTarget();
    const std::string config = dir_.File("TARconfig.dat");
    WriteMeasurementFile(config, row.scale, row.offset);
    AnswerPopupWith(config);
    Click(CC_BTNSend, params::PANEL_BTNSEND);
    EXPECT_EQ(StatusText(), row.status);
    if (!row.programmed) {
        for (int n = 0; n < params::kTableSize; ++n) {
            ASSERT_EQ(FlashWord(link::PAGE4 + n), 0xFFFF) << "entry " << n;
        }
        EXPECT_FALSE(std::filesystem::exists(params::kTableFile));
        return;
    }
    const std::int32_t first = row.offset;
    for (int n = 0; n < params::kTableSize; ++n) {
        const std::int32_t entry = row.scale < 0 ? first : row.scale * n + row.offset;
        ASSERT_EQ(FlashWord(link::PAGE4 + n), entry) << "entry " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConfigurationFileFlash,
    ::testing::Values(
        FlashRow{"Rising", 3, 1, "ok : D801 FLASH page7-write 255 words!", true},
        FlashRow{"WrapsAtEntry554", 10, 60000,
                 "error : TARconfig.dat table entry 554 is 65540, does not fit in 16 bits - "
                 "nothing programmed!",
                 false},
        FlashRow{"NegativeFirstEntries", 1, -3,
                 "error : TARconfig.dat table entry 0 is -3, does not fit in 16 bits - nothing "
                 "programmed!",
                 false},
        FlashRow{"Decreasing", -1, 5000,
                 "ok : D801 FLASH page7-write 255 words! - warning : TARconfig.dat values "
                 "decrease - table repaired at 1023 entries!",
                 true}),
    testing::RowName());

TEST_F(Commands, ConfigurationFileNameTypedInOtherCaseReadsTheConfigurationFile) {
    UseFileTarget();
    WriteMeasurementFile(dir_.File("TARconfig.dat"), 2, 5);
    AnswerPopupWith(dir_.File("tarconfig.dat")); // no such file
    Click(CC_BTNSend, params::PANEL_BTNSEND);
    EXPECT_EQ(StatusText(), "ok : D801 FLASH page7-write 255 words!");
    EXPECT_EQ(FlashWord(link::PAGE4 + 7), 2 * 7 + 5);
    EXPECT_FALSE(std::filesystem::exists(dir_.File("tarconfig.dat")));
}

// The real save dialog: choosing the configuration file asks whether to program the flash from
// it; any other existing file gets the replace question. The operator's answer is the row's.
struct QuestionRow {
    const char* name;
    const char* file;
    const char* question;
    const char* accept;
    const char* reject;
    bool goAhead;
};

void PrintTo(const QuestionRow& row, std::ostream* os) {
    *os << row.name;
}

class SaveDialogQuestion : public Commands, public ::testing::WithParamInterface<QuestionRow> {};

TEST_P(SaveDialogQuestion, SaysWhatWillHappen) {
    const QuestionRow& row = GetParam();
    UseFileTarget();
    WriteMeasurementFile(dir_.File("TARconfig.dat"), 3, 1);
    testing::WriteText(dir_.File("TARpara.dat"), "1\n");
    ui::SetFileSelectResponder({}); // the real dialog
    std::vector<testing::DialogStep> script{
        {testing::DialogKind::File, "", dir_.File(row.file)},
        {testing::DialogKind::Question, row.question, row.goAhead ? row.accept : row.reject}};
    if (!row.goAhead) {
        script.push_back({testing::DialogKind::File, "", ""}); // back in the dialog: cancel
    }
    std::vector<testing::SeenDialog> seen;
    {
        testing::ModalDialogDriver driver(script);
        Click(CC_BTNSend, params::PANEL_BTNSEND);
        seen = driver.Seen();
    }
    ASSERT_EQ(seen.size(), script.size());
    EXPECT_EQ(seen[1].buttons, (std::vector<std::string>{row.accept, row.reject}));
    const bool programmed = FlashWord(link::PAGE4 + 5) == 16;
    const bool isConfig = std::string(row.file) == "TARconfig.dat";
    EXPECT_EQ(programmed, isConfig && row.goAhead);
    EXPECT_EQ(testing::ReadIntegers(dir_.File("TARpara.dat")).size(),
              !isConfig && row.goAhead ? 16u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SaveDialogQuestion,
    ::testing::Values(
        QuestionRow{"ConfigurationFileProgrammed", "TARconfig.dat",
                    "Program the linearisation table from TARconfig.dat into the controller's "
                    "flash?",
                    "Program", "Cancel", true},
        QuestionRow{"ConfigurationFileCancelled", "TARconfig.dat",
                    "Program the linearisation table from TARconfig.dat into the controller's "
                    "flash?",
                    "Program", "Cancel", false},
        QuestionRow{"ParameterFileReplaced", "TARpara.dat",
                    "TARpara.dat already exists.\nDo you want to replace it?", "Yes", "No", true},
        QuestionRow{"ParameterFileKept", "TARpara.dat",
                    "TARpara.dat already exists.\nDo you want to replace it?", "Yes", "No", false}),
    testing::RowName());

TEST_F(Commands, TableFileThatCannotBeWrittenStaysNamedAfterTheFlashTexts) {
    UseFileTarget();
    const std::string config = dir_.File("TARconfig.dat");
    WriteMeasurementFile(config, 3, 1);
    std::filesystem::create_directory(params::kTableFile); // no file can replace a folder
    AnswerPopupWith(config);
    Click(CC_BTNSend, params::PANEL_BTNSEND);
    EXPECT_EQ(StatusText(),
              "ok : D801 FLASH page7-write 255 words! - error : cannot write LTlinear.dat!");
    EXPECT_EQ(FlashWord(link::PAGE4 + 5), 16) << "the flash is programmed all the same";
}

TEST_F(Commands, PathTooLongForTheBufferSaysSoOnSendAndGet) {
    UseFileTarget();
    AnswerPopupWith(dir_.File(std::string(300, 'p') + ".dat"));
    Click(CC_BTNSend, params::PANEL_BTNSEND);
    EXPECT_EQ(StatusText(),
              "error : the chosen path is too long (259 characters at most) - nothing done!");
    link::ShowStatus("");
    Click(CC_BTNGet, params::PANEL_BTNGET);
    EXPECT_EQ(StatusText(),
              "error : the chosen path is too long (259 characters at most) - nothing done!");
    EXPECT_TRUE(std::filesystem::is_empty(dir_.Path()));
}

// ---- Teach and reset -----------------------------------------------------------------------

TEST_F(Commands, AcknowledgedTeachFetchesTheTaughtParameters) {
    Click(CC_ButtonTeach, params::PANEL_BUTTONTEACH);
    ASSERT_GE(log_.size(), 5u);
    EXPECT_EQ(log_[0], "Teach new Reference-Value ...");
    EXPECT_EQ(log_[1], "Line Ok!");
    EXPECT_EQ(log_[2], "New setpoint value teached!");
    EXPECT_TRUE(Contains(log_, "Parameter-frame received! - Line Ok!"));
    EXPECT_FALSE(Contains(log_, "Timeout RS-232!!"));
    EXPECT_EQ(Variables(), SimRam());
    EXPECT_EQ(PanelInt(app::panelHandle, params::PANEL_REFERENCE), SimRam()[1]);
}

TEST_F(Commands, TeachWithoutControllerTimesOutAfterTheWait) {
    Silence();
    const double start = platform::Timer();
    Click(CC_ButtonTeach, params::PANEL_BUTTONTEACH);
    EXPECT_GE(platform::Timer() - start, 1.5);
    EXPECT_EQ(log_, (std::vector<std::string>{"Teach new Reference-Value ...", "Line Ok!",
                                              "New setpoint value teached!", "Timeout RS-232!!"}));
}

TEST_F(Commands, AcknowledgedResetFetchesTheParametersBack) {
    SetSimMemory(kControllerRam, kControllerEeprom);
    Click(CC_ButtonReset, params::PANEL_BUTTONRESET);
    ASSERT_FALSE(log_.empty());
    EXPECT_EQ(log_[0], "Line Ok!") << "reset has no left-click text";
    EXPECT_FALSE(Contains(log_, "New setpoint value teached!"));
    EXPECT_TRUE(Contains(log_, "Parameter-frame received! - Line Ok!"));
    EXPECT_EQ(Variables(), kControllerEeprom) << "the controller reloads RAM from EEPROM";
}

TEST_F(Commands, ResetOnClosedPortShowsOnlyTheTimeout) {
    platform::CloseCom(link::com);
    Click(CC_ButtonReset, params::PANEL_BUTTONRESET);
    EXPECT_EQ(log_, std::vector<std::string>{"Timeout RS-232!!"});
}

// ---- Port change ---------------------------------------------------------------------------

TEST_F(Commands, PortChangeToAMissingPortAndBack) {
    platform::RegisterPort(7, dir_.File("no-such-tty"));
    FillPortRing(app::panelHandle, params::PANEL_DROPDCOM, 0);
    ASSERT_EQ(ui::SetCtrlVal(app::panelHandle, params::PANEL_DROPDCOM, 7), 0);
    CC_DropDCom(app::panelHandle, params::PANEL_DROPDCOM, kEventValueChanged, nullptr, 0, 0);
    EXPECT_EQ(link::com, 7);
    EXPECT_EQ(log_, (std::vector<std::string>{"Init COM-Port ...", "No serial port found"}));

    log_.clear();
    params::target = params::EEPROM;
    SetSimMemory(kControllerRam, kControllerEeprom);
    ASSERT_EQ(ui::SetCtrlVal(app::panelHandle, params::PANEL_DROPDCOM, 1), 0);
    CC_DropDCom(app::panelHandle, params::PANEL_DROPDCOM, kEventCommit, nullptr, 0, 0);
    EXPECT_EQ(link::com, 1);
    ASSERT_FALSE(log_.empty());
    EXPECT_EQ(log_[0], "Init COM-Port ...");
    EXPECT_TRUE(Contains(log_, "Echo Check - Line Ok!"));
    EXPECT_EQ(params::target, params::RAM);
    EXPECT_EQ(Variables(), kControllerRam);
}

TEST_F(Commands, PortChangeRunsOncePerEventItActsOn) {
    FillPortRing(app::panelHandle, params::PANEL_DROPDCOM, 0);
    CC_DropDCom(app::panelHandle, params::PANEL_DROPDCOM, kEventLeftClick, nullptr, 0, 0);
    EXPECT_TRUE(log_.empty());
    CC_DropDCom(app::panelHandle, params::PANEL_DROPDCOM, kEventValueChanged, nullptr, 0, 0);
    CC_DropDCom(app::panelHandle, params::PANEL_DROPDCOM, kEventCommit, nullptr, 0, 0);
    // The whole sequence twice: close, "Init COM-Port ...", echo check, fetch, firmware.
    ASSERT_EQ(log_.size() % 2, 0u);
    const auto half = log_.begin() + static_cast<std::ptrdiff_t>(log_.size() / 2);
    EXPECT_EQ(std::vector<std::string>(log_.begin(), half),
              std::vector<std::string>(half, log_.end()));
    EXPECT_EQ(log_.front(), "Init COM-Port ...");
    EXPECT_TRUE(Contains(log_, "Echo Check - Line Ok!"));
}

} // namespace
} // namespace ovx::app
