// ovextar-cli through a serial device server on loopback (ser2net in front of ovextar-sim on a
// pty), over raw TCP and over Telnet with COM port control: the same exchange as on the pty
// itself, the line set up by this side over Telnet, and the failures of a connection.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/device_server.h"
#include "support/loopback.h"
#include "support/program_run.h"
#include "support/row_name.h"
#include "support/scratch_dir.h"

namespace ovx::cli {
namespace {

using testing::DeviceServer;
using testing::LinesStartingWith;
using testing::ProgramCall;
using testing::ProgramResult;
using testing::RunProgram;
using Clock = std::chrono::steady_clock;

enum class Protocol { kRaw, kTelnet };

std::string AddressOf(const DeviceServer& server, Protocol protocol) {
    return protocol == Protocol::kRaw ? server.RawAddress() : server.TelnetAddress();
}

// The frames of one kind (" tx: " or " rx: ") of a trace, without their time stamps.
std::vector<std::string> Frames(const std::string& err, const char* kind) {
    std::vector<std::string> frames;
    for (const std::string& line : LinesStartingWith(err, "")) {
        if (const auto at = line.find(kind); at != std::string::npos) {
            frames.push_back(line.substr(at + 1));
        }
    }
    return frames;
}

// A measurement file whose table comes out as entry n = 4 n + 3.
void WriteMeasurement(const std::string& path) {
    std::ofstream out(path);
    for (int k = 0; k < 1024; ++k) {
        out << 4 * (1023 - k) + 3 << "\t" << k << "\n";
    }
}

class NetCli : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.Valid());
        WriteMeasurement(dir_.File("TARconfig.dat"));
    }
    // Starts the controller (with its options) and the device server in front of it.
    void StartServer(const std::vector<std::string>& simArgs = {"--no-line"}) {
        std::string error;
        ASSERT_TRUE(server_.Start(simArgs, error)) << error;
    }
    ProgramResult Cli(const std::string& port, const std::vector<std::string>& args) {
        ProgramCall call{"ovextar-cli", {"--trace", "--port", port}, dir_.Path()};
        for (const std::string& a : args) {
            call.args.push_back(a == "MEAS" ? dir_.File("TARconfig.dat") : a);
        }
        return RunProgram(call);
    }

    testing::ScratchDir dir_;
    DeviceServer server_;
};

// ---- The same exchange as on the pty --------------------------------------------------------

// What two runs of the same command have in common: everything; the orders sent (the controller's
// samples move between the runs); or the count of orders (the first run changed the controller).
enum class Same { kAll, kSent, kCount };

struct ExchangeRow {
    const char* name;
    Protocol protocol;
    std::vector<std::string> args;
    Same same = Same::kAll;
};

void PrintTo(const ExchangeRow& row, std::ostream* os) {
    *os << row.name;
}

class NetCliExchange : public NetCli, public ::testing::WithParamInterface<ExchangeRow> {};

TEST_P(NetCliExchange, SendsAndReceivesWhatThePtyRunDoes) {
    const ExchangeRow& row = GetParam();
    StartServer();
    const ProgramResult direct = Cli(server_.Pty(), row.args);
    const ProgramResult net = Cli(AddressOf(server_, row.protocol), row.args);
    ASSERT_EQ(direct.exitCode, 0) << direct.err;
    EXPECT_EQ(net.exitCode, 0) << net.err;
    const std::vector<std::string> sent = Frames(net.err, " tx: ");
    EXPECT_FALSE(sent.empty());
    if (row.same == Same::kCount) {
        EXPECT_EQ(sent.size(), Frames(direct.err, " tx: ").size());
        return;
    }
    EXPECT_EQ(sent, Frames(direct.err, " tx: "));
    if (row.same == Same::kAll) {
        EXPECT_EQ(net.out, direct.out);
        EXPECT_EQ(Frames(net.err, " rx: "), Frames(direct.err, " rx: "));
    } else {
        EXPECT_EQ(LinesStartingWith(net.out, "").size(), LinesStartingWith(direct.out, "").size());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NetCliExchange,
    ::testing::Values(ExchangeRow{"RawCheck", Protocol::kRaw, {"check"}},
                      ExchangeRow{"TelnetCheck", Protocol::kTelnet, {"check"}},
                      ExchangeRow{"RawGet", Protocol::kRaw, {"get"}},
                      ExchangeRow{"TelnetGetEeprom", Protocol::kTelnet, {"get", "--eeprom"}},
                      ExchangeRow{"RawSend", Protocol::kRaw, {"send", "power=500"}},
                      ExchangeRow{
                          "TelnetSendEeprom", Protocol::kTelnet, {"send", "--eeprom", "power=500"}},
                      ExchangeRow{"RawTeach", Protocol::kRaw, {"teach"}, Same::kCount},
                      ExchangeRow{"TelnetReset", Protocol::kTelnet, {"reset"}},
                      ExchangeRow{"RawCurve", Protocol::kRaw, {"curve", "--raw"}, Same::kSent},
                      ExchangeRow{"TelnetCurve", Protocol::kTelnet, {"curve"}, Same::kSent},
                      ExchangeRow{"RawFlash", Protocol::kRaw, {"flash", "MEAS"}},
                      ExchangeRow{"TelnetFlash", Protocol::kTelnet, {"flash", "MEAS"}}),
    testing::RowName());

struct LiveRow {
    const char* name;
    Protocol protocol;
};

void PrintTo(const LiveRow& row, std::ostream* os) {
    *os << row.name;
}

class NetCliLive : public NetCli, public ::testing::WithParamInterface<LiveRow> {};

TEST_P(NetCliLive, GivesEveryFrameAsked) {
    StartServer();
    const ProgramResult r =
        Cli(AddressOf(server_, GetParam().protocol), {"live", "--frames", "40"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(LinesStartingWith(r.out, "").size(), 41u) << r.out; // the header and 40 samples
}

INSTANTIATE_TEST_SUITE_P(Rows, NetCliLive,
                         ::testing::Values(LiveRow{"Raw", Protocol::kRaw},
                                           LiveRow{"Telnet", Protocol::kTelnet}),
                         testing::RowName());

// ---- The controller's faults, as on the pty ---------------------------------------------------

// The controller misbehaves behind the server; the command ends with the exit code and the last
// error line that the same fault gives on the virtual controller inside the program.
struct FaultRow {
    const char* name;
    Protocol protocol;
    std::vector<std::string> faults; // options of ovextar-sim
    std::vector<std::string> args;   // the command
};

void PrintTo(const FaultRow& row, std::ostream* os) {
    *os << row.name;
}

// The last line of stderr with the port's name (an address or the virtual controller) as PORT.
std::string LastErrorLine(const ProgramResult& r, const std::string& portName) {
    const std::vector<std::string> lines = LinesStartingWith(r.err, "ovextar-cli: ");
    std::string last = lines.empty() ? std::string("(no error line)") : lines.back();
    if (const auto at = last.find(portName); at != std::string::npos) {
        last.replace(at, portName.size(), "PORT");
    }
    return last;
}

class NetCliFault : public NetCli, public ::testing::WithParamInterface<FaultRow> {};

TEST_P(NetCliFault, EndsAsOnTheVirtualControllerInsideTheProgram) {
    const FaultRow& row = GetParam();
    std::vector<std::string> simArgs = row.faults;
    simArgs.push_back("--no-line");
    StartServer(simArgs);
    ProgramCall inside{"ovextar-cli", {"--verbose", "--simulator"}, dir_.Path()};
    inside.args.insert(inside.args.end(), simArgs.begin(), simArgs.end());
    inside.args.insert(inside.args.end(), row.args.begin(), row.args.end());
    const ProgramResult expected = RunProgram(inside);
    const std::string address = AddressOf(server_, row.protocol);
    std::vector<std::string> args{"--verbose"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const ProgramResult net = Cli(address, args);
    ASSERT_EQ(expected.exitCode, 1) << expected.err;
    EXPECT_EQ(net.exitCode, 1) << net.err;
    EXPECT_EQ(LastErrorLine(net, address), LastErrorLine(expected, "the virtual controller"));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NetCliFault,
    ::testing::Values(FaultRow{"RawSilent", Protocol::kRaw, {"--silent"}, {"check"}},
                      FaultRow{"TelnetSilent", Protocol::kTelnet, {"--silent"}, {"get"}},
                      FaultRow{"RawGarbage", Protocol::kRaw, {"--garbage=5"}, {"info"}},
                      FaultRow{"TelnetGarbage", Protocol::kTelnet, {"--garbage=5"}, {"info"}},
                      FaultRow{"RawCut", Protocol::kRaw, {"--cut=20"}, {"get"}},
                      FaultRow{"TelnetCut", Protocol::kTelnet, {"--cut=20"}, {"check"}},
                      FaultRow{"RawUnplugTeach", Protocol::kRaw, {"--unplug-after=3"}, {"teach"}},
                      FaultRow{"TelnetUnplugLive",
                               Protocol::kTelnet,
                               {"--unplug-after=6"},
                               {"live", "--frames", "50"}}),
    testing::RowName());

// ---- The line set up over Telnet ------------------------------------------------------------

// The server opens the pty at 9600 7E2; a Telnet client leaves it at 19200 8N1.
TEST_F(NetCli, TelnetSetsTheLineOnTheDevice) {
    StartServer();
    ASSERT_EQ(Cli(server_.TelnetAddress(), {"check"}).exitCode, 0);
    const int fd = open(server_.Pty().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    termios tio{};
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    close(fd);
    EXPECT_EQ(cfgetospeed(&tio), B19200);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
}

// ---- A device server switched off mid-run ----------------------------------------------------

// The command runs on until it has given lineFirst, then the server stops; the command ends as
// it does when the virtual controller closes the pty.
struct LostRow {
    const char* name;
    Protocol protocol;
    std::vector<std::string> args;
    const char* lineFirst; // text the command has given before the server stops
    const char* error;     // the start of the last line of stderr
};

void PrintTo(const LostRow& row, std::ostream* os) {
    *os << row.name;
}

class NetCliLost : public NetCli, public ::testing::WithParamInterface<LostRow> {};

TEST_P(NetCliLost, EndsAsAnUnpluggedLineDoes) {
    const LostRow& row = GetParam();
    StartServer({}); // at the line's pace: the flash takes seconds
    testing::ChildProcess cli;
    std::vector<std::string> argv{testing::ProgramPath("ovextar-cli"), "--verbose", "--port",
                                  AddressOf(server_, row.protocol)};
    for (const std::string& a : row.args) {
        argv.push_back(a == "MEAS" ? dir_.File("TARconfig.dat") : a);
    }
    std::string error;
    ASSERT_TRUE(cli.Start({argv, {}, {}, dir_.Path()}, error)) << error;
    ASSERT_TRUE(cli.WaitForText(row.lineFirst, 20)) << cli.Err();
    server_.StopServer();
    ASSERT_TRUE(cli.Wait(20)) << cli.Err();
    EXPECT_EQ(cli.ExitCode(), 1) << cli.Err();
    const std::vector<std::string> lines = cli.ErrLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines.back().starts_with(row.error)) << lines.back();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NetCliLost,
    ::testing::Values(
        LostRow{"RawLive",
                Protocol::kRaw,
                {"live"},
                "\n0.5",
                "ovextar-cli: live: no live frame taken for more than 2.0 s (Timeout RS232-Line!)"},
        LostRow{"TelnetLive",
                Protocol::kTelnet,
                {"live"},
                "\n0.5",
                "ovextar-cli: live: no live frame taken for more than 2.0 s (Timeout RS232-Line!)"},
        LostRow{"RawFlash",
                Protocol::kRaw,
                {"flash", "MEAS"},
                "page5",
                "ovextar-cli: flash: pages not written:"},
        LostRow{"TelnetFlash",
                Protocol::kTelnet,
                {"flash", "MEAS"},
                "page5",
                "ovextar-cli: flash: pages not written:"}),
    testing::RowName());

// ---- Failures -------------------------------------------------------------------------------

// A listening socket that takes connections into its queue and never answers; with full
// set, its queue is full and a new connection is never completed.
class Unanswering {
  public:
    explicit Unanswering(bool full) {
        listener_ = testing::ListenOnLoopback(0, port_);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(port_));
        for (int i = 0; full && i < 2; ++i) {
            const int c = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
            fillers_.push_back(c);
        }
    }
    ~Unanswering() {
        for (const int fd : fillers_) {
            close(fd);
        }
        close(listener_);
    }
    int Port() const { return port_; }

  private:
    int listener_ = -1;
    int port_ = 0;
    std::vector<int> fillers_;
};

enum class Peer { kNone, kFullQueue, kSilent, kUnknownHost };

struct FailureRow {
    const char* name;
    const char* scheme;
    Peer peer;
    const char* command; // check takes its own way to the port; the others the start-up's
    const char* error;   // after "ovextar-cli: ADDRESS: "
    double atLeast;      // seconds the failure takes at least
    double margin = 0.5; // and less than that much more
};

void PrintTo(const FailureRow& row, std::ostream* os) {
    *os << row.name;
}

class NetCliFailure : public ::testing::TestWithParam<FailureRow> {};

TEST_P(NetCliFailure, EndsWithItsErrorWithinTheConnectLimit) {
    const FailureRow& row = GetParam();
    Unanswering peer(row.peer == Peer::kFullQueue);
    const int port = row.peer == Peer::kNone ? testing::FreeLoopbackPort() : peer.Port();
    const std::string address =
        std::string(row.scheme) + (row.peer == Peer::kUnknownHost
                                       ? "nosuchhost.invalid:4001" // the resolver's answer at once
                                       : "127.0.0.1:" + std::to_string(port));
    const auto start = Clock::now();
    const ProgramResult r = RunProgram({"ovextar-cli", {"--port", address, row.command}});
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.err, "ovextar-cli: " + address + ": " + row.error + "\n");
    EXPECT_GE(seconds, row.atLeast);
    EXPECT_LT(seconds, row.atLeast + row.margin);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NetCliFailure,
    ::testing::Values(
        FailureRow{"RawRefused", "tcp://", Peer::kNone, "check",
                   "Cannot open port (connection refused)", 0.0},
        FailureRow{"TelnetRefused", "rfc2217://", Peer::kNone, "check",
                   "Cannot open port (connection refused)", 0.0},
        FailureRow{"RawRefusedGet", "tcp://", Peer::kNone, "get",
                   "Cannot open port (connection refused)", 0.0},
        FailureRow{"RawUnreachable", "tcp://", Peer::kFullQueue, "check",
                   "Cannot open port (no answer within 2 s)", 2.0},
        FailureRow{"TelnetUnreachable", "rfc2217://", Peer::kFullQueue, "info",
                   "Cannot open port (no answer within 2 s)", 2.0},
        FailureRow{"TelnetServerSilent", "rfc2217://", Peer::kSilent, "check",
                   "Cannot open port (the server did not confirm the line settings within 2 s)",
                   2.0},
        FailureRow{"RawUnknownHost", "tcp://", Peer::kUnknownHost, "check",
                   "No serial port found (host not found)", 0.0, 2.0}),
    testing::RowName());

} // namespace
} // namespace ovx::cli
