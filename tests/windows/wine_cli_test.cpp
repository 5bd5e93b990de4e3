// ovextar-cli.exe under wine against the virtual controller on COM9, beside ovextar-cli of this
// build on the same kind of controller: every command and every fault sends the same frames
// (as traced and as the controller received them), says the same status texts, ends with the same
// exit code and leaves the same flash; a silent controller's time-out lasts 2 s.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "support/device_server.h"
#include "support/row_name.h"
#include "support/scratch_dir.h"
#include "support/wine_sides.h"

namespace ovx::testing {
namespace {

// A measurement file whose table comes out as entry n = 4 * n + 3.
std::string MeasurementText() {
    std::string text;
    for (int k = 0; k < 1024; ++k) {
        text += std::to_string(4 * (1023 - k) + 3) + "\t" + std::to_string(k) + "\n";
    }
    return text;
}

constexpr const char* kMeasurement = "TARconfig.dat"; // in the working directory of both

class WineCli : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string missing = sides_.Prepare();
        ASSERT_EQ(missing, "");
        WriteText(sides_.File(kMeasurement), MeasurementText());
    }

    CliSides sides_;
};

// ---- Every command and every fault: the same frames, status texts and exit code ------------

struct SameRow {
    const char* name;
    std::vector<std::string> sim; // ovextar-sim options besides --link
    std::vector<std::string> cli; // after --port PORT --trace
    int exitCode;
    bool sameOutput = false; // stdout is the same on both (no live or time-dependent values)
    bool offline = false;    // the command needs no controller: nothing is sent
    bool programs = false;   // the command programs the flash
};

void PrintTo(const SameRow& row, std::ostream* os) {
    *os << row.name;
}

class WineCliSame : public WineCli, public ::testing::WithParamInterface<SameRow> {
  protected:
    // The run of the side and the flash pages the controller held at its end.
    SideRun RunOn(Side side, std::string& flash) {
        const SameRow& row = GetParam();
        const std::string dump = sides_.File(side == Side::kLinux ? "linux.txt" : "wine.txt");
        std::vector<std::string> sim{"--log", "--flash-dump", dump};
        sim.insert(sim.end(), row.sim.begin(), row.sim.end());
        std::vector<std::string> cli{"--trace"};
        cli.insert(cli.end(), row.cli.begin(), row.cli.end());
        const SideRun run = sides_.Run(side, sim, cli);
        flash = ReadText(dump);
        return run;
    }
};

// How many words of the flash pages are programmed (erased flash reads 65535).
long Programmed(const std::string& flash) {
    const auto words = SplitText(flash, '\n');
    return std::count_if(words.begin(), words.end(),
                         [](const std::string& w) { return !w.empty() && w != "65535"; });
}

TEST_P(WineCliSame, FramesStatusTextsExitCodeAndFlashAsOnLinux) {
    const SameRow& row = GetParam();
    std::string linuxFlash, wineFlash;
    const SideRun onLinux = RunOn(Side::kLinux, linuxFlash);
    const SideRun onWine = RunOn(Side::kWine, wineFlash);
    const auto linuxTx = Traced(onLinux.err, "tx");
    ASSERT_EQ(linuxTx.empty(), row.offline) << ::testing::PrintToString(onLinux.err);
    EXPECT_EQ(onLinux.exitCode, row.exitCode) << ::testing::PrintToString(onLinux.err);
    EXPECT_EQ(onWine.exitCode, onLinux.exitCode) << ::testing::PrintToString(onWine.err);
    EXPECT_EQ(Traced(onWine.err, "tx"), linuxTx);
    // What reached the controller: the bytes of every request, as the line carried them.
    ASSERT_FALSE(onLinux.simErr.empty() && !row.offline);
    EXPECT_EQ(onWine.simErr, onLinux.simErr);
    const auto linuxStatus = Traced(onLinux.err, "status");
    ASSERT_FALSE(linuxStatus.empty() && !row.offline);
    EXPECT_EQ(Traced(onWine.err, "status"), linuxStatus);
    if (row.sameOutput) {
        ASSERT_FALSE(onLinux.out.empty());
        EXPECT_EQ(onWine.out, onLinux.out);
    }
    ASSERT_FALSE(linuxFlash.empty());
    EXPECT_EQ(Programmed(linuxFlash) > 1000, row.programs);
    EXPECT_EQ(wineFlash, linuxFlash);
}

const std::vector<std::string> kNoLine{"--no-line"};

std::vector<std::string> NoLineAnd(const std::string& fault) {
    return {"--no-line", fault};
}

INSTANTIATE_TEST_SUITE_P(
    Commands, WineCliSame,
    ::testing::Values(SameRow{"Check", kNoLine, {"check"}, 0},
                      SameRow{"Info", kNoLine, {"info"}, 0, true},
                      SameRow{"Get", kNoLine, {"get"}, 0, true},
                      SameRow{"GetEeprom", kNoLine, {"get", "--eeprom"}, 0, true},
                      SameRow{"SendRam", kNoLine, {"send", "power=777"}, 0},
                      SameRow{"SendEeprom", kNoLine, {"send", "--eeprom", "hold=5"}, 0},
                      SameRow{"Teach", kNoLine, {"teach"}, 0},
                      SameRow{"Reset", kNoLine, {"reset"}, 0},
                      SameRow{"Live", kNoLine, {"live", "--frames", "5"}, 0},
                      SameRow{"Curve", kNoLine, {"curve"}, 0},
                      SameRow{"CurveRaw", kNoLine, {"curve", "--raw"}, 0},
                      SameRow{"Flash", kNoLine, {"flash", kMeasurement}, 0, false, false, true},
                      SameRow{"Table", kNoLine, {"table", kMeasurement}, 0, true, true}),
    RowName());

// The line is closed while flash waits out the page erase after its first block: a moment at
// which neither side can still be sending, so both meet a closed line at the same step.
INSTANTIATE_TEST_SUITE_P(
    Faults, WineCliSame,
    ::testing::Values(SameRow{"Silent", NoLineAnd("--silent"), {"check"}, 1},
                      SameRow{"Cut", NoLineAnd("--cut=20"), {"info"}, 1},
                      SameRow{"Garbage", NoLineAnd("--garbage=5"), {"info"}, 1},
                      SameRow{"Slow", NoLineAnd("--slow=300"), {"get"}, 0, true},
                      SameRow{
                          "Unplugged", NoLineAnd("--unplug-after=5"), {"flash", kMeasurement}, 1}),
    RowName());

// ---- The virtual controller inside the program: the same on Windows as on Linux ------------

struct InsideRow {
    const char* name;
    std::vector<std::string> cli; // after --trace
    int exitCode;
    friend void PrintTo(const InsideRow& row, std::ostream* os) { *os << row.name; }
};

class WineSimulatorInside : public WineCli, public ::testing::WithParamInterface<InsideRow> {};

TEST_P(WineSimulatorInside, FramesStatusTextsAndExitCodeAsOnLinux) {
    std::vector<std::string> cli{"--trace"};
    cli.insert(cli.end(), GetParam().cli.begin(), GetParam().cli.end());
    const SideRun onLinux = sides_.RunInside(Side::kLinux, cli);
    const SideRun onWine = sides_.RunInside(Side::kWine, cli);
    EXPECT_EQ(onLinux.exitCode, GetParam().exitCode) << ::testing::PrintToString(onLinux.err);
    EXPECT_EQ(onWine.exitCode, onLinux.exitCode) << ::testing::PrintToString(onWine.err);
    const auto linuxTx = Traced(onLinux.err, "tx");
    ASSERT_FALSE(linuxTx.empty());
    EXPECT_EQ(Traced(onWine.err, "tx"), linuxTx);
    EXPECT_EQ(Traced(onWine.err, "status"), Traced(onLinux.err, "status"));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WineSimulatorInside,
    ::testing::Values(InsideRow{"Get", {"--simulator", "--no-line", "get"}, 0},
                      InsideRow{"Live", {"--simulator", "--no-line", "live", "--frames", "5"}, 0},
                      InsideRow{"Flash", {"--simulator", "--no-line", "flash", kMeasurement}, 0},
                      InsideRow{"Silent", {"--simulator", "--silent", "--no-line", "check"}, 1},
                      InsideRow{"Cut", {"--simulator", "--cut=20", "--no-line", "info"}, 1},
                      InsideRow{
                          "Unplugged",
                          {"--simulator", "--unplug-after=5", "--no-line", "flash", kMeasurement},
                          1},
                      InsideRow{"LineTimed", {"--simulator", "send", "hold=5"}, 0}),
    RowName());

// ---- A silent controller: the time-out lasts 2 s -------------------------------------------

// At line speed. Seen from the program, by its own trace stamps (whole milliseconds) from the
// echo request to the time-out's status text; seen from the controller, from the request's
// arrival to the program's end, which wine's start cannot lengthen.
constexpr double kStamp = 0.001;   // the trace's resolution
constexpr double kLogLag = 0.005;  // the controller's log line reaches the test after the request
constexpr double kWineExit = 0.05; // the end of a wine process after its last line (seen: 2 ms)

TEST_F(WineCli, SilentControllerTimesOutAfter2Seconds) {
    const SideRun onWine = sides_.Run(Side::kWine, {"--silent", "--log"}, {"--trace", "check"});
    EXPECT_EQ(onWine.exitCode, 1);
    const double sent = TracedAt(onWine.err, "tx: 00550005");
    const double timedOut = TracedAt(onWine.err, "status: Timeout < 36 Bytes");
    ASSERT_GE(sent, 0.0) << ::testing::PrintToString(onWine.err);
    ASSERT_GE(timedOut, 0.0) << ::testing::PrintToString(onWine.err);
    EXPECT_GE(timedOut - sent, 2.0 - kStamp);
    EXPECT_LE(timedOut - sent, 2.1 + kStamp);
    ASSERT_GE(onWine.firstRequestToExit, 0.0) << ::testing::PrintToString(onWine.simErr);
    EXPECT_GE(onWine.firstRequestToExit, 2.0 - kLogLag);
    EXPECT_LE(onWine.firstRequestToExit, 2.1 + kWineExit);
}

// ---- Through a serial device server: the same as on the pty -------------------------------

enum class Scheme { kRaw, kTelnet };

std::string AddressOf(const DeviceServer& server, Scheme scheme) {
    return scheme == Scheme::kRaw ? server.RawAddress() : server.TelnetAddress();
}

struct NetRow {
    const char* name;
    Scheme scheme;
    std::vector<std::string> cli; // after --trace --port PORT
    friend void PrintTo(const NetRow& row, std::ostream* os) { *os << row.name; }
};

class WineNetCli : public WineCli, public ::testing::WithParamInterface<NetRow> {
  protected:
    // The side's ovextar-cli with --trace --port port and the row's arguments.
    SideRun RunOn(Side side, const std::string& port) {
        std::vector<std::string> cli{"--trace", "--port", port};
        cli.insert(cli.end(), GetParam().cli.begin(), GetParam().cli.end());
        return sides_.RunInside(side, cli);
    }
    // The flash pages a controller behind a fresh server held after the side's run on port
    // (the pty, or the server's address for the row's scheme).
    std::string FlashAfter(Side side, bool throughServer, SideRun& run) {
        const std::string dump = sides_.File(throughServer ? "net.txt" : "pty.txt");
        {
            DeviceServer server;
            std::string error;
            if (!server.Start({"--no-line", "--flash-dump", dump}, error)) {
                ADD_FAILURE() << error;
                return {};
            }
            run = RunOn(side, throughServer ? AddressOf(server, GetParam().scheme) : server.Pty());
        } // the controller writes its flash as it ends
        return ReadText(dump);
    }
};

class WineNetExchange : public WineNetCli {};

TEST_P(WineNetExchange, SendsAndReceivesWhatTheLinuxPtyRunDoes) {
    DeviceServer server;
    std::string error;
    ASSERT_TRUE(server.Start({"--no-line"}, error)) << error;
    const SideRun direct = RunOn(Side::kLinux, server.Pty());
    const SideRun net = RunOn(Side::kWine, AddressOf(server, GetParam().scheme));
    ASSERT_EQ(direct.exitCode, 0) << ::testing::PrintToString(direct.err);
    EXPECT_EQ(net.exitCode, 0) << ::testing::PrintToString(net.err);
    const auto sent = Traced(direct.err, "tx");
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(Traced(net.err, "tx"), sent);
    EXPECT_EQ(Traced(net.err, "rx"), Traced(direct.err, "rx"));
    EXPECT_EQ(Traced(net.err, "status"), Traced(direct.err, "status"));
    EXPECT_EQ(net.out, direct.out);
}

INSTANTIATE_TEST_SUITE_P(Rows, WineNetExchange,
                         ::testing::Values(NetRow{"RawCheck", Scheme::kRaw, {"check"}},
                                           NetRow{"TelnetCheck", Scheme::kTelnet, {"check"}},
                                           NetRow{"RawGet", Scheme::kRaw, {"get"}},
                                           NetRow{"TelnetGet", Scheme::kTelnet, {"get"}}),
                         RowName());

class WineNetLive : public WineNetCli {};

TEST_P(WineNetLive, GivesEveryFrameAsked) {
    DeviceServer server;
    std::string error;
    ASSERT_TRUE(server.Start({"--no-line"}, error)) << error;
    const SideRun net = RunOn(Side::kWine, AddressOf(server, GetParam().scheme));
    EXPECT_EQ(net.exitCode, 0) << ::testing::PrintToString(net.err);
    EXPECT_EQ(net.out.size(), 41u) << ::testing::PrintToString(net.out); // header, 40 samples
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WineNetLive,
    ::testing::Values(NetRow{"Raw", Scheme::kRaw, {"live", "--frames", "40"}},
                      NetRow{"Telnet", Scheme::kTelnet, {"live", "--frames", "40"}}),
    RowName());

class WineNetFlash : public WineNetCli {};

TEST_P(WineNetFlash, LeavesTheFlashThePtyRunDoes) {
    SideRun direct, net;
    const std::string onPty = FlashAfter(Side::kLinux, false, direct);
    const std::string throughServer = FlashAfter(Side::kWine, true, net);
    ASSERT_EQ(direct.exitCode, 0) << ::testing::PrintToString(direct.err);
    EXPECT_EQ(net.exitCode, 0) << ::testing::PrintToString(net.err);
    EXPECT_GT(Programmed(onPty), 1000);
    EXPECT_EQ(throughServer, onPty);
    EXPECT_EQ(Traced(net.err, "tx"), Traced(direct.err, "tx"));
}

INSTANTIATE_TEST_SUITE_P(Rows, WineNetFlash,
                         ::testing::Values(NetRow{"Raw", Scheme::kRaw, {"flash", kMeasurement}},
                                           NetRow{
                                               "Telnet", Scheme::kTelnet, {"flash", kMeasurement}}),
                         RowName());

// ---- A failed connection says why, as on Linux ---------------------------------------------

struct RefusedRow {
    const char* name;
    std::string address; // PORT: a port of 127.0.0.1 that nothing listens on
    const char* error;   // after "ovextar-cli: ADDRESS: "
    friend void PrintTo(const RefusedRow& row, std::ostream* os) { *os << row.name; }
};

class WineNetFailure : public WineCli, public ::testing::WithParamInterface<RefusedRow> {};

TEST_P(WineNetFailure, SaysWhyAsOnLinux) {
    std::string address = GetParam().address;
    if (const auto at = address.find("PORT"); at != std::string::npos) {
        address.replace(at, 4, std::to_string(FreeLoopbackPort()));
    }
    const SideRun onWine = sides_.RunInside(Side::kWine, {"--port", address, "check"});
    const SideRun onLinux = sides_.RunInside(Side::kLinux, {"--port", address, "check"});
    EXPECT_EQ(onWine.exitCode, 1);
    EXPECT_EQ(onWine.err,
              std::vector<std::string>{"ovextar-cli: " + address + ": " + GetParam().error});
    EXPECT_EQ(onWine.err, onLinux.err);
}

INSTANTIATE_TEST_SUITE_P(Rows, WineNetFailure,
                         ::testing::Values(RefusedRow{"RawRefused", "tcp://127.0.0.1:PORT",
                                                      "Cannot open port (connection refused)"},
                                           RefusedRow{"TelnetRefused", "rfc2217://127.0.0.1:PORT",
                                                      "Cannot open port (connection refused)"},
                                           RefusedRow{"UnknownHost",
                                                      "tcp://nosuchhost.invalid:4001",
                                                      "No serial port found (host not found)"}),
                         RowName());

} // namespace
} // namespace ovx::testing
