// Byte-level behaviour of the frame codec over szWriteBuf, szReadBuf and pp.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "link/com232.h"
#include "params/variables.h"

namespace ovx::link {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Written() {
    return Bytes(szWriteBuf, szWriteBuf + kFrameBytes);
}

// A 36-byte frame: the given leading bytes, the rest zero.
Bytes Frame(std::initializer_list<std::uint8_t> head) {
    Bytes f(kFrameBytes, 0);
    std::copy(head.begin(), head.end(), f.begin());
    return f;
}

void PutReply(const Bytes& bytes) {
    std::copy(bytes.begin(), bytes.end(), szReadBuf);
}

class Codec : public ::testing::Test {
  protected:
    void SetUp() override {
        std::fill(std::begin(pp), std::end(pp), 0);
        std::fill(std::begin(szWriteBuf), std::end(szWriteBuf), 0xEE);
        std::fill(std::begin(szReadBuf), std::end(szReadBuf), 0);
        params::SetParameterStartValues();
        order = 0;
    }
};

TEST_F(Codec, EchoRequestWithEmptyBlockIsHeaderAndZeros) {
    FillTxBuf(kOrderEcho, pp);
    EXPECT_EQ(Written(), Frame({0x00, 0x55, 0x00, 0x05}));
    EXPECT_EQ(szWriteBuf[kFrameBytes], 0xEE) << "a request occupies exactly 36 bytes";
    EXPECT_EQ(order, 0) << "FillTxBuf leaves the program-wide order alone";
}

TEST_F(Codec, ParameterWordsGoOutBigEndianInWordOrder) {
    CopyVarsToPP();
    FillTxBuf(kOrderWriteRam, pp);
    const Bytes out = Written();
    EXPECT_EQ(out[3], 0x01);
    EXPECT_EQ(out[4], 0x01); // power 500 = 0x01F4
    EXPECT_EQ(out[5], 0xF4);
    EXPECT_EQ(out[6], 0x08); // reference 2048 = 0x0800
    EXPECT_EQ(out[7], 0x00);
    EXPECT_EQ(out[4 + 2 * 10], 0x03); // triglvl 950 = 0x03B6, word 10
    EXPECT_EQ(out[5 + 2 * 10], 0xB6);
}

TEST_F(Codec, FlashOrdersCarryTheirCodesInBytesTwoAndThree) {
    FillTxBuf(kOrderFlashBlock, pp);
    EXPECT_EQ(Written()[2], 0x00);
    EXPECT_EQ(Written()[3], 0x15);
    FillTxBuf(kOrderFlashAddress, pp);
    EXPECT_EQ(Written()[2], 0x00);
    EXPECT_EQ(Written()[3], 0x14);
}

TEST_F(Codec, DataBlockRequestForBlock192) {
    pp[0] = 192;
    pp[1] = 0; // graph source RAW
    FillTxBuf(kOrderDataBlock, pp);
    EXPECT_EQ(Written(), Frame({0x00, 0x55, 0x00, 0x09, 0x00, 0xC0, 0x00, 0x00}));
}

TEST_F(Codec, FlashAddressOfThirdBlockOfPageAt5120) {
    pp[0] = 0;
    pp[1] = static_cast<std::uint16_t>(5120 + 2 * kFlashBlockWords);
    FillTxBuf(kOrderFlashAddress, pp);
    EXPECT_EQ(Written(), Frame({0x00, 0x55, 0x00, 0x14, 0x00, 0x00, 0x14, 0x20}));
}

TEST_F(Codec, BitsAboveSixteenOfSyncAndOrderAreNotSent) {
    FillTxBuf(0x12305, pp);
    EXPECT_EQ(Written()[0], 0x00);
    EXPECT_EQ(Written()[1], 0x55);
    EXPECT_EQ(Written()[2], 0x23);
    EXPECT_EQ(Written()[3], 0x05);
}

TEST_F(Codec, AcknowledgementWordDecodesOnlyFromLowByte) {
    PutReply(Frame({0x00, 0x55, 0x00, 0x05, 0x00, 0xAA}));
    GetRxBuf(PNUM);
    EXPECT_EQ(pp[0], 170);
    PutReply(Frame({0x00, 0x55, 0x00, 0x05, 0xAA, 0x00}));
    GetRxBuf(PNUM);
    EXPECT_EQ(pp[0], 43520);
}

TEST_F(Codec, ReplyHeaderIsNotCheckedAndOrderComesFromBytesTwoAndThree) {
    PutReply(Frame({0xDE, 0xAD, 0xBE, 0xEF, 0x12, 0x34}));
    GetRxBuf(PNUM);
    EXPECT_EQ(order, 0xBEEF);
    EXPECT_EQ(pp[0], 0x1234);
}

TEST_F(Codec, WordsOf32768AndAboveTravelUnchanged) {
    for (std::size_t i = 0; i < kPayloadWords; ++i) {
        pp[i] = static_cast<std::uint16_t>(0x8000 + 0x0F01 * i);
    }
    const std::array<std::uint16_t, kPayloadWords> sent = std::to_array(pp);
    FillTxBuf(kOrderLiveSample, pp);
    std::copy(szWriteBuf, szWriteBuf + kFrameBytes, szReadBuf);
    std::fill(std::begin(pp), std::end(pp), 0);
    GetRxBuf(PNUM);
    EXPECT_EQ(std::to_array(pp), sent);
    EXPECT_EQ(order, kOrderLiveSample);
}

TEST_F(Codec, ShortReadDecodesStaleBytesLeftInTheBuffer) {
    PutReply(Frame({0x00, 0x55, 0x00, 0x02, 0x00, 0x01, 0x00, 0x02}));
    for (std::size_t i = 4; i < kPayloadWords; ++i) {
        szReadBuf[4 + 2 * i + 1] = static_cast<std::uint8_t>(i);
    }
    // A newer read delivered only the first 8 bytes; words 2 to 15 still come from the old frame.
    const Bytes fresh{0x00, 0x55, 0x00, 0x08, 0x11, 0x11, 0x22, 0x22};
    std::copy(fresh.begin(), fresh.end(), szReadBuf);
    GetRxBuf(PNUM);
    EXPECT_EQ(order, kOrderLiveSample);
    EXPECT_EQ(pp[0], 0x1111);
    EXPECT_EQ(pp[1], 0x2222);
    EXPECT_EQ(pp[15], 15);
}

TEST_F(Codec, DecodingFewerWordsLeavesTheRestOfTheBlock) {
    pp[3] = 777;
    PutReply(Frame({0x00, 0x55, 0x00, 0x02, 0x00, 0x09, 0x00, 0x08, 0x00, 0x07, 0x00, 0x06}));
    GetRxBuf(3);
    EXPECT_EQ(pp[2], 7);
    EXPECT_EQ(pp[3], 777);
}

TEST_F(Codec, WordCountBeyondTheBlockIsClampedNotOverrun) {
    std::fill(szReadBuf, szReadBuf + kBufSize, 0x5A);
    GetRxBuf(1000);
    EXPECT_EQ(pp[15], 0x5A5A);
    std::fill(szReadBuf, szReadBuf + kBufSize, 0x11);
    GetRxBuf(-4);
    EXPECT_EQ(order, 0x1111);
    EXPECT_EQ(pp[0], 0x5A5A) << "a negative count decodes no word";
}

TEST_F(Codec, VariablesRoundTripThroughTheBlock) {
    using namespace params;
    std::array<std::uint16_t*, kPayloadWords> vars{
        &power,    &reference, &tolerance, &hysteresis, &polarity, &hold,    &hwmode,  &average,
        &evalmode, &maxmode,   &triglvl,   &trigmode,   &sdelay,   &dbuflen, &anamode, &para15};
    for (std::size_t i = 0; i < vars.size(); ++i) {
        *vars[i] = static_cast<std::uint16_t>(65535 - 1000 * i);
    }
    CopyVarsToPP();
    for (std::size_t i = 0; i < vars.size(); ++i) {
        EXPECT_EQ(pp[i], 65535 - 1000 * i) << "word " << i;
        *vars[i] = 0;
    }
    CopyPPtoVars();
    for (std::size_t i = 0; i < vars.size(); ++i) {
        EXPECT_EQ(*vars[i], 65535 - 1000 * i) << "variable of word " << i;
    }
}

} // namespace
} // namespace ovx::link
