// The Windows OS files, run under wine by scripts/ovx windows (the exe is built with the MinGW
// cross compiler): which names are files, atomic saves, UTF-8 file names, port numbers and port
// names, the user's folders, the event wait's time-out and wake-up, networked ports against a
// peer on loopback. What crosses the line is tested through ovextar-cli.exe against the virtual
// controller (tests/windows).
#include <gtest/gtest.h>

#include <winsock2.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/path_text.h"
#include "platform/places.h"
#include "platform/port_watch.h"
#include "platform/serial.h"
#include "platform/serial_os.h"
#include "platform/timing.h"
#include "support/row_name.h"
#include "support/winsock_peer.h"

namespace ovx::platform {
namespace {

namespace fs = std::filesystem;

// A folder of the test's own under the system's temporary folder, removed afterwards.
class Scratch {
  public:
    Scratch() {
        path_ = fs::temp_directory_path() / ("ovx-win-" + std::to_string(std::random_device{}()));
        fs::create_directories(path_);
    }
    ~Scratch() {
        std::error_code ec;
        fs::permissions(path_ / "readonly.dat", fs::perms::owner_write, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    // name in the folder, as the program's UTF-8 text.
    std::string File(const std::string& name) const { return TextOf(path_) + "\\" + name; }
    void Put(const std::string& name, const std::string& text) const {
        std::ofstream(PathOf(File(name)), std::ios::binary) << text;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(PathOf(File(name)), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path_)) {
            names.push_back(TextOf(entry.path().filename()));
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    fs::path path_;
};

// ---- Which names are files ----------------------------------------------------------------

struct ReadRow {
    const char* name;
    std::string file; // in the scratch folder, unless it names a device
    bool inScratch;
    int result;
    const char* content; // of a file that is read
    friend void PrintTo(const ReadRow& row, std::ostream* os) { *os << row.name; }
};

class WindowsRead : public ::testing::TestWithParam<ReadRow> {};

TEST_P(WindowsRead, TakesRegularFilesOnly) {
    Scratch dir;
    dir.Put("plain.dat", "1\n2\n");
    dir.Put("\xc3\xa4nderung.dat", "umlaut\n"); // "änderung.dat"
    fs::create_directory(PathOf(dir.File("folder")));
    const ReadRow& row = GetParam();
    std::string text = "unchanged";
    const std::string path = row.inScratch ? dir.File(row.file) : row.file;
    EXPECT_EQ(ReadWholeFile(path.c_str(), 1000, text), row.result);
    EXPECT_EQ(text, row.content);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WindowsRead,
    ::testing::Values(ReadRow{"Plain", "plain.dat", true, 0, "1\n2\n"},
                      ReadRow{"Utf8Name", "\xc3\xa4nderung.dat", true, 0, "umlaut\n"},
                      ReadRow{"Missing", "missing.dat", true, kFileCannotOpen, "unchanged"},
                      ReadRow{"Folder", "folder", true, kFileNotRegular, "unchanged"},
                      ReadRow{"NullDevice", "NUL", false, kFileNotRegular, "unchanged"}),
    testing::RowName());

// ---- Atomic saves ---------------------------------------------------------------------------

struct SaveRow {
    const char* name;
    std::string target;
    bool existing; // target holds "old" before the save
    bool readOnly;
    int result;
    std::vector<std::string> after; // the folder's names afterwards
    friend void PrintTo(const SaveRow& row, std::ostream* os) { *os << row.name; }
};

class WindowsSave : public ::testing::TestWithParam<SaveRow> {};

TEST_P(WindowsSave, ReplacesWholeOrNotAtAll) {
    const SaveRow& row = GetParam();
    Scratch dir;
    if (row.existing) {
        dir.Put(row.target, "old");
        if (row.readOnly) {
            fs::permissions(PathOf(dir.File(row.target)), fs::perms::owner_write,
                            fs::perm_options::remove);
        }
    }
    constexpr int kInt32Elements = 1;
    const int values[3] = {7, 8, 9};
    const std::string path = dir.File(row.target);
    EXPECT_EQ(ArrayToFile(path.c_str(), values, kInt32Elements, 3, 1, 0, 0, 0, 1, 1, 0),
              row.result);
    EXPECT_EQ(dir.Names(), row.after);
    if (row.result == 0) {
        EXPECT_EQ(dir.Read(row.target), "7\n8\n9\n"); // line ends as on every system
    } else if (row.existing) {
        EXPECT_EQ(dir.Read(row.target), "old");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WindowsSave,
    ::testing::Values(
        SaveRow{"New", "p.dat", false, false, 0, {"p.dat"}},
        SaveRow{"ReplacesOld", "p.dat", true, false, 0, {"p.dat"}},
        SaveRow{"Utf8Name", "\xc3\xb6l.dat", true, false, 0, {"\xc3\xb6l.dat"}},
        SaveRow{"ReadOnlyStays", "readonly.dat", true, true, kFileCannotOpen, {"readonly.dat"}},
        SaveRow{"MissingFolder", "none\\p.dat", false, false, kFileCannotOpen, {}}),
    testing::RowName());

// ---- Port numbers and port names ----------------------------------------------------------

struct PortNameRow {
    const char* name;
    std::string device;
    int number; // 0: not a numbered port
    friend void PrintTo(const PortNameRow& row, std::ostream* os) { *os << row.name; }
};

class WindowsPortNumber : public ::testing::TestWithParam<PortNameRow> {};

TEST_P(WindowsPortNumber, IsTheSystemsOwn) {
    const PortNameRow& row = GetParam();
    EXPECT_EQ(detail::SystemPortNumber(row.device), row.number);
    if (row.number > 0) {
        EXPECT_EQ(detail::SystemPortDevice(row.number), "COM" + std::to_string(row.number));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WindowsPortNumber,
    ::testing::Values(PortNameRow{"Com1", "COM1", 1}, PortNameRow{"LowerCase", "com12", 12},
                      PortNameRow{"DeviceNamespace", "\\\\.\\COM9", 9},
                      PortNameRow{"Com255", "COM255", 255}, PortNameRow{"LeadingZero", "COM01", 0},
                      PortNameRow{"NoNumber", "COM", 0}, PortNameRow{"Letters", "COMX", 0},
                      PortNameRow{"TooLong", "COM1234", 0}, PortNameRow{"Printer", "LPT1", 0},
                      PortNameRow{"PosixDevice", "/dev/ttyS0", 0}),
    testing::RowName());

struct OpenRow {
    const char* name;
    std::string device;
    int result;
    friend void PrintTo(const OpenRow& row, std::ostream* os) { *os << row.name; }
};

class WindowsPortOpen : public ::testing::TestWithParam<OpenRow> {};

TEST_P(WindowsPortOpen, RefusesWhatIsNoSerialPort) {
    const OpenRow& row = GetParam();
    EXPECT_EQ(OpenComConfig(1, row.device.c_str(), 19200, 0, 8, 1, 512, 512), row.result);
    CloseCom(1);
}

INSTANTIATE_TEST_SUITE_P(Rows, WindowsPortOpen,
                         ::testing::Values(OpenRow{"MissingPort", "COM200", kComNoPortFound},
                                           OpenRow{"Folder", "C:\\windows", kComNoPortFound},
                                           OpenRow{"NullDevice", "NUL", kComNoPortFound},
                                           OpenRow{"Nonsense", "no such port", kComNoPortFound}),
                         testing::RowName());

std::string openFailure;

TEST(WindowsPortNumbering, PortNIsComNWhenNoneWasRegistered) {
    SetPortOpenHook([](int, const char* reason) { openFailure = reason; });
    // COM200 exists nowhere: the open fails on the name that port 200 stands for.
    EXPECT_EQ(OpenComConfig(200, "", 19200, 0, 8, 1, 512, 512), kComNoPortFound);
    SetPortOpenHook(nullptr);
    EXPECT_EQ(openFailure, "cannot open COM200: no such port.");
}

// ---- The user's folders and paths ---------------------------------------------------------

struct CleanRow {
    const char* name;
    std::string path, clean;
    friend void PrintTo(const CleanRow& row, std::ostream* os) { *os << row.name; }
};

class WindowsCleanPath : public ::testing::TestWithParam<CleanRow> {};

TEST_P(WindowsCleanPath, KeepsDriveRoots) {
    EXPECT_EQ(detail::CleanPath(GetParam().path), GetParam().clean);
}

INSTANTIATE_TEST_SUITE_P(Rows, WindowsCleanPath,
                         ::testing::Values(CleanRow{"TrailingSeparator", "C:\\a\\", "C:\\a"},
                                           CleanRow{"DriveRoot", "C:\\", "C:\\"},
                                           CleanRow{"DotDot", "C:/a/b/../c", "C:\\a\\c"}),
                         testing::RowName());

TEST(WindowsPlaces, HomeAndDocumentsAreFoldersOfTheUser) {
    const std::string home = detail::HomeDir();
    const std::string docs = detail::DocumentsDir();
    EXPECT_TRUE(fs::is_directory(PathOf(home))) << home;
    EXPECT_FALSE(docs.empty());
    EXPECT_EQ(docs.rfind(home, 0), 0u) << docs << " is not inside " << home;
    EXPECT_TRUE(fs::is_directory(PathOf(detail::BinaryDir()))) << detail::BinaryDir();
}

// ---- The event wait without a window ------------------------------------------------------

TEST(WindowsEventWait, WaitsOutItsTimeOutWithoutWatches) {
    const double start = Timer();
    WaitForEvents(start + 0.2);
    const double waited = Timer() - start;
    EXPECT_GE(waited, 0.2);
    EXPECT_LT(waited, 0.3);
}

TEST(WindowsEventWait, AWakeUpEndsTheWaitAtOnce) {
    WakeEventWait();
    const double start = Timer();
    WaitForEvents(start + 2.0);
    EXPECT_LT(Timer() - start, 0.5);
}

// ---- Networked ports against a peer on loopback --------------------------------------------

using Clock = std::chrono::steady_clock;
constexpr int kNetPort = 211;
constexpr int kFrame = 36;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs short turns of the event wait until pred() holds or 2 s pass.
template <typename Pred> bool ProcessUntil(Pred pred, double seconds = 2.0) {
    const auto start = Clock::now();
    while (!pred()) {
        if (SecondsSince(start) > seconds) {
            return false;
        }
        WaitForEvents(Timer() + 0.002);
    }
    return true;
}

// What the receive notification saw: it reads a frame each time.
struct NetRecorder {
    int calls = 0;
    std::string bytes;
};

void RecordFrame(int port, int /*eventWord*/, void* data) {
    auto& rec = *static_cast<NetRecorder*>(data);
    ++rec.calls;
    rec.bytes.assign(kFrame, '\0');
    ComRd(port, rec.bytes.data(), kFrame);
}

struct ProtocolRow {
    const char* name;
    bool telnet;
    friend void PrintTo(const ProtocolRow& row, std::ostream* os) { *os << row.name; }
};

// 36 bytes with the Telnet command byte among them: over Telnet, 40 go on the wire.
std::string Frame() {
    std::string frame(kFrame, '\x55');
    frame[0] = frame[7] = frame[20] = frame[35] = '\xFF';
    return frame;
}

class WindowsNetPort : public ::testing::TestWithParam<ProtocolRow> {
  protected:
    void SetUp() override {
        RegisterPort(kNetPort, peer_.Address());
        ASSERT_EQ(OpenComConfig(kNetPort, "", 19200, 0, 8, 1, 4096, 4096), 0);
        ASSERT_TRUE(peer_.Connected());
        ASSERT_EQ(SetComTime(kNetPort, 2.0), 0);
    }
    void TearDown() override {
        CloseCom(kNetPort);
        RegisterPort(kNetPort, "");
    }

    testing::WinsockPeer peer_{GetParam().telnet};
};

TEST_P(WindowsNetPort, NotifiesAtTheCountOfDecodedBytes) {
    NetRecorder rec;
    ASSERT_EQ(InstallComCallback(kNetPort, kEvNotifyCount, kFrame, 0, RecordFrame, &rec), 0);
    const std::string frame = Frame();
    peer_.Send(frame.substr(0, kFrame - 1));
    ASSERT_EQ(WaitInQLen(kNetPort, kFrame - 1, 2.0), kFrame - 1);
    EXPECT_FALSE(ProcessUntil([&] { return rec.calls > 0; }, 0.05));
    peer_.Send(frame.substr(kFrame - 1));
    ASSERT_TRUE(ProcessUntil([&] { return rec.calls >= 1; }));
    EXPECT_EQ(rec.bytes, frame);
    EXPECT_FALSE(ProcessUntil([&] { return rec.calls > 1; }, 0.05)); // read empty: not told again
    EXPECT_EQ(GetInQLen(kNetPort), 0);
}

// A wait for queued bytes ends when they come, and lasts its time-out when they do not.
TEST_P(WindowsNetPort, WaitEndsWithTheBytesOrAtItsTimeOut) {
    auto start = Clock::now();
    EXPECT_EQ(WaitInQLen(kNetPort, 3, 0.2), 0);
    EXPECT_GE(SecondsSince(start), 0.2);
    EXPECT_LT(SecondsSince(start), 0.3);
    std::thread sender([&] { peer_.Send("abc"); });
    start = Clock::now();
    EXPECT_EQ(WaitInQLen(kNetPort, 3, 2.0), 3);
    EXPECT_LT(SecondsSince(start), 0.5);
    sender.join();
}

TEST_P(WindowsNetPort, FlushDropsWhatWasReceived) {
    peer_.Send("abcdefghij");
    ASSERT_EQ(WaitInQLen(kNetPort, 10, 2.0), 10);
    EXPECT_EQ(FlushInQ(kNetPort), 0);
    EXPECT_EQ(GetInQLen(kNetPort), 0);
    peer_.Send("k");
    char byte = 0;
    EXPECT_EQ(ComRd(kNetPort, &byte, 1), 1);
    EXPECT_EQ(byte, 'k');
}

TEST_P(WindowsNetPort, PeerCloseIsALostLine) {
    peer_.Send("xy");
    ASSERT_EQ(WaitInQLen(kNetPort, 2, 2.0), 2);
    peer_.Close();
    char bytes[4] = {};
    EXPECT_EQ(ComRd(kNetPort, bytes, 4), 2); // what came before the close is still read
    EXPECT_TRUE(ProcessUntil([] { return detail::PortLineHungUp(kNetPort); }));
    EXPECT_EQ(ComRd(kNetPort, bytes, 1), kComUnknownIoError);
    EXPECT_EQ(ComWrt(kNetPort, "z", 1), kComUnknownIoError);
}

// A peer that takes nothing: the write's time-out ends it with the count that went out. 64 MB
// is more than the socket buffers of both ends can hold.
TEST_P(WindowsNetPort, StalledWriteReturnsTheCountThatWentOut) {
    ASSERT_EQ(SetComTime(kNetPort, 0.2), 0);
    const std::string big(64 << 20, '\xFF');
    const auto start = Clock::now();
    const int written = ComWrt(kNetPort, big.data(), static_cast<int>(big.size()));
    EXPECT_GT(written, 0);
    EXPECT_LT(written, static_cast<int>(big.size()));
    EXPECT_LT(SecondsSince(start), 1.0);
}

// An open connection has no device node and is not gone; once lost it is told gone, and, as an
// address needs no device to come back, offered again at the next look.
TEST_P(WindowsNetPort, LostConnectionIsToldGoneThenOfferedAgain) {
    std::vector<std::string> gone;
    std::vector<std::string> back;
    SetPortWatchHooks([&](int, const std::string& d) { gone.push_back(d); },
                      [&](int, const std::string& d) { back.push_back(d); });
    detail::PortWatchTick();
    EXPECT_TRUE(gone.empty());
    peer_.Close();
    char byte = 0;
    EXPECT_EQ(ComRd(kNetPort, &byte, 1), kComUnknownIoError);
    detail::PortWatchTick();
    detail::PortWatchTick();
    SetPortWatchHooks({}, {});
    EXPECT_EQ(gone, std::vector<std::string>{peer_.Address()});
    EXPECT_EQ(back, std::vector<std::string>{peer_.Address()});
}

INSTANTIATE_TEST_SUITE_P(Rows, WindowsNetPort,
                         ::testing::Values(ProtocolRow{"Raw", false}, ProtocolRow{"Telnet", true}),
                         testing::RowName());

// An open that fails says why, at once.
enum class FarEnd { kNothing, kOtherBaud, kNoComPort };

struct NetFailureRow {
    const char* name;
    FarEnd peer;
    int result;
    const char* reason; // after "cannot connect to ADDRESS: "
    friend void PrintTo(const NetFailureRow& row, std::ostream* os) { *os << row.name; }
};

class WindowsNetOpen : public ::testing::TestWithParam<NetFailureRow> {
  protected:
    void TearDown() override {
        SetPortOpenHook(nullptr);
        CloseCom(kNetPort);
    }
};

TEST_P(WindowsNetOpen, FailsWithTheReason) {
    const NetFailureRow& row = GetParam();
    std::optional<testing::WinsockPeer> peer;
    std::string address = "tcp://127.0.0.1:" + std::to_string(testing::FreeLoopbackPort());
    if (row.peer != FarEnd::kNothing) {
        peer.emplace(true, row.peer == FarEnd::kOtherBaud ? testing::PeerAnswer::kOtherBaud
                                                          : testing::PeerAnswer::kNoComPort);
        address = peer->Address();
    }
    SetPortOpenHook([](int, const char* reason) { openFailure = reason; });
    const auto start = Clock::now();
    EXPECT_EQ(OpenComConfig(kNetPort, address.c_str(), 19200, 0, 8, 1, 4096, 4096), row.result);
    EXPECT_LT(SecondsSince(start), 1.0); // told, not waited out
    EXPECT_EQ(openFailure, "cannot connect to " + address + ": " + row.reason + ".");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WindowsNetOpen,
    ::testing::Values(NetFailureRow{"Refused", FarEnd::kNothing, kComCannotOpenPort,
                                    "connection refused"},
                      NetFailureRow{"OtherBaudRate", FarEnd::kOtherBaud, kComCannotOpenPort,
                                    "the server refused the baud rate 19200"},
                      NetFailureRow{"NoComPortControl", FarEnd::kNoComPort, kComCannotOpenPort,
                                    "the server offers no COM port control"}),
    testing::RowName());

// A device server's question (WILL ECHO) comes just before its confirmations. The port answers
// it while the confirmations come in; the open takes them whenever they come. (Each lead is
// tried once: the moment of the answer varies, and one open in a few hundred met it.)
TEST(WindowsNetOpenAsked, TakesTheConfirmationsThatComeWhileItAnswers) {
    for (int leadUs = 0; leadUs <= 400; ++leadUs) {
        testing::WinsockPeer peer(true, testing::PeerAnswer::kAskFirst, leadUs);
        ASSERT_EQ(OpenComConfig(kNetPort, peer.Address().c_str(), 19200, 0, 8, 1, 4096, 4096), 0)
            << "confirmations " << leadUs << " us after the question";
        CloseCom(kNetPort);
    }
}

} // namespace
} // namespace ovx::platform
