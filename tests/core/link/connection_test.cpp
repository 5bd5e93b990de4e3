// Serial connection against the virtual controller (and a scripted stand-in) over a real pty:
// the start-up sequence on the wire, every status text, the reply wait and the notification.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "link/com232.h"
#include "params/variables.h"
#include "platform/errors.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "sim/device_model.h"
#include "support/line_fixture.h"
#include "support/row_name.h"
#include "support/scripted_peer.h"
#include "support/status_recorder.h"

namespace ovx::link {
namespace {

constexpr const char* kFirmware = sim::DeviceModel::kFirmwareText;
constexpr double kMargin = 0.3; // how late a time-out may be noticed on a loaded machine

// Every status text shown while a test runs, from WatchStatus() on.
class RecordsStatus {
  protected:
    void WatchStatus() { status_.Start(); }
    const std::vector<std::string>& StatusLog() const { return status_.Texts(); }

  private:
    testing::StatusRecorder status_;
};

Payload VariablesNow() {
    using namespace params;
    return {power,    reference, tolerance, hysteresis, polarity, hold,    hwmode,  average,
            evalmode, maxmode,   triglvl,   trigmode,   sdelay,   dbuflen, anamode, para15};
}

Payload PayloadOf(const FrameBytes& frame) {
    Payload p{};
    for (int i = 0; i < kPayloadWords; ++i) {
        p[i] = FrameWord(frame, static_cast<std::size_t>(i));
    }
    return p;
}

std::vector<int> OrdersOf(const std::vector<FrameBytes>& requests) {
    std::vector<int> orders;
    for (const auto& r : requests) {
        orders.push_back(FrameOrder(r));
    }
    return orders;
}

// Writes a request straight to port 1 and waits, without events, until its 36-byte reply is
// queued.
bool QueueReplyTo(int orderCode) {
    CopyVarsToPP();
    FillTxBuf(orderCode, pp);
    platform::ComWrt(1, reinterpret_cast<const char*>(szWriteBuf), kFrameBytes);
    const double start = platform::Timer();
    while (platform::GetInQLen(1) < kFrameBytes && platform::Timer() - start < 5.0) {
    }
    return platform::GetInQLen(1) == kFrameBytes;
}

class ConnectionTest : public testing::LineFixture, public RecordsStatus {
  protected:
    static void StartTool() { InitRS232(com); } // as at start-up
    std::vector<int> Orders() { return OrdersOf(Sim().Requests()); }
    Payload ControllerRam() {
        const std::lock_guard lock(Sim().ModelMutex());
        return Sim().Model().ram;
    }
    void SetFaults(const sim::Faults& f) { Sim().SetFaults(f); }
};

TEST_F(ConnectionTest, StartupSendsEchoThenParameterThenFirmwareRequestAndNothingElse) {
    const Payload startValues = VariablesNow();
    const Payload ram = ControllerRam();
    StartTool();
    const auto requests = Sim().Requests();
    ASSERT_EQ(OrdersOf(requests),
              (std::vector<int>{kOrderEcho, kOrderReadRam, kOrderFirmwareInfo}));
    EXPECT_EQ(PayloadOf(requests[0]), startValues);
    EXPECT_EQ(PayloadOf(requests[1]), startValues);
    // The firmware request carries pp as the parameter fetch left it.
    EXPECT_EQ(PayloadOf(requests[2]), ram);
    for (const auto& r : requests) {
        EXPECT_EQ(r[0], 0x00);
        EXPECT_EQ(r[1], 0x55);
    }
}

TEST_F(ConnectionTest, SilentControllerTimesOutTheEchoCheckAndSendsNoFurtherRequest) {
    sim::Faults f;
    f.silent = true;
    SetFaults(f);
    const double start = platform::Timer();
    StartTool();
    // The port's 2.0 s read time-out after the 0.05 s pause, and not a moment more.
    const double elapsed = platform::Timer() - start;
    EXPECT_GE(elapsed, 2.05);
    EXPECT_LE(elapsed, 2.05 + kMargin);
    EXPECT_EQ(StatusText(), "Timeout < 36 Bytes");
    EXPECT_EQ(Orders(), (std::vector<int>{kOrderEcho}));
    // The port stays open.
    EXPECT_GE(platform::GetInQLen(1), 0);
}

TEST_F(ConnectionTest, WrongAcknowledgementStopsAfterTheEchoCheck) {
    sim::Faults f;
    f.echoAck = 0xAA00;
    SetFaults(f);
    StartTool();
    EXPECT_EQ(StatusText(), "read error - not sync byte 0xAA!");
    EXPECT_EQ(Orders(), (std::vector<int>{kOrderEcho}));
    // The port stays open with the notification installed: a frame still gets through.
    rx_flag = 0;
    ASSERT_TRUE(QueueReplyTo(kOrderReadRam));
    EXPECT_TRUE(testing::WaitUntil([] { return rx_flag == 1; }));
}

TEST_F(ConnectionTest, FirmwareInfoOf60BytesEndsWithErrorReadingFirmwareInfo) {
    sim::Faults f;
    f.cutReplyTo = 60; // 36-byte frames pass whole, the 64-byte information is cut
    SetFaults(f);
    WatchStatus();
    StartTool();
    EXPECT_EQ(StatusText(), "Error reading firmware-info!");
    EXPECT_STREQ(szVersion, "");
    EXPECT_EQ(Orders(), (std::vector<int>{kOrderEcho, kOrderReadRam, kOrderFirmwareInfo}));
    EXPECT_EQ(VariablesNow(), ControllerRam());
    const auto& log = StatusLog();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "Timeout - reading firmware info!");
}

// At 19200 baud 64 bytes stand in the queue before the text's last byte behind a stray byte has
// come: what was queued then must not be shown as the firmware text.
class ConnectionAtLineSpeed : public ConnectionTest {
  protected:
    sim::HostOptions Options() const override {
        sim::HostOptions o = ConnectionTest::Options();
        o.lineEmulation = true;
        return o;
    }
};

TEST_F(ConnectionAtLineSpeed, FirmwareTextBehindStrayBytesIsNotShown) {
    sim::Faults f;
    f.garbageBytes = 1;
    SetFaults(f);
    StartTool();
    EXPECT_EQ(nBytesR, kInfoBytes + 1);
    EXPECT_STREQ(szVersion, "");
    SetFaults({});
    EXPECT_EQ(GetVERSIONInfo(), kInfoBytes);
    EXPECT_STREQ(szVersion, kFirmware);
}

TEST_F(ConnectionTest, WaitRxFullEnteredWithTheFlagSetProcessesEventsOnceAndReturns1) {
    StartTool();
    ASSERT_TRUE(QueueReplyTo(kOrderReadRam));
    rx_flag = 1;
    graphrefresh = 0;
    EXPECT_EQ(WaitRxFull(), 1);
    EXPECT_EQ(ret, 1);
    EXPECT_EQ(graphrefresh, 1); // the notification ran inside the wait
    EXPECT_EQ(rx_flag, 1);      // and the wait did not consume the flag
}

// Nothing is coming, but the flag is set already: the wait returns at once, not at its time-out.
TEST_F(ConnectionTest, WaitRxFullEnteredWithTheFlagSetAndNothingComingReturns1AtOnce) {
    StartTool();
    rx_flag = 1;
    const double start = platform::Timer();
    EXPECT_EQ(WaitRxFull(), 1);
    EXPECT_LT(platform::Timer() - start, 0.3); // not at a time-out or the port watch's second
    EXPECT_EQ(ret, 1);
}

TEST_F(ConnectionTest, WaitRxFullTimesOutOnlyIntoTheStatusBuffer) {
    StartTool();
    ShowStatus("shown before");
    rx_flag = 0;
    const double start = platform::Timer();
    EXPECT_EQ(WaitRxFull(), 0);
    EXPECT_GT(platform::Timer() - start, 2.0);
    EXPECT_LE(platform::Timer() - start, 2.0 + kMargin);
    EXPECT_EQ(ret, 0);
    EXPECT_STREQ(szStatus, "Timeout-RS-232...");
    EXPECT_EQ(StatusText(), "shown before");
}

TEST_F(ConnectionTest, NotificationActsOnlyOnTheNotifyCountEvent) {
    StartTool();
    ASSERT_TRUE(QueueReplyTo(kOrderReadRam));
    rx_flag = 0;
    graphrefresh = 0;
    std::fill(std::begin(pp), std::end(pp), std::uint16_t{7});
    RX_Receive_Function(com, 0x0002, nullptr);
    RX_Receive_Function(com, 0x0004, nullptr);
    EXPECT_EQ(rx_flag, 0);
    EXPECT_EQ(graphrefresh, 0);
    EXPECT_EQ(pp[1], 7);
    EXPECT_EQ(platform::GetInQLen(1), kFrameBytes);
    RX_Receive_Function(com, 0x8006, nullptr);
    EXPECT_EQ(rx_flag, 1);
    EXPECT_EQ(graphrefresh, 1);
    EXPECT_EQ(order, kOrderReadRam);
    EXPECT_EQ(pp[1], ControllerRam()[1]);
    EXPECT_EQ(platform::GetInQLen(1), 0);
}

TEST_F(ConnectionTest, NotificationTakesNoFrameFromAShortRead) {
    StartTool();
    sim::Faults f;
    f.cutReplyTo = 20;
    SetFaults(f);
    CopyVarsToPP();
    FillTxBuf(kOrderReadRam, pp);
    platform::ComWrt(1, reinterpret_cast<const char*>(szWriteBuf), kFrameBytes);
    const double start = platform::Timer();
    while (platform::GetInQLen(1) < 20 && platform::Timer() - start < 5.0) {
    }
    ASSERT_EQ(platform::GetInQLen(1), 20);
    rx_flag = 0;
    graphrefresh = 0;
    std::fill(std::begin(pp), std::end(pp), std::uint16_t{7});
    RX_Receive_Function(com, 0x8000, nullptr); // 20 bytes, then the port's 2 s time-out
    EXPECT_EQ(rx_flag, 0);
    EXPECT_EQ(graphrefresh, 0);
    EXPECT_EQ(pp[0], 7);
    EXPECT_EQ(pp[15], 7);
    EXPECT_EQ(platform::GetInQLen(1), 0);
}

TEST_F(ConnectionTest, PushGetForTheFileTargetSendsNothingAndReshowsTheStatusBuffer) {
    StartTool();
    const std::size_t before = Sim().Requests().size();
    std::snprintf(szStatus, sizeof szStatus, "%s", "kept text");
    ShowStatus("other text");
    PushGET(params::DATFILE);
    EXPECT_EQ(StatusText(), "kept text");
    // The next request on the line is the echo check sent now: PushGET wrote nothing.
    CheckComLine(1);
    ASSERT_TRUE(testing::WaitUntil([&] { return Sim().Requests().size() > before; }));
    const auto orders = Orders();
    EXPECT_EQ(std::vector<int>(orders.begin() + static_cast<long>(before), orders.end()),
              (std::vector<int>{kOrderEcho}));
}

TEST(ComErrorText, NamesTheKnownCodesAndCallsEveryOtherNegativeCodeAnRs232Error) {
    const std::vector<std::pair<int, std::string>> known{
        {-1, "Unknown system error"}, {-2, "Invalid port number"},
        {-3, "Port is not open"},     {-4, "Unknown I/0 error"},
        {-6, "No serial port found"}, {-7, "Cannot open port"},
        {-13, "Invalid parameter"},   {-99, "Timeout"}};
    for (const auto& [code, text] : known) {
        EXPECT_EQ(ComErrorText(code), text) << code;
    }
    for (int code : {-5, -8, -9, -10, -11, -12, -14, -98, -100, -20000}) {
        EXPECT_STREQ(ComErrorText(code), "RS-232 error!") << code;
    }
}

class OpenFailureTest : public testing::LinkStateFixture {};

TEST_F(OpenFailureTest, MissingDeviceShowsNoSerialPortFoundAndLeavesThePortClosed) {
    platform::RegisterPort(1, "/nonexistent/ovx-tty");
    InitRS232(1);
    EXPECT_EQ(StatusText(), "No serial port found");
    EXPECT_STREQ(szStatus, "No serial port found");
    EXPECT_EQ(platform::GetInQLen(1), platform::kComPortNotOpen);
}

TEST_F(OpenFailureTest, PortNumberOutsideTheTableShowsInvalidPortNumber) {
    InitRS232(0);
    EXPECT_EQ(StatusText(), "Invalid port number");
}

// A stand-in that answers like the virtual controller except where a test says otherwise.
class ScriptedTest : public testing::LinkStateFixture, public RecordsStatus {
  protected:
    using Reply = testing::ScriptedPeer::Reply;
    // Fills reply and returns true where the stand-in departs from the controller.
    using Special = std::function<bool(const FrameBytes& request, Reply& reply)>;

    void StartPeer(Special special) {
        peer_ = std::make_unique<testing::ScriptedPeer>([this, special](const FrameBytes& request) {
            Reply reply;
            if (special(request, reply)) {
                return reply;
            }
            return model_.HandleRequest(request, 0.0);
        });
        std::string error;
        ASSERT_TRUE(peer_->Start(error)) << error;
        platform::RegisterPort(1, peer_->DevicePath());
    }
    void TearDown() override {
        LinkStateFixture::TearDown();
        peer_.reset();
    }
    sim::DeviceModel model_;
    std::unique_ptr<testing::ScriptedPeer> peer_;
};

TEST_F(ScriptedTest, ParameterReplyThatNeverComesStillRequestsTheFirmwareInfo) {
    StartPeer([](const FrameBytes& request, Reply& reply) {
        reply.clear();
        return FrameOrder(request) == kOrderReadRam; // left unanswered
    });
    const Payload before = VariablesNow();
    WatchStatus();
    InitRS232(1);
    EXPECT_EQ(peer_->Orders(), (std::vector<int>{kOrderEcho, kOrderReadRam, kOrderFirmwareInfo}));
    EXPECT_EQ(StatusText(), kFirmware);
    EXPECT_EQ(VariablesNow(), before);
    EXPECT_NE(std::find(StatusLog().begin(), StatusLog().end(), "Timeout-RS-232..."),
              StatusLog().end());
}

TEST_F(ScriptedTest, EchoAckIsJudgedByPayloadWordZeroAlone) {
    std::array<std::uint8_t, 6> head{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xAA};
    StartPeer([&head](const FrameBytes& request, Reply& reply) {
        if (FrameOrder(request) != kOrderEcho) {
            return false;
        }
        reply.assign(kFrameBytes, 0);
        std::copy(head.begin(), head.end(), reply.begin());
        return true;
    });
    ASSERT_EQ(platform::OpenComConfig(1, "", 19200, 0, 8, 1, 4096, 4096), 0);
    platform::SetComTime(1, 2.0);
    EXPECT_EQ(CheckComLine(1), 1);
    EXPECT_EQ(StatusText(), "Echo Check - Line Ok!");
    head = {0x00, 0x55, 0x00, 0x05, 0xAA, 0x00};
    EXPECT_EQ(CheckComLine(1), 0);
    EXPECT_EQ(StatusText(), "read error - not sync byte 0xAA!");
}

TEST_F(ScriptedTest, FirmwareReplyLongerThan64BytesIsNotFormattedButCountsAsArrived) {
    StartPeer([](const FrameBytes& request, Reply& reply) {
        if (FrameOrder(request) != kOrderFirmwareInfo) {
            return false;
        }
        reply.assign(100, 'A');
        return true;
    });
    InitRS232(1);
    EXPECT_EQ(nBytesR, 100);
    EXPECT_STREQ(szVersion, "");
    EXPECT_EQ(StatusText(), "Echo Check - Line Ok!");
}

TEST_F(ScriptedTest, FirmwareReplyBeyondTheReceiveBufferIsCutAndTheRestDiscarded) {
    StartPeer([](const FrameBytes& request, Reply& reply) {
        if (FrameOrder(request) != kOrderFirmwareInfo) {
            return false;
        }
        reply.assign(3000, 'B');
        return true;
    });
    InitRS232(1);
    // The read takes what the last poll saw (the 3000 bytes may still be arriving), never more
    // than the receive buffer holds.
    EXPECT_GT(nBytesR, kInfoBytes);
    EXPECT_LE(nBytesR, kBufSize);
    EXPECT_STREQ(szVersion, "");
    EXPECT_EQ(StatusText(), "Echo Check - Line Ok!");
    EXPECT_EQ(platform::GetInQLen(1), 0);
    // The line is in step afterwards: the next parameter fetch gets a clean frame.
    PushGET(params::RAM);
    EXPECT_EQ(rx_flag, 1);
    EXPECT_EQ(VariablesNow(), model_.ram);
}

// A parameter reply followed by a second whole frame: the first is taken, the rest is flushed
// with it and never taken later as a reply; the next fetch gets its own frame.
TEST_F(ScriptedTest, OversizedReplyIsTakenOnceAndTheNextFetchGetsItsOwnFrame) {
    int fetches = 0;
    StartPeer([&fetches](const FrameBytes& request, Reply& reply) {
        if (FrameOrder(request) != kOrderReadRam) {
            return false;
        }
        const auto n = static_cast<std::uint16_t>(++fetches);
        reply = testing::ScriptedPeer::Frame(kOrderReadRam, {n, 100});
        if (n == 1) {
            const Reply extra = testing::ScriptedPeer::Frame(kOrderReadRam, {9, 900});
            reply.insert(reply.end(), extra.begin(), extra.end());
        }
        return true;
    });
    ASSERT_EQ(platform::OpenComConfig(1, "", 19200, 0, 8, 1, 4096, 4096), 0);
    platform::SetComTime(1, 2.0);
    InstallRxNotification(true);
    PushGET(params::RAM);
    EXPECT_EQ(params::power, 1);
    EXPECT_EQ(params::reference, 100);
    // Events run long enough for the notification to see a second frame, were it queued.
    const double start = platform::Timer();
    testing::WaitUntil([&] { return platform::Timer() - start > 0.1; });
    EXPECT_EQ(pp[0], 1) << "the extra frame was taken as a reply";
    PushGET(params::RAM);
    EXPECT_EQ(params::power, 2);
    EXPECT_EQ(params::reference, 100);
}

// ---- The echo check takes only its own answer ----------------------------------------------

using testing::ScriptedPeer;
constexpr const char* kLineOk = "Echo Check - Line Ok!";
constexpr const char* kWrongEcho = "read error - not sync byte 0xAA!";
constexpr const char* kShortEcho = "Timeout < 36 Bytes";

struct EchoRow {
    const char* name;
    ScriptedPeer::Script before; // on the line before the echo answer
    bool answered;               // the echo answer follows
    std::uint16_t ack;           // its word 0
    const char* status;
};

void PrintTo(const EchoRow& row, std::ostream* os) {
    *os << row.name;
}

// A port on a scripted stand-in, opened as InitRS232 opens it.
class ScriptedLine : public testing::LinkStateFixture {
  protected:
    void Open(ScriptedPeer::ScriptResponder responder) {
        peer_ = std::make_unique<ScriptedPeer>(std::move(responder));
        std::string error;
        ASSERT_TRUE(peer_->Start(error)) << error;
        platform::RegisterPort(1, peer_->DevicePath());
        ASSERT_EQ(OpenRS232(1), 1);
    }
    void TearDown() override {
        LinkStateFixture::TearDown();
        peer_.reset();
    }
    std::unique_ptr<ScriptedPeer> peer_;
};

class EchoCheckTakesOnlyItsAnswer : public ScriptedLine,
                                    public ::testing::WithParamInterface<EchoRow> {};

TEST_P(EchoCheckTakesOnlyItsAnswer, DropsBytesBeforeItAndSkipsFramesOfOtherOrders) {
    const EchoRow& row = GetParam();
    Open([&row](const FrameBytes&) {
        ScriptedPeer::Script s = row.before;
        if (row.answered) {
            s.push_back({0, ScriptedPeer::Frame(kOrderEcho, {row.ack})});
        }
        return s;
    });
    EXPECT_EQ(CheckComLine(1), std::string(row.status) == kLineOk ? 1 : 0);
    EXPECT_EQ(StatusText(), row.status);
}

const ScriptedPeer::Reply kLateLive = ScriptedPeer::Frame(kOrderLiveSample, {500, 2048});

INSTANTIATE_TEST_SUITE_P(
    Line, EchoCheckTakesOnlyItsAnswer,
    ::testing::Values(EchoRow{"Clean", {}, true, kAck, kLineOk},
                      EchoRow{"Garbage5", {{0, testing::Garbage(5)}}, true, kAck, kLineOk},
                      EchoRow{"StrayZeroByte", {{0, {0x00}}}, true, kAck, kLineOk},
                      EchoRow{"LateLiveFrame", {{0, kLateLive}}, true, kAck, kLineOk},
                      EchoRow{"GarbageThenLateLiveFrame",
                              {{0, testing::Garbage(3)}, {0, kLateLive}},
                              true,
                              kAck,
                              kLineOk},
                      EchoRow{"WrongAcknowledgement", {}, true, 0x01AA, kWrongEcho},
                      EchoRow{"Garbage5ThenWrongAcknowledgement",
                              {{0, testing::Garbage(5)}},
                              true,
                              0x01AA,
                              kWrongEcho},
                      EchoRow{"LateLiveFrameButNoEcho", {{0, kLateLive}}, false, 0, kShortEcho}),
    testing::RowName());

// The first echo is answered (with a wrong acknowledgement) only after its time-out: the next
// check must not take that late answer for its own.
TEST_F(ScriptedLine, EchoAnsweredAfterItsTimeOutIsNotTakenByTheNextCheck) {
    int echoes = 0; // touched by the stand-in's thread only
    Open([&echoes](const FrameBytes&) -> ScriptedPeer::Script {
        if (++echoes == 1) {
            return {{2'100'000, ScriptedPeer::Frame(kOrderEcho, {0x01AA})}};
        }
        return {{0, ScriptedPeer::Frame(kOrderEcho, {kAck})}};
    });
    EXPECT_EQ(CheckComLine(1), 0);
    EXPECT_EQ(StatusText(), kShortEcho);
    EXPECT_EQ(CheckComLine(1), 1) << "the late answer of the first check was taken";
    EXPECT_EQ(StatusText(), kLineOk);
}

} // namespace
} // namespace ovx::link
