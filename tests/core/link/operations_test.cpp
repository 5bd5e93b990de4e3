// The operator's commands as the link runs them without any panel, against the virtual
// controller on a real pty: each one's outcome, final status text and failure line, the
// variables a get fills, who is told of fetched parameters, and flash programming page by page.
#include <gtest/gtest.h>

#include <array>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "link/com232.h"
#include "link/operations.h"
#include "params/lintable.h"
#include "params/variables.h"
#include "platform/serial.h"
#include "sim/device_model.h"
#include "support/line_fixture.h"
#include "support/row_name.h"
#include "support/scratch_dir.h"

namespace ovx::link {

void PrintTo(Outcome outcome, std::ostream* os) {
    *os << OutcomeName(outcome);
}

namespace {

constexpr const char* kFirmwareText = sim::DeviceModel::kFirmwareText;
constexpr int kNoUnplug = -1;

enum class Op { kOpen, kEcho, kInfo, kGet, kGetEeprom, kSend, kSendEeprom, kTeach, kReset };

OpResult RunOp(Op op, int port) {
    switch (op) {
    case Op::kOpen:
        return OpenController(port);
    case Op::kEcho:
        return EchoCheck(port);
    case Op::kInfo:
        return ReadFirmwareInfo();
    case Op::kGet:
        return GetParameters(params::RAM);
    case Op::kGetEeprom:
        return GetParameters(params::EEPROM);
    case Op::kSend:
        return SendParameters(params::RAM);
    case Op::kSendEeprom:
        return SendParameters(params::EEPROM);
    case Op::kTeach:
        return Teach();
    case Op::kReset:
        return Reset();
    }
    return {};
}

int told = 0; // calls of the values-changed hook
void CountTold() {
    ++told;
}

struct OpRow {
    const char* name;
    Op op;
    sim::Faults faults; // from the operation on (the others run after a good start-up)
    int unplugAfter;    // >= 0: the line closes after this many requests of the operation
    Outcome outcome;
    const char* status; // the status the operation ends with; nullptr: the firmware text
    const char* failure;
    int told; // parameter fetches told to the hook
    int port = 1;
};

void PrintTo(const OpRow& row, std::ostream* os) {
    *os << row.name;
}

class LinkOperation : public testing::LineFixture, public ::testing::WithParamInterface<OpRow> {};

TEST_P(LinkOperation, EndsWithItsOutcomeStatusAndFailure) {
    const OpRow& row = GetParam();
    if (row.op != Op::kOpen) {
        ASSERT_TRUE(OpenController(1).ok()) << ShownStatus();
    }
    sim::Faults faults = row.faults;
    if (row.unplugAfter != kNoUnplug) {
        faults.unplugAfterFrames = Sim().RequestCount() + row.unplugAfter;
    }
    Sim().SetFaults(faults);
    if (row.unplugAfter == 0) {
        ASSERT_TRUE(testing::WaitUntil([this] { return Sim().IsUnplugged(); }));
    }
    told = 0;
    params::SetValuesChangedHook(CountTold);

    const OpResult r = RunOp(row.op, row.port);

    EXPECT_EQ(r.outcome, row.outcome) << r.failure;
    EXPECT_EQ(r.ok(), row.outcome == Outcome::kDone);
    EXPECT_EQ(r.status, row.status != nullptr ? row.status : kFirmwareText);
    ASSERT_FALSE(Status().Texts().empty());
    EXPECT_EQ(r.status, Status().Texts().back()) << "the status is the text shown last";
    EXPECT_EQ(r.failure, row.failure);
    EXPECT_EQ(told, row.told);
}

using enum Op;
using enum Outcome;
constexpr const char* kEchoOk = "Echo Check - Line Ok!";
constexpr const char* kEchoTimeout = "Timeout < 36 Bytes";
constexpr const char* kEchoWrong = "read error - not sync byte 0xAA!";
constexpr const char* kNoEcho = "no answer to the echo check (Timeout < 36 Bytes)";
constexpr const char* kWrongEcho =
    "wrong answer to the echo check (read error - not sync byte 0xAA!)";
constexpr const char* kFetchLost = "no answer to the parameter fetch (Timeout-RS-232...)";

INSTANTIATE_TEST_SUITE_P(
    Rows, LinkOperation,
    ::testing::Values(
        OpRow{"OpenGood", kOpen, {}, kNoUnplug, kDone, kFirmwareText, "", 1},
        OpRow{
            "OpenSilent", kOpen, {.silent = true}, kNoUnplug, kNoAnswer, kEchoTimeout, kNoEcho, 0},
        OpRow{
            "OpenWrongSync", kOpen, {.echoAck = 1}, kNoUnplug, kRefused, kEchoWrong, kWrongEcho, 0},
        OpRow{"OpenNoParameters",
              kOpen,
              {},
              1,
              kNoAnswer,
              "Error reading firmware-info!",
              kFetchLost,
              0},
        OpRow{"OpenNoFirmware",
              kOpen,
              {},
              2,
              kNoAnswer,
              "Error reading firmware-info!",
              "no firmware information (Timeout - reading firmware info!)",
              1},
        OpRow{"OpenInvalidPort",
              kOpen,
              {},
              kNoUnplug,
              kLineError,
              "Invalid port number",
              "Invalid port number",
              0,
              0},
        OpRow{"EchoGood", kEcho, {}, kNoUnplug, kDone, kEchoOk, "", 0},
        OpRow{
            "EchoSilent", kEcho, {.silent = true}, kNoUnplug, kNoAnswer, kEchoTimeout, kNoEcho, 0},
        OpRow{"EchoCut", kEcho, {.cutReplyTo = 20}, kNoUnplug, kNoAnswer, kEchoTimeout, kNoEcho, 0},
        OpRow{
            "EchoWrongSync", kEcho, {.echoAck = 0}, kNoUnplug, kRefused, kEchoWrong, kWrongEcho, 0},
        OpRow{"FirmwareGood", kInfo, {}, kNoUnplug, kDone, kFirmwareText, "", 0},
        OpRow{"FirmwareSilent",
              kInfo,
              {.silent = true},
              kNoUnplug,
              kNoAnswer,
              "Timeout - reading firmware info!",
              "no firmware information (Timeout - reading firmware info!)",
              0},
        OpRow{"FirmwareBehindStrayBytes",
              kInfo,
              {.garbageBytes = 5},
              kNoUnplug,
              kRefused,
              kFirmwareText,
              "no firmware information in the controller's answer (69 bytes, not 64)",
              0},
        OpRow{"GetGood", kGet, {}, kNoUnplug, kDone, "Data Transfer Ok!", "", 0},
        OpRow{"GetEepromGood", kGetEeprom, {}, kNoUnplug, kDone, "Data Transfer Ok!", "", 0},
        OpRow{"GetSilent",
              kGet,
              {.silent = true},
              kNoUnplug,
              kNoAnswer,
              "Timeout RS232-Line!",
              "no answer to the parameter fetch (Timeout RS232-Line!)",
              0},
        OpRow{"GetCut",
              kGet,
              {.cutReplyTo = 20},
              kNoUnplug,
              kNoAnswer,
              "Timeout RS232-Line!",
              "no answer to the parameter fetch (Timeout RS232-Line!)",
              0},
        OpRow{"SendGood", kSend, {}, kNoUnplug, kDone, "Transmit Ok!", "", 0},
        OpRow{"SendEepromGood", kSendEeprom, {}, kNoUnplug, kDone, "Transmit Ok!", "", 0},
        OpRow{"SendLineClosed",
              kSend,
              {},
              0,
              kLineError,
              kFirmwareText,
              "the parameters did not go out whole (0 of 36 bytes written)",
              0},
        OpRow{"TeachGood", kTeach, {}, kNoUnplug, kDone, kFirmwareText, "", 1},
        OpRow{"TeachSilent",
              kTeach,
              {.silent = true},
              kNoUnplug,
              kNoAnswer,
              "Timeout RS-232!!",
              "no acknowledgement (Timeout RS-232!!)",
              0},
        OpRow{
            "TeachAckedNoParameters", kTeach, {}, 1, kNoAnswer, "Timeout-RS-232...", kFetchLost, 0},
        OpRow{"ResetGood", kReset, {}, kNoUnplug, kDone, kFirmwareText, "", 1},
        OpRow{"ResetSilent",
              kReset,
              {.silent = true},
              kNoUnplug,
              kNoAnswer,
              "Timeout RS-232!!",
              "no acknowledgement (Timeout RS-232!!)",
              0}),
    testing::RowName());

// ---- Interrupted waits (Ctrl-C in a program without a window) --------------------------------

struct InterruptRow {
    const char* name;
    Op op;
    const char* status; // shown last, before the wait
};

void PrintTo(const InterruptRow& row, std::ostream* os) {
    *os << row.name;
}

class LinkInterrupt : public testing::LineFixture,
                      public ::testing::WithParamInterface<InterruptRow> {
  protected:
    void TearDown() override {
        platform::ResumeComWaits();
        LineFixture::TearDown();
    }
};

TEST_P(LinkInterrupt, EndsTheWaitAsInterruptedWithoutATimeOutText) {
    const InterruptRow& row = GetParam();
    ASSERT_TRUE(OpenController(1).ok());
    Sim().SetFaults({.silent = true});
    platform::InterruptComWaits();

    const OpResult r = RunOp(row.op, 1);

    EXPECT_EQ(r.outcome, Outcome::kInterrupted);
    EXPECT_EQ(r.failure, "interrupted");
    EXPECT_EQ(r.status, row.status);
}

INSTANTIATE_TEST_SUITE_P(Rows, LinkInterrupt,
                         ::testing::Values(InterruptRow{"Get", kGet, "Transmit Ok!"},
                                           InterruptRow{"Teach", kTeach,
                                                        "New setpoint value teached!"},
                                           InterruptRow{"Reset", kReset, "Line Ok!"}),
                         testing::RowName());

// ---- The get fills the sixteen variables -----------------------------------------------------

Payload VariablesNow() {
    using namespace params;
    return {power,    reference, tolerance, hysteresis, polarity, hold,    hwmode,  average,
            evalmode, maxmode,   triglvl,   trigmode,   sdelay,   dbuflen, anamode, para15};
}

struct GetRow {
    const char* name;
    int target;
    int order;   // of the request
    bool silent; // the controller answers nothing
};

void PrintTo(const GetRow& row, std::ostream* os) {
    *os << row.name;
}

class LinkGet : public testing::LineFixture, public ::testing::WithParamInterface<GetRow> {};

TEST_P(LinkGet, FillsTheVariablesFromTheTargetOrKeepsThem) {
    const GetRow& row = GetParam();
    ASSERT_TRUE(OpenController(1).ok());
    Payload ram{}, eeprom{};
    for (int i = 0; i < kPayloadWords; ++i) {
        ram[i] = static_cast<std::uint16_t>(100 + i);
        eeprom[i] = static_cast<std::uint16_t>(2000 + 3 * i);
    }
    {
        std::lock_guard lock(Sim().ModelMutex());
        Sim().Model().ram = ram;
        Sim().Model().eeprom = eeprom;
    }
    params::triglvl = 77; // the request carries the variables as they are
    const Payload before = VariablesNow();
    Sim().SetFaults({.silent = row.silent});

    const OpResult r = GetParameters(row.target);

    EXPECT_EQ(r.ok(), !row.silent);
    const Payload expected = row.silent ? before : row.target == params::EEPROM ? eeprom : ram;
    EXPECT_EQ(VariablesNow(), expected);
    const auto requests = Sim().Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(FrameOrder(requests.back()), row.order);
    EXPECT_EQ(FrameWord(requests.back(), 10), 77);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LinkGet,
    ::testing::Values(GetRow{"Ram", params::RAM, kOrderReadRam, false},
                      GetRow{"Eeprom", params::EEPROM, kOrderReadEeprom, false},
                      GetRow{"SilentKeepsThem", params::RAM, kOrderReadRam, true}),
    testing::RowName());

// ---- Flash programming page by page ---------------------------------------------------------

constexpr std::array<const char*, kFlashPages> kPageOk{
    "ok : D801 FLASH page4-write 255 words!", "ok : D801 FLASH page5-write 255 words!",
    "ok : D801 FLASH page6-write 255 words!", "ok : D801 FLASH page7-write 255 words!"};
constexpr std::array<const char*, kFlashPages> kPageError{
    "error : D801 FLASH page4-write <255 words!", "error : D801 FLASH page5-write <255 words!",
    "error : D801 FLASH page6-write <255 words!", "error : D801 FLASH page7-write <255 words!"};
constexpr int kAllPages = -1;

// A measurement file whose table comes out as entry n = 3 n + 1.
void WriteMeasurementFile(const std::string& path) {
    std::string text;
    for (int k = 0; k < params::kTableSize; ++k) {
        const int entry = params::kTableSize - 1 - k; // group 1 in file order is reversed
        text += std::to_string(3 * entry + 1) + "\t" + std::to_string(k) + "\n";
    }
    testing::WriteText(path, text);
}

struct FlashRow {
    const char* name;
    sim::Faults faults;
    int faultPage; // 0..3: the faults hold for that page only; kAllPages: for all
    bool stop;     // instead: flash_stop is set when that page's text is shown
    Outcome outcome;
    std::array<int, kFlashPages> pages;
    int blocksWritten;
    const char* failure;
};

void PrintTo(const FlashRow& row, std::ostream* os) {
    *os << row.name;
}

class FlashFixture : public testing::LineFixture {
  protected:
    void SetUp() override {
        LineFixture::SetUp();
        ASSERT_TRUE(dir_.Valid());
        dir_.MakeWorkingDirectory(); // the table file is written under its bare name
        WriteMeasurementFile(dir_.File(params::kMeasurementFile));
        ASSERT_TRUE(OpenController(1).ok());
    }

    testing::ScratchDir dir_;
};

class LinkFlash : public FlashFixture, public ::testing::WithParamInterface<FlashRow> {
  protected:
    // Switches the row's faults on when the page before the fault page is reported, off (or
    // stops) when the fault page is.
    void FollowPages(const FlashRow& row) {
        if (row.faultPage == kAllPages || (row.faultPage == 0 && !row.stop)) {
            Sim().SetFaults(row.faults);
        }
        Status().Start([this, row](const std::string& text) {
            const int p = row.faultPage;
            if (p > 0 && !row.stop && text == kPageOk[p - 1]) {
                Sim().SetFaults(row.faults);
            }
            if (p >= 0 && (text == kPageOk[p] || text == kPageError[p])) {
                Sim().SetFaults({});
                flash_stop = row.stop;
            }
        });
    }
};

TEST_P(LinkFlash, ReportsEveryPageAndTheBlocksWritten) {
    const FlashRow& row = GetParam();
    FollowPages(row);
    std::vector<std::string> progress;
    int lastDone = -1, lastTotal = -1;
    const FlashResult r = ProgramTable(params::kMeasurementFile,
                                       [&](int blocksDone, int blocksTotal, const char* text) {
                                           progress.emplace_back(text);
                                           lastDone = blocksDone;
                                           lastTotal = blocksTotal;
                                       });

    EXPECT_EQ(r.outcome, row.outcome) << r.failure;
    EXPECT_EQ(r.pages, row.pages);
    EXPECT_EQ(r.failure, row.failure);
    EXPECT_EQ(r.status, Status().Texts().back());
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), "Flash programming ...");
    EXPECT_EQ(progress.back(),
              "Flash: " + std::to_string(row.blocksWritten) + " of 64 blocks written");
    EXPECT_EQ(lastDone, kFlashBlocksTotal);
    EXPECT_EQ(lastTotal, kFlashBlocksTotal);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LinkFlash,
    ::testing::Values(FlashRow{"AllPages", {}, kAllPages, false, kDone, {1, 1, 1, 1}, 64, ""},
                      FlashRow{"AddressRefusedOnPage6",
                               {.rejectFlashAtBlock = 2},
                               2,
                               false,
                               kRefused,
                               {1, 1, 0, 1},
                               50,
                               "pages not written: 6"},
                      FlashRow{"NoAnswerOnPage5",
                               {.silent = true},
                               1,
                               false,
                               kNoAnswer,
                               {1, 0, 1, 1},
                               48,
                               "pages not written: 5"},
                      FlashRow{"EraseAddressNotValidEverywhere",
                               {.flashBlockAnswer = 0},
                               kAllPages,
                               false,
                               kRefused,
                               {0, 0, 0, 0},
                               0,
                               "pages not written: 4 5 6 7"},
                      FlashRow{"StoppedAfterPage5",
                               {},
                               1,
                               true,
                               kInterrupted,
                               {1, 1, -1, -1},
                               32,
                               "pages not written: 6 7"}),
    testing::RowName());

TEST_F(FlashFixture, UnreadableMeasurementFileProgramsNothing) {
    const int before = Sim().RequestCount();
    const FlashResult r = ProgramTable(dir_.File("missing.dat").c_str(), {});
    EXPECT_EQ(r.outcome, Outcome::kFileError);
    EXPECT_EQ(r.failure, "error : cannot read missing.dat - nothing programmed!");
    EXPECT_EQ(r.status, r.failure);
    EXPECT_EQ(r.pages, (std::array<int, kFlashPages>{-1, -1, -1, -1}));
    EXPECT_EQ(Sim().RequestCount(), before);
}

} // namespace
} // namespace ovx::link
