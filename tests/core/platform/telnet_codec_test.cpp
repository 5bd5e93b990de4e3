// The Telnet layer of a networked port: data escaping, the COM port requests, and the decoding
// of what a server sends, split at every byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "platform/telnet_codec.h"
#include "support/row_name.h"

namespace ovx::platform::detail {
namespace {

// Bytes written as numbers, so rows show the wire as a reader of the protocol sees it.
std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int v : values) {
        out += static_cast<char>(v);
    }
    return out;
}

struct EscapeRow {
    const char* name;
    std::string data;
    std::string wire;
};

void PrintTo(const EscapeRow& row, std::ostream* os) {
    *os << row.name;
}

class TelnetEscape : public ::testing::TestWithParam<EscapeRow> {};

TEST_P(TelnetEscape, DoublesTheCommandByteOnly) {
    EXPECT_EQ(EscapeTelnetData(GetParam().data), GetParam().wire);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TelnetEscape,
    ::testing::Values(EscapeRow{"Empty", "", ""}, EscapeRow{"Plain", "ABC", "ABC"},
                      EscapeRow{"OneIac", Bytes({1, 255, 2}), Bytes({1, 255, 255, 2})},
                      EscapeRow{"IacRun", Bytes({255, 255}), Bytes({255, 255, 255, 255})},
                      EscapeRow{"NearIac", Bytes({254, 253, 240, 250, 0}),
                                Bytes({254, 253, 240, 250, 0})}),
    testing::RowName());

struct RequestRow {
    const char* name;
    std::string produced;
    std::string wire;
};

void PrintTo(const RequestRow& row, std::ostream* os) {
    *os << row.name;
}

class ComPortRequests : public ::testing::TestWithParam<RequestRow> {};

TEST_P(ComPortRequests, GoOnTheWireAsTheProtocolSays) {
    EXPECT_EQ(GetParam().produced, GetParam().wire);
}

const std::vector<std::uint8_t> kPurgeBothValue{telnet::kPurgeBoth};
const std::vector<std::uint8_t> kIacValue{255, 1};

INSTANTIATE_TEST_SUITE_P(
    Rows, ComPortRequests,
    ::testing::Values(
        RequestRow{"Settings19200N81", LineSettingRequests(19200, 8, 0, 1),
                   Bytes({255, 250, 44, 1, 0, 0,   0x4b, 0x00, 255, 240, // baud 19200
                          255, 250, 44, 2, 8, 255, 240,                  // 8 data bits
                          255, 250, 44, 3, 1, 255, 240,                  // no parity
                          255, 250, 44, 4, 1, 255, 240,                  // 1 stop bit
                          255, 250, 44, 5, 1, 255, 240})},               // no flow control
        RequestRow{"Settings7E2", LineSettingRequests(9600, 7, 2, 2),
                   Bytes({255, 250, 44,  1,   0,   0,   0x25, 0x80, 255, 240, 255, 250, 44,
                          2,   7,   255, 240, 255, 250, 44,   3,    3,   255, 240, 255, 250,
                          44,  4,   2,   255, 240, 255, 250,  44,   5,   1,   255, 240})},
        RequestRow{"OddParity", LineSettingRequests(19200, 8, 1, 1).substr(17, 7),
                   Bytes({255, 250, 44, 3, 2, 255, 240})},
        RequestRow{"BaudWithIacByte", LineSettingRequests(0xFF00, 8, 0, 1).substr(0, 11),
                   Bytes({255, 250, 44, 1, 0, 0, 255, 255, 0, 255, 240})},
        RequestRow{"PurgeBoth", ComPortRequest(telnet::kPurgeData, kPurgeBothValue),
                   Bytes({255, 250, 44, 12, 3, 255, 240})},
        RequestRow{"ValueIacDoubled", ComPortRequest(telnet::kSetDataSize, kIacValue),
                   Bytes({255, 250, 44, 2, 255, 255, 1, 255, 240})},
        RequestRow{"Opening", TelnetOpening(),
                   Bytes({255, 251, 44, 255, 251, 0, 255, 253, 0, 255, 251, 3, 255, 253, 3})}),
    testing::RowName());

// What a server sends, and what the decoder makes of it.
struct DecodeRow {
    const char* name;
    std::string wire;
    std::string data;
    std::string answers;
    std::vector<ComPortReply> replies;
    bool refused;
};

void PrintTo(const DecodeRow& row, std::ostream* os) {
    *os << row.name;
}

struct Decoded {
    std::string data;
    std::string answers;
    std::vector<ComPortReply> replies;
    bool refused = false;
};

// Feeds wire in pieces of step bytes.
Decoded DecodeInSteps(const std::string& wire, std::size_t step) {
    TelnetDecoder decoder;
    Decoded out;
    for (std::size_t at = 0; at < wire.size(); at += step) {
        const std::string piece = wire.substr(at, step);
        decoder.Feed(piece, out.data, out.answers);
    }
    out.replies = decoder.TakeReplies();
    out.refused = decoder.ComPortRefused();
    return out;
}

class TelnetDecode : public ::testing::TestWithParam<DecodeRow> {};

TEST_P(TelnetDecode, GivesDataAnswersAndRepliesHoweverTheBytesAreSplit) {
    const DecodeRow& row = GetParam();
    for (const std::size_t step : {row.wire.size() + 1, std::size_t{1}, std::size_t{2}}) {
        SCOPED_TRACE(step);
        const Decoded d = DecodeInSteps(row.wire, step);
        EXPECT_EQ(d.data, row.data);
        EXPECT_EQ(d.answers, row.answers);
        ASSERT_EQ(d.replies.size(), row.replies.size());
        for (std::size_t i = 0; i < d.replies.size(); ++i) {
            EXPECT_EQ(d.replies[i].command, row.replies[i].command);
            EXPECT_EQ(d.replies[i].value, row.replies[i].value);
        }
        EXPECT_EQ(d.refused, row.refused);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TelnetDecode,
    ::testing::Values(
        DecodeRow{"PlainData", "hello", "hello", "", {}, false},
        DecodeRow{
            "DoubledIacIsOneDataByte", Bytes({1, 255, 255, 2}), Bytes({1, 255, 2}), "", {}, false},
        DecodeRow{"ConfirmationsAreNotAnswered",
                  Bytes({255, 253, 44, 255, 253, 0, 255, 251, 0, 255, 251, 3, 255, 253, 3}),
                  "",
                  "",
                  {},
                  false},
        DecodeRow{"UnknownDoIsRefused",
                  Bytes({65, 255, 253, 1, 66}),
                  "AB",
                  Bytes({255, 252, 1}),
                  {},
                  false},
        DecodeRow{"UnknownWillIsDeclined",
                  Bytes({255, 251, 1, 255, 251, 5}),
                  "",
                  Bytes({255, 254, 1, 255, 254, 5}),
                  {},
                  false},
        DecodeRow{"DontComPortRefuses", Bytes({255, 254, 44}), "", "", {}, true},
        DecodeRow{"WontComPortRefuses", Bytes({255, 252, 44}), "", "", {}, true},
        DecodeRow{"DontBinaryIsNoRefusal", Bytes({255, 254, 0, 255, 252, 3}), "", "", {}, false},
        DecodeRow{"NopBetweenData", Bytes({65, 255, 241, 66}), "AB", "", {}, false},
        DecodeRow{"BaudReply",
                  Bytes({255, 250, 44, 101, 0, 0, 0x4b, 0x00, 255, 240, 67}),
                  "C",
                  "",
                  {ComPortReply{101, {0, 0, 0x4b, 0x00}}},
                  false},
        DecodeRow{"ReplyWithDoubledIac",
                  Bytes({255, 250, 44, 101, 0, 0, 255, 255, 0, 255, 240}),
                  "",
                  "",
                  {ComPortReply{101, {0, 0, 255, 0}}},
                  false},
        DecodeRow{"OtherSubnegotiationIgnored",
                  Bytes({255, 250, 24, 1, 255, 240, 68}),
                  "D",
                  "",
                  {},
                  false},
        DecodeRow{"TwoReplies",
                  Bytes({255, 250, 44, 102, 8, 255, 240, 255, 250, 44, 112, 3, 255, 240}),
                  "",
                  "",
                  {ComPortReply{102, {8}}, ComPortReply{112, {3}}},
                  false}),
    testing::RowName());

TEST(TelnetDecodeLimits, AnOverlongSubnegotiationIsDroppedAndDataFollowsIt) {
    std::string wire = Bytes({255, 250, 44, 101});
    wire += std::string(1000, '\x07');
    wire += Bytes({255, 240, 69});
    const Decoded d = DecodeInSteps(wire, 7);
    EXPECT_EQ(d.data, "E");
    EXPECT_TRUE(d.replies.empty());
}

} // namespace
} // namespace ovx::platform::detail
