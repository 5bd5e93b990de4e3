// ovextar-cli run as a subprocess against its embedded virtual controller: output, exit code and
// status texts of every command, with the controller's faults; bad input that sends nothing;
// the bytes on the wire compared with the window's for the same command.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "link/frame.h"
#include "params/lintable.h"
#include "sim/device_model.h"
#include "support/hostile_files.h"
#include "support/program_run.h"
#include "support/row_name.h"
#include "support/scratch_dir.h"
#include "support/scripted_peer.h"

namespace ovx::cli {
namespace {

using testing::LinesStartingWith;
using testing::ProgramCall;
using testing::ProgramResult;
using testing::RunProgram;

// A measurement file whose table comes out as entry n = scale * n + offset.
std::string TableText(int scale, int offset) {
    std::string text;
    for (int k = 0; k < 1024; ++k) {
        text += std::to_string(scale * (1023 - k) + offset) + "\t" + std::to_string(k) + "\n";
    }
    return text;
}

std::string MeasurementText() {
    return TableText(4, 3);
}

// n lines of 1: a value every parameter takes.
std::string Ones(int n) {
    std::string text;
    for (int i = 0; i < n; ++i) {
        text += "1\n";
    }
    return text;
}

// A measurement file of one value a line whose first 16 values would each pass as parameters.
std::string MeasurementOfOnes() {
    std::string text = Ones(1024);
    for (int k = 0; k < 1024; ++k) {
        text += std::to_string(k) + "\n";
    }
    return text;
}

// The trace without time stamps: "tx: ..." and "rx: ..." lines.
std::vector<std::string> Wire(const std::string& err, const char* kind) {
    std::vector<std::string> lines;
    for (const std::string& line : LinesStartingWith(err, "")) {
        const auto at = line.find(std::string(" ") + kind + ": ");
        if (at != std::string::npos) {
            lines.push_back(line.substr(at + 1));
        }
    }
    return lines;
}

int CountLines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

class Cli : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.Valid());
        testing::WriteText(Measurement(), MeasurementText());
    }
    // ovextar-cli --simulator --no-line [faults] args..., in the scratch directory.
    ProgramResult Run(std::vector<std::string> args, const std::string& interruptWhen = "") {
        ProgramCall call{"ovextar-cli", {"--simulator", "--no-line"}, dir_.Path(), interruptWhen};
        call.args.insert(call.args.end(), args.begin(), args.end());
        return RunProgram(call);
    }
    std::string Measurement() const { return dir_.File("TARconfig.dat"); }

    testing::ScratchDir dir_;
};

// ---- Every command, with and without the controller's faults --------------------------------

struct CommandRow {
    const char* name;
    std::vector<std::string> args; // after --simulator --no-line --verbose
    int exitCode;
    const char* out; // text stdout holds ("" = nothing asked)
    const char* err; // text stderr holds: a status text of the command's history
    std::optional<std::string> file = std::nullopt; // written as "file.dat" in the directory
};

void PrintTo(const CommandRow& row, std::ostream* os) {
    *os << row.name;
}

class CliCommand : public Cli, public ::testing::WithParamInterface<CommandRow> {};

TEST_P(CliCommand, ExitCodeOutputAndStatusText) {
    const CommandRow& row = GetParam();
    if (row.file) {
        testing::WriteText(dir_.File("file.dat"), *row.file);
    }
    std::vector<std::string> args{"--verbose"};
    for (const std::string& a : row.args) {
        args.push_back(a == "MEAS" ? Measurement() : a);
    }
    const ProgramResult r = Run(args);
    EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
    EXPECT_NE(r.out.find(row.out), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(row.err), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CliCommand,
    ::testing::Values(
        CommandRow{"Ports", {"--json", "ports"}, 0, "", ""},
        CommandRow{"CheckOk", {"check"}, 0, "line ok", "Echo Check - Line Ok!"},
        CommandRow{"CheckSilent", {"--silent", "check"}, 1, "", "Timeout < 36 Bytes"},
        CommandRow{
            "CheckWrongEcho", {"--echo-ack=1", "check"}, 1, "", "read error - not sync byte 0xAA!"},
        CommandRow{"InfoOk", {"info"}, 0, "OVX virtual controller 1.0", "Waiting for firmware"},
        CommandRow{"InfoSilent", {"--silent", "info"}, 1, "", "Timeout < 36 Bytes"},
        CommandRow{"InfoBehindStrayBytes",
                   {"--garbage=5", "info"},
                   1,
                   "",
                   "no firmware information in the controller's answer"},
        CommandRow{"GetRam", {"get"}, 0, "power=500\nreference=600\n", "Data Transfer Ok!"},
        CommandRow{"GetEepromJson",
                   {"--json", "get", "--eeprom"},
                   0,
                   "{\"power\":500,\"reference\":600,",
                   "Data Transfer Ok!"},
        CommandRow{"GetWrongEcho", {"--echo-ack=0", "get"}, 1, "", "not sync byte 0xAA"},
        CommandRow{"SendRam", {"send", "power=777"}, 0, "sent", "Transmit Ok!"},
        CommandRow{"SendEeprom", {"send", "--eeprom", "hold=5"}, 0, "sent", "Transmit Ok!"},
        CommandRow{"SendEepromParameterFile",
                   {"send", "--eeprom", "file.dat"},
                   0,
                   "sent",
                   "Transmit Ok!",
                   Ones(16)},
        CommandRow{"SendSilent", {"--silent", "send", "hold=5"}, 1, "", "Timeout < 36 Bytes"},
        CommandRow{"TeachOk", {"teach"}, 0, "reference=", "New setpoint value teached!"},
        CommandRow{
            "TeachSilentAfterStartUp", {"--unplug-after=3", "teach"}, 1, "", "Timeout RS-232!!"},
        CommandRow{"ResetOk", {"reset"}, 0, "", "Parameter-frame received! - Line Ok!"},
        CommandRow{"LiveFrames", {"live", "--frames", "5"}, 0, "time,norm,a,b,amax", "Line Ok!"},
        CommandRow{
            "LiveSecondsJson", {"--json", "live", "--seconds", "1"}, 0, "{\"time\":", "Line Ok!"},
        CommandRow{"LiveUnplugged",
                   {"--unplug-after=6", "live", "--frames", "50"},
                   1,
                   "time,norm",
                   "Timeout RS232-Line!"},
        // --json: one object per result, failures included.
        CommandRow{"CheckSilentJson",
                   {"--json", "--silent", "check"},
                   1,
                   "{\"command\":\"check\",\"ok\":false,\"error\":\"the virtual controller: no "
                   "answer to the echo check (Timeout < 36 Bytes)\"}\n",
                   "Timeout < 36 Bytes"},
        CommandRow{"ResetJson",
                   {"--json", "reset"},
                   0,
                   "{\"command\":\"reset\",\"ok\":true,\"status\":",
                   "Parameter-frame received! - Line Ok!"},
        CommandRow{"GetUnpluggedJson",
                   {"--json", "--unplug-after=3", "get"},
                   1,
                   "{\"command\":\"get\",\"ok\":false,\"error\":\"get: no answer to the parameter "
                   "fetch (Timeout RS232-Line!)\"}\n",
                   "Timeout RS232-Line!"},
        CommandRow{"GetToFileJson",
                   {"--json", "get", "-o", "p.dat"},
                   0,
                   "{\"command\":\"get\",\"ok\":true,\"file\":\"p.dat\"}\n",
                   "Data Transfer Ok!"},
        CommandRow{"TableToFileJson",
                   {"--json", "table", "MEAS", "-o", "t.dat"},
                   0,
                   "{\"command\":\"table\",\"ok\":true,\"file\":\"t.dat\"}\n",
                   ""},
        CommandRow{"TableUnreadableJson",
                   {"--json", "table", "/nonexistent/m.dat"},
                   3,
                   "{\"command\":\"table\",\"ok\":false,\"error\":\"",
                   "cannot read"},
        CommandRow{"UsageJson",
                   {"--json", "--json", "check"},
                   2,
                   "{\"command\":\"\",\"ok\":false,\"error\":\"--json given twice (see "
                   "ovextar-cli --help)\"}\n",
                   "--json given twice"},
        CommandRow{"LiveUnpluggedJson",
                   {"--json", "--unplug-after=6", "live", "--frames", "50"},
                   1,
                   "{\"command\":\"live\",\"ok\":false,\"error\":\"live: no live frame taken for "
                   "more than 2.0 s (Timeout RS232-Line!)\"}\n",
                   "Timeout RS232-Line!"},
        CommandRow{"CurveNorm", {"curve"}, 0, "point,norm,upper,lower,reference\n0,", "Data[64]"},
        CommandRow{"CurveRawJson", {"--json", "curve", "--raw"}, 0, "{\"a\":[", "Data[64]"},
        CommandRow{"CurveSilent",
                   {"--unplug-after=3", "curve"},
                   1,
                   "",
                   "Timeout-RS-232 while reading 64 data-words!"},
        CommandRow{"CurveSilentNamesTheBlock",
                   {"--unplug-after=3", "curve"},
                   1,
                   "",
                   "ovextar-cli: curve: no whole data block (Timeout-RS-232 while reading 64 "
                   "data-words!)\n"},
        CommandRow{"FlashOk", {"flash", "MEAS"}, 0, "", "ok : D801 FLASH page7-write 255 words!"},
        CommandRow{"FlashRepairedTable",
                   {"flash", "file.dat"},
                   0,
                   "",
                   "warning : file.dat values decrease - table repaired at 1023 entries!",
                   TableText(-1, 5000)},
        CommandRow{"FlashRefusedBlock",
                   {"--reject-flash-at=2", "flash", "MEAS"},
                   1,
                   "",
                   "pages not written: 4 5 6 7"},
        CommandRow{"FlashWrongAnswerJson",
                   {"--json", "--flash-answer=0", "flash", "MEAS"},
                   1,
                   "{\"command\":\"flash\",\"ok\":false,\"error\":\"flash: pages not written: 4 5 "
                   "6 7\",\"pages_written\":[],\"pages_not_written\":[4,5,6,7]}\n",
                   "error : D801 FLASH erase-adress not valid!"}),
    [](const ::testing::TestParamInfo<CommandRow>& row) { return row.param.name; });

// ---- Standard error without --verbose: the outcome alone ---------------------------------------

// A command that succeeded prints its final status text, one that failed its one error line; no
// status text of the start-up or of the steps on the way.
struct OutcomeRow {
    const char* name;
    std::vector<std::string> args; // after the program name; MEAS: the measurement file
    int exitCode;
    const char* err; // all of stderr
};

void PrintTo(const OutcomeRow& row, std::ostream* os) {
    *os << row.name;
}

class CliOutcomeOnly : public Cli, public ::testing::WithParamInterface<OutcomeRow> {};

TEST_P(CliOutcomeOnly, IsAllThatStderrHolds) {
    const OutcomeRow& row = GetParam();
    ProgramCall call{"ovextar-cli", {}, dir_.Path()};
    for (const std::string& a : row.args) {
        call.args.push_back(a == "MEAS" ? Measurement() : a);
    }
    const ProgramResult r = RunProgram(call);
    EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
    EXPECT_EQ(r.err, row.err);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CliOutcomeOnly,
    ::testing::Values(
        OutcomeRow{"MissingPort",
                   {"--port", "/dev/nonexistent-ovx", "check"},
                   1,
                   "ovextar-cli: /dev/nonexistent-ovx: No serial port found\n"},
        OutcomeRow{"MissingPortInfo",
                   {"--port", "/dev/nonexistent-ovx", "info"},
                   1,
                   "ovextar-cli: /dev/nonexistent-ovx: No serial port found\n"},
        OutcomeRow{"CheckOk", {"--simulator", "--no-line", "check"}, 0, "Echo Check - Line Ok!\n"},
        OutcomeRow{"CheckSilent",
                   {"--simulator", "--no-line", "--silent", "check"},
                   1,
                   "ovextar-cli: the virtual controller: no answer to the echo check (Timeout < 36 "
                   "Bytes)\n"},
        OutcomeRow{"GetOk", {"--simulator", "--no-line", "get"}, 0, "Data Transfer Ok!\n"},
        OutcomeRow{"GetWrongEcho",
                   {"--simulator", "--no-line", "--echo-ack=0", "get"},
                   1,
                   "ovextar-cli: the virtual controller: wrong answer to the echo check (read "
                   "error - not sync byte 0xAA!)\n"},
        OutcomeRow{
            "SendOk", {"--simulator", "--no-line", "send", "power=777"}, 0, "Transmit Ok!\n"},
        OutcomeRow{"FlashOk",
                   {"--simulator", "--no-line", "flash", "MEAS"},
                   0,
                   "ok : D801 FLASH page7-write 255 words!\n"}),
    testing::RowName());

// ---- Bad input: a one-line error naming it, exit 2 or 3, nothing on the line -----------------

struct BadInputRow {
    const char* name;
    std::vector<std::string> args; // after --simulator --no-line --trace
    int exitCode;
    const char* err;
    // Made first in the working directory under the name "hostile".
    std::optional<testing::Hostile> hostile = std::nullopt;
    std::optional<std::string> file = std::nullopt; // written as "file.dat" in the directory
};

void PrintTo(const BadInputRow& row, std::ostream* os) {
    *os << row.name;
}

class CliBadInput : public Cli, public ::testing::WithParamInterface<BadInputRow> {};

TEST_P(CliBadInput, OneLineErrorAndNothingSent) {
    const BadInputRow& row = GetParam();
    if (row.hostile) {
        ASSERT_TRUE(testing::MakeHostile(*row.hostile, dir_.File("hostile")));
    }
    if (row.file) {
        testing::WriteText(dir_.File("file.dat"), *row.file);
    }
    std::vector<std::string> args{"--trace"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const ProgramResult r = Run(args);
    EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
    const auto errors = LinesStartingWith(r.err, "ovextar-cli: ");
    ASSERT_EQ(errors.size(), 1u) << r.err;
    EXPECT_NE(errors[0].find(row.err), std::string::npos) << errors[0];
    EXPECT_TRUE(Wire(r.err, "tx").empty()) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CliBadInput,
    ::testing::Values(
        BadInputRow{"UnknownCommand", {"program"}, 2, "unknown command program"},
        BadInputRow{"UnknownName", {"send", "powr=5"}, 2, "unknown parameter name 'powr'"},
        BadInputRow{"ValueAboveRange", {"send", "power=65536"}, 2, "power 65536 out of range"},
        BadInputRow{"ValueNotInRing",
                    {"send", "difference-buffer=3"},
                    2,
                    "difference-buffer 3 out of range 1, 2, 4, 8, 16, 32"},
        BadInputRow{"ValueNotANumber", {"send", "hold=ten"}, 2, "hold: 'ten' is not an integer"},
        BadInputRow{"UnreadableFile", {"send", "/nonexistent/p.txt"}, 3, "cannot read"},
        BadInputRow{"UnreadableMeasurement", {"flash", "/nonexistent/m.dat"}, 3, "cannot read"},
        // A parameter file is 16 values, not the first 16 of anything.
        BadInputRow{"SendFileOfNoValues",
                    {"send", "file.dat"},
                    2,
                    "file.dat: parameter file holds 0 values, not 16",
                    std::nullopt,
                    ""},
        BadInputRow{"SendFileOf15Values",
                    {"send", "file.dat"},
                    2,
                    "file.dat: parameter file holds 15 values, not 16",
                    std::nullopt,
                    Ones(15)},
        BadInputRow{"SendFileOf17Values",
                    {"send", "--eeprom", "file.dat"},
                    2,
                    "file.dat: parameter file holds 17 values, not 16",
                    std::nullopt,
                    Ones(17)},
        BadInputRow{"SendMeasurementFileToEeprom",
                    {"send", "--eeprom", "file.dat"},
                    2,
                    "file.dat: parameter file holds 2048 values, not 16",
                    std::nullopt,
                    MeasurementOfOnes()},
        // A table entry is a 16-bit flash word: one that does not fit programs nothing.
        BadInputRow{"FlashTableAbove16Bits",
                    {"flash", "file.dat"},
                    3,
                    "error : file.dat table entry 554 is 65540, does not fit in 16 bits - "
                    "nothing programmed!",
                    std::nullopt,
                    TableText(10, 60000)},
        BadInputRow{"FlashTableBelowZero",
                    {"flash", "file.dat"},
                    3,
                    "error : file.dat table entry 0 is -3, does not fit in 16 bits - nothing "
                    "programmed!",
                    std::nullopt,
                    TableText(1, -3)},
        BadInputRow{"UnknownOption", {"live", "--minutes", "3"}, 2, "unknown option --minutes"},
        BadInputRow{"BadFrameCount", {"live", "--frames", "0"}, 2, "--frames needs a whole"},
        BadInputRow{
            "OptionTwice", {"live", "--frames", "5", "--frames", "0"}, 2, "--frames given twice"},
        BadInputRow{"TraceTwice", {"--trace", "check"}, 2, "--trace given twice"},
        BadInputRow{"JsonTwice", {"--json", "--json", "check"}, 2, "--json given twice"},
        BadInputRow{
            "FaultTwice", {"--garbage=5", "--garbage=3", "check"}, 2, "--garbage given twice"},
        BadInputRow{"UnwritableCsv",
                    {"live", "--csv", "/nonexistent/x.csv"},
                    3,
                    "cannot write /nonexistent/x.csv"},
        // Files that are none: never waited on, never read whole, never replaced.
        BadInputRow{"SendFromFifo",
                    {"send", "hostile"},
                    3,
                    "cannot read hostile: not a regular file",
                    testing::Hostile::kFifo},
        BadInputRow{"SendFromDirectory",
                    {"send", "hostile"},
                    3,
                    "cannot read hostile: not a regular file",
                    testing::Hostile::kDirectory},
        BadInputRow{"SendFromHugeFile",
                    {"send", "hostile"},
                    3,
                    "cannot read hostile: larger than 1 MiB, no parameter file",
                    testing::Hostile::kHuge},
        BadInputRow{"FlashFromFifo",
                    {"flash", "hostile"},
                    3,
                    "hostile is not a regular file - nothing programmed!",
                    testing::Hostile::kFifo},
        BadInputRow{"FlashFromHugeFile",
                    {"flash", "hostile"},
                    3,
                    "hostile is far too large for 2048 values - nothing programmed!",
                    testing::Hostile::kHuge},
        BadInputRow{"LiveCsvToFifo",
                    {"live", "--frames", "1", "--csv", "hostile"},
                    3,
                    "cannot write hostile: not a regular file",
                    testing::Hostile::kFifo},
        BadInputRow{"LiveCsvToDevNull",
                    {"live", "--frames", "1", "--csv", "hostile"},
                    3,
                    "cannot write hostile: not a regular file",
                    testing::Hostile::kDevNull},
        BadInputRow{"CurveCsvToFifo",
                    {"curve", "--csv", "hostile"},
                    3,
                    "cannot write hostile: not a regular file",
                    testing::Hostile::kFifo}),
    [](const ::testing::TestParamInfo<BadInputRow>& row) { return row.param.name; });

TEST(CliUsage, ControllerCommandWithoutPortIsAUsageError) {
    const ProgramResult r = RunProgram({"ovextar-cli", {"get"}});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("get needs --port DEVICE or --simulator"), std::string::npos) << r.err;
}

// ---- Round trips and files -------------------------------------------------------------------

TEST_F(Cli, GetOutputFedToSendWritesTheSameWordsBack) {
    const ProgramResult got = Run({"get"});
    ASSERT_EQ(got.exitCode, 0) << got.err;
    const std::string file = dir_.File("params.txt");
    testing::WriteText(file, got.out);
    const ProgramResult sent = Run({"--trace", "send", file});
    ASSERT_EQ(sent.exitCode, 0) << sent.err;
    const auto tx = Wire(sent.err, "tx");
    const auto rx = Wire(sent.err, "rx");
    ASSERT_FALSE(tx.empty());
    ASSERT_GE(rx.size(), 2u);
    // The order-1 frame carries the words the order-2 reply of the start-up brought.
    EXPECT_EQ(tx.back().substr(0, 12), "tx: 00550001");
    EXPECT_EQ(tx.back().substr(12), rx[1].substr(12)) << sent.err;
}

TEST_F(Cli, SendChangesOnlyTheNamedWord) {
    const ProgramResult r = Run({"--trace", "send", "power=777", "trigger-level=1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string frame = Wire(r.err, "tx").back().substr(4);
    // Words: sync, order, power (0x0309) ... trigger level is word 10 (0x0001).
    EXPECT_EQ(frame.substr(0, 12), "005500010309");
    EXPECT_EQ(frame.substr(8 + 4 * 10, 4), "0001");
    EXPECT_EQ(frame.substr(8 + 4 * 1, 4), "0258"); // reference 600 kept
}

TEST_F(Cli, GetToAParameterFileThatSendReadsBack) {
    const std::string file = dir_.File("TARpara.dat");
    ASSERT_EQ(Run({"get", "-o", file}).exitCode, 0);
    EXPECT_EQ(testing::ReadIntegers(file).size(), 16u);
    const ProgramResult r = Run({"send", file});
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST_F(Cli, TableEqualsTheWindowsTableFile) {
    dir_.MakeWorkingDirectory(); // the window writes "LTlinear.dat" there on every build
    char error[260] = {};
    ASSERT_EQ(params::ReadCorrData(Measurement().c_str(), error, sizeof error), 1) << error;
    const std::string expected = testing::ReadText(dir_.File(params::kTableFile));
    ASSERT_FALSE(expected.empty());
    const ProgramResult table = RunProgram({"ovextar-cli", {"table", Measurement()}});
    EXPECT_EQ(table.exitCode, 0);
    EXPECT_EQ(table.out, expected);
    const std::string out = dir_.File("table.dat");
    ASSERT_EQ(RunProgram({"ovextar-cli", {"table", Measurement(), "-o", out}}).exitCode, 0);
    EXPECT_EQ(testing::ReadText(out), expected);
}

// The table command refuses a table that does not fit in 16-bit words as flash does, and writes
// no table, neither to the file named nor to stdout; a repaired table is written with its
// warning on stderr.
TEST_F(Cli, TableThatDoesNotFitIsNotWrittenAndARepairedOneIsWrittenWithItsWarning) {
    const std::string wraps = dir_.File("wraps.dat");
    testing::WriteText(wraps, TableText(10, 60000));
    const std::string out = dir_.File("table.dat");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"table", wraps, "-o", out},
          std::vector<std::string>{"table", wraps}}) {
        const ProgramResult r = RunProgram({"ovextar-cli", args});
        EXPECT_EQ(r.exitCode, 3) << r.err;
        EXPECT_EQ(r.out, "");
        const auto errors = LinesStartingWith(r.err, "ovextar-cli: error : wraps.dat table entry");
        ASSERT_EQ(errors.size(), 1u) << r.err;
        EXPECT_NE(errors[0].find("entry 554 is 65540"), std::string::npos) << errors[0];
    }
    EXPECT_FALSE(std::filesystem::exists(out));

    const std::string falling = dir_.File("falling.dat");
    testing::WriteText(falling, TableText(-1, 5000));
    const ProgramResult r = RunProgram({"ovextar-cli", {"table", falling}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(LinesStartingWith(r.err, "warning : falling.dat values decrease"),
              std::vector<std::string>{
                  "warning : falling.dat values decrease - table repaired at 1023 entries!"});
    EXPECT_EQ(CountLines(r.out), 1024);
    const ProgramResult rising = RunProgram({"ovextar-cli", {"table", Measurement()}});
    EXPECT_EQ(rising.exitCode, 0);
    EXPECT_TRUE(LinesStartingWith(rising.err, "warning").empty())
        << "a table that never decreases gets no warning: " << rising.err;
}

TEST_F(Cli, LiveCsvHoldsEveryFrame) {
    const std::string csv = dir_.File("live.csv");
    const ProgramResult r = Run({"live", "--frames", "20", "--csv", csv});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string text = testing::ReadText(csv);
    EXPECT_EQ(CountLines(text), 21) << text;
    EXPECT_FALSE(std::filesystem::exists(csv + ".part"));
}

// ---- Ctrl-C ----------------------------------------------------------------------------------

TEST_F(Cli, InterruptEndsLiveLikeTheStopButtonWithTheCsvComplete) {
    const std::string csv = dir_.File("live.csv");
    const ProgramResult r = Run({"--trace", "live", "--csv", csv}, "status: Line Ok!");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string text = testing::ReadText(csv);
    ASSERT_GE(CountLines(text), 1);
    EXPECT_EQ(text.back(), '\n');
    // Every frame received was answered by one request, and nothing was sent after the stop.
    EXPECT_EQ(Wire(r.err, "tx").size() - 3, Wire(r.err, "rx").size() - 3) << r.err;
    EXPECT_EQ(CountLines(text) - 1, static_cast<int>(Wire(r.err, "rx").size()) - 3) << text;
}

TEST_F(Cli, InterruptDuringFlashFinishesTheBlockAndNamesThePagesNotWritten) {
    ProgramCall call{"ovextar-cli",
                     {"--simulator", "--trace", "flash", Measurement()},
                     dir_.Path(),
                     "page4-write 255 words!"};
    const ProgramResult r = RunProgram(call);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const auto errors = LinesStartingWith(r.err, "ovextar-cli: flash: pages not written:");
    ASSERT_EQ(errors.size(), 1u) << r.err;
    EXPECT_NE(errors[0].find(" 7"), std::string::npos);
    EXPECT_EQ(errors[0].find(" 4"), std::string::npos);
    // Each block started was finished: order 20 and order 21 pair up.
    int addresses = 0, blocks = 0;
    for (const std::string& tx : Wire(r.err, "tx")) {
        addresses += tx.substr(4, 8) == "00550014" ? 1 : 0;
        blocks += tx.substr(4, 8) == "00550015" ? 1 : 0;
    }
    EXPECT_EQ(addresses, blocks);
    EXPECT_LT(blocks, 64);
}

// A controller that answers no live request: the run waits out its 2 s time-out, unless Ctrl-C
// ends it, which is at once and as the stop button ends it, the CSV complete.
struct SilentLiveRow {
    const char* name;
    const char* interruptWhen; // "" = no Ctrl-C
    int exitCode;
    bool timedOut;
};

void PrintTo(const SilentLiveRow& row, std::ostream* os) {
    *os << row.name;
}

// The time stamp of the first trace line that holds text, or -1.
double TraceTime(const std::string& err, const std::string& text) {
    for (const std::string& line : LinesStartingWith(err, "")) {
        if (line.find(text) != std::string::npos) {
            return std::atof(line.c_str());
        }
    }
    return -1.0;
}

class CliSilentLive : public Cli, public ::testing::WithParamInterface<SilentLiveRow> {};

TEST_P(CliSilentLive, EndsByItsTimeOutOrAtOnceByCtrlC) {
    const SilentLiveRow& row = GetParam();
    const std::string csv = dir_.File("live.csv");
    const ProgramResult r =
        Run({"--drop-live=1", "--trace", "live", "--csv", csv}, row.interruptWhen);
    EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
    const double started = TraceTime(r.err, "status: Line Ok!");
    const double timedOut = TraceTime(r.err, "status: Timeout RS232-Line!");
    ASSERT_GE(started, 0.0) << r.err;
    if (row.timedOut) {
        // The trace stamps are whole milliseconds: the two may lose one between them.
        EXPECT_GE(timedOut - started, 2.0 - 0.001) << r.err;
        EXPECT_LT(timedOut - started, 2.5) << r.err;
    } else {
        EXPECT_LT(timedOut, 0.0) << r.err;
        EXPECT_GE(r.interruptToExit, 0.0);
        EXPECT_LT(r.interruptToExit, 0.5);
    }
    EXPECT_EQ(testing::ReadText(csv),
              "time,norm,a,b,amax,upper,lower,tolerance_output,reference_output\n");
    EXPECT_FALSE(std::filesystem::exists(csv + ".part"));
    const auto tx = Wire(r.err, "tx");
    EXPECT_EQ(std::count_if(tx.begin(), tx.end(),
                            [](const std::string& t) { return t.substr(4, 8) == "00550008"; }),
              1)
        << r.err;
}

INSTANTIATE_TEST_SUITE_P(Rows, CliSilentLive,
                         ::testing::Values(SilentLiveRow{"WaitedOut", "", 1, true},
                                           SilentLiveRow{"CtrlC", "status: Line Ok!", 0, false}),
                         [](const ::testing::TestParamInfo<SilentLiveRow>& row) {
                             return row.param.name;
                         });

// ---- The same bytes as the window ------------------------------------------------------------

struct WireRow {
    const char* name;
    std::vector<std::string> window; // ovx_window_session arguments
    std::vector<std::string> cli;    // ovextar-cli arguments after --simulator --no-line --trace
    // The CLI's command is the first part of the window's (check: the echo check of start-up).
    bool firstPartOfWindow = false;
};

void PrintTo(const WireRow& row, std::ostream* os) {
    *os << row.name;
}

class CliWire : public Cli, public ::testing::WithParamInterface<WireRow> {};

TEST_P(CliWire, SendsWhatTheWindowSends) {
    const WireRow& row = GetParam();
    auto fill = [this](std::vector<std::string> args) {
        for (std::string& a : args) {
            a = a == "MEAS" ? Measurement() : a;
        }
        return args;
    };
    const ProgramResult window = RunProgram({"ovx_window_session", fill(row.window), dir_.Path()});
    ASSERT_EQ(window.exitCode, 0) << window.err;
    std::vector<std::string> args{"--trace"};
    for (const std::string& a : fill(row.cli)) {
        args.push_back(a);
    }
    const ProgramResult cli = Run(args);
    ASSERT_EQ(cli.exitCode, 0) << cli.err;
    // What the window did beyond the CLI's command, when the command is the first part of it.
    auto cut = [&row](std::vector<std::string> windowLines, std::size_t cliCount) {
        if (row.firstPartOfWindow && windowLines.size() > cliCount) {
            windowLines.resize(cliCount);
        }
        return windowLines;
    };
    const auto cliTx = Wire(cli.err, "tx");
    ASSERT_FALSE(cliTx.empty()) << cli.err;
    EXPECT_EQ(cliTx, cut(Wire(window.err, "tx"), cliTx.size()));
    // The send button's click says "Transmit..." before it programs the flash; the CLI has no
    // button to click.
    auto statusOf = [](const std::string& err) {
        auto lines = Wire(err, "status");
        std::erase(lines, "status: Transmit...");
        return lines;
    };
    const auto cliStatus = statusOf(cli.err);
    EXPECT_EQ(cliStatus, cut(statusOf(window.err), cliStatus.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CliWire,
    ::testing::Values(WireRow{"Check", {"startup"}, {"check"}, true},
                      WireRow{"Info", {"startup"}, {"info"}}, WireRow{"Get", {"get"}, {"get"}},
                      WireRow{"GetEeprom", {"get", "eeprom"}, {"get", "--eeprom"}},
                      WireRow{"Send", {"send"}, {"send", "power=500"}},
                      WireRow{
                          "SendEeprom", {"get-send", "eeprom"}, {"send", "--eeprom", "power=500"}},
                      WireRow{"Teach", {"teach"}, {"teach"}},
                      WireRow{"Reset", {"reset"}, {"reset"}},
                      WireRow{"Live", {"run", "12"}, {"live", "--frames", "12"}},
                      WireRow{"Curve", {"data"}, {"curve"}},
                      WireRow{"CurveRaw", {"data", "raw"}, {"curve", "--raw"}},
                      WireRow{"Flash", {"flash", "MEAS"}, {"flash", "MEAS"}}),
    [](const ::testing::TestParamInfo<WireRow>& row) { return row.param.name; });

// ---- Ports -----------------------------------------------------------------------------------

// A program running in the background until the guard ends it (SIGINT, then kill).
class Background {
  public:
    Background(const std::string& program, const QStringList& args) {
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(QString::fromStdString(testing::ProgramPath(program)), args);
    }
    ~Background() {
        ::kill(static_cast<pid_t>(process_.processId()), SIGINT);
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    // Waits until the output holds text.
    bool WaitFor(const std::string& text) {
        for (int i = 0; i < 500 && output_.find(text) == std::string::npos; ++i) {
            process_.waitForReadyRead(20);
            output_ += process_.readAll().toStdString();
        }
        return output_.find(text) != std::string::npos;
    }

  private:
    QProcess process_;
    std::string output_;
};

// A port path that names no serial port: a clear error at once, not a time-out.
struct PortPathRow {
    const char* name;
    testing::Hostile kind;
};

void PrintTo(const PortPathRow& row, std::ostream* os) {
    *os << row.name;
}

class CliPortPath : public ::testing::TestWithParam<PortPathRow> {};

TEST_P(CliPortPath, IsNoSerialPort) {
    testing::ScratchDir dir;
    const std::string path = dir.File("ttyS9");
    ASSERT_TRUE(testing::MakeHostile(GetParam().kind, path));
    const ProgramResult r = RunProgram({"ovextar-cli", {"--port", path, "check"}});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("ovextar-cli: " + path + ": No serial port found"), std::string::npos)
        << r.err;
}

INSTANTIATE_TEST_SUITE_P(Rows, CliPortPath,
                         ::testing::Values(PortPathRow{"Directory", testing::Hostile::kDirectory},
                                           PortPathRow{"RegularFile",
                                                       testing::Hostile::kRegularFile},
                                           PortPathRow{"DevNull", testing::Hostile::kDevNull},
                                           PortPathRow{"Fifo", testing::Hostile::kFifo}),
                         testing::RowName());

TEST(CliPorts, SecondProcessOnABusyPortGetsAClearError) {
    testing::ScratchDir dir;
    const std::string link = dir.File("ttyOVX");
    Background sim("ovextar-sim", {"--no-line", "--link", QString::fromStdString(link)});
    ASSERT_TRUE(sim.WaitFor("/dev/"));
    Background first("ovextar-cli", {"--port", QString::fromStdString(link), "live"});
    ASSERT_TRUE(first.WaitFor("time,norm"));
    const ProgramResult second = RunProgram({"ovextar-cli", {"--port", link, "check"}});
    EXPECT_EQ(second.exitCode, 1) << second.err;
    EXPECT_NE(second.err.find("ovextar-cli: " + link + ": Cannot open port"), std::string::npos)
        << second.err;
}

// ---- A controller scripted in the test ---------------------------------------------------------

// Answers like the virtual controller, except where a row's departure fills the reply.
class CliScripted : public ::testing::Test {
  public:
    using Clock = std::chrono::steady_clock;
    using Reply = testing::ScriptedPeer::Reply;
    // Fills reply and returns true where the controller departs from the model.
    using Departure = std::function<bool(const link::FrameBytes& request, Reply& reply)>;

  protected:
    void StartPeer(Departure departure) {
        const auto start = Clock::now();
        peer_ = std::make_unique<testing::ScriptedPeer>(
            [this, departure, start](const link::FrameBytes& request) {
                Reply reply;
                if (departure(request, reply)) {
                    return reply;
                }
                return model_.HandleRequest(
                    request, std::chrono::duration<double>(Clock::now() - start).count());
            });
        std::string error;
        ASSERT_TRUE(peer_->Start(error)) << error;
    }
    ProgramResult Run(std::vector<std::string> args, double timeoutSeconds = 20) {
        ProgramCall call{"ovextar-cli", {"--port", peer_->DevicePath()}, dir_.Path()};
        call.args.insert(call.args.end(), args.begin(), args.end());
        call.timeoutSeconds = timeoutSeconds;
        return RunProgram(call);
    }
    // When each request of orderCode reached the controller.
    std::vector<Clock::time_point> TimesOf(int orderCode) const {
        const auto orders = peer_->Orders();
        const auto times = peer_->RequestTimes();
        std::vector<Clock::time_point> of;
        for (std::size_t i = 0; i < orders.size() && i < times.size(); ++i) {
            if (orders[i] == orderCode) {
                of.push_back(times[i]);
            }
        }
        return of;
    }
    static double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

    testing::ScratchDir dir_;
    sim::DeviceModel model_;
    std::unique_ptr<testing::ScriptedPeer> peer_;
};

// Leaves the n-th request (from 1) of orderCode unanswered.
CliScripted::Departure Unanswered(int orderCode, int n) {
    auto seen = std::make_shared<int>(0);
    return [=](const link::FrameBytes& request, CliScripted::Reply& reply) {
        if (link::FrameOrder(request) != orderCode) {
            return false;
        }
        ++*seen;
        reply.clear();
        return *seen == n;
    };
}

// A failed command names the step that failed in its one error line, with the status text that
// said so; with --json the same error is the one object on stdout.
struct FailureRow {
    const char* name;
    std::vector<std::string> args; // after --port DEVICE
    int unansweredOrder;
    int unansweredNth;
    const char* error; // the error line after "ovextar-cli: DEVICE: " or "ovextar-cli: "
};

void PrintTo(const FailureRow& row, std::ostream* os) {
    *os << row.name;
}

class CliFailure : public CliScripted, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(CliFailure, NamesWhatFailedOnStderrAndInTheJsonObject) {
    const FailureRow& row = GetParam();
    for (const bool json : {false, true}) {
        StartPeer(Unanswered(row.unansweredOrder, row.unansweredNth));
        std::vector<std::string> args = row.args;
        if (json) {
            args.insert(args.begin(), "--json");
        }
        const ProgramResult r = Run(args);
        EXPECT_EQ(r.exitCode, 1) << r.err;
        const auto errors = LinesStartingWith(r.err, "ovextar-cli: ");
        ASSERT_EQ(errors.size(), 1u) << r.err;
        const std::string error = errors[0].substr(std::string("ovextar-cli: ").size());
        EXPECT_TRUE(error == row.error || error == peer_->DevicePath() + ": " + row.error) << error;
        const std::string object =
            "{\"command\":\"" + row.args.back() + "\",\"ok\":false,\"error\":\"" + error + "\"}\n";
        EXPECT_EQ(r.out, json ? object : "") << r.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CliFailure,
    ::testing::Values(FailureRow{"InfoWithoutParameters",
                                 {"info"},
                                 link::kOrderReadRam,
                                 1,
                                 "no answer to the parameter fetch (Timeout-RS-232...)"},
                      FailureRow{"InfoWithoutFirmware",
                                 {"info"},
                                 link::kOrderFirmwareInfo,
                                 1,
                                 "no firmware information (Timeout - reading firmware info!)"},
                      FailureRow{"Get",
                                 {"get"},
                                 link::kOrderReadRam,
                                 2,
                                 "get: no answer to the parameter fetch (Timeout RS232-Line!)"},
                      FailureRow{"TeachWithoutAck",
                                 {"teach"},
                                 link::kOrderTeach,
                                 1,
                                 "teach: no acknowledgement (Timeout RS-232!!)"},
                      FailureRow{"ResetWithoutParameters",
                                 {"reset"},
                                 link::kOrderReadRam,
                                 2,
                                 "reset: no answer to the parameter fetch (Timeout-RS-232...)"},
                      FailureRow{"CheckWithoutEcho",
                                 {"check"},
                                 link::kOrderEcho,
                                 1,
                                 "no answer to the echo check (Timeout < 36 Bytes)"}),
    testing::RowName());

// Live replies that are whole frames of another order are discarded: only a reply taken keeps
// the run alive, and --seconds ends a run also when no frame comes.
struct DiscardedLiveRow {
    const char* name;
    int goodEveryMs;               // a reply of the right order once this long after the last
    std::vector<std::string> live; // the live command's arguments
    int exitCode;
    double endsAfter; // seconds from the first live request to the end of the run: more than
    double endsBy;    // this, and at most this
    bool timedOut;
};

void PrintTo(const DiscardedLiveRow& row, std::ostream* os) {
    *os << row.name;
}

class CliDiscardedLive : public CliScripted,
                         public ::testing::WithParamInterface<DiscardedLiveRow> {
  protected:
    void StartAnswering(int goodEveryMs) {
        auto last = std::make_shared<std::optional<Clock::time_point>>();
        StartPeer([this, goodEveryMs, last](const link::FrameBytes& request, Reply& reply) {
            if (link::FrameOrder(request) != link::kOrderLiveSample) {
                return false;
            }
            const auto now = Clock::now();
            *last = last->value_or(now);
            reply = model_.HandleRequest(request, 0.0);
            if (goodEveryMs > 0 && now - **last >= std::chrono::milliseconds(goodEveryMs)) {
                *last = now;
            } else {
                reply[3] = 0x09; // the order code word: 0x0009
            }
            return true;
        });
    }
};

TEST_P(CliDiscardedLive, EndsByTheLineTimeOutFromTheLastReplyTakenOrByItsLimit) {
    const DiscardedLiveRow& row = GetParam();
    StartAnswering(row.goodEveryMs);
    std::vector<std::string> args{"--trace", "live"};
    args.insert(args.end(), row.live.begin(), row.live.end());
    const ProgramResult r = Run(args, 10);
    const auto ended = Clock::now();
    EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
    const auto asked = TimesOf(link::kOrderLiveSample);
    ASSERT_GT(asked.size(), 5u) << "every discarded reply is answered by a new request";
    // The controller's side: requests stop by the end, and the run lasted as long as it should.
    EXPECT_LE(Seconds(asked.back() - asked.front()), row.endsBy);
    EXPECT_GT(Seconds(ended - asked.front()), row.endsAfter);
    // The tool's side, from its trace (whole milliseconds).
    const double started = TraceTime(r.err, "status: Line Ok!");
    const double timedOut = TraceTime(r.err, "status: Timeout RS232-Line!");
    ASSERT_GE(started, 0.0) << r.err;
    const auto samples = LinesStartingWith(r.out, "");
    if (row.timedOut) {
        EXPECT_GE(timedOut - started, row.endsAfter - 0.001) << r.err;
        EXPECT_LE(timedOut - started, row.endsBy + 0.001) << r.err;
        EXPECT_NE(r.err.find("ovextar-cli: live: no live frame taken for more than 2.0 s "
                             "(Timeout RS232-Line!)"),
                  std::string::npos)
            << r.err;
    } else {
        EXPECT_LT(timedOut, 0.0) << r.err;
    }
    if (row.goodEveryMs == 0) {
        EXPECT_EQ(samples.size(), 1u) << r.out; // the header alone
    } else {
        EXPECT_GE(samples.size(), 3u) << r.out;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CliDiscardedLive,
    ::testing::Values(
        DiscardedLiveRow{"OtherOrderOnlyFrames", 0, {"--frames", "5"}, 1, 2.0, 2.1, true},
        DiscardedLiveRow{"OtherOrderOnlySeconds3", 0, {"--seconds", "3"}, 1, 2.0, 2.1, true},
        DiscardedLiveRow{"OtherOrderOnlySeconds1", 0, {"--seconds", "1"}, 0, 1.0, 1.1, false},
        DiscardedLiveRow{"AGoodReplyEvery1500ms", 1500, {"--seconds", "4"}, 0, 4.0, 4.2, false}),
    testing::RowName());

// A controller that answers nothing: Ctrl-C while the start-up waits for the echo ends the
// program at once.
struct InterruptRow {
    const char* name;
    std::vector<std::string> args; // after --port DEVICE --trace
    const char* error;
};

void PrintTo(const InterruptRow& row, std::ostream* os) {
    *os << row.name;
}

class CliInterruptedEcho : public ::testing::TestWithParam<InterruptRow> {};

TEST_P(CliInterruptedEcho, EndsAtOnce) {
    const InterruptRow& row = GetParam();
    testing::ScratchDir dir;
    const std::string link = dir.File("ttyOVX");
    Background sim("ovextar-sim", {"--silent", "--link", QString::fromStdString(link)});
    ASSERT_TRUE(sim.WaitFor("/dev/"));
    ProgramCall call{"ovextar-cli", {"--port", link, "--trace"}, dir.Path(), "tx: 00550005"};
    call.args.insert(call.args.end(), row.args.begin(), row.args.end());
    const ProgramResult r = RunProgram(call);
    EXPECT_EQ(r.exitCode, 130) << r.err;
    EXPECT_GE(r.interruptToExit, 0.0);
    EXPECT_LT(r.interruptToExit, 0.3) << r.err;
    const auto errors = LinesStartingWith(r.err, "ovextar-cli: ");
    ASSERT_EQ(errors.size(), 1u) << r.err;
    EXPECT_EQ(errors[0], std::string("ovextar-cli: ") + row.error);
    const auto tx = Wire(r.err, "tx");
    EXPECT_EQ(tx.size(), 1u) << "nothing is sent after the echo request";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CliInterruptedEcho,
    ::testing::Values(
        InterruptRow{"Check", {"check"}, "interrupted (Ctrl-C) during the echo check"},
        InterruptRow{"Info", {"info"}, "interrupted (Ctrl-C) during the start-up"},
        InterruptRow{"Live", {"live"}, "interrupted (Ctrl-C) during the start-up"}),
    testing::RowName());

} // namespace
} // namespace ovx::cli
