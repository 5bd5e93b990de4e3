// The device model without a pty: every order's reply bytes and the state it leaves.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "sim/data_curve.h"
#include "sim/device_model.h"

namespace ovx::sim {
namespace {

using link::FrameBytes;
using link::Payload;

FrameBytes Req(int order, std::initializer_list<std::uint16_t> words = {}) {
    std::vector<std::uint16_t> w(words);
    return link::EncodeFrame(link::kSyncWord, order, w);
}

Payload Ramp(std::uint16_t first) {
    Payload p{};
    for (std::size_t i = 0; i < p.size(); ++i) {
        p[i] = static_cast<std::uint16_t>(first + i);
    }
    return p;
}

FrameBytes ReqPayload(int order, const Payload& p) {
    return link::EncodeFrame(link::kSyncWord, order, p);
}

Payload ReplyWords(const std::vector<std::uint8_t>& r) {
    Payload p{};
    for (std::size_t i = 0; i < p.size(); ++i) {
        p[i] = link::FrameWord(r, i);
    }
    return p;
}

std::string TempPath(const char* name) {
    return (std::filesystem::temp_directory_path() /
            (std::string("ovx_sim_") + std::to_string(::getpid()) + "_" + name))
        .string();
}

TEST(DeviceModelParameters, WritesAreUnansweredAndReadBackFromTheirOwnMemory) {
    DeviceModel m;
    EXPECT_TRUE(m.HandleRequest(ReqPayload(1, Ramp(100)), 0).empty());
    EXPECT_TRUE(m.HandleRequest(ReqPayload(3, Ramp(300)), 0).empty());
    const auto ram = m.HandleRequest(Req(2), 0);
    const auto eeprom = m.HandleRequest(Req(4), 0);
    ASSERT_EQ(ram.size(), 36u);
    ASSERT_EQ(eeprom.size(), 36u);
    EXPECT_EQ(link::WordAt(ram, 0), 0x0055);
    EXPECT_EQ(link::FrameOrder(ram), 2);
    EXPECT_EQ(link::FrameOrder(eeprom), 4);
    EXPECT_EQ(ReplyWords(ram), Ramp(100));
    EXPECT_EQ(ReplyWords(eeprom), Ramp(300));
}

TEST(DeviceModelParameters, StartValuesSuitTheNormalisedRange) {
    DeviceModel m;
    EXPECT_EQ(m.ram, m.eeprom);
    EXPECT_EQ(ReplyWords(m.HandleRequest(Req(2), 0)), DeviceModel::kStartValues);
    const int reference = m.ram[1], tolerance = m.ram[2];
    EXPECT_GT(reference - tolerance, 0);
    EXPECT_LT(reference + tolerance, 1000);
}

TEST(DeviceModelParameters, ResetCopiesEepromIntoRamAndAnswersWithIt) {
    DeviceModel m;
    m.HandleRequest(ReqPayload(3, Ramp(7)), 0);
    m.HandleRequest(ReqPayload(1, Ramp(900)), 0);
    const auto r = m.HandleRequest(Req(10), 0);
    ASSERT_EQ(r.size(), 36u);
    EXPECT_EQ(link::FrameOrder(r), 10);
    EXPECT_EQ(ReplyWords(r), Ramp(7));
    EXPECT_EQ(m.ram, Ramp(7));
}

TEST(DeviceModelParameters, TeachTakesTheCurrentNormalisedValueAsReference) {
    DeviceModel a, b;
    const double t = 12.3;
    const auto live = b.HandleRequest(Req(8), t);
    const auto taught = a.HandleRequest(Req(6), t);
    ASSERT_EQ(taught.size(), 36u);
    EXPECT_EQ(link::FrameOrder(taught), 6);
    EXPECT_EQ(link::FrameWord(taught, 1), link::FrameWord(live, 0));
    EXPECT_EQ(a.ram[1], link::FrameWord(live, 0));
    EXPECT_EQ(a.eeprom[1], DeviceModel::kStartValues[1]) << "teach changes RAM only";
}

TEST(DeviceModelLine, EchoAcknowledgesWith00AA) {
    DeviceModel m;
    const auto r = m.HandleRequest(Req(5, {1234, 5}), 0);
    ASSERT_EQ(r.size(), 36u);
    EXPECT_EQ(r[4], 0x00);
    EXPECT_EQ(r[5], 0xAA);
    EXPECT_EQ(link::FrameOrder(r), 5);
}

TEST(DeviceModelLine, FirmwareInfoIs64BytesWithTheTextInTheLowBytes) {
    DeviceModel m;
    const auto r = m.HandleRequest(Req(7), 0);
    ASSERT_EQ(r.size(), 64u);
    std::string text;
    for (std::size_t i = 0; i < 32; ++i) {
        EXPECT_EQ(r[2 * i], 0) << "high byte of word " << i;
        if (r[2 * i + 1] != 0) {
            text += static_cast<char>(r[2 * i + 1]);
        }
    }
    EXPECT_EQ(text, "OVX virtual controller 1.0");
    EXPECT_EQ(r[2 * text.size() + 1], 0) << "the text is followed by zero words";
}

TEST(DeviceModelLine, UnknownOrdersAreIgnored) {
    DeviceModel m;
    for (int order : {0, 11, 19, 22, 255, 0x0108}) {
        EXPECT_TRUE(m.HandleRequest(Req(order), 0).empty()) << "order " << order;
    }
    EXPECT_EQ(m.ram, DeviceModel::kStartValues);
}

TEST(DeviceModelLive, SampleCarriesNormalisedValueMaximaAndWindow) {
    DeviceModel m;
    m.HandleRequest(ReqPayload(1, Payload{500, 600, 150}), 0);
    for (double t = 0; t < 30; t += 0.7) {
        const auto r = m.HandleRequest(Req(8), t);
        ASSERT_EQ(r.size(), 36u);
        const auto w = ReplyWords(r);
        const int a = w[1], amax = w[3], norm = w[0];
        EXPECT_LE(a, 1000);
        EXPECT_LE(w[2], 1000);
        EXPECT_GE(amax, a);
        EXPECT_GT(amax, 0);
        EXPECT_GE(w[4], w[2]) << "Bmax is at least B";
        EXPECT_NEAR(norm, 1000.0 * a / amax, 0.5);
        EXPECT_EQ(w[5], 750);
        EXPECT_EQ(w[6], 450);
        EXPECT_EQ(w[7], 150);
        for (std::size_t i = 9; i < 16; ++i) {
            EXPECT_EQ(w[i], 0);
        }
    }
}

TEST(DeviceModelLive, LowerValueClampsAtZeroAndUpperAt65535) {
    DeviceModel m;
    m.HandleRequest(ReqPayload(1, Payload{0, 100, 300}), 0);
    EXPECT_EQ(link::FrameWord(m.HandleRequest(Req(8), 1), 6), 0);
    EXPECT_EQ(link::FrameWord(m.HandleRequest(Req(8), 1), 5), 400);
    m.HandleRequest(ReqPayload(1, Payload{0, 65000, 1000}), 0);
    EXPECT_EQ(link::FrameWord(m.HandleRequest(Req(8), 1), 5), 65535);
}

TEST(DeviceModelLive, SameTimesAndSeedGiveTheSameReplies) {
    DeviceModel a, b, c;
    c.Reseed(99);
    bool seedMatters = false;
    for (double t = 0.013; t < 5; t += 0.25) {
        const auto ra = a.HandleRequest(Req(8), t);
        EXPECT_EQ(ra, b.HandleRequest(Req(8), t));
        seedMatters |= ra != c.HandleRequest(Req(8), t);
    }
    EXPECT_TRUE(seedMatters);
}

TEST(DeviceModelDataCurve, NormBlocksHoldARiseToAPlateau) {
    DeviceModel m;
    const auto first = m.HandleRequest(Req(9, {0, 1}), 0);
    const auto second = m.HandleRequest(Req(9, {64, 1}), 0);
    ASSERT_EQ(first.size(), 128u);
    ASSERT_EQ(second.size(), 128u);
    EXPECT_LT(link::WordAt(first, 0), 100);
    EXPECT_GT(link::WordAt(second, 63), 900);
    for (std::size_t i = 0; i < 64; ++i) {
        EXPECT_EQ(link::WordAt(first, i), CurvePoint(CurveKind::kNorm, static_cast<int>(i)));
        EXPECT_EQ(link::WordAt(second, i), CurvePoint(CurveKind::kNorm, static_cast<int>(i) + 64));
        EXPECT_LE(link::WordAt(second, i), 1000);
    }
}

TEST(DeviceModelDataCurve, RawSourceGivesChannelAThenChannelB) {
    DeviceModel m;
    const auto a = m.HandleRequest(Req(9, {64, 0}), 0);
    const auto b = m.HandleRequest(Req(9, {192, 0}), 0);
    const auto norm = m.HandleRequest(Req(9, {64, 1}), 0);
    EXPECT_NE(a, norm) << "raw and normalised curves differ";
    EXPECT_NE(a, b);
    EXPECT_EQ(link::WordAt(a, 10), CurvePoint(CurveKind::kRawA, 74));
    EXPECT_EQ(link::WordAt(b, 10), CurvePoint(CurveKind::kRawB, 74));
    EXPECT_EQ(m.HandleRequest(Req(9, {128, 1}), 0), m.HandleRequest(Req(9, {128, 0}), 0))
        << "offsets 128 and 192 are channel B whatever the source";
}

TEST(DeviceModelDataCurve, OtherOffsetsWrapModulo256AndRoundDownTo64) {
    DeviceModel m;
    EXPECT_EQ(m.HandleRequest(Req(9, {100, 1}), 0), m.HandleRequest(Req(9, {64, 1}), 0));
    EXPECT_EQ(m.HandleRequest(Req(9, {256 + 130, 0}), 0), m.HandleRequest(Req(9, {128, 0}), 0));
    EXPECT_EQ(m.HandleRequest(Req(9, {0xFFFF, 0}), 0), m.HandleRequest(Req(9, {192, 0}), 0));
}

std::uint16_t FlashAnswer(DeviceModel& m, int order, std::initializer_list<std::uint16_t> w) {
    const auto r = m.HandleRequest(Req(order, w), 0);
    EXPECT_EQ(r.size(), 36u);
    EXPECT_EQ(link::FrameOrder(r), order);
    return link::FrameWord(r, 0);
}

TEST(DeviceModelFlash, AddressMustStartABlockInsidePages4To7) {
    DeviceModel m;
    EXPECT_EQ(FlashAnswer(m, 20, {0, 5120}), 0x00AA);
    EXPECT_EQ(FlashAnswer(m, 20, {0, 5136}), 0x00AA);
    EXPECT_EQ(FlashAnswer(m, 20, {0, 6128}), 0x00AA) << "last block of page 7";
    EXPECT_EQ(FlashAnswer(m, 20, {0, 6144}), 0) << "past page 7";
    EXPECT_EQ(FlashAnswer(m, 20, {0, 5104}), 0) << "page 3 is not programmable";
    EXPECT_EQ(FlashAnswer(m, 20, {0, 4096}), 0);
    EXPECT_EQ(FlashAnswer(m, 20, {0, 5121}), 0) << "misaligned";
    EXPECT_EQ(FlashAnswer(m, 20, {0, 5128}), 0) << "misaligned";
}

TEST(DeviceModelFlash, BlockNeedsAnAnnouncementThatItConsumes) {
    DeviceModel m;
    EXPECT_EQ(FlashAnswer(m, 21, {1, 2, 3}), 0) << "no announcement";
    EXPECT_EQ(FlashAnswer(m, 20, {0, 5376}), 0x00AA);
    EXPECT_EQ(FlashAnswer(m, 21, {1, 2, 3}), 1) << "first block of page 5";
    EXPECT_EQ(FlashAnswer(m, 21, {1, 2, 3}), 0) << "the announcement was used up";
    EXPECT_EQ(FlashAnswer(m, 20, {0, 5392}), 0x00AA);
    EXPECT_EQ(FlashAnswer(m, 21, {4, 5, 6}), 2);
    EXPECT_EQ(FlashAnswer(m, 20, {0, 9999}), 0);
    EXPECT_EQ(FlashAnswer(m, 21, {7}), 0) << "a rejected address announces nothing";
}

TEST(DeviceModelFlash, WholePageLandsWordForWordAndFirstBlockErasesThePage) {
    DeviceModel m;
    m.flash.fill(0x1234); // stale content
    for (int block = 0; block < 16; ++block) {
        const int address = 5632 + 16 * block;
        ASSERT_EQ(FlashAnswer(m, 20, {0, static_cast<std::uint16_t>(address)}), 0x00AA);
        ASSERT_EQ(
            m.HandleRequest(ReqPayload(21, Ramp(static_cast<std::uint16_t>(16 * block))), 0).at(5),
            block == 0 ? 1 : 2);
        if (block == 0) {
            EXPECT_EQ(m.FlashWord(5632 + 16), 0xFFFF) << "rest of page 6 erased";
            EXPECT_EQ(m.FlashWord(5631), 0x1234) << "page 5 untouched";
        }
    }
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(m.FlashWord(5632 + i), i);
    }
    EXPECT_EQ(m.FlashWord(5888), 0x1234) << "page 7 untouched";
}

TEST(DeviceModelFlash, RejectionAtBlockKRefusesThatBlockOfEveryPage) {
    DeviceModel m;
    m.rejectFlashAtBlock = 2;
    EXPECT_EQ(FlashAnswer(m, 20, {0, 5120 + 16}), 0x00AA);
    EXPECT_EQ(FlashAnswer(m, 20, {0, 5120 + 32}), 0);
    EXPECT_EQ(FlashAnswer(m, 20, {0, 5888 + 32}), 0);
    EXPECT_EQ(FlashAnswer(m, 21, {1}), 0);
}

TEST(DeviceModelFiles, EepromSurvivesASaveAndLoad) {
    const std::string file = TempPath("eeprom.txt");
    DeviceModel a;
    a.HandleRequest(ReqPayload(3, Ramp(65520)), 0);
    ASSERT_TRUE(a.SaveEeprom(file));
    EXPECT_FALSE(std::filesystem::exists(file + ".tmp"));
    DeviceModel b;
    ASSERT_TRUE(b.LoadEeprom(file));
    EXPECT_EQ(b.eeprom, a.eeprom);
    std::filesystem::remove(file);
}

TEST(DeviceModelFiles, MissingOrMalformedEepromFileChangesNothing) {
    const std::string file = TempPath("bad_eeprom.txt");
    DeviceModel m;
    EXPECT_FALSE(m.LoadEeprom(file + ".missing"));
    for (const char* text :
         {"1 2 3\n", "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 65536\n",
          "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17\n", "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 x\n",
          "-1 2 3 4 5 6 7 8 9 10 "
          "11 12 13 14 15 16\n"}) {
        std::ofstream(file) << text;
        EXPECT_FALSE(m.LoadEeprom(file)) << text;
        EXPECT_EQ(m.eeprom, DeviceModel::kStartValues) << text;
    }
    std::filesystem::remove(file);
}

TEST(DeviceModelFiles, SaveIntoAMissingDirectoryFailsAndLeavesNoFile) {
    DeviceModel m;
    const std::string file = TempPath("no_such_dir") + "/eeprom.txt";
    EXPECT_FALSE(m.SaveEeprom(file));
    EXPECT_FALSE(m.DumpFlash(file));
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(DeviceModelFiles, FlashDumpHasPages4To7OneWordPerLine) {
    const std::string file = TempPath("flash.txt");
    DeviceModel m;
    FlashAnswer(m, 20, {0, 5120});
    m.HandleRequest(ReqPayload(21, Ramp(40)), 0);
    ASSERT_TRUE(m.DumpFlash(file));
    std::ifstream in(file);
    std::vector<long> words;
    for (long w; in >> w;) {
        words.push_back(w);
    }
    ASSERT_EQ(words.size(), 1024u);
    EXPECT_EQ(words[0], 40);
    EXPECT_EQ(words[15], 55);
    EXPECT_EQ(words[16], 0xFFFF);
    EXPECT_EQ(words[1023], 0xFFFF);
    std::filesystem::remove(file);
}

} // namespace
} // namespace ovx::sim
