// Serial services over a real pty: opening and its errors, the port table, reads, writes, the
// input queue, flushes and a device that hangs up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/port_watch.h"
#include "platform/pty_device.h"
#include "platform/serial.h"
#include "support/row_name.h"

namespace ovx::platform {
namespace {

using testing::Clock;
using testing::OpenAs;
using testing::PtyDevice;
using testing::SecondsSince;
using testing::WaitInQ;

constexpr int kPort = 201;
constexpr int kOtherPort = 202;
constexpr int kUnregisteredPort = 255;

int OpenDevice(int port, const char* device, long baud = 19200, int parity = 0, int bits = 8,
               int stop = 1) {
    return OpenComConfig(port, device, baud, parity, bits, stop, 4096, 4096);
}

TEST(SerialOpen, FailuresMapToTheirErrorCodes) {
    EXPECT_EQ(OpenDevice(0, "/dev/null"), kComInvalidPortNumber);
    EXPECT_EQ(OpenDevice(kMaxPorts + 1, "/dev/null"), kComInvalidPortNumber);
    EXPECT_EQ(OpenDevice(-3, ""), kComInvalidPortNumber);
    EXPECT_EQ(OpenDevice(kPort, "/dev/no-such-serial-device"), kComNoPortFound);
    EXPECT_EQ(OpenDevice(kUnregisteredPort, ""), kComNoPortFound);
    // A file that is not a terminal is no serial port.
    EXPECT_EQ(OpenDevice(kPort, "/dev/null"), kComNoPortFound);
    EXPECT_EQ(CloseCom(kPort), 0);
}

TEST(SerialOpen, UnsupportedLineSettingsAreInvalidParameters) {
    PtyDevice device;
    ASSERT_TRUE(device.Ok());
    const char* path = device.Path().c_str();
    EXPECT_EQ(OpenDevice(kPort, path, 12345), kComInvalidParameter);
    EXPECT_EQ(OpenDevice(kPort, path, 0), kComInvalidParameter);
    EXPECT_EQ(OpenDevice(kPort, path, 19200, 5), kComInvalidParameter);
    EXPECT_EQ(OpenDevice(kPort, path, 19200, 0, 9), kComInvalidParameter);
    EXPECT_EQ(OpenDevice(kPort, path, 19200, 0, 8, 3), kComInvalidParameter);
    EXPECT_EQ(OpenComConfig(kPort, path, 19200, 0, 8, 1, -1, 4096), kComInvalidParameter);
    EXPECT_EQ(ComWrt(kPort, "x", 1), kComPortNotOpen); // nothing was left open
    EXPECT_EQ(OpenDevice(kPort, path, 9600, 2, 7, 2), 0);
    EXPECT_EQ(CloseCom(kPort), 0);
}

TEST(SerialOpen, CallsOnAPortNotOpenReportIt) {
    char buf[4] = {};
    EXPECT_EQ(CloseCom(kPort), 0);
    EXPECT_EQ(CloseCom(kPort), 0);
    EXPECT_EQ(CloseCom(0), kComInvalidPortNumber);
    EXPECT_EQ(SetComTime(kPort, 1.0), kComPortNotOpen);
    EXPECT_EQ(SetCTSMode(kPort, 0), kComPortNotOpen);
    EXPECT_EQ(FlushInQ(kPort), kComPortNotOpen);
    EXPECT_EQ(FlushOutQ(kPort), kComPortNotOpen);
    EXPECT_EQ(ComWrt(kPort, buf, 4), kComPortNotOpen);
    EXPECT_EQ(ComRd(kPort, buf, 4), kComPortNotOpen);
    EXPECT_EQ(GetInQLen(kPort), kComPortNotOpen);
    EXPECT_EQ(InstallComCallback(kPort, kEvNotifyCount, 36, 85, nullptr, nullptr), kComPortNotOpen);
    EXPECT_EQ(GetInQLen(kMaxPorts + 1), kComInvalidPortNumber);
}

TEST(SerialOpen, SecondOpenOfABusyDeviceFailsUntilItIsClosed) {
    PtyDevice device;
    ASSERT_TRUE(device.Ok());
    ASSERT_EQ(OpenAs(kPort, device), 0);
    EXPECT_EQ(OpenDevice(kOtherPort, device.Path().c_str()), kComCannotOpenPort);
    EXPECT_EQ(CloseCom(kPort), 0);
    EXPECT_EQ(OpenDevice(kOtherPort, device.Path().c_str()), 0);
    EXPECT_EQ(CloseCom(kOtherPort), 0);
    RegisterPort(kPort, "");
}

TEST(SerialOpen, ReopeningAnOpenPortGivesAFreshWorkingPort) {
    PtyDevice device;
    ASSERT_TRUE(device.Ok());
    ASSERT_EQ(OpenAs(kPort, device), 0);
    ASSERT_EQ(OpenAs(kPort, device), 0);
    ASSERT_TRUE(device.Send(5));
    char buf[5] = {};
    EXPECT_EQ(ComRd(kPort, buf, 5), 5);
    EXPECT_EQ(ComWrt(kPort, "abc", 3), 3);
    EXPECT_EQ(device.Receive(3), std::vector<char>({'a', 'b', 'c'}));
    CloseCom(kPort);
    RegisterPort(kPort, "");
}

TEST(SerialPortTable, ListsRegisteredDevicesByNumber) {
    RegisterPort(kOtherPort, "/dev/pts/fake-b");
    RegisterPort(kPort, "/dev/pts/fake-a");
    RegisterPort(0, "/dev/ignored");
    RegisterPort(kMaxPorts + 1, "/dev/ignored");
    const std::vector<PortInfo> ports = ListPorts();
    RegisterPort(kPort, "");
    RegisterPort(kOtherPort, "");

    std::vector<int> numbers;
    int foundA = -1;
    for (const PortInfo& p : ports) {
        numbers.push_back(p.port);
        EXPECT_NE(p.device, "/dev/ignored");
        if (p.device == "/dev/pts/fake-a") {
            foundA = p.port;
        }
    }
    EXPECT_EQ(foundA, kPort);
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
    EXPECT_EQ(std::count(numbers.begin(), numbers.end(), kOtherPort), 1);
    for (const PortInfo& p : ListPorts()) {
        EXPECT_NE(p.device, "/dev/pts/fake-a"); // unregistered again
    }
}

TEST(SerialPortTable, RegisteredPtyOverridesADiscoveredNumber) {
    PtyDevice device;
    ASSERT_TRUE(device.Ok());
    RegisterPort(1, device.Path());
    const std::vector<PortInfo> ports = ListPorts();
    ASSERT_FALSE(ports.empty());
    EXPECT_EQ(ports.front().port, 1);
    EXPECT_EQ(ports.front().device, device.Path());
    EXPECT_EQ(std::count_if(ports.begin(), ports.end(), [](auto& p) { return p.port == 1; }), 1);
    EXPECT_EQ(OpenComConfig(1, "", 19200, 0, 8, 1, 4096, 4096), 0);
    CloseCom(1);
    RegisterPort(1, "");
}

class SerialLine : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(device_.Ok());
        ASSERT_EQ(OpenAs(kPort, device_), 0);
    }
    void TearDown() override {
        if (sender_.joinable()) {
            sender_.join();
        }
        CloseCom(kPort);
        RegisterPort(kPort, "");
    }
    // The device sends count bytes after a pause, from its own thread.
    void SendLater(double seconds, int count) {
        sender_ = std::thread([this, seconds, count] {
            std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
            device_.Send(count);
        });
    }
    void HangUpLater(double seconds) {
        sender_ = std::thread([this, seconds] {
            std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
            device_.HangUp();
        });
    }

    PtyDevice device_;
    std::thread sender_;
};

TEST_F(SerialLine, WriteSendsEveryByteUnchanged) {
    const std::vector<char> frame = PtyDevice::Pattern(256);
    EXPECT_EQ(ComWrt(kPort, frame.data(), 256), 256);
    EXPECT_EQ(device_.Receive(256), frame); // raw: no echo, no newline mapping
    EXPECT_EQ(ComWrt(kPort, frame.data(), 0), 0);
    EXPECT_EQ(ComWrt(kPort, nullptr, 3), kComInvalidParameter);
    EXPECT_EQ(ComWrt(kPort, frame.data(), -1), kComInvalidParameter);
}

TEST_F(SerialLine, ReadWaitsForTheFullCount) {
    SendLater(0.05, 36);
    std::vector<char> buf(36);
    EXPECT_EQ(ComRd(kPort, buf.data(), 36), 36);
    EXPECT_EQ(buf, PtyDevice::Pattern(36));
    EXPECT_EQ(GetInQLen(kPort), 0);
}

TEST_F(SerialLine, ReadOfMoreThan255BytesCompletes) {
    ASSERT_TRUE(device_.Send(300));
    SendLater(0.05, 300);
    std::vector<char> buf(600);
    EXPECT_EQ(ComRd(kPort, buf.data(), 600), 600);
    EXPECT_EQ(buf[299], static_cast<char>(299 & 0xff));
    EXPECT_EQ(buf[599], static_cast<char>(299 & 0xff));
}

TEST_F(SerialLine, ReadReturnsShortCountOnlyAfterTheTimeout) {
    ASSERT_EQ(SetComTime(kPort, 0.3), 0);
    ASSERT_TRUE(device_.Send(10));
    std::vector<char> buf(36);
    const auto start = Clock::now();
    EXPECT_EQ(ComRd(kPort, buf.data(), 36), 10);
    const double elapsed = SecondsSince(start);
    EXPECT_GE(elapsed, 0.29);
    EXPECT_LT(elapsed, 2.0);
    EXPECT_EQ(ComRd(kPort, buf.data(), -1), kComInvalidParameter);
}

TEST_F(SerialLine, TimeoutMustBeANonNegativeNumber) {
    EXPECT_EQ(SetComTime(kPort, -1.0), kComInvalidParameter);
    EXPECT_EQ(SetComTime(kPort, std::nan("")), kComInvalidParameter);
    ASSERT_EQ(SetComTime(kPort, 0.0), 0);
    char c = 0;
    EXPECT_EQ(ComRd(kPort, &c, 1), 0); // nothing queued, no waiting
    EXPECT_EQ(SetCTSMode(kPort, 0), 0);
    EXPECT_EQ(SetCTSMode(kPort, 7), kComInvalidParameter);
}

TEST_F(SerialLine, InputQueueCountsBytesWithoutEventProcessing) {
    EXPECT_EQ(GetInQLen(kPort), 0);
    ASSERT_TRUE(device_.Send(64));
    EXPECT_TRUE(WaitInQ(kPort, 64));
    EXPECT_EQ(GetInQLen(kPort), 64);
    std::vector<char> buf(64);
    EXPECT_EQ(ComRd(kPort, buf.data(), 64), 64);
    EXPECT_EQ(GetInQLen(kPort), 0);
}

TEST_F(SerialLine, PollingLoopWaitsInsteadOfSpinningAndKeepsItsTimeout) {
    int passes = 0;
    int n = 0;
    const auto start = Clock::now();
    do {
        n = GetInQLen(kPort);
        ++passes;
    } while (n < 64 && SecondsSince(start) <= 0.2);
    const double elapsed = SecondsSince(start);
    EXPECT_EQ(n, 0);
    EXPECT_LT(elapsed, 0.2 + 0.05);
    // Each pass waits up to about a millisecond; a spinning loop would make millions.
    EXPECT_LT(passes, 2000);
    EXPECT_GT(passes, 20);
}

TEST_F(SerialLine, PollingLoopEndsSoonAfterTheBytesArrive) {
    SendLater(0.1, 64);
    const auto start = Clock::now();
    while (GetInQLen(kPort) < 64 && SecondsSince(start) <= 2.0) {
    }
    EXPECT_EQ(GetInQLen(kPort), 64);
    EXPECT_LT(SecondsSince(start), 1.0);
}

TEST_F(SerialLine, FlushInDropsQueuedBytes) {
    ASSERT_TRUE(device_.Send(20));
    ASSERT_TRUE(WaitInQ(kPort, 20));
    EXPECT_EQ(FlushInQ(kPort), 0);
    EXPECT_EQ(GetInQLen(kPort), 0);
    ASSERT_EQ(SetComTime(kPort, 0.05), 0);
    char buf[20];
    EXPECT_EQ(ComRd(kPort, buf, 20), 0);
    EXPECT_EQ(FlushOutQ(kPort), 0);
    ASSERT_TRUE(device_.Send(3, 7));
    EXPECT_EQ(ComRd(kPort, buf, 3), 3);
    EXPECT_EQ(buf[0], 7); // later bytes are kept
}

TEST_F(SerialLine, HangUpFailsReadsAndWritesPromptly) {
    HangUpLater(0.05);
    char buf[36];
    const auto start = Clock::now();
    EXPECT_EQ(ComRd(kPort, buf, 36), kComUnknownIoError); // time-out is still 10 s
    EXPECT_LT(SecondsSince(start), 2.0);
    EXPECT_EQ(ComRd(kPort, buf, 36), kComUnknownIoError);
    EXPECT_EQ(ComWrt(kPort, buf, 36), kComUnknownIoError);
    EXPECT_EQ(GetInQLen(kPort), kComUnknownIoError);
    EXPECT_EQ(FlushInQ(kPort), kComUnknownIoError);
    EXPECT_LT(SecondsSince(start), 2.0);
    EXPECT_EQ(CloseCom(kPort), 0);
}

TEST_F(SerialLine, HangUpKeepsBytesReadBeforeIt) {
    ASSERT_TRUE(device_.Send(10));
    ASSERT_TRUE(WaitInQ(kPort, 10));
    HangUpLater(0.05);
    char buf[36];
    const auto start = Clock::now();
    EXPECT_EQ(ComRd(kPort, buf, 36), 10);
    EXPECT_LT(SecondsSince(start), 2.0);
    EXPECT_EQ(ComRd(kPort, buf, 36), kComUnknownIoError);
}

TEST_F(SerialLine, PollingLoopOnADeadLineDoesNotSpin) {
    device_.HangUp();
    int passes = 0;
    const auto start = Clock::now();
    while (GetInQLen(kPort) < 64 && SecondsSince(start) <= 0.1) {
        ++passes;
    }
    EXPECT_LT(passes, 1000);
}

// A pulled USB adapter is known again by its vendor and product ids and serial number, under
// whatever name it comes back; another adapter is never taken for it.
struct ReturnRow {
    const char* name;
    std::vector<detail::ListedPort> present; // after the adapter was pulled
    std::string back;                        // where it is told back; "" never
    friend void PrintTo(const ReturnRow& row, std::ostream* os) { *os << row.name; }
};

class AdapterComesBack : public ::testing::TestWithParam<ReturnRow> {
  protected:
    static constexpr const char* kDevice = "/dev/ovx-test-usb0"; // never a node: gone at once
    static constexpr const char* kIdentity = "067b:2303#A1B2";

    void SetUp() override {
        detail::SetPortLister([this] { return present_; });
        SetPortWatchHooks([this](int, const std::string& d) { gone_.push_back(d); },
                          [this](int, const std::string& d) { back_.push_back(d); });
    }
    void TearDown() override {
        detail::StopPortWatch(kPort);
        SetPortWatchHooks({}, {});
        detail::SetPortLister({});
    }

    std::vector<detail::ListedPort> present_{{"/dev/ttyS0", ""}, {kDevice, kIdentity}};
    std::vector<std::string> gone_, back_;
};

TEST_P(AdapterComesBack, OnlyTheSameAdapterIsOfferedAgain) {
    detail::StartPortWatch(kPort, kDevice);
    present_.clear();
    detail::PortWatchTick();
    ASSERT_EQ(gone_, std::vector<std::string>{kDevice});
    detail::PortWatchTick();
    EXPECT_TRUE(back_.empty()); // nothing present yet

    present_ = GetParam().present;
    detail::PortWatchTick();
    const std::vector<std::string> none;
    EXPECT_EQ(back_, GetParam().back.empty() ? none : std::vector{GetParam().back});
    EXPECT_EQ(gone_.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AdapterComesBack,
    ::testing::Values(
        ReturnRow{
            "UnderAnotherName", {{"/dev/ovx-test-usb1", "067b:2303#A1B2"}}, "/dev/ovx-test-usb1"},
        ReturnRow{"AmongOthers",
                  {{"/dev/ttyS0", ""},
                   {"/dev/ovx-a", "0403:6001#A1B2"},
                   {"/dev/ovx-b", "067b:2303#A1B2"}},
                  "/dev/ovx-b"},
        ReturnRow{"OtherSerialNumber", {{"/dev/ovx-test-usb0", "067b:2303#Z999"}}, ""},
        ReturnRow{"OtherProduct", {{"/dev/ovx-test-usb0", "067b:23a3#A1B2"}}, ""},
        ReturnRow{"NoIdsUnderItsName", {{"/dev/ovx-test-usb0", ""}}, ""}),
    ovx::testing::RowName{});

// WaitInQLen: one wait in the OS until the count is queued, exact to its time-out; a dead line
// is waited out and an interrupt ends the wait, neither ever spinning.
struct QueueWaitRow {
    const char* name;
    int queued;     // bytes queued before the wait
    int later;      // bytes the device sends after kEventAfter (0 = none)
    bool hangUp;    // the device hangs up after kEventAfter
    bool interrupt; // InterruptComWaits after kEventAfter
    int expected;   // what the wait returns
    double minSeconds, maxSeconds;
};

constexpr double kEventAfter = 0.05;
constexpr double kQueueWaitTimeout = 0.5;
constexpr double kLate = 0.25; // how late a loaded machine may wake a waiting thread

// Waits (at most 1 s) until the device's bytes are in the input queue.
bool WaitUntilQueued(int count) {
    const auto start = Clock::now();
    while (GetInQLen(kPort) < count && SecondsSince(start) < 1.0) {
    }
    return GetInQLen(kPort) == count;
}

void PrintTo(const QueueWaitRow& row, std::ostream* os) {
    *os << row.name;
}

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

class QueueWait : public SerialLine, public ::testing::WithParamInterface<QueueWaitRow> {
  protected:
    void TearDown() override {
        SerialLine::TearDown();
        ResumeComWaits();
    }
};

TEST_P(QueueWait, ReturnsWithTheCountOrAtItsTimeOutWithoutSpinning) {
    const QueueWaitRow& row = GetParam();
    ASSERT_TRUE(device_.Send(row.queued));
    ASSERT_TRUE(WaitUntilQueued(row.queued));
    sender_ = std::thread([this, row] {
        std::this_thread::sleep_for(std::chrono::duration<double>(kEventAfter));
        if (row.later > 0) {
            device_.Send(row.later, row.queued);
        }
        if (row.hangUp) {
            device_.HangUp();
        }
        if (row.interrupt) {
            InterruptComWaits();
        }
    });
    const double cpu = ThreadCpuSeconds();
    const auto start = Clock::now();
    const int n = WaitInQLen(kPort, 36, kQueueWaitTimeout);
    const double elapsed = SecondsSince(start);
    EXPECT_EQ(n, row.expected);
    EXPECT_GE(elapsed, row.minSeconds);
    EXPECT_LT(elapsed, row.maxSeconds);
    EXPECT_LT(ThreadCpuSeconds() - cpu, 0.02);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, QueueWait,
    ::testing::Values(
        QueueWaitRow{"AlreadyQueued", 40, 0, false, false, 40, 0.0, kEventAfter},
        QueueWaitRow{"ArrivesWhole", 0, 36, false, false, 36, kEventAfter, kEventAfter + kLate},
        QueueWaitRow{"RestArrives", 10, 26, false, false, 36, kEventAfter, kEventAfter + kLate},
        QueueWaitRow{"TooFewUntilTheTimeOut", 10, 20, false, false, 30, kQueueWaitTimeout,
                     kQueueWaitTimeout + kLate},
        QueueWaitRow{"SilentUntilTheTimeOut", 0, 0, false, false, 0, kQueueWaitTimeout,
                     kQueueWaitTimeout + kLate},
        QueueWaitRow{"DeadLineWaitedOut", 0, 0, true, false, kComUnknownIoError, kQueueWaitTimeout,
                     kQueueWaitTimeout + kLate},
        QueueWaitRow{"InterruptEndsIt", 0, 0, false, true, 0, kEventAfter, kEventAfter + kLate}),
    [](const ::testing::TestParamInfo<QueueWaitRow>& row) { return row.param.name; });

} // namespace
} // namespace ovx::platform
