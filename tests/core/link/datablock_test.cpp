// The data-block read against the virtual controller over a pty: block destinations, the
// request layout, the 1.5 s time-out with its full clearing of both curves, and answers that
// are too short or too long.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>

#include "link/com232.h"
#include "link/datablock.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "sim/data_curve.h"
#include "support/line_fixture.h"
#include "support/row_name.h"
#include "support/scripted_peer.h"

namespace ovx::link {
namespace {

constexpr std::uint16_t kUntouched = 0xBEEF;
constexpr const char* kReceived = "Data[64] block received!";
constexpr const char* kTimedOut = "Timeout-RS-232 while reading 64 data-words!";
constexpr const char* kRefused129 = "Data[64] block refused - 129 bytes instead of 128!";
constexpr const char* kRefused133 = "Data[64] block refused - 133 bytes instead of 128!";

class DataBlockRead : public testing::LineFixture {
  protected:
    void SetUp() override {
        LineFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        InitRS232(com); // as at start-up
        // As the data-curve command does: the notification must not take the block answers.
        InstallRxNotification(false);
        std::fill(std::begin(yArrayA), std::end(yArrayA), kUntouched);
        std::fill(std::begin(yArrayB), std::end(yArrayB), kUntouched);
    }

    static int Read(int offset, int source) {
        order = kOrderDataBlock;
        return ReadData64(offset, source, kOrderDataBlock);
    }

    static void ExpectCurve(const std::uint16_t* curve, sim::CurveKind kind) {
        for (int i = 0; i < sim::kCurvePoints; ++i) {
            ASSERT_EQ(curve[i], sim::CurvePoint(kind, i)) << "point " << i;
        }
    }

    static void ExpectAll(const std::uint16_t* curve, int first, int last, std::uint16_t value) {
        for (int i = first; i <= last; ++i) {
            ASSERT_EQ(curve[i], value) << "word " << i;
        }
    }
};

TEST_F(DataBlockRead, FourRawBlocksFillChannelAThenChannelBWordForWord) {
    for (const int offset : {0, 64, 128, 192}) {
        EXPECT_EQ(Read(offset, 0), 64) << "offset " << offset;
        EXPECT_EQ(nBytesR, 128);
        EXPECT_EQ(StatusText(), kReceived);
    }
    ExpectCurve(yArrayA, sim::CurveKind::kRawA);
    ExpectCurve(yArrayB, sim::CurveKind::kRawB);
    ExpectAll(yArrayA, 128, 255, kUntouched);
    ExpectAll(yArrayB, 128, 255, kUntouched);
}

TEST_F(DataBlockRead, NormBlocksFillCurveAAndLeaveCurveBAlone) {
    EXPECT_EQ(Read(0, 1), 64);
    EXPECT_EQ(Read(64, 1), 64);
    ExpectCurve(yArrayA, sim::CurveKind::kNorm);
    ExpectAll(yArrayB, 0, 255, kUntouched);
}

TEST_F(DataBlockRead, RequestCarriesOffsetAndSourceAndZerosWhateverPpHeld) {
    std::fill(std::begin(pp), std::end(pp), std::uint16_t{0x7777});
    const int before = Sim().RequestCount();
    Read(192, 0);
    std::array<unsigned char, kFrameBytes> expected{0x00, 0x55, 0x00, 0x09, 0x00, 0xC0, 0x00, 0x00};
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), szWriteBuf));
    EXPECT_EQ(nBytesW, kFrameBytes);
    EXPECT_EQ(Sim().RequestCount(), before + 1);
    EXPECT_EQ(pp[0], 0x7777) << "the block read leaves pp alone";

    Read(64, 1);
    EXPECT_EQ(szWriteBuf[5], 64);
    EXPECT_EQ(szWriteBuf[7], 1);
}

TEST_F(DataBlockRead, OffsetOutsideTheFourBlocksStoresNothingYetReportsTheBlock) {
    EXPECT_EQ(Read(100, 0), 64);
    EXPECT_EQ(nBytesR, 128);
    EXPECT_EQ(StatusText(), kReceived);
    ExpectAll(yArrayA, 0, 255, kUntouched);
    ExpectAll(yArrayB, 0, 255, kUntouched);
}

TEST_F(DataBlockRead, ShortAnswerTimesOutAfterOneAndAHalfSecondsAndClearsBothCurves) {
    sim::Faults faults;
    faults.cutReplyTo = 100;
    Sim().SetFaults(faults);
    const double start = platform::Timer();
    EXPECT_EQ(Read(64, 0), 0);
    const double elapsed = platform::Timer() - start;
    EXPECT_GT(elapsed, 1.5);
    EXPECT_LT(elapsed, 2.5);
    EXPECT_GT(tdiff, 1.5);
    EXPECT_EQ(nBytesR, 100) << "the bytes that did come are read after the time-out";
    EXPECT_STREQ(szStatus, kTimedOut);
    EXPECT_EQ(StatusText(), kTimedOut);
    ExpectAll(yArrayA, 0, 127, 0);
    ExpectAll(yArrayB, 0, 127, 0);
    ExpectAll(yArrayA, 128, 255, kUntouched);
    ExpectAll(yArrayB, 128, 255, kUntouched);
}

TEST_F(DataBlockRead, TimeoutInTheFourthRawBlockClearsTheThreeAlreadyRead) {
    for (const int offset : {0, 64, 128}) {
        ASSERT_EQ(Read(offset, 0), 64);
    }
    sim::Faults faults;
    faults.silent = true;
    Sim().SetFaults(faults);
    EXPECT_EQ(Read(192, 0), 0);
    EXPECT_EQ(nBytesR, 0);
    EXPECT_EQ(StatusText(), kTimedOut);
    ExpectAll(yArrayA, 0, 127, 0);
    ExpectAll(yArrayB, 0, 127, 0);

    Sim().SetFaults({});
    EXPECT_EQ(Read(0, 0), 64) << "the next block reads normally again";
    EXPECT_EQ(StatusText(), kReceived);
}

TEST_F(DataBlockRead, OversizedAnswerIsReadNoFurtherThanTheReceiveBufferAndRefused) {
    sim::Faults faults;
    faults.garbageBytes = 3000; // 3128 bytes arrive where 128 are expected
    Sim().SetFaults(faults);
    std::snprintf(szStatus, kStatusSize, "%s", "earlier text");
    EXPECT_EQ(Read(0, 0), 0);
    EXPECT_GT(nBytesR, 128);
    EXPECT_LE(nBytesR, kBufSize);
    EXPECT_TRUE(StatusText().starts_with("Data[64] block refused - ")) << StatusText();
    ExpectAll(yArrayA, 0, 127, 0);
    ExpectAll(yArrayB, 0, 127, 0);
    ExpectAll(yArrayA, 128, 255, kUntouched);

    // The controller may still be sending the rest of its oversized answer: let the line fall
    // quiet (no byte for 0.2 s) before the next request, as an operator's next click would.
    Sim().SetFaults({});
    platform::SetComTime(com, 0.2);
    std::array<char, 4096> rest{};
    while (platform::ComRd(com, rest.data(), static_cast<int>(rest.size())) > 0) {
    }
    platform::SetComTime(com, 2.0);
    EXPECT_EQ(Read(64, 0), 64) << "nothing of the oversized answer is left to spoil the next";
    ExpectAll(yArrayA, 0, 63, 0);
    EXPECT_EQ(yArrayA[64], sim::CurvePoint(sim::CurveKind::kRawA, 64));
}

// 128 bare bytes carry no header: bytes before them cannot be told from the block's own, so the
// answer is refused with a text of its own and the curve is cleared as after a time-out.
struct AnswerRow {
    const char* name;
    int strayBytes; // put on the line before each answer
    bool lineSpeed; // bytes paced at 19200 baud: 128 stand in the queue before the block's end
    int result;
    const char* status;
};

void PrintTo(const AnswerRow& row, std::ostream* os) {
    *os << row.name;
}

class BlockAnswerRows : public DataBlockRead, public ::testing::WithParamInterface<AnswerRow> {
  protected:
    sim::HostOptions Options() const override {
        sim::HostOptions o = DataBlockRead::Options();
        o.lineEmulation = GetParam().lineSpeed;
        return o;
    }
};

TEST_P(BlockAnswerRows, OnlyExactly128BytesAreTakenAsTheBlock) {
    const AnswerRow& row = GetParam();
    ASSERT_EQ(Read(0, 0), 64);
    sim::Faults faults;
    faults.garbageBytes = row.strayBytes;
    Sim().SetFaults(faults);
    EXPECT_EQ(Read(64, 0), row.result);
    EXPECT_EQ(StatusText(), row.status);
    if (row.result == 0) {
        ExpectAll(yArrayA, 0, 127, 0);
        ExpectAll(yArrayB, 0, 127, 0);
    } else {
        ExpectCurve(yArrayA, sim::CurveKind::kRawA);
    }
}

INSTANTIATE_TEST_SUITE_P(Line, BlockAnswerRows,
                         ::testing::Values(AnswerRow{"Clean", 0, false, 64, kReceived},
                                           AnswerRow{"OneStrayByte", 1, false, 0, kRefused129},
                                           AnswerRow{"FiveStrayBytes", 5, false, 0, kRefused133},
                                           AnswerRow{"CleanAtLineSpeed", 0, true, 64, kReceived},
                                           AnswerRow{"OneStrayByteAtLineSpeed", 1, true, 0,
                                                     kRefused129}),
                         testing::RowName());

// Block 0 is answered only after its time-out: the late answer must not become block 64.
TEST_F(DataBlockRead, BlockAnsweredAfterItsTimeOutIsNotTakenByTheNextRead) {
    sim::Faults faults;
    faults.slowMs = 1700;
    Sim().SetFaults(faults);
    EXPECT_EQ(Read(0, 0), 0);
    EXPECT_EQ(StatusText(), kTimedOut);
    Sim().SetFaults({});
    EXPECT_EQ(Read(64, 0), 64);
    EXPECT_EQ(StatusText(), kReceived);
    ExpectAll(yArrayA, 0, 63, 0);
    for (int i = 64; i < 128; ++i) {
        ASSERT_EQ(yArrayA[i], sim::CurvePoint(sim::CurveKind::kRawA, i)) << "point " << i;
    }
}

// The block's end is judged once the line has been quiet for longer than a USB adapter holds
// bytes (20 ms): a byte right behind the block belongs to its answer, one well after it does not.
struct TailRow {
    const char* name;
    int pauseUs; // before one stray byte after the block
    int result;
    const char* status;
};

void PrintTo(const TailRow& row, std::ostream* os) {
    *os << row.name;
}

class BlockTailRows : public testing::LinkStateFixture,
                      public ::testing::WithParamInterface<TailRow> {
  protected:
    void TearDown() override {
        LinkStateFixture::TearDown();
        peer_.reset();
    }
    std::unique_ptr<testing::ScriptedPeer> peer_;
};

TEST_P(BlockTailRows, AByteBehindTheBlockCountsOnlyWhileTheLineIsNotYetQuiet) {
    const TailRow& row = GetParam();
    testing::ScriptedPeer::Reply block;
    for (int i = 0; i < kBlockWords; ++i) {
        const std::uint16_t word = sim::CurvePoint(sim::CurveKind::kRawA, i);
        block.push_back(static_cast<std::uint8_t>(word >> 8));
        block.push_back(static_cast<std::uint8_t>(word & 0xFF));
    }
    peer_ = std::make_unique<testing::ScriptedPeer>([&](const FrameBytes&) {
        return testing::ScriptedPeer::Script{{0, block}, {row.pauseUs, {0x00}}};
    });
    std::string error;
    ASSERT_TRUE(peer_->Start(error)) << error;
    platform::RegisterPort(1, peer_->DevicePath());
    ASSERT_EQ(platform::OpenComConfig(1, "", 19200, 0, 8, 1, 4096, 4096), 0);
    platform::SetComTime(1, 2.0);
    order = kOrderDataBlock;
    EXPECT_EQ(ReadData64(0, 0, kOrderDataBlock), row.result);
    EXPECT_EQ(StatusText(), row.status);
}

INSTANTIATE_TEST_SUITE_P(Line, BlockTailRows,
                         ::testing::Values(TailRow{"StrayByteAfter5ms", 5000, 0, kRefused129},
                                           TailRow{"StrayByteAfter60ms", 60000, 64, kReceived}),
                         testing::RowName());

} // namespace
} // namespace ovx::link
