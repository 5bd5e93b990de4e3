// Which reply a request takes: the pure checks over a byte buffer, then the receive notification
// against a scripted controller on a pty that puts stray bytes, garbage, pauses and replies of
// other orders on the line.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "link/com232.h"
#include "link/reply.h"
#include "params/variables.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "support/line_fixture.h"
#include "support/row_name.h"
#include "support/scripted_peer.h"

namespace ovx::link {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::Garbage;
using testing::ScriptedPeer;

Bytes FrameOf(int orderCode, std::initializer_list<std::uint16_t> words) {
    return ScriptedPeer::Frame(orderCode, words);
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

TEST(ExpectedReplyOrder, FetchAndLiveTakeTheirOwnOrderTeachAndResetAnyOthersNone) {
    EXPECT_EQ(ExpectedReplyOrder(kOrderReadRam), kOrderReadRam);
    EXPECT_EQ(ExpectedReplyOrder(kOrderReadEeprom), kOrderReadEeprom);
    EXPECT_EQ(ExpectedReplyOrder(kOrderLiveSample), kOrderLiveSample);
    EXPECT_EQ(ExpectedReplyOrder(kOrderTeach), kAnyOrder);
    EXPECT_EQ(ExpectedReplyOrder(kOrderReset), kAnyOrder);
    for (int o : {1, 3, 5, 7, 9, 20, 21, 0, 99}) {
        EXPECT_EQ(ExpectedReplyOrder(o), kNoFrameReply) << o;
    }
}

struct CheckRow {
    const char* name;
    Bytes frame;
    int want;
    ReplyCheck check;
};

void PrintTo(const CheckRow& row, std::ostream* os) {
    *os << row.name;
}

class CheckReplyRows : public ::testing::TestWithParam<CheckRow> {};

TEST_P(CheckReplyRows, JudgesSyncWordAndOrderCode) {
    EXPECT_EQ(CheckReply(GetParam().frame, GetParam().want), GetParam().check);
}

const Bytes kLive = FrameOf(kOrderLiveSample, {1, 0x55, 8});

INSTANTIATE_TEST_SUITE_P(
    Replies, CheckReplyRows,
    ::testing::Values(CheckRow{"LiveForLive", kLive, kOrderLiveSample, ReplyCheck::kWhole},
                      CheckRow{"LiveForAnyOrder", kLive, kAnyOrder, ReplyCheck::kWhole},
                      CheckRow{"LiveForRamFetch", kLive, kOrderReadRam, ReplyCheck::kWrongOrder},
                      CheckRow{"EepromForRamFetch", FrameOf(kOrderReadEeprom, {}), kOrderReadRam,
                               ReplyCheck::kWrongOrder},
                      CheckRow{"LiveWithNobodyWaiting", kLive, kNoFrameReply,
                               ReplyCheck::kNotWaited},
                      CheckRow{"SyncBytesSwapped", Join({{0x55, 0x00, 0x00, 0x08}, Bytes(32, 0)}),
                               kOrderLiveSample, ReplyCheck::kNoSync},
                      CheckRow{"ShortBuffer", Bytes(kLive.begin(), kLive.begin() + 35),
                               kOrderLiveSample, ReplyCheck::kNoSync}),
    testing::RowName());

TEST(ReplyStart, IsTheFirstSyncWordOrATrailingHalfOfOne) {
    EXPECT_EQ(ReplyStart(kLive), 0u);
    EXPECT_EQ(ReplyStart(Join({{0x37, 0x00}, kLive})), 2u);
    EXPECT_EQ(ReplyStart(Bytes{0x55, 0x00, 0x00, 0x12}), 4u);
    EXPECT_EQ(ReplyStart(Bytes{0x12, 0x55, 0x00}), 2u);
    EXPECT_EQ(ReplyStart(Bytes{}), 0u);
}

struct HeaderRow {
    const char* name;
    Bytes bytes;
    std::size_t start; // where the first whole frame header begins; bytes.size() for none
};

void PrintTo(const HeaderRow& row, std::ostream* os) {
    *os << row.name;
}

class HeaderStartRows : public ::testing::TestWithParam<HeaderRow> {};

TEST_P(HeaderStartRows, IsTheFirstSyncWordFollowedByAnOrderOfTheTable) {
    EXPECT_EQ(HeaderStart(GetParam().bytes), GetParam().start);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, HeaderStartRows,
    ::testing::Values(
        HeaderRow{"FrameAtTheStart", kLive, 0},
        HeaderRow{"FiveBytesBeforeIt", Join({{0x12, 0x00, 0x55, 0x00, 0x63}, kLive}), 5},
        HeaderRow{"FlashBlockAnswer", Join({{0x00}, FrameOf(kOrderFlashBlock, {2})}), 1},
        HeaderRow{"SyncWordBeforeAnOrderOutsideTheTable",
                  Bytes{0x00, 0x55, 0x00, 0x0B, 0x00, 0x55, 0x00, 0x16}, 8},
        HeaderRow{"OrderWithHighByteSet", Bytes{0x00, 0x55, 0x01, 0x05, 0x00, 0x00}, 6},
        HeaderRow{"HeaderCutAtTheEnd", Bytes{0xFF, 0x00, 0x55, 0x00}, 4},
        HeaderRow{"AcknowledgementWithoutHeader",
                  Join({{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xAA}, Bytes(30, 0)}), 36},
        HeaderRow{"Empty", Bytes{}, 0}),
    testing::RowName());

// ---- The notification on a pty ------------------------------------------------------------

// Parameter words with the sync word and order codes inside: a reply read one word shifted
// starts with a plausible header.
const Payload kParams{0x0055, 0x0002, 0x0055, 0x0008, 500, 2048, 100, 20, 1, 0, 3, 4, 5, 6, 7, 8};

Bytes ParamFrame(int orderCode) {
    const auto f = EncodeFrame(kSyncWord, orderCode, kParams);
    return Bytes(f.begin(), f.end());
}

struct FetchRow {
    const char* name;
    std::vector<ScriptedPeer::Piece> before; // put on the line before the parameter reply
    int splitAt;                             // the reply in two pieces, paused, or 0
    int pauseUs = 5000;                      // between the two pieces
};

void PrintTo(const FetchRow& row, std::ostream* os) {
    *os << row.name;
}

class FetchTakesOnlyItsReply : public testing::LinkStateFixture,
                               public ::testing::WithParamInterface<FetchRow> {
  protected:
    void TearDown() override {
        LinkStateFixture::TearDown();
        peer_.reset();
    }
    std::unique_ptr<ScriptedPeer> peer_;
};

TEST_P(FetchTakesOnlyItsReply, WholeAlignedFrameOfOrder2OrATimeOut) {
    const FetchRow& row = GetParam();
    peer_ = std::make_unique<ScriptedPeer>([&row](const FrameBytes& request) {
        ScriptedPeer::Script s = row.before;
        const Bytes reply = ParamFrame(FrameOrder(request));
        if (row.splitAt > 0) {
            s.push_back({0, Bytes(reply.begin(), reply.begin() + row.splitAt)});
            s.push_back({row.pauseUs, Bytes(reply.begin() + row.splitAt, reply.end())});
        } else {
            s.push_back({0, reply});
        }
        return s;
    });
    std::string error;
    ASSERT_TRUE(peer_->Start(error)) << error;
    platform::RegisterPort(1, peer_->DevicePath());
    ASSERT_EQ(platform::OpenComConfig(1, "", 19200, 0, 8, 1, 4096, 4096), 0);
    platform::SetComTime(1, 2.0);
    InstallRxNotification(true);
    params::power = 1;
    PushGET(params::RAM);
    EXPECT_EQ(rx_flag, 1);
    EXPECT_EQ(order, kOrderReadRam);
    for (int i = 0; i < kPayloadWords; ++i) {
        EXPECT_EQ(pp[i], kParams[i]) << "word " << i;
    }
    EXPECT_EQ(params::power, kParams[0]);
}

INSTANTIATE_TEST_SUITE_P(
    Line, FetchTakesOnlyItsReply,
    ::testing::Values(
        FetchRow{"Clean", {}, 0}, FetchRow{"StrayZeroByte", {{0, {0x00}}}, 0},
        FetchRow{"StraySyncHalf", {{0, {0x55}}}, 0}, FetchRow{"SplitByAPause", {}, 20},
        FetchRow{"StrayByteAndSplit", {{0, {0x00}}}, 7}, FetchRow{"Garbage1", {{0, Garbage(1)}}, 0},
        FetchRow{"Garbage17", {{0, Garbage(17)}}, 0}, FetchRow{"Garbage35", {{0, Garbage(35)}}, 0},
        FetchRow{"Garbage36", {{0, Garbage(36)}}, 0}, FetchRow{"Garbage40", {{0, Garbage(40)}}, 0},
        // The notification comes with the reply's first byte; a USB adapter may hold the rest
        // back for up to 16 ms beyond the line time of the frame.
        FetchRow{"Garbage35ThenTheRestHeldBackByAnAdapter", {{0, Garbage(35)}}, 1, 12000},
        FetchRow{"LateLiveReply", {{0, FrameOf(kOrderLiveSample, {85, 2})}}, 0},
        FetchRow{"LateEepromReply", {{0, ParamFrame(kOrderReadEeprom)}}, 0},
        FetchRow{"GarbageThenLateLiveReply",
                 {{0, Garbage(5)}, {2000, FrameOf(kOrderLiveSample, {85, 2})}},
                 0}),
    testing::RowName());

} // namespace
} // namespace ovx::link
