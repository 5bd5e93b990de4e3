// A networked port behind the serial services, against a peer on loopback, raw and over Telnet:
// the receive notification at its count of decoded bytes, the flush, and the peer's close.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/net_peer.h"
#include "platform/port_watch.h"
#include "platform/serial_notify_fixture.h"
#include "support/row_name.h"

namespace ovx::platform::testing {
namespace {

struct ProtocolRow {
    const char* name;
    bool telnet;
};

void PrintTo(const ProtocolRow& row, std::ostream* os) {
    *os << row.name;
}

// 36 bytes with the Telnet command byte among them: over Telnet, 40 go on the wire.
std::string Frame() {
    std::string frame(kFrame, '\x55');
    frame[0] = frame[7] = frame[20] = frame[35] = '\xFF';
    return frame;
}

class NetPort : public ::testing::TestWithParam<ProtocolRow> {
  protected:
    void SetUp() override {
        RegisterPort(kPort, peer_.Address());
        ASSERT_EQ(OpenComConfig(kPort, "", 19200, 0, 8, 1, 4096, 4096), 0);
        ASSERT_TRUE(peer_.Connected());
        ASSERT_EQ(SetComTime(kPort, 2.0), 0);
    }
    void TearDown() override {
        CloseCom(kPort);
        RegisterPort(kPort, "");
    }

    LoopbackPeer peer_{GetParam().telnet};
    Recorder rec_;
};

TEST_P(NetPort, NotifiesAtTheCountOfDecodedBytes) {
    ASSERT_EQ(InstallComCallback(kPort, kMask, kFrame, 0, Record, &rec_), 0);
    const std::string frame = Frame();
    peer_.Send(frame.substr(0, kFrame - 1));
    ASSERT_TRUE(WaitInQ(kPort, kFrame - 1));
    ProcessFor(0.05);
    EXPECT_EQ(rec_.calls, 0);
    peer_.Send(frame.substr(kFrame - 1));
    ASSERT_TRUE(ProcessUntil([&] { return rec_.calls >= 1; }));
    EXPECT_EQ(std::string(rec_.bytes.begin(), rec_.bytes.end()), frame);
    ProcessFor(0.05);
    EXPECT_EQ(rec_.calls, 1); // read empty: not told again
    EXPECT_EQ(GetInQLen(kPort), 0);
}

TEST_P(NetPort, FlushDropsWhatWasReceived) {
    peer_.Send("abcdefghij");
    ASSERT_TRUE(WaitInQ(kPort, 10));
    EXPECT_EQ(FlushInQ(kPort), 0);
    EXPECT_EQ(GetInQLen(kPort), 0);
    peer_.Send("k");
    char byte = 0;
    EXPECT_EQ(ComRd(kPort, &byte, 1), 1);
    EXPECT_EQ(byte, 'k');
}

TEST_P(NetPort, PeerCloseIsALostLine) {
    peer_.Send("xy");
    ASSERT_TRUE(WaitInQ(kPort, 2));
    peer_.Close();
    char bytes[4] = {};
    EXPECT_EQ(ComRd(kPort, bytes, 4), 2); // what came before the close is still read
    EXPECT_TRUE(ProcessUntil([] { return detail::PortLineHungUp(kPort); }));
    EXPECT_EQ(ComRd(kPort, bytes, 1), kComUnknownIoError);
    EXPECT_EQ(ComWrt(kPort, "z", 1), kComUnknownIoError);
}

TEST_P(NetPort, PollingALostConnectionDoesNotSpin) {
    peer_.Close();
    char byte = 0;
    ASSERT_EQ(ComRd(kPort, &byte, 1), kComUnknownIoError);
    int passes = 0;
    const auto start = Clock::now();
    while (GetInQLen(kPort) < 36 && SecondsSince(start) <= 0.1) {
        ++passes;
    }
    EXPECT_LT(passes, 1000); // each pass waits about a millisecond in the OS
}

// A peer that takes nothing: the write's time-out ends it with the count that went out. 64 MB
// is more than the largest socket buffers of both ends together.
TEST_P(NetPort, StalledWriteReturnsTheCountThatWentOut) {
    ASSERT_EQ(SetComTime(kPort, 0.2), 0);
    const std::string big(64 << 20, '\xFF');
    const int written = ComWrt(kPort, big.data(), static_cast<int>(big.size()));
    EXPECT_GT(written, 0);
    EXPECT_LT(written, static_cast<int>(big.size()));
}

// The port's watch: a connection is there until it is lost, then it is told gone, and since an
// address needs no device to come back, offered again at the next look.
TEST_P(NetPort, LostConnectionIsToldGoneThenOfferedAgain) {
    std::vector<std::string> gone;
    std::vector<std::string> back;
    SetPortWatchHooks([&](int, const std::string& d) { gone.push_back(d); },
                      [&](int, const std::string& d) { back.push_back(d); });
    detail::PortWatchTick();
    EXPECT_TRUE(gone.empty()); // an open connection has no device node, and is not gone
    peer_.Close();
    char byte = 0;
    EXPECT_EQ(ComRd(kPort, &byte, 1), kComUnknownIoError);
    detail::PortWatchTick();
    detail::PortWatchTick();
    SetPortWatchHooks({}, {});
    EXPECT_EQ(gone, std::vector<std::string>{peer_.Address()});
    EXPECT_EQ(back, std::vector<std::string>{peer_.Address()});
}

INSTANTIATE_TEST_SUITE_P(Rows, NetPort,
                         ::testing::Values(ProtocolRow{"Raw", false}, ProtocolRow{"Telnet", true}),
                         ovx::testing::RowName());

// A Telnet server that does not take the line settings: the open fails at once with the reason.
struct RefusalRow {
    const char* name;
    PeerAnswer answer;
    const char* reason; // after "cannot connect to ADDRESS: "
};

void PrintTo(const RefusalRow& row, std::ostream* os) {
    *os << row.name;
}

std::string lastReason;
void KeepReason(int /*port*/, const char* reason) {
    lastReason = reason;
}

class NetPortRefused : public ::testing::TestWithParam<RefusalRow> {
  protected:
    void TearDown() override {
        SetPortOpenHook(nullptr);
        CloseCom(kPort);
    }
};

TEST_P(NetPortRefused, FailsTheOpenWithTheReason) {
    LoopbackPeer peer(true, GetParam().answer);
    SetPortOpenHook(KeepReason);
    const auto start = Clock::now();
    EXPECT_EQ(OpenComConfig(kPort, peer.Address().c_str(), 19200, 0, 8, 1, 4096, 4096),
              kComCannotOpenPort);
    EXPECT_LT(SecondsSince(start), 1.0); // told, not waited out
    EXPECT_EQ(lastReason, "cannot connect to " + peer.Address() + ": " + GetParam().reason + ".");
}

INSTANTIATE_TEST_SUITE_P(Rows, NetPortRefused,
                         ::testing::Values(RefusalRow{"OtherBaudRate", PeerAnswer::kOtherBaud,
                                                      "the server refused the baud rate 19200"},
                                           RefusalRow{"NoComPortControl", PeerAnswer::kNoComPort,
                                                      "the server offers no COM port control"}),
                         ovx::testing::RowName());

} // namespace
} // namespace ovx::platform::testing
